// Fuzzes the plug-in's Process: an arbitrary `value` (8 raw bytes, so NaNs
// and infinities occur), width and height (small, zero and negative
// included), pixels, in place or not. Every destination byte must equal the
// scalar kernel's, nothing around the destination may change, and the source
// must stay as it was.
//
// Input: value (8 bytes), width, height, flags (1 byte each), then pixels.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "plugin/exports.h"
#include "toning/preset_matrices.h"
#include "toning/scalar_kernel.h"

namespace {

constexpr std::size_t kGuard = 64;

// The preset a value selects, stated without the plug-in's own rule: only a
// value whose truncation toward zero is 0..10 selects one.
PresetIndex expectedPreset(double value) {
    if (!(value > -1.0 && value < 11.0)) {
        return kNoPreset;
    }
    return static_cast<PresetIndex>(value);
}

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 11) {
        return 0;
    }
    double value = 0;
    std::memcpy(&value, data, sizeof(value));
    const int width = static_cast<std::int8_t>(data[8]) % 41;  // -40..40
    const int height = static_cast<std::int8_t>(data[9]) % 9;  // -8..8
    const bool inPlace = (data[10] & 1) != 0;
    data += 11;
    size -= 11;

    const std::size_t pixels =
        width > 0 && height > 0 ? static_cast<std::size_t>(width) * static_cast<std::size_t>(height) : 0;
    const std::size_t bytes = 4 * pixels;
    std::vector<std::uint8_t> source(bytes);
    for (std::size_t i = 0; i < bytes; ++i) {
        source[i] = size > 0 ? data[i % size] : static_cast<std::uint8_t>(i);
    }
    std::vector<std::uint8_t> buffer(kGuard + bytes + kGuard);
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        buffer[i] = static_cast<std::uint8_t>(i * 37 + 11);
    }
    std::uint8_t* destination = buffer.data() + kGuard;
    if (inPlace && bytes > 0) {
        std::memcpy(destination, source.data(), bytes);
    }
    std::vector<std::uint8_t> expected = buffer;
    const std::vector<std::uint8_t> originalSource = source;

    ParameterRecord record{};
    record.value = value;
    IPlugin* plugin = Create_Plugin();
    plugin->Process(destination, inPlace ? destination : source.data(), width, height, &record);
    Release_Plugin(plugin);

    std::uint8_t* expectedDestination = expected.data() + kGuard;
    toneScalar(expectedDestination, inPlace ? expectedDestination : originalSource.data(), pixels,
               toningMatrixFor(expectedPreset(value)));
    require(buffer == expected);
    require(source == originalSource);
    return 0;
}
