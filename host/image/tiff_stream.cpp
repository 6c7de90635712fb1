#include "host/image/tiff_stream.h"

#include <cstdarg>
#include <cstdio>
#include <new>

#include "host/host_error.h"

namespace host {

TiffStream::TiffStream(ByteSource& file, std::uint64_t maxAllocation) : source_(&file) {
    file.seek(0);
    open(file.name(), "rm", maxAllocation);
}

TiffStream::TiffStream(ByteSink& out, const char* mode) : sink_(&out) {
    out.seek(0);
    open(out.name(), mode, 0);
}

TiffStream::~TiffStream() {
    if (tiff_ != nullptr) {
        TIFFClose(tiff_);
    }
}

bool TiffStream::close() {
    if (tiff_ == nullptr) {
        return false;
    }
    TIFF* tiff = tiff_;
    tiff_ = nullptr;
    const bool flushed = sink_ == nullptr || TIFFFlush(tiff) != 0;
    TIFFClose(tiff);
    return flushed && error_.empty();
}

void TiffStream::open(const std::string& name, const char* mode, std::uint64_t maxAllocation) {
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

// The callbacks run inside libtiff, which is C: a HostError from the file
// (a failed read or write) becomes libtiff's own failure, and its message
// the first error.
tmsize_t TiffStream::read(thandle_t handle, void* buffer, tmsize_t size) {
    auto* self = static_cast<TiffStream*>(handle);
    if (size < 0) {
        return -1;
    }
    try {
        const auto count = static_cast<std::size_t>(size);
        return static_cast<tmsize_t>(self->source_ != nullptr ? self->source_->read(buffer, count)
                                                              : self->sink_->read(buffer, count));
    } catch (const HostError& error) {
        if (self->error_.empty()) {
            self->error_ = error.what();
            self->fileFailure_ = std::current_exception();
        }
        return -1;
    }
}

tmsize_t TiffStream::write(thandle_t handle, void* buffer, tmsize_t size) {
    auto* self = static_cast<TiffStream*>(handle);
    if (self->sink_ == nullptr || size < 0) {
        return -1;
    }
    try {
        self->sink_->write(buffer, static_cast<std::size_t>(size));
        return size;
    } catch (const HostError& error) {
        if (self->error_.empty()) {
            self->error_ = error.what();
            self->fileFailure_ = std::current_exception();
        }
        return -1;
    }
}

toff_t TiffStream::seek(thandle_t handle, toff_t offset, int whence) {
    auto* self = static_cast<TiffStream*>(handle);
    std::uint64_t base = 0;
    const std::uint64_t position = self->source_ != nullptr ? self->source_->position() : self->sink_->position();
    const std::uint64_t length = self->source_ != nullptr ? self->source_->size() : self->sink_->size();
    if (whence == SEEK_CUR) {
        base = position;
    } else if (whence == SEEK_END) {
        base = length;
    }
    // libtiff passes negative offsets as their two's complement.
    const std::uint64_t target = base + offset;
    if (self->source_ != nullptr) {
        self->source_->seek(target);
    } else {
        self->sink_->seek(target);
    }
    return target;
}

int TiffStream::closeNothing(thandle_t /*handle*/) { return 0; }

toff_t TiffStream::size(thandle_t handle) {
    auto* self = static_cast<TiffStream*>(handle);
    return self->source_ != nullptr ? self->source_->size() : self->sink_->size();
}

int TiffStream::mapNothing(thandle_t /*handle*/, void** /*base*/, toff_t* /*size*/) { return 0; }

void TiffStream::unmapNothing(thandle_t /*handle*/, void* /*base*/, toff_t /*size*/) {}

int TiffStream::onError(TIFF* /*tiff*/, void* self, const char* /*module*/, const char* format, va_list arguments) {
    auto* file = static_cast<TiffStream*>(self);
    if (file->error_.empty()) {
        char message[512];
        std::vsnprintf(message, sizeof(message), format, arguments);
        file->error_ = message;
    }
    return 1;  // handled: nothing goes to the process-wide handler
}

int TiffStream::onWarning(TIFF* /*tiff*/, void* /*self*/, const char* /*module*/, const char* /*format*/,
                          va_list /*arguments*/) {
    return 1;  // libtiff carries on after a warning; so does the host
}

}  // namespace host
