// Fuzzes one parser behind the image path with bytes that reach it
// directly, wrapped in the smallest valid file around them, so that the
// fuzzer spends its time inside that parser rather than in finding the way
// to it:
//   fuzz_xmp      the bytes are the XMP packet of a 1 x 1 PNG (an iTXt
//                 chunk), which exiv2 parses with expat;
//   fuzz_jxl_box  the bytes are the Brotli stream of a compressed XMP box
//                 ("brob") in a 1 x 1 JPEG XL file, which libjxl
//                 decompresses with brotli.
// The whole file then goes through the host's decoding, as a user's would:
// bad input may only ever raise HostError.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/host_error.h"
#include "host/image/image_files.h"

namespace {

constexpr std::uint64_t kMaxFuzzImageBytes = std::uint64_t{256} << 10;

void appendBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

void appendBytes(std::vector<std::uint8_t>& out, const void* bytes, std::size_t size) {
    const auto* start = static_cast<const std::uint8_t*>(bytes);
    out.insert(out.end(), start, start + size);
}

// A PNG chunk: length, type, data and the CRC of type and data.
void appendChunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data) {
    appendBigEndian(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeAt = out.size();
    appendBytes(out, type, 4);
    appendBytes(out, data.data(), data.size());
    const uLong crc = crc32(0, out.data() + typeAt, static_cast<uInt>(4 + data.size()));
    appendBigEndian(out, static_cast<std::uint32_t>(crc));
}

[[maybe_unused]] std::vector<std::uint8_t> pngWithXmp(const std::uint8_t* packet, std::size_t size) {
    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a};
    appendChunk(png, "IHDR", {0, 0, 0, 1, 0, 0, 0, 1, 8, 2, 0, 0, 0});  // 1 x 1, 8-bit RGB
    std::vector<std::uint8_t> text;
    const char keyword[] = "XML:com.adobe.xmp";
    appendBytes(text, keyword, sizeof(keyword));  // with its terminating zero
    text.insert(text.end(), {0, 0, 0, 0});        // not compressed, no language, no translated keyword
    appendBytes(text, packet, size);
    appendChunk(png, "iTXt", text);
    // One row: filter 0 and a grey pixel, deflated.
    appendChunk(png, "IDAT", {0x78, 0xda, 0x63, 0x68, 0x68, 0x68, 0x00, 0x00, 0x03, 0x04, 0x01, 0x81});
    appendChunk(png, "IEND", {});
    return png;
}

[[maybe_unused]] std::vector<std::uint8_t> jxlWithBrotliBox(const std::uint8_t* stream, std::size_t size) {
    // A lossless 1 x 1 JPEG XL file in its container (cjxl --container=1),
    // split after its "ftyp" box, where the "brob" box goes.
    static const std::uint8_t head[] = {0x00, 0x00, 0x00, 0x0c, 0x4a, 0x58, 0x4c, 0x20, 0x0d, 0x0a, 0x87,
                                        0x0a, 0x00, 0x00, 0x00, 0x14, 0x66, 0x74, 0x79, 0x70, 0x6a, 0x78,
                                        0x6c, 0x20, 0x00, 0x00, 0x00, 0x00, 0x6a, 0x78, 0x6c, 0x20};
    static const std::uint8_t codestream[] = {0x00, 0x00, 0x00, 0x21, 0x6a, 0x78, 0x6c, 0x63, 0xff, 0x0a, 0x00,
                                              0x10, 0x10, 0x50, 0x5c, 0x08, 0x08, 0x02, 0x01, 0x00, 0x2c, 0x00,
                                              0x4b, 0x18, 0x8b, 0x15, 0xc2, 0x49, 0x41, 0x1e, 0x40, 0xa4, 0x3f};
    std::vector<std::uint8_t> jxl(std::begin(head), std::end(head));
    appendBigEndian(jxl, static_cast<std::uint32_t>(8 + 4 + size));
    appendBytes(jxl, "brobxml ", 8);
    appendBytes(jxl, stream, size);
    jxl.insert(jxl.end(), std::begin(codestream), std::end(codestream));
    return jxl;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (std::size_t{64} << 10)) {
        return 0;
    }
#if defined(SEPIA_FUZZ_XMP)
    const std::vector<std::uint8_t> file = pngWithXmp(data, size);
    const char* name = "input.png";
#else
    const std::vector<std::uint8_t> file = jxlWithBrotliBox(data, size);
    const char* name = "input.jxl";
#endif
    try {
        const host::Picture picture = host::decodeImage(file, name, kMaxFuzzImageBytes);
        if (picture.image.width != 1 || picture.image.height != 1) {
            std::abort();
        }
    } catch (const host::HostError&) {
        // Refused cleanly.
    }
    return 0;
}
