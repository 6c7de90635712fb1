#pragma once

// exiv2, the metadata library of the photo tools (digiKam, darktable, GIMP,
// gThumb), as the host's metadata code uses it: one thread's turn with it
// and its messages, its input from a ByteSource, and the parsing and
// writing of EXIF and XMP blocks. For .cpp files of the metadata work only.
#include <exiv2/exiv2.hpp>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "host/files/byte_stream.h"

namespace host {

// The lock that gives one thread its turn with exiv2 (see Exiv2Session).
std::recursive_mutex& exiv2Lock();

// One thread's turn with exiv2, and exiv2's messages on it while it lasts;
// nests. Nothing of exiv2's XMP may outlive the outermost turn but packets.
class Exiv2Session {
public:
    Exiv2Session();
    ~Exiv2Session();
    Exiv2Session(const Exiv2Session&) = delete;
    Exiv2Session& operator=(const Exiv2Session&) = delete;

    // Why something failed: `reason` if given, else what exiv2 said last,
    // else `fallback`.
    std::string why(const std::string& reason, const std::string& fallback) const {
        if (!reason.empty()) {
            return reason;
        }
        return messages_.empty() ? fallback : messages_.back();
    }

private:
    std::lock_guard<std::recursive_mutex> turn_;
    std::vector<std::string> messages_;
    std::vector<std::string>* outer_;
};

// "'NAME': its BLOCK cannot be read (WHY); it is left out".
std::string cannotRead(const std::string& name, const std::string& block, const std::string& why);

// What exiv2 wrote into `io`.
std::vector<std::uint8_t> bytesOf(Exiv2::BasicIo& io);

// EXIF in TIFF form, with no limit on its size.
std::vector<std::uint8_t> tiffForm(const Exiv2::ExifData& exif, Exiv2::ByteOrder order);

struct ParsedExif {
    Exiv2::ExifData data;
    Exiv2::ByteOrder order = Exiv2::invalidByteOrder;
};

// Throws when exiv2 cannot read the block.
ParsedExif parseExif(const std::vector<std::uint8_t>& block);

// Throws std::runtime_error when the toolkit cannot read the packet.
Exiv2::XmpData parseXmp(const std::string& packet);

// A packet, compact; throws std::runtime_error when the toolkit cannot
// write it.
std::string serialise(const Exiv2::XmpData& xmp, unsigned extraFlags = 0);

// The property that points at a JPEG's extended XMP packet.
inline constexpr const char* kHasExtendedXmp = "Xmp.xmpNote.HasExtendedXMP";

// Sets `key` to `value` where `xmp` records it.
void updateXmp(Exiv2::XmpData& xmp, const char* key, long value);

// Adds to `into` every property of `from` that it lacks.
void addMissing(Exiv2::XmpData& into, const Exiv2::XmpData& from);

// "Xmp.dc.subject" of "Xmp.dc.subject", "Xmp.iptcExt.LocationCreated" of
// "Xmp.iptcExt.LocationCreated[1]/Iptc4xmpExt:City".
std::string topLevelProperty(const std::string& key);

// exiv2's input, read from a ByteSource in the pieces exiv2 asks for: it
// walks a file's chunks and skips the rest.
class SourceIo : public Exiv2::BasicIo {
public:
    explicit SourceIo(ByteSource& file) : file_(file) {}
    int open() override {
        position_ = 0;
        return 0;
    }
    int close() override { return 0; }
    long write(const Exiv2::byte*, long) override { return 0; }
    long write(Exiv2::BasicIo&) override { return 0; }
    int putb(Exiv2::byte) override { return EOF; }
    Exiv2::DataBuf read(long count) override {
        Exiv2::DataBuf buffer(std::max(count, 0L));
        const long got = read(buffer.pData_, count);
        buffer.size_ = got;
        return buffer;
    }
    long read(Exiv2::byte* buffer, long count) override {
        if (count <= 0 || position_ >= file_.size()) {
            eof_ = true;
            return 0;
        }
        file_.seek(position_);
        const std::size_t got = file_.read(buffer, static_cast<std::size_t>(count));
        position_ += got;
        eof_ = got < static_cast<std::size_t>(count);
        return static_cast<long>(got);
    }
    int getb() override {
        Exiv2::byte byte = 0;
        return read(&byte, 1) == 1 ? byte : EOF;
    }
    void transfer(Exiv2::BasicIo&) override { throw Exiv2::Error(Exiv2::kerFunctionNotSupported, "transfer"); }
    int seek(long offset, Position from) override {
        const std::int64_t base = from == beg   ? 0
                                  : from == cur ? static_cast<std::int64_t>(position_)
                                                : static_cast<std::int64_t>(file_.size());
        const std::int64_t target = base + offset;
        if (target < 0 || static_cast<std::uint64_t>(target) > file_.size()) {
            return 1;
        }
        position_ = static_cast<std::uint64_t>(target);
        eof_ = false;
        return 0;
    }
    Exiv2::byte* mmap(bool) override { return const_cast<Exiv2::byte*>(file_.mapped()); }
    int munmap() override { return 0; }
    long tell() const override { return static_cast<long>(position_); }
    std::size_t size() const override { return static_cast<std::size_t>(file_.size()); }
    bool isopen() const override { return true; }
    int error() const override { return 0; }
    bool eof() const override { return eof_; }
    std::string path() const override { return file_.name(); }

private:
    ByteSource& file_;
    std::uint64_t position_ = 0;
    bool eof_ = false;
};

}  // namespace host
