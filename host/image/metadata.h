#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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
UprightMetadata uprightMetadata(const DecodedFile& decoded, const std::string& name,
                                std::vector<std::string>& warnings);

// The EXIF (IFD0 with its EXIF, GPS and maker-note directories), XMP (tag
// 700) and IPTC-IIM (tag 33723, or the Photoshop resources of tag 34377) of
// a TIFF file, into `decoded`. False, with a warning, when exiv2 cannot read
// the file's directories.
bool readTiffMetadata(const std::vector<std::uint8_t>& file, DecodedFile& decoded, const std::string& name);

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

// Writes EXIF (with its GPS and maker-note directories), XMP, IPTC-IIM and
// the ICC profile into `tiff`, a TIFF file as libtiff wrote it. A block that
// cannot be written is left out with a warning; the file is then written
// with the others.
void addTiffMetadata(std::vector<std::uint8_t>& tiff, const ImageMetadata& metadata, EncodeReport& report);

}  // namespace host
