#pragma once

#include <tiffio.h>

#include <cstdint>
#include <vector>

namespace host {

// EXIF in a TIFF file lives in its own tags: descriptive text in the image's
// directory (Make, Model, DateTime, ...) and the rest in an EXIF directory
// that the image's directory points to. These convert between that and the
// EXIF block the other formats carry, through libtiff's and libexif's
// descriptions of each tag. Tags of the EXIF directory that libtiff does not
// describe, and the GPS directory, are not carried.

// The EXIF block of the open file's current image (empty if it has none).
// Leaves the file on its EXIF directory: read it after the pixels.
std::vector<std::uint8_t> readTiffExif(TIFF* tiff);

// Sets the image directory's descriptive tags from `exif`; call before the
// pixels are written.
void setTiffExifText(TIFF* tiff, const std::vector<std::uint8_t>& exif);

// Writes the EXIF directory of `exif` after the image directory was written,
// and points the image directory (directory 0) at it. False when libtiff
// fails.
bool writeTiffExifDirectory(TIFF* tiff, const std::vector<std::uint8_t>& exif);

}  // namespace host
