#include "host/cli/band_pipeline.h"

#include "host/files/interruption.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace host {

void pumpBands(int bandRows, std::size_t rowBytes, int inFlight,
               const std::function<int(std::uint8_t* band, int rows)>& produce,
               const std::function<void(const std::uint8_t* band, int rows)>& consume) {
    const std::size_t bandBytes = static_cast<std::size_t>(bandRows) * rowBytes;
    std::vector<std::vector<std::uint8_t>> bands(static_cast<std::size_t>(std::max(inFlight, 1)));

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::size_t> free;
    std::deque<std::pair<std::size_t, int>> full;  // band, rows (0: the end)
    std::exception_ptr producerFailure;
    bool stop = false;
    for (std::size_t i = 0; i < bands.size(); ++i) {
        free.push_back(i);
    }

    auto producer = [&] {
        try {
            for (;;) {
                std::size_t band = 0;
                {
                    std::unique_lock<std::mutex> lock(mutex);
                    changed.wait(lock, [&] { return stop || !free.empty(); });
                    if (stop) {
                        return;
                    }
                    band = free.front();
                    free.pop_front();
                }
                stopIfInterrupted();
                bands[band].resize(bandBytes);
                const int rows = produce(bands[band].data(), bandRows);
                {
                    const std::lock_guard<std::mutex> lock(mutex);
                    full.emplace_back(band, rows);
                }
                changed.notify_all();
                if (rows == 0) {
                    return;
                }
            }
        } catch (...) {
            {
                const std::lock_guard<std::mutex> lock(mutex);
                producerFailure = std::current_exception();
                full.emplace_back(0, 0);
            }
            changed.notify_all();
        }
    };

    std::thread thread;
    try {
        thread = std::thread(producer);
    } catch (const std::system_error&) {
        // No thread: one band after the other, here.
        std::vector<std::uint8_t>& band = bands.front();
        band.resize(bandBytes);
        for (int rows = produce(band.data(), bandRows); rows > 0; rows = produce(band.data(), bandRows)) {
            stopIfInterrupted();
            consume(band.data(), rows);
        }
        return;
    }

    try {
        for (;;) {
            std::pair<std::size_t, int> next;
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return !full.empty(); });
                next = full.front();
                full.pop_front();
            }
            if (next.second == 0) {
                break;
            }
            stopIfInterrupted();
            consume(bands[next.first].data(), next.second);
            {
                const std::lock_guard<std::mutex> lock(mutex);
                free.push_back(next.first);
            }
            changed.notify_all();
        }
    } catch (...) {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            stop = true;
        }
        changed.notify_all();
        thread.join();
        throw;
    }
    thread.join();
    if (producerFailure) {
        std::rethrow_exception(producerFailure);
    }
}

}  // namespace host
