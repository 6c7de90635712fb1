#include "host/cli/progress_report.h"

#include <cstdio>

namespace host {

ProgressReport::ProgressReport(Console& console, std::size_t total) : console_(console), total_(total) {
    const std::lock_guard<std::mutex> lock(mutex_);
    drawLine();
}

void ProgressReport::done(const std::string& line) {
    const std::lock_guard<std::mutex> lock(mutex_);
    ++done_;
    clearLine();
    console_.out << line << '\n' << std::flush;
    drawLine();
}

void ProgressReport::failed(const std::string& message) {
    const std::lock_guard<std::mutex> lock(mutex_);
    ++failed_;
    clearLine();
    console_.err << message << '\n';
    drawLine();
}

void ProgressReport::warned(const std::string& message) {
    const std::lock_guard<std::mutex> lock(mutex_);
    clearLine();
    console_.err << message << '\n';
    drawLine();
}

void ProgressReport::tick() {
    const std::lock_guard<std::mutex> lock(mutex_);
    clearLine();
    drawLine();
}

void ProgressReport::finish() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (console_.errIsTerminal) {
        console_.err << '\n' << std::flush;
    }
}

std::size_t ProgressReport::failures() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return failed_;
}

std::size_t ProgressReport::written() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return done_;
}

void ProgressReport::clearLine() {
    if (console_.errIsTerminal) {
        console_.err << "\r\x1B[K" << std::flush;
    }
}

void ProgressReport::drawLine() {
    if (!console_.errIsTerminal) {
        return;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    char line[128];
    std::snprintf(line, sizeof(line), "%zu of %zu files: %zu done, %zu failed, %.1f s", done_ + failed_, total_, done_,
                  failed_, seconds);
    console_.err << line << std::flush;
}

}  // namespace host
