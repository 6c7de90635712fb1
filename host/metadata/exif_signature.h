#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace host {

// The signature before EXIF in a JPEG's APP1 segment, which some writers of
// PNG, WebP, HEIF and JPEG XL put before it too: "Exif\0\0".
inline constexpr char kExifSignature[] = "Exif\0";  // 6 bytes with the literal's own zero
inline constexpr std::size_t kExifSignatureSize = sizeof(kExifSignature);

// Whether `payload` (of `size` bytes) starts with `signature` (of
// `signatureSize` bytes, its zero included).
bool startsWith(const std::uint8_t* payload, std::size_t size, const char* signature, std::size_t signatureSize);

// The TIFF form of an EXIF block as a file stores it, without the
// signature where there is one.
std::vector<std::uint8_t> exifWithoutSignature(const std::uint8_t* data, std::size_t size);

}  // namespace host
