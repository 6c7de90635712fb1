#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace host {

// Where a decoder reads a file from: a file on disk (InputFile) or bytes in
// memory (MemorySource). Reads at a position that seek() moves; read()
// returns fewer bytes than asked only at the end. Errors are HostError
// naming the file.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::size_t read(void* buffer, std::size_t size) = 0;
    virtual void seek(std::uint64_t position) = 0;
    virtual std::uint64_t position() const = 0;
    virtual std::uint64_t size() const = 0;
    // The whole file, mapped into memory read-only, for parsers that take
    // it so (exiv2, libwebp). Pages are read only as they are touched.
    virtual const std::uint8_t* mapped() = 0;
    virtual const std::string& name() const = 0;
};

// Where an encoder writes: a file written whole or not at all (OutputFile)
// or bytes in memory (MemorySink). Writes at a position that seek() moves,
// extending the file; libtiff reads back what it wrote. Errors are
// HostError naming the file.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void write(const void* data, std::size_t size) = 0;
    virtual std::size_t read(void* buffer, std::size_t size) = 0;
    virtual void seek(std::uint64_t position) = 0;
    virtual std::uint64_t position() const = 0;
    virtual std::uint64_t size() const = 0;
    virtual const std::string& name() const = 0;
};

// A file held in memory, which must outlive the source.
class MemorySource : public ByteSource {
public:
    MemorySource(const std::vector<std::uint8_t>& bytes, std::string name) : bytes_(bytes), name_(std::move(name)) {}
    std::size_t read(void* buffer, std::size_t size) override;
    void seek(std::uint64_t position) override { position_ = position; }
    std::uint64_t position() const override { return position_; }
    std::uint64_t size() const override { return bytes_.size(); }
    const std::uint8_t* mapped() override { return bytes_.data(); }
    const std::string& name() const override { return name_; }

private:
    const std::vector<std::uint8_t>& bytes_;
    std::string name_;
    std::uint64_t position_ = 0;
};

// A file made in memory.
class MemorySink : public ByteSink {
public:
    explicit MemorySink(std::string name) : name_(std::move(name)) {}
    void write(const void* data, std::size_t size) override;
    std::size_t read(void* buffer, std::size_t size) override;
    void seek(std::uint64_t position) override { position_ = position; }
    std::uint64_t position() const override { return position_; }
    std::uint64_t size() const override { return bytes_.size(); }
    const std::string& name() const override { return name_; }
    std::vector<std::uint8_t>& bytes() { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::string name_;
    std::uint64_t position_ = 0;
};

}  // namespace host
