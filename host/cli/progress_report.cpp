#include "host/cli/progress_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "host/utf8_path.h"

namespace host {

namespace {

// Redrawn at most this often.
constexpr std::chrono::milliseconds kRedraw{200};

// "1:05", "1:02:03".
std::string clock(double seconds) {
    // Estimates from a rate near zero may be huge or not finite.
    const long long total = std::llround(std::isfinite(seconds) ? std::clamp(seconds, 0.0, 1e9) : 0.0);
    char text[32];
    if (total >= 3600) {
        std::snprintf(text, sizeof(text), "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
    } else {
        std::snprintf(text, sizeof(text), "%lld:%02lld", total / 60, total % 60);
    }
    return text;
}

// The file's name without its folders, cut to `width` bytes with "..."
// at the end; never inside a UTF-8 character.
std::string shortName(const std::string& path, std::size_t width) {
    std::string name = utf8FromPath(pathFromUtf8(path).filename());
    if (name.size() > width) {
        std::size_t keep = width > 3 ? width - 3 : 0;
        while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0U) == 0x80U) {
            --keep;  // name[keep] continues a character: cut before that character
        }
        name.resize(keep);
        name += "...";
    }
    return name;
}

}  // namespace

ProgressReport::ProgressReport(Console& console, bool show, std::optional<RunTotals> totals)
    : console_(console), show_(show), totals_(totals) {}

int ProgressReport::started(const std::string& name, std::uint64_t bytes) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const int slot = nextSlot_++;
    inWork_[slot] = {name, bytes, 0, 0};
    drawLine(false);
    return slot;
}

void ProgressReport::rows(int slot, std::uint64_t done, std::uint64_t inAll) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto file = inWork_.find(slot);
    if (file != inWork_.end()) {
        file->second.rowsDone = done;
        file->second.rowsInAll = inAll;
    }
    drawLine(false);
}

void ProgressReport::done(int slot, const std::string& line) {
    const std::lock_guard<std::mutex> lock(mutex_);
    ++done_;
    if (const auto file = inWork_.find(slot); file != inWork_.end()) {
        bytesDone_ += file->second.bytes;
        inWork_.erase(file);
    }
    clearLine();
    console_.out << line << '\n' << std::flush;
    drawLine(true);
}

void ProgressReport::failed(int slot, const std::string& message, std::uint64_t bytes) {
    const std::lock_guard<std::mutex> lock(mutex_);
    ++failed_;
    bytesDone_ += bytes;
    if (const auto file = inWork_.find(slot); file != inWork_.end()) {
        bytesDone_ += file->second.bytes;
        inWork_.erase(file);
    }
    clearLine();
    console_.err << message << '\n';
    drawLine(true);
}

void ProgressReport::skipped(std::uint64_t bytes) {
    const std::lock_guard<std::mutex> lock(mutex_);
    ++skipped_;
    bytesSkipped_ += bytes;
    drawLine(false);
}

void ProgressReport::passedOver(std::size_t files, std::uint64_t bytes) {
    const std::lock_guard<std::mutex> lock(mutex_);
    passedOver_ += files;
    bytesSkipped_ += bytes;
}

void ProgressReport::warned(const std::string& message) {
    const std::lock_guard<std::mutex> lock(mutex_);
    clearLine();
    console_.err << message << '\n';
    drawLine(true);
}

void ProgressReport::tick() {
    const std::lock_guard<std::mutex> lock(mutex_);
    drawLine(false);
}

void ProgressReport::finish(bool summary, const std::string& also) {
    const std::lock_guard<std::mutex> lock(mutex_);
    clearLine();
    if (summary) {
        char time[32];
        std::snprintf(time, sizeof(time), "%.1f s", seconds());
        console_.err << "sepia-host apply: toned " << done_ << ", skipped " << skipped_ << ", failed " << failed_
                     << ", in " << time << also << '\n';
    }
    console_.err << std::flush;
}

std::size_t ProgressReport::failures() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return failed_;
}

std::size_t ProgressReport::written() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return done_;
}

double ProgressReport::seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void ProgressReport::clearLine() {
    if (show_ && drawn_) {
        console_.err << "\r\x1B[K";
        drawn_ = false;
    }
}

void ProgressReport::drawLine(bool force) {
    if (!show_) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!force && drawn_ && now - lastDrawn_ < kRedraw) {
        return;
    }
    lastDrawn_ = now;
    console_.err << "\r\x1B[K" << line() << std::flush;
    drawn_ = true;
}

// "12 of 340 files, 1 failed | IMG_0042.jpg 30% | 45.3 MB/s | 2:13 left"
std::string ProgressReport::line() const {
    std::string text;
    const std::size_t finished = done_ + failed_ + skipped_ + passedOver_;
    if (totals_ && totals_->files > 1) {
        text = std::to_string(finished) + " of " + std::to_string(totals_->files) + " files";
        if (failed_ > 0) {
            text += ", " + std::to_string(failed_) + " failed";
        }
        if (skipped_ > 0) {
            text += ", " + std::to_string(skipped_) + " skipped";
        }
    }
    // The file in work that came furthest, and its rows.
    std::uint64_t partial = 0;
    const InWork* shown = nullptr;
    for (const auto& [slot, file] : inWork_) {
        if (file.rowsInAll > 0) {
            partial += file.bytes * file.rowsDone / file.rowsInAll;
        }
        if (shown == nullptr || file.rowsDone > shown->rowsDone) {
            shown = &file;
        }
    }
    if (shown != nullptr) {
        text += (text.empty() ? "" : " | ") + shortName(shown->name, 40);
        if (shown->rowsInAll > 0) {
            text += " rows " + std::to_string(shown->rowsDone) + " of " + std::to_string(shown->rowsInAll);
        }
    }
    const double elapsed = seconds();
    const double rate = elapsed > 0.5 ? static_cast<double>(bytesDone_ + partial) / elapsed : 0;
    if (rate > 0) {
        char speed[32];
        std::snprintf(speed, sizeof(speed), "%.1f MB/s", rate / 1e6);
        text += std::string(" | ") + speed;
        if (totals_) {
            const std::uint64_t passed = bytesDone_ + bytesSkipped_ + partial;
            const std::uint64_t left = totals_->bytes > passed ? totals_->bytes - passed : 0;
            text += " | " + clock(static_cast<double>(left) / rate) + " left";
        }
    }
    return text;
}

}  // namespace host
