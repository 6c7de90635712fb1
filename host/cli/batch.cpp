#include "host/cli/batch.h"

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <new>
#include <thread>

#include "host/cli/progress_report.h"
#include "host/cli/tone_file.h"
#include "host/host_error.h"
#include "host/utf8_path.h"

namespace host {

namespace fs = std::filesystem;

namespace {

// Two paths name the same file, as far as can be told before it exists.
std::string comparable(const std::string& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(pathFromUtf8(path), error);
    return utf8FromPath((error ? pathFromUtf8(path) : absolute).lexically_normal());
}

}  // namespace

std::vector<BatchFile> planBatch(const std::vector<std::string>& inputs, const std::string& folder,
                                 const std::optional<std::string>& format) {
    std::vector<BatchFile> files;
    std::map<std::string, std::string> claimed;  // output -> the input that writes it
    for (const std::string& input : inputs) {
        BatchFile file;
        file.input = input;
        const fs::path in = pathFromUtf8(input);
        const std::string extension = format ? "." + *format : utf8FromPath(in.extension());
        fs::path name = in.stem();
        name += pathFromUtf8(extension);
        file.output = utf8FromPath(pathFromUtf8(folder) / name);
        if (!canWriteImageTo(file.output)) {
            file.problem = "'" + input + "': cannot tell which format to write (" +
                           (extension.empty() ? "it has no extension" : "'" + extension + "' is not one") +
                           "; use --format)";
        } else if (const std::string output = comparable(file.output); output == comparable(input)) {
            file.problem = "'" + input + "': its output '" + file.output + "' would replace it";
        } else {
            const auto [existing, fresh] = claimed.emplace(output, input);
            if (!fresh) {
                file.problem = "'" + input + "': its output '" + file.output + "' is already written for '" +
                               existing->second + "'";
            }
        }
        files.push_back(file);
    }
    return files;
}

std::size_t runBatch(const std::vector<BatchFile>& files, const PluginObject& object, int preset,
                     const std::string& label, const WriteOptions& options, int threads, Console& console) {
    ProgressReport report(console, files.size());
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t i = next++; i < files.size(); i = next++) {
            const BatchFile& file = files[i];
            if (!file.problem.empty()) {
                report.failed("sepia-host apply: " + file.problem);
                continue;
            }
            try {
                const TonedFile toned = toneFile(object, preset, label, file.input, file.output, options);
                for (const std::string& warning : toned.warnings) {
                    report.warned("sepia-host apply: warning: " + warning);
                }
                report.done(toned.line);
            } catch (const std::bad_alloc&) {
                report.failed("sepia-host apply: '" + file.input + "': out of memory");
            } catch (const std::exception& error) {
                report.failed(std::string("sepia-host apply: ") + error.what());
            }
        }
    };
    const std::size_t workers = std::min<std::size_t>(static_cast<std::size_t>(threads), files.size());
    std::mutex mutex;
    std::condition_variable finished;
    std::size_t running = workers;
    std::vector<std::thread> pool;
    for (std::size_t t = 0; t < workers; ++t) {
        pool.emplace_back([&] {
            work();
            const std::lock_guard<std::mutex> lock(mutex);
            --running;
            finished.notify_one();
        });
    }
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (!finished.wait_for(lock, std::chrono::milliseconds(250), [&] { return running == 0; })) {
            lock.unlock();
            report.tick();
            lock.lock();
        }
    }
    for (std::thread& thread : pool) {
        thread.join();
    }
    report.finish();
    return report.failures();
}

}  // namespace host
