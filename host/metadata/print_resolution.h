#pragma once

#include <cstdint>

#include "host/metadata/image_metadata.h"

namespace host {

// Print resolutions between the units formats store them in. PNG counts
// pixels per metre; JPEG's JFIF segment whole pixels per inch or per
// centimetre; EXIF and TIFF fractions per inch or centimetre.

// A PNG pHYs value: per metre (`perMetre`), or else an aspect ratio. Per
// metre becomes per inch when it is what a whole number of pixels per inch
// gives (11811 is 300 dpi), else per centimetre.
PrintResolution resolutionFromPng(std::uint32_t x, std::uint32_t y, bool perMetre);

// The pHYs values for `resolution`: {x, y, per metre?}.
struct PngPhys {
    std::uint32_t x = 0;
    std::uint32_t y = 0;
    bool perMetre = false;
};
PngPhys pngPhysFor(const PrintResolution& resolution);

// The JFIF density for `resolution`: unit 0 (aspect ratio), 1 (per inch) or
// 2 (per centimetre) and whole numbers from 1 to 65535.
struct JfifDensity {
    std::uint8_t unit = 0;
    std::uint16_t x = 1;
    std::uint16_t y = 1;
};
JfifDensity jfifDensityFor(const PrintResolution& resolution);

}  // namespace host
