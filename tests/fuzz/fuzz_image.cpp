// Fuzzes the reference host's image path with arbitrary bytes: decode (PNG,
// JPEG, TIFF, WebP, HEIF, AVIF or JPEG XL, recognised by content, through
// the codec libraries,
// which the fuzz build instruments too), orientation and metadata, tone
// through the plug-in, encode in a format the input's size chooses, and
// decode the result again. Bad input may only ever raise HostError; a
// lossless output must give back exactly the toned pixels, upright (so the
// orientation written is 1), and the EXIF and XMP kept must arrive unless a
// warning says why not.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/host_error.h"
#include "host/image/image_files.h"
#include "plugin/exports.h"

namespace {

// Keeps each run small: a header may announce any size.
constexpr std::uint64_t kMaxFuzzImageBytes = std::uint64_t{256} << 10;

constexpr host::ImageFormat kFormats[] = {host::ImageFormat::Png,  host::ImageFormat::Jpeg, host::ImageFormat::Tiff,
                                          host::ImageFormat::Webp, host::ImageFormat::Avif, host::ImageFormat::Jxl};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> file(data, data + size);
    // The choices come from the size, so that seeds are plain image files.
    const int preset = static_cast<int>(size % 13);  // 11 and 12 select no preset
    const host::ImageFormat format = kFormats[(size / 13) % 6];
    host::WriteOptions options;
    options.encode.lossless = true;
    options.strip = (size / 78) % 2 == 1;
    try {
        host::Picture picture = host::decodeImage(file, "input", kMaxFuzzImageBytes);
        ParameterRecord record{};
        record.value = preset;
        IPlugin* plugin = Create_Plugin();
        plugin->Process(picture.image.pixels.data(), picture.image.pixels.data(), picture.image.width,
                        picture.image.height, &record);
        Release_Plugin(plugin);

        std::vector<std::string> warnings;
        const std::vector<std::uint8_t> encoded = host::encodeImage(picture, format, options, "output", warnings);
        const host::Picture back = host::decodeImage(encoded, "output", kMaxFuzzImageBytes);
        if (back.image.width != picture.image.width || back.image.height != picture.image.height) {
            std::abort();
        }
        if (format != host::ImageFormat::Jpeg && back.image.pixels != picture.image.pixels) {
            std::abort();
        }
        const bool kept = !options.strip && warnings.empty();
        if (kept && ((!picture.metadata.exif.empty() && back.metadata.exif.empty()) ||
                     (!picture.metadata.xmp.empty() && back.metadata.xmp.empty()))) {
            std::abort();
        }
    } catch (const host::HostError&) {
        // Refused cleanly: what the host does with bad files.
    }
    return 0;
}
