#include "host/metadata/exif_signature.h"

#include <cstring>

namespace host {

bool startsWith(const std::uint8_t* payload, std::size_t size, const char* signature, std::size_t signatureSize) {
    return size >= signatureSize && std::memcmp(payload, signature, signatureSize) == 0;
}

std::vector<std::uint8_t> exifWithoutSignature(const std::uint8_t* data, std::size_t size) {
    const std::size_t skip = startsWith(data, size, kExifSignature, kExifSignatureSize) ? kExifSignatureSize : 0;
    return {data + skip, data + size};
}

}  // namespace host
