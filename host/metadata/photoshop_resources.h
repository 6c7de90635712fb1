#pragma once

#include <cstdint>
#include <vector>

namespace host {

// The IPTC-IIM datasets among Photoshop image resources (a JPEG's APP13
// segments, after their "Photoshop 3.0" signature); empty if none.
std::vector<std::uint8_t> iptcFromPhotoshopResources(const std::vector<std::uint8_t>& resources);

// Photoshop image resources holding `iptc`, for a JPEG's APP13 segment.
std::vector<std::uint8_t> photoshopResourcesWith(const std::vector<std::uint8_t>& iptc);

}  // namespace host
