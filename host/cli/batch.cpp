#include "host/cli/batch.h"

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <new>
#include <thread>

#include "host/cli/progress_report.h"
#include "host/files/file_identity.h"
#include "host/files/interruption.h"
#include "host/host_error.h"
#include "host/pipeline/tone_file.h"
#include "host/utf8_path.h"

namespace host {

namespace fs = std::filesystem;

std::vector<BatchFile> planBatch(const std::vector<std::string>& inputs, const std::string& folder,
                                 const std::optional<std::string>& format) {
    std::vector<std::optional<FileIdentity>> inputIdentities;
    for (const std::string& input : inputs) {
        inputIdentities.push_back(identityOf(input));
    }
    const bool foldsCase = folderFoldsCase(folder);
    std::vector<BatchFile> files;
    std::map<std::string, std::string> claimed;  // output's name as the folder compares it -> its input
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        BatchFile file;
        file.input = inputs[i];
        const fs::path in = pathFromUtf8(file.input);
        std::string extension = format ? "." + *format : utf8FromPath(in.extension());
        if (const std::optional<ImageFormat> own = formatFromExtension("x" + extension);
            !format && own && !canWrite(*own)) {
            extension = formatOf(formatOf(*own).writtenAs).extensions.front();
            file.readOnly = own;
        }
        fs::path name = in.stem();
        name += pathFromUtf8(extension);
        file.output = utf8FromPath(pathFromUtf8(folder) / name);
        if (!canWriteImageTo(file.output)) {
            file.problem = "'" + file.input + "': cannot tell which format to write (" +
                           (extension.empty() ? "it has no extension" : "'" + extension + "' is not one") +
                           "; use --format)";
            files.push_back(file);
            continue;
        }
        // An output that exists already must not be any input.
        if (const std::optional<FileIdentity> output = identityOf(file.output)) {
            for (std::size_t j = 0; j < inputs.size() && file.problem.empty(); ++j) {
                if (inputIdentities[j] == output) {
                    file.problem = "'" + file.input + "': its output '" + file.output + "' would replace " +
                                   (j == i ? std::string("it") : "the input '" + inputs[j] + "'");
                }
            }
        }
        // Every output lies in the one folder: their names tell them apart.
        const std::string key = foldsCase ? caseFolded(utf8FromPath(name)) : utf8FromPath(name);
        if (file.problem.empty()) {
            const auto [existing, fresh] = claimed.emplace(key, file.input);
            if (!fresh) {
                file.problem = "'" + file.input + "': its output '" + file.output + "' is already written for '" +
                               existing->second + "'";
            }
        }
        files.push_back(file);
    }
    return files;
}

std::size_t runBatch(const std::vector<BatchFile>& files, const PluginObject& object, int preset,
                     const std::string& label, const ToneOptions& options, int threads, Console& console,
                     const ThreadStarter& startThread) {
    ProgressReport report(console, files.size());
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t i = next++; i < files.size() && !interrupted(); i = next++) {
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
            } catch (const Interrupted&) {
                return;  // its output is not written; the run ends
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
    pool.reserve(workers);  // so that a started thread always finds its place
    auto finishedOne = [&] {
        const std::lock_guard<std::mutex> lock(mutex);
        --running;
        finished.notify_one();
    };
    for (std::size_t t = 0; t < workers; ++t) {
        try {
            pool.push_back(startThread([&] {
                work();
                finishedOne();
            }));
        } catch (const std::exception& error) {
            {
                const std::lock_guard<std::mutex> lock(mutex);
                running -= workers - t;
            }
            report.warned("sepia-host apply: warning: cannot start thread " + std::to_string(t + 1) + " of " +
                          std::to_string(workers) + " (" + error.what() + "); going on with " +
                          (t == 0 ? std::string("one file at a time") : std::to_string(t) + " at a time"));
            break;
        }
    }
    if (pool.empty()) {
        work();
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
    if (interrupted()) {
        console.err << "sepia-host apply: interrupted: " << report.written() << " of " << files.size()
                    << " files written (each named above); the others are not written\n";
        throw Interrupted();
    }
    return report.failures();
}

}  // namespace host
