#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "host/cli/console.h"

namespace host {

// How many files, and of how many bytes, a run will look at (a walk counted
// beforehand, or the files named); none when unknown.
struct RunTotals {
    std::size_t files = 0;
    std::uint64_t bytes = 0;
};

// Reports a run, from any number of threads: each result line as it comes
// (written files to out, failures and warnings to err) and, when `show`
// (standard error is a terminal and --quiet is not given), one line kept at
// the bottom of standard error and redrawn in place at most five times a
// second: files done and left, the file in work and its rows, MB/s of
// input and the time left. Nothing of it reaches standard output.
class ProgressReport {
public:
    ProgressReport(Console& console, bool show, std::optional<RunTotals> totals);
    ProgressReport(const ProgressReport&) = delete;
    ProgressReport& operator=(const ProgressReport&) = delete;

    // A file starts (`bytes` its input's size); the number it goes by here.
    int started(const std::string& name, std::uint64_t bytes);
    // Of the file `slot`, `done` rows of `inAll` are written.
    void rows(int slot, std::uint64_t done, std::uint64_t inAll);
    // The file `slot` is written: `line` goes to out.
    void done(int slot, const std::string& line);
    // A file failed (its slot, or -1 if it never started): `message` goes
    // to err.
    void failed(int slot, const std::string& message, std::uint64_t bytes = 0);
    // A file was left alone: its output is up to date.
    void skipped(std::uint64_t bytes);
    // Files of a walked folder that are no pictures were passed over.
    void passedOver(std::size_t files, std::uint64_t bytes);
    // A file is written, but not all of it, or something else to say:
    // `message` goes to err.
    void warned(const std::string& message);
    // Redraws the progress line if it is due, so that the time moves while
    // a large file is being worked on.
    void tick();
    // Clears the progress line; with `summary`, says on err what the run
    // did: "toned N, skipped N, failed N, in S s", and `also` after it.
    void finish(bool summary, const std::string& also = {});

    std::size_t failures() const;
    std::size_t written() const;

private:
    struct InWork {
        std::string name;
        std::uint64_t bytes = 0;
        std::uint64_t rowsDone = 0;
        std::uint64_t rowsInAll = 0;
    };
    void clearLine();
    void drawLine(bool force);
    std::string line() const;
    double seconds() const;

    Console& console_;
    const bool show_;
    const std::optional<RunTotals> totals_;
    std::size_t done_ = 0;
    std::size_t failed_ = 0;
    std::size_t skipped_ = 0;
    std::size_t passedOver_ = 0;
    std::uint64_t bytesDone_ = 0;     // of the files written or failed
    std::uint64_t bytesSkipped_ = 0;  // of the files left alone
    std::map<int, InWork> inWork_;
    int nextSlot_ = 0;
    bool drawn_ = false;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lastDrawn_{};
    mutable std::mutex mutex_;
};

}  // namespace host
