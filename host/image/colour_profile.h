#pragma once

#include <cstdint>
#include <vector>

#include "host/image/picture.h"

namespace host {

// An ICC profile for RGB data that says what PNG's colour chunks say, for
// formats that describe colour only by profile: sRGB's own profile for an
// sRGB chunk; otherwise the cHRM chunk's white point and primaries (sRGB's
// where there is none) with the gAMA chunk's gamma (sRGB's curve where there
// is none). Made with Little CMS; empty when `colour` is empty or holds
// values no profile can take. Safe to call from several threads at once.
std::vector<std::uint8_t> iccProfileFor(const PngColour& colour);

}  // namespace host
