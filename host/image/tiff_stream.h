#pragma once

#include <tiffio.h>

#include <cstdint>
#include <exception>
#include <string>

#include "host/host_error.h"

#include "host/files/byte_stream.h"

namespace host {

// A TIFF opened through libtiff's client interface on a ByteSource (read)
// or a ByteSink (written, and read back while it is written). libtiff's
// errors go to this object, not to the process-wide handlers, so threads
// working on different files keep their messages apart.
class TiffStream {
public:
    // Reads `file`, which must outlive this object; libtiff allocates at
    // most `maxAllocation` bytes at once.
    TiffStream(ByteSource& file, std::uint64_t maxAllocation);
    // Writes into `out` (mode "w", or "w8" for BigTIFF), which must outlive
    // this object. libtiff starts the file's own data after what `out`
    // holds already, but for the eight bytes of the header.
    TiffStream(ByteSink& out, const char* mode);
    ~TiffStream();
    TiffStream(const TiffStream&) = delete;
    TiffStream& operator=(const TiffStream&) = delete;

    // The open file; null if libtiff refused to open it.
    TIFF* tiff() const { return tiff_; }
    // Writes what is pending and closes; false on failure.
    bool close();
    // libtiff's first error message, or "" if none.
    const std::string& error() const { return error_; }
    // The file's own first failure (a read or write the system refused),
    // which libtiff saw as its error; none if there was none.
    const std::exception_ptr& fileFailure() const { return fileFailure_; }

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

    ByteSource* source_ = nullptr;
    ByteSink* sink_ = nullptr;
    std::string error_;
    std::exception_ptr fileFailure_;  // holds a HostError
    TIFF* tiff_ = nullptr;
};

}  // namespace host
