#include "toning/toning_pass.h"

#include <cstddef>

#include "toning/floating_point_state.h"
#include "toning/preset_matrices.h"

void tonePixelsWith(const ToningPlan& plan, std::uint8_t* destination, const std::uint8_t* source, std::int32_t width,
                    std::int32_t height, PresetIndex preset) noexcept {
    if (width <= 0 || height <= 0) {
        return;
    }
    // Rows are packed without gaps, so the whole image is one run of pixels.
    const std::size_t pixelCount = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    const DefaultFloatingPointState defaultState;
    plan.kernel(destination, source, pixelCount, toningMatrixFor(preset),
                plan.storesFor(destination, source, pixelCount));
}

void tonePixels(std::uint8_t* destination, const std::uint8_t* source, std::int32_t width, std::int32_t height,
                PresetIndex preset) noexcept {
    tonePixelsWith(activeToningPlan(), destination, source, width, height, preset);
}
