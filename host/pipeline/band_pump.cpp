#include "host/pipeline/band_pump.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "host/files/interruption.h"

namespace host {

namespace {

// Bands of about 2 MiB, four in flight.
constexpr std::size_t kBandBytes = std::size_t{2} << 20;
constexpr int kBandsInFlight = 4;

// The bands between the two threads: free ones for the producer, full ones
// (with their rows; 0 rows: the end) for the consumer.
class BandQueue {
public:
    BandQueue(int count, std::size_t bandBytes) {
        for (int i = 0; i < std::max(count, 1); ++i) {
            // Written before read: pages a decoder never reaches cost nothing.
            bands_.push_back(std::make_unique_for_overwrite<std::uint8_t[]>(bandBytes));
            free_.push_back(static_cast<std::size_t>(i));
        }
    }

    std::uint8_t* band(std::size_t index) { return bands_[index].get(); }

    // The producer's next free band; none once the consumer has stopped.
    std::optional<std::size_t> takeFree() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return stopped_ || !free_.empty(); });
        if (stopped_) {
            return std::nullopt;
        }
        const std::size_t band = free_.front();
        free_.pop_front();
        return band;
    }
    void putFull(std::size_t band, int rows) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            full_.emplace_back(band, rows);
        }
        changed_.notify_all();
    }
    void failed(std::exception_ptr failure) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            failure_ = std::move(failure);
            full_.emplace_back(0, 0);
        }
        changed_.notify_all();
    }

    // The consumer's next full band.
    std::pair<std::size_t, int> takeFull() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return !full_.empty(); });
        const std::pair<std::size_t, int> next = full_.front();
        full_.pop_front();
        return next;
    }
    void putFree(std::size_t band) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            free_.push_back(band);
        }
        changed_.notify_all();
    }
    void stop() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stopped_ = true;
        }
        changed_.notify_all();
    }
    // The producer's failure, once its thread has ended.
    void rethrowFailure() {
        if (failure_) {
            std::rethrow_exception(failure_);
        }
    }

private:
    std::vector<std::unique_ptr<std::uint8_t[]>> bands_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::size_t> free_;
    std::deque<std::pair<std::size_t, int>> full_;
    std::exception_ptr failure_;
    bool stopped_ = false;
};

}  // namespace

void pumpBands(int bandRows, std::size_t rowBytes, int inFlight,
               const std::function<int(std::uint8_t* band, int rows)>& produce,
               const std::function<void(const std::uint8_t* band, int rows)>& consume) {
    BandQueue queue(inFlight, static_cast<std::size_t>(bandRows) * rowBytes);
    auto producer = [&] {
        try {
            for (std::optional<std::size_t> band = queue.takeFree(); band; band = queue.takeFree()) {
                stopIfInterrupted();
                const int rows = produce(queue.band(*band), bandRows);
                queue.putFull(*band, rows);
                if (rows == 0) {
                    return;
                }
            }
        } catch (...) {
            queue.failed(std::current_exception());
        }
    };
    std::thread thread;
    try {
        thread = std::thread(producer);
    } catch (const std::system_error&) {
        // No thread: one band after the other, here.
        std::uint8_t* band = queue.band(0);
        for (int rows = produce(band, bandRows); rows > 0; rows = produce(band, bandRows)) {
            stopIfInterrupted();
            consume(band, rows);
        }
        return;
    }
    try {
        for (std::pair<std::size_t, int> next = queue.takeFull(); next.second > 0; next = queue.takeFull()) {
            stopIfInterrupted();
            consume(queue.band(next.first), next.second);
            queue.putFree(next.first);
        }
    } catch (...) {
        queue.stop();
        thread.join();
        throw;
    }
    thread.join();
    queue.rethrowFailure();
}

void pump(RowSource& source, ImageWriter& writer, const std::function<void(int rows)>& rowsDone) {
    const std::size_t rowBytes = std::size_t{4} * static_cast<std::size_t>(source.layout().width);
    const int bandRows = static_cast<int>(std::clamp<std::size_t>(kBandBytes / rowBytes, 1, 1024));
    pumpBands(
        bandRows, rowBytes, kBandsInFlight, [&](std::uint8_t* band, int wanted) { return source.next(band, wanted); },
        [&](const std::uint8_t* band, int rows) {
            writer.writeRows(band, rows);
            if (rowsDone) {
                rowsDone(rows);
            }
        });
}

}  // namespace host
