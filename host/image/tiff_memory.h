#pragma once

#include <tiffio.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace host {

// A TIFF opened on bytes in memory through libtiff's client interface:
// either a file being read, or one being written (which libtiff also reads
// back while it writes). libtiff's errors go to this object, not to the
// process-wide handlers, so threads decoding different files keep their
// messages apart.
class TiffInMemory {
public:
    // Reads `file`, which must outlive this object.
    TiffInMemory(const std::vector<std::uint8_t>& file, const std::string& name, std::uint64_t maxAllocation);
    // Writes into `out`, which must outlive this object.
    explicit TiffInMemory(std::vector<std::uint8_t>& out);
    ~TiffInMemory();
    TiffInMemory(const TiffInMemory&) = delete;
    TiffInMemory& operator=(const TiffInMemory&) = delete;

    // The open file; null if libtiff refused to open it.
    TIFF* tiff() const { return tiff_; }
    // Writes what is pending and closes; false on failure.
    bool close();
    // libtiff's first error message, or "" if none.
    const std::string& error() const { return error_; }

private:
    static tmsize_t read(thandle_t handle, void* buffer, tmsize_t size);
    static tmsize_t write(thandle_t handle, void* buffer, tmsize_t size);
    static toff_t seek(thandle_t handle, toff_t offset, int whence);
    static int closeNothing(thandle_t handle);
    static toff_t size(thandle_t handle);
    static int mapNothing(thandle_t handle, void** base, toff_t* size);
    static void unmapNothing(thandle_t handle, void* base, toff_t size);
    static int onError(TIFF* tiff, void* self, const char* module, const char* format, va_list arguments);
    static int onWarning(TIFF* tiff, void* self, const char* module, const char* format, va_list arguments);

    void open(const std::string& name, const char* mode, std::uint64_t maxAllocation);
    std::uint64_t length() const { return out_ != nullptr ? out_->size() : input_->size(); }

    const std::vector<std::uint8_t>* input_ = nullptr;
    std::vector<std::uint8_t>* out_ = nullptr;
    std::uint64_t position_ = 0;
    std::string error_;
    TIFF* tiff_ = nullptr;
};

}  // namespace host
