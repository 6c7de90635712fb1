#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>

#include "host/cli/console.h"

namespace host {

// Reports a run over many files, from any number of threads: each result
// line as it comes and, on a terminal, a line kept at the bottom with the
// files done, failed and the time elapsed.
class ProgressReport {
public:
    ProgressReport(Console& console, std::size_t total);
    ProgressReport(const ProgressReport&) = delete;
    ProgressReport& operator=(const ProgressReport&) = delete;

    // A file done: `line` goes to out.
    void done(const std::string& line);
    // A file failed: `message` goes to err.
    void failed(const std::string& message);
    // A file is written, but not all of it: `message` goes to err.
    void warned(const std::string& message);
    // Redraws the progress line, so that the time moves while a large file
    // is being worked on.
    void tick();
    // Leaves the progress line (if any) as the final count.
    void finish();

    std::size_t failures() const;
    std::size_t written() const;

private:
    void clearLine();
    void drawLine();

    Console& console_;
    const std::size_t total_;
    std::size_t done_ = 0;
    std::size_t failed_ = 0;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    mutable std::mutex mutex_;
};

}  // namespace host
