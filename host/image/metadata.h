#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/files/byte_stream.h"
#include "host/image/codecs.h"
#include "host/image/image_format.h"
#include "host/image/picture.h"

namespace host {

// EXIF, XMP and IPTC-IIM through exiv2, the metadata library of the photo
// tools (digiKam, darktable, GIMP, gThumb). Every function may be called from
// several threads at once.

// Metadata made true of the upright picture the host writes, and the
// orientation that turns the stored pixels upright.
struct UprightMetadata {
    ImageMetadata metadata;
    int orientation = 1;
};

// From the blocks a decoder found:
//  - the orientation: the file's own (TIFF), else the EXIF's, else the XMP's;
//  - EXIF whole, GPS and maker notes included, but without its thumbnail and
//    without the tags that describe how the stored pixels were laid out or
//    that carry the other blocks; orientation 1, and the upright picture's
//    pixel dimensions where it records them;
//  - XMP whole (a JPEG's extended XMP merged in), with tiff:Orientation 1 and
//    the upright picture's pixel dimensions where it records them;
//  - IPTC-IIM as stored; the ICC profile when it describes RGB data, as the
//    toned picture is (a grey or CMYK profile would misdescribe it).
// A block exiv2 cannot read is left out, with a warning naming `name`.
UprightMetadata uprightMetadata(const FileHeader& decoded, const std::string& name, std::vector<std::string>& warnings);

// The EXIF (IFD0 with its EXIF, GPS and maker-note directories), XMP (tag
// 700) and IPTC-IIM (tag 33723, or the Photoshop resources of tag 34377) of
// a classic TIFF file, into `decoded`. False, with a warning, when exiv2
// cannot read the file's directories; false without one for BigTIFF, which
// exiv2 does not read.
bool readTiffMetadata(ByteSource& file, FileHeader& decoded);

// The EXIF, XMP, IPTC-IIM and ICC profile of a PNG file, wherever its
// chunks lie (before the image data, or after it, where the decoder does
// not look), as exiv2 finds them; a block it cannot read is left out with a
// warning. Leaves the file at its start.
void readPngMetadataAnywhere(ByteSource& file, ImageMetadata& metadata, std::vector<std::string>& warnings);

// EXIF as a TIFF output carries it. The fields of the image's own
// directory (Make, Model, Artist, ...) go into the output's first
// directory, each as stored (little-endian). The EXIF, GPS and maker-note
// directories come as `prefix`, a TIFF structure whose offsets count from
// its own start: written at the start of the output, before libtiff's
// data, it holds them ready, and the output's first directory points at
// `exifDirectory` and `gpsDirectory` (0: none) within it. What cannot be
// made is left out with a warning.
struct TiffField {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;  // TIFF's field type: 1 BYTE, 2 ASCII, 3 SHORT, ...
    std::uint32_t count = 0;
    std::vector<std::uint8_t> bytes;
};
struct ExifForTiff {
    std::vector<TiffField> imageFields;
    std::vector<std::uint8_t> prefix;
    std::uint64_t exifDirectory = 0;
    std::uint64_t gpsDirectory = 0;
};
ExifForTiff exifForTiff(const std::vector<std::uint8_t>& exif, EncodeReport& report);

// The fields of a TIFF's image directory and of its EXIF and GPS
// directories, each in TIFF's own type and little-endian bytes.
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

// The IPTC-IIM datasets among Photoshop image resources (a JPEG's APP13
// segments, after their "Photoshop 3.0" signature); empty if none.
std::vector<std::uint8_t> iptcFromPhotoshopResources(const std::vector<std::uint8_t>& resources);

// Photoshop image resources holding `iptc`, for a JPEG's APP13 segment.
std::vector<std::uint8_t> photoshopResourcesWith(const std::vector<std::uint8_t>& iptc);

// EXIF in TIFF form for a JPEG's APP1 segment, which holds at most 64 KiB:
// what does not fit (large maker-note previews first) is left out, with a
// warning naming what.
std::vector<std::uint8_t> exifForJpeg(const std::vector<std::uint8_t>& exif, EncodeReport& report);

// XMP for a JPEG: the whole packet when it fits `standardLimit` bytes;
// otherwise a standard packet that does, pointing at an extended packet
// (xmpNote:HasExtendedXMP) that holds the properties moved out of it,
// largest first. `extended` is empty when one packet holds everything.
struct JpegXmp {
    std::string standard;
    std::string extended;
    std::string guid;  // 32 upper-case hex digits: MD5 of `extended`
};
JpegXmp xmpForJpeg(const std::string& xmp, std::size_t standardLimit, EncodeReport& report);

// The picture's metadata as the format `format` can hold it:
//  - PNG's colour chunks stay in PNG; elsewhere an ICC profile says what
//    they say, unless the picture has one;
//  - a JPEG's comments stay comments in JPEG, become "Comment" text in PNG,
//    and the XMP's exif:UserComment elsewhere;
//  - PNG text stays in PNG; elsewhere Title, Author, Description, Copyright
//    and Software go into the XMP (dc:title, dc:creator, dc:description,
//    dc:rights, xmp:CreatorTool) where it lacks them, a "Comment" becomes a
//    comment, and any other keyword is left out with a warning;
//  - IPTC-IIM, which PNG and WebP have no place for, goes into their XMP
//    as the IPTC Core properties it lacks.
// Whatever cannot be carried is left out with a warning naming the output.
ImageMetadata metadataForFormat(const ImageMetadata& metadata, ImageFormat format, EncodeReport& report);

}  // namespace host
