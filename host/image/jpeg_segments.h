#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "host/metadata/exif_signature.h"

namespace host {

// The application segments in which JPEG files carry metadata, each
// recognised by the signature its payload starts with.

// APP1: EXIF (kExifSignature in exif_signature.h, then the block in TIFF form).
// APP1: the standard XMP packet.
inline constexpr char kXmpSignature[] = "http://ns.adobe.com/xap/1.0/";  // 29 bytes with its zero
inline constexpr std::size_t kXmpSignatureSize = sizeof(kXmpSignature);
// APP1: a chunk of the extended XMP packet: the signature, the packet's
// GUID (32 hex digits), its full length and this chunk's offset (32-bit
// big-endian each), then the chunk.
inline constexpr char kXmpExtensionSignature[] = "http://ns.adobe.com/xmp/extension/";  // 35 with its zero
inline constexpr std::size_t kXmpExtensionSignatureSize = sizeof(kXmpExtensionSignature);
inline constexpr std::size_t kXmpExtensionHeaderSize = kXmpExtensionSignatureSize + 32 + 4 + 4;
// APP13: Photoshop image resources, among them the IPTC-IIM datasets.
inline constexpr char kPhotoshopSignature[] = "Photoshop 3.0";  // 14 bytes with its zero
inline constexpr std::size_t kPhotoshopSignatureSize = sizeof(kPhotoshopSignature);

// Largest payload of one segment (its length field counts itself too).
inline constexpr std::size_t kMaxSegmentPayload = 65533;
// Largest standard XMP packet, and largest chunk of an extended packet.
inline constexpr std::size_t kMaxStandardXmp = kMaxSegmentPayload - kXmpSignatureSize;
inline constexpr std::size_t kMaxXmpExtensionChunk = 65400;

// Assembles extended XMP packets from their chunks, which may come in any
// order. Chunks that disagree with the others of their packet, or that fall
// outside it, are ignored; a packet with a gap is not assembled.
class ExtendedXmpChunks {
public:
    // Takes one APP1 payload that starts with kXmpExtensionSignature.
    void add(const std::uint8_t* payload, std::size_t size);
    // Every whole packet, by GUID.
    std::map<std::string, std::string> packets() const;

private:
    struct Packet {
        std::uint32_t length = 0;
        std::map<std::uint32_t, std::string> chunks;  // by offset
    };
    std::map<std::string, Packet> packets_;
};

// APP1 payloads for XMP: the standard packet, then the extended packet
// (if any) in chunks under `guid`.
std::vector<std::vector<std::uint8_t>> xmpSegments(const std::string& standard, const std::string& extended,
                                                   const std::string& guid);

}  // namespace host
