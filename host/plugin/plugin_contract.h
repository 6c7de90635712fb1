#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

// The binary contract of a plug-in library, as the host application sees it.
// Written from the host's side only: it shares no header with any plug-in, so
// it loads any library that keeps the same contract.
namespace host {

// Positions of the entries in the object's virtual table.
namespace entry {
inline constexpr int kGetName = 0;
inline constexpr int kGetDescription = 1;
inline constexpr int kDescribeParameter = 8;
inline constexpr int kProcess = 13;
inline constexpr int kCount = 19;
}  // namespace entry

// The host-owned parameter record: a block of at least kRecordSize bytes with
// fields at fixed offsets, little-endian. The host allocates it larger than
// the plug-in needs, as a real host may.
class ParameterBlock {
public:
    static constexpr std::size_t kLabelsOffset = 0;
    static constexpr std::size_t kLabelsSize = 256;
    static constexpr std::size_t kValueOffset = 256;
    static constexpr std::size_t kMinimumOffset = 264;
    static constexpr std::size_t kMaximumOffset = 272;
    static constexpr std::size_t kAuxiliaryOffset = 280;
    static constexpr std::size_t kKindOffset = 288;
    static constexpr std::size_t kRecordSize = 292;
    static constexpr std::size_t kBlockSize = 512;

    explicit ParameterBlock(unsigned char fill = 0) { std::memset(bytes_, fill, sizeof(bytes_)); }

    void* data() { return bytes_; }
    const unsigned char* bytes() const { return bytes_; }

    // The labels text, up to its zero byte or the end of the field.
    std::string labels() const {
        const void* end = std::memchr(bytes_, 0, kLabelsSize);
        const std::size_t length =
            end ? static_cast<std::size_t>(static_cast<const unsigned char*>(end) - bytes_) : kLabelsSize;
        return std::string(reinterpret_cast<const char*>(bytes_), length);
    }
    double value() const { return read<double>(kValueOffset); }
    double minimum() const { return read<double>(kMinimumOffset); }
    double maximum() const { return read<double>(kMaximumOffset); }
    double auxiliary() const { return read<double>(kAuxiliaryOffset); }
    std::int32_t kind() const { return read<std::int32_t>(kKindOffset); }
    void setValue(double value) { std::memcpy(bytes_ + kValueOffset, &value, sizeof(value)); }

private:
    template <typename T>
    T read(std::size_t offset) const {
        T result;
        std::memcpy(&result, bytes_ + offset, sizeof(result));
        return result;
    }

    alignas(8) unsigned char bytes_[kBlockSize];
};

}  // namespace host
