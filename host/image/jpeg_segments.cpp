#include "host/image/jpeg_segments.h"

#include <algorithm>
#include <cstring>

namespace host {

namespace {

// Extended XMP packets larger than this are not assembled: far beyond any
// real one, and each costs its size in memory.
constexpr std::uint32_t kMaxExtendedXmp = std::uint32_t{64} << 20;

std::uint32_t bigEndian32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
           static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
}

void appendBigEndian32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

void append(std::vector<std::uint8_t>& out, const void* bytes, std::size_t size) {
    const auto* first = static_cast<const std::uint8_t*>(bytes);
    out.insert(out.end(), first, first + size);
}

}  // namespace

void ExtendedXmpChunks::add(const std::uint8_t* payload, std::size_t size) {
    if (size <= kXmpExtensionHeaderSize) {
        return;
    }
    const std::string guid(reinterpret_cast<const char*>(payload) + kXmpExtensionSignatureSize, 32);
    const std::uint32_t length = bigEndian32(payload + kXmpExtensionSignatureSize + 32);
    const std::uint32_t offset = bigEndian32(payload + kXmpExtensionSignatureSize + 36);
    const std::size_t chunkSize = size - kXmpExtensionHeaderSize;
    if (length == 0 || length > kMaxExtendedXmp || offset >= length || chunkSize > length - offset) {
        return;
    }
    Packet& packet = packets_[guid];
    if (packet.length == 0) {
        packet.length = length;
    }
    if (packet.length == length) {
        packet.chunks.emplace(offset,
                              std::string(reinterpret_cast<const char*>(payload) + kXmpExtensionHeaderSize, chunkSize));
    }
}

std::map<std::string, std::string> ExtendedXmpChunks::packets() const {
    std::map<std::string, std::string> whole;
    for (const auto& [guid, packet] : packets_) {
        std::string text;
        for (const auto& [offset, chunk] : packet.chunks) {
            if (offset != text.size()) {
                break;  // a gap, or an overlap
            }
            text += chunk;
        }
        if (text.size() == packet.length) {
            whole.emplace(guid, std::move(text));
        }
    }
    return whole;
}

std::vector<std::vector<std::uint8_t>> xmpSegments(const std::string& standard, const std::string& extended,
                                                   const std::string& guid) {
    std::vector<std::vector<std::uint8_t>> segments;
    std::vector<std::uint8_t> first;
    append(first, kXmpSignature, kXmpSignatureSize);
    append(first, standard.data(), standard.size());
    segments.push_back(std::move(first));
    for (std::size_t offset = 0; offset < extended.size(); offset += kMaxXmpExtensionChunk) {
        const std::size_t size = std::min(kMaxXmpExtensionChunk, extended.size() - offset);
        std::vector<std::uint8_t> chunk;
        append(chunk, kXmpExtensionSignature, kXmpExtensionSignatureSize);
        append(chunk, guid.data(), guid.size());
        appendBigEndian32(chunk, static_cast<std::uint32_t>(extended.size()));
        appendBigEndian32(chunk, static_cast<std::uint32_t>(offset));
        append(chunk, extended.data() + offset, size);
        segments.push_back(std::move(chunk));
    }
    return segments;
}

}  // namespace host
