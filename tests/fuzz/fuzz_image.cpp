// Fuzzes the reference host's image path with arbitrary bytes: decode as
// PNG, JPEG, BMP or TGA, tone through the plug-in, encode as PNG or BMP, and
// decode the result again. Bad input may only ever raise HostError.
//
// Input: one control byte (preset, output format), then the file's bytes.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "host/host_error.h"
#include "host/image/image_files.h"
#include "plugin/exports.h"

namespace {

// Keeps each run small: a header may announce any size.
constexpr std::uint64_t kMaxFuzzImageBytes = std::uint64_t{256} << 10;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::uint8_t control = data[0];
    const std::vector<std::uint8_t> file(data + 1, data + size);
    try {
        host::BgraImage image = host::decodeImage(file, "input", kMaxFuzzImageBytes);
        ParameterRecord record{};
        record.value = control % 12;
        IPlugin* plugin = Create_Plugin();
        plugin->Process(image.pixels.data(), image.pixels.data(), image.width, image.height, &record);
        Release_Plugin(plugin);

        const bool bmp = (control & 0x80) != 0;
        const std::vector<std::uint8_t> encoded = host::encodeImage(image, bmp ? "out.bmp" : "out.png");
        const host::BgraImage back = host::decodeImage(encoded, "output", kMaxFuzzImageBytes);
        if (back.width != image.width || back.height != image.height) {
            std::abort();
        }
        // Colours survive both formats; alpha survives PNG (a BMP reader may
        // take an all-zero alpha channel for an absent one).
        for (std::size_t i = 0; i < image.pixels.size(); ++i) {
            if ((i % 4 != 3 || !bmp) && back.pixels[i] != image.pixels[i]) {
                std::abort();
            }
        }
    } catch (const host::HostError&) {
        // Refused cleanly: what the host does with bad files.
    }
    return 0;
}
