#include "host/metadata/print_resolution.h"

#include <algorithm>
#include <cmath>

namespace host {

namespace {

constexpr double kMetresPerInch = 0.0254;

std::uint32_t clampedWhole(double value, double high) {
    return static_cast<std::uint32_t>(std::lround(std::clamp(value, 1.0, high)));
}

}  // namespace

PrintResolution resolutionFromPng(std::uint32_t x, std::uint32_t y, bool perMetre) {
    PrintResolution resolution{static_cast<double>(x), static_cast<double>(y), PrintResolution::Unit::None};
    if (!perMetre) {
        return resolution;
    }
    auto wholeInches = [](std::uint32_t perMetreValue) {
        const double inches = std::round(perMetreValue * kMetresPerInch);
        return std::lround(inches / kMetresPerInch) == static_cast<long>(perMetreValue) ? inches : 0.0;
    };
    if (const double xi = wholeInches(x), yi = wholeInches(y); xi > 0 && yi > 0) {
        return {xi, yi, PrintResolution::Unit::Inch};
    }
    return {x / 100.0, y / 100.0, PrintResolution::Unit::Centimetre};
}

PngPhys pngPhysFor(const PrintResolution& resolution) {
    constexpr double kMax = 2147483647.0;  // PNG's four-byte values are at most 2^31 - 1
    switch (resolution.unit) {
        case PrintResolution::Unit::Inch:
            return {clampedWhole(resolution.x / kMetresPerInch, kMax),
                    clampedWhole(resolution.y / kMetresPerInch, kMax), true};
        case PrintResolution::Unit::Centimetre:
            return {clampedWhole(resolution.x * 100, kMax), clampedWhole(resolution.y * 100, kMax), true};
        case PrintResolution::Unit::None:
            break;
    }
    return {clampedWhole(resolution.x, kMax), clampedWhole(resolution.y, kMax), false};
}

JfifDensity jfifDensityFor(const PrintResolution& resolution) {
    const auto unit = static_cast<std::uint8_t>(resolution.unit == PrintResolution::Unit::Inch         ? 1
                                                : resolution.unit == PrintResolution::Unit::Centimetre ? 2
                                                                                                       : 0);
    double x = resolution.x;
    double y = resolution.y;
    if (unit == 0 && (x > 65535 || y > 65535)) {
        // An aspect ratio, brought within JFIF's range.
        const double scale = 65535 / std::max(x, y);
        x *= scale;
        y *= scale;
    }
    return {unit, static_cast<std::uint16_t>(clampedWhole(x, 65535)),
            static_cast<std::uint16_t>(clampedWhole(y, 65535))};
}

}  // namespace host
