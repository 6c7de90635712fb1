#include "host/image/tiff_memory.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace host {

TiffInMemory::TiffInMemory(const std::vector<std::uint8_t>& file, const std::string& name, std::uint64_t maxAllocation)
    : input_(&file) {
    open(name, "rm", maxAllocation);
}

TiffInMemory::TiffInMemory(std::vector<std::uint8_t>& out) : out_(&out) { open("output", "wm", 0); }

TiffInMemory::~TiffInMemory() {
    if (tiff_ != nullptr) {
        TIFFClose(tiff_);
    }
}

bool TiffInMemory::close() {
    if (tiff_ == nullptr) {
        return false;
    }
    TIFF* tiff = tiff_;
    tiff_ = nullptr;
    const bool flushed = out_ == nullptr || TIFFFlush(tiff) != 0;
    TIFFClose(tiff);
    return flushed && error_.empty();
}

void TiffInMemory::open(const std::string& name, const char* mode, std::uint64_t maxAllocation) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr) {
        throw std::bad_alloc();
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options, onError, this);
    TIFFOpenOptionsSetWarningHandlerExtR(options, onWarning, this);
    if (maxAllocation > 0) {
        TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(maxAllocation));
    }
    tiff_ = TIFFClientOpenExt(name.c_str(), mode, static_cast<thandle_t>(this), read, write, seek, closeNothing, size,
                              mapNothing, unmapNothing, options);
    TIFFOpenOptionsFree(options);
}

tmsize_t TiffInMemory::read(thandle_t handle, void* buffer, tmsize_t size) {
    auto* self = static_cast<TiffInMemory*>(handle);
    const std::uint8_t* data = self->out_ != nullptr ? self->out_->data() : self->input_->data();
    const std::uint64_t length = self->length();
    if (size < 0 || self->position_ >= length) {
        return 0;
    }
    const std::uint64_t count = std::min<std::uint64_t>(static_cast<std::uint64_t>(size), length - self->position_);
    std::memcpy(buffer, data + self->position_, static_cast<std::size_t>(count));
    self->position_ += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t TiffInMemory::write(thandle_t handle, void* buffer, tmsize_t size) {
    auto* self = static_cast<TiffInMemory*>(handle);
    if (self->out_ == nullptr || size < 0) {
        return -1;
    }
    const std::uint64_t end = self->position_ + static_cast<std::uint64_t>(size);
    if (end > self->out_->size()) {
        self->out_->resize(static_cast<std::size_t>(end));
    }
    std::memcpy(self->out_->data() + self->position_, buffer, static_cast<std::size_t>(size));
    self->position_ = end;
    return size;
}

toff_t TiffInMemory::seek(thandle_t handle, toff_t offset, int whence) {
    auto* self = static_cast<TiffInMemory*>(handle);
    std::uint64_t base = 0;
    if (whence == SEEK_CUR) {
        base = self->position_;
    } else if (whence == SEEK_END) {
        base = self->length();
    }
    // libtiff passes negative offsets as their two's complement.
    self->position_ = base + offset;
    return self->position_;
}

int TiffInMemory::closeNothing(thandle_t /*handle*/) { return 0; }

toff_t TiffInMemory::size(thandle_t handle) { return static_cast<TiffInMemory*>(handle)->length(); }

int TiffInMemory::mapNothing(thandle_t /*handle*/, void** /*base*/, toff_t* /*size*/) { return 0; }

void TiffInMemory::unmapNothing(thandle_t /*handle*/, void* /*base*/, toff_t /*size*/) {}

int TiffInMemory::onError(TIFF* /*tiff*/, void* self, const char* /*module*/, const char* format, va_list arguments) {
    auto* file = static_cast<TiffInMemory*>(self);
    if (file->error_.empty()) {
        char message[512];
        std::vsnprintf(message, sizeof(message), format, arguments);
        file->error_ = message;
    }
    return 1;  // handled: nothing goes to the process-wide handler
}

int TiffInMemory::onWarning(TIFF* /*tiff*/, void* /*self*/, const char* /*module*/, const char* /*format*/,
                            va_list /*arguments*/) {
    return 1;  // libtiff carries on after a warning; so does the host
}

}  // namespace host
