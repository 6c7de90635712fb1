#include "host/cli/batch.h"

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <new>
#include <set>
#include <thread>

#include "host/files/interruption.h"
#include "host/host_error.h"
#include "host/utf8_path.h"

namespace host {

namespace {

// The plan, shared by the workers: one of them at a time takes the next
// file, and says once for each format read but not written what its files
// become.
class SharedPlan {
public:
    SharedPlan(BatchPlan& plan, ProgressReport& report) : plan_(plan), report_(report) {}

    std::optional<BatchFile> next() {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (interrupted()) {
            return std::nullopt;
        }
        const std::size_t passedBefore = plan_.notPictures();
        const std::uint64_t bytesBefore = plan_.notPictureBytes();
        std::optional<BatchFile> file = plan_.next();
        if (plan_.notPictures() != passedBefore) {
            report_.passedOver(plan_.notPictures() - passedBefore, plan_.notPictureBytes() - bytesBefore);
        }
        for (const std::string& note : plan_.takeNotes()) {
            report_.warned("sepia-host apply: warning: " + note);
        }
        if (file && file->readOnly && announced_.insert(*file->readOnly).second) {
            const Format& read = formatOf(*file->readOnly);
            report_.warned("sepia-host apply: " + std::string(read.name) + " inputs are written as " +
                           formatName(read.writtenAs) + ": this host writes no " + read.name + " (" +
                           read.notWrittenBecause + "); --format chooses another format");
        }
        return file;
    }

private:
    BatchPlan& plan_;
    ProgressReport& report_;
    std::mutex mutex_;
    std::set<ImageFormat> announced_;
};

// One file of the run: left alone, refused, or toned.
void doFile(const BatchFile& file, const PluginObject& object, int preset, const std::string& label,
            const ToneOptions& options, ProgressReport& report) {
    if (!file.problem.empty()) {
        report.failed(-1, "sepia-host apply: " + file.problem, file.bytes);
        return;
    }
    if (file.upToDate) {
        report.skipped(file.bytes);
        return;
    }
    std::error_code error;
    std::filesystem::create_directories(pathFromUtf8(file.output).parent_path(), error);
    const int slot = report.started(file.input, file.bytes);
    ToneOptions own = options;
    own.progress = [&report, slot](std::uint64_t done, std::uint64_t inAll) { report.rows(slot, done, inAll); };
    try {
        const TonedFile toned = toneFile(object, preset, label, file.input, file.output, own);
        for (const std::string& warning : toned.warnings) {
            report.warned("sepia-host apply: warning: " + warning);
        }
        report.done(slot, toned.line);
    } catch (const Interrupted&) {
        throw;
    } catch (const std::bad_alloc&) {
        report.failed(slot, "sepia-host apply: '" + file.input + "': out of memory");
    } catch (const std::exception& error) {
        report.failed(slot, std::string("sepia-host apply: ") + error.what());
    }
}

}  // namespace

std::size_t runBatch(BatchPlan& plan, const PluginObject& object, int preset, const std::string& label,
                     const ToneOptions& options, int threads, ProgressReport& report,
                     const ThreadStarter& startThread) {
    SharedPlan shared(plan, report);
    auto work = [&] {
        try {
            for (std::optional<BatchFile> file = shared.next(); file; file = shared.next()) {
                doFile(*file, object, preset, label, options, report);
            }
        } catch (const Interrupted&) {
            // Its output is not written; the run ends.
        }
    };
    const auto workers = static_cast<std::size_t>(std::max(threads, 1));
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
        while (!finished.wait_for(lock, std::chrono::milliseconds(200), [&] { return running == 0; })) {
            lock.unlock();
            report.tick();
            lock.lock();
        }
    }
    for (std::thread& thread : pool) {
        thread.join();
    }
    if (interrupted()) {
        report.finish(false);
        const std::size_t written = report.written();
        report.warned("sepia-host apply: interrupted: " + std::to_string(written) +
                      (written == 1 ? " file written (named above)" : " files written (each named above)") +
                      "; the others are not written");
        throw Interrupted();
    }
    return report.failures();
}

}  // namespace host
