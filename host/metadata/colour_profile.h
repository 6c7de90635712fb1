#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "host/metadata/image_metadata.h"

namespace host {

// An ICC profile for RGB data that says what PNG's colour chunks say, for
// formats that describe colour only by profile: sRGB's own profile for an
// sRGB chunk; otherwise the cHRM chunk's white point and primaries (sRGB's
// where there is none) with the gAMA chunk's gamma (sRGB's curve where there
// is none). Made with Little CMS; empty when `colour` is empty or holds
// values no profile can take. Safe to call from several threads at once.
std::vector<std::uint8_t> iccProfileFor(const PngColour& colour);

// An ICC profile for RGB data that says what an nclx colour description
// says: its primaries and white point (BT.709/sRGB, BT.601, BT.2020, DCI-P3,
// Display P3, ...) with its transfer curve (sRGB's, BT.709's, gamma 2.2 or
// 2.8, linear). An empty profile where none is needed (sRGB, or nothing
// specified); none where no profile of this kind can say it (PQ and HLG,
// unknown code points). Made with Little CMS; safe from several threads.
std::optional<std::vector<std::uint8_t>> iccProfileFor(const Cicp& cicp);

}  // namespace host
