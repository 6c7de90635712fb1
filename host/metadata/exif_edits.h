#pragma once

// Edits of EXIF as exiv2 holds it, for making a picture's EXIF true of the
// upright picture the host writes. For .cpp files of the metadata work.
#include <exiv2/exiv2.hpp>

#include <cstdint>
#include <optional>
#include <string>

#include "host/metadata/image_metadata.h"

namespace host {

// Tags of the image's directory that describe how the stored pixels were
// laid out (each format's writer sets its own), or that carry the blocks the
// host keeps apart (XMP, IPTC-IIM, ICC, Photoshop's resources and layers).
bool isLayoutOrCarrierTag(std::uint16_t tag);

// Directories of other images than the picture: the thumbnail, previews,
// sub-images and raw data.
bool isOtherImagesGroup(const std::string& group);

// Sets a whole number, as a SHORT where the field is one and it fits.
void setWholeNumber(Exiv2::Exifdatum& datum, long value);

// Sets `key` to `value` where `exif` records it.
void updateExif(Exiv2::ExifData& exif, const char* key, long value);

// The print resolution of the image's directory; none if it records none.
std::optional<PrintResolution> resolutionIn(const Exiv2::ExifData& exif);

// A resolution as an EXIF rational: whole numbers as they are, others to a
// thousandth.
Exiv2::URational rationalOf(double value);

// Sets the image directory's resolution and its unit.
void setResolution(Exiv2::ExifData& exif, const PrintResolution& resolution);

// An orientation field's value, 1 to 8; 0 for anything else.
int orientationIn(const Exiv2::Metadatum& datum);

}  // namespace host
