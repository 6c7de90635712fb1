#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/files/byte_stream.h"
#include "host/metadata/image_metadata.h"

namespace host {

// Metadata that exiv2 reads from a whole file, where the format's own
// decoder does not reach it. Every function may be called from several
// threads at once.

// The EXIF (IFD0 with its EXIF, GPS and maker-note directories), XMP (tag
// 700) and IPTC-IIM (tag 33723, or the Photoshop resources of tag 34377) of
// a classic TIFF file, into `metadata`. False, with a warning, when exiv2
// cannot read the file's directories; false without one for BigTIFF, which
// exiv2 does not read (see exifFromFields).
bool readTiffMetadata(ByteSource& file, ImageMetadata& metadata, std::vector<std::string>& warnings);

// The EXIF, XMP, IPTC-IIM and ICC profile of a PNG file, wherever its
// chunks lie (before the image data, or after it, where the decoder does
// not look), as exiv2 finds them; a block it cannot read is left out with a
// warning. Leaves the file at its start.
void readPngMetadataAnywhere(ByteSource& file, ImageMetadata& metadata, std::vector<std::string>& warnings);

// A field of a TIFF directory: its tag, TIFF's type of it (1 BYTE, 2 ASCII,
// 3 SHORT, ...), its count, and its values as stored, in little-endian order.
struct TiffField {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::vector<std::uint8_t> bytes;
};

// The fields of a TIFF's image directory and of its EXIF and GPS
// directories.
struct TiffExifFields {
    std::vector<TiffField> image;
    std::vector<TiffField> exif;
    std::vector<TiffField> gps;
};

// EXIF in its TIFF form made of such fields, for files whose directories
// exiv2 does not read (BigTIFF); empty, with a warning naming `name`, when
// exiv2 cannot make it.
std::vector<std::uint8_t> exifFromFields(const TiffExifFields& fields, const std::string& name,
                                         std::vector<std::string>& warnings);

}  // namespace host
