#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace host {

// A text chunk of a PNG file (tEXt, zTXt or iTXt): a keyword such as
// "Title", "Author", "Copyright", "Description", "Comment" or one a program
// made up ("parameters"), and its text.
struct PngText {
    std::string keyword;  // Latin-1 letters, as PNG allows them
    std::string text;     // UTF-8
    bool compressed = false;
    bool international = false;     // iTXt: may carry a language and a translated keyword
    std::string language;           // iTXt only, e.g. "en-GB"
    std::string translatedKeyword;  // iTXt only, UTF-8
};

// How many pixels make an inch or a centimetre, or (unit None) only the
// shape of a pixel: x and y then give its aspect ratio.
struct PrintResolution {
    enum class Unit { None = 1, Inch = 2, Centimetre = 3 };  // as EXIF and TIFF number them
    double x = 0;
    double y = 0;
    Unit unit = Unit::Inch;

    bool operator==(const PrintResolution&) const = default;
};

// PNG's own colour chunks, as stored, for a picture without an ICC profile
// or beside one.
struct PngColour {
    std::optional<std::uint32_t> gamma;  // gAMA: the encoding gamma times 100000 (45455 is 1/2.2)
    std::optional<int> srgbIntent;       // sRGB: the rendering intent, 0 to 3
    // cHRM: white point x, y, then red, green and blue x, y, each times 100000.
    std::optional<std::array<std::uint32_t, 8>> chromaticities;

    bool empty() const { return !gamma && !srgbIntent && !chromaticities; }
    bool operator==(const PngColour&) const = default;
};

// A colour description in numbers (ITU-T H.273 code points), as HEIF and
// AVIF carry it in an nclx box instead of an ICC profile: 1 is BT.709's
// primaries, 13 sRGB's curve, 2 unspecified.
struct Cicp {
    std::uint16_t primaries = 2;
    std::uint16_t transfer = 2;
    std::uint16_t matrix = 2;
    bool fullRange = true;

    bool operator==(const Cicp&) const = default;
};

// What an image file carries besides its pixels, as the host keeps it: each
// block in the form that every output format can take it from.
struct ImageMetadata {
    // The embedded ICC profile, as stored; empty if none.
    std::vector<std::uint8_t> iccProfile;
    // EXIF data in its TIFF form (starting with "II*\0" or "MM\0*", without
    // the "Exif\0\0" prefix of a JPEG segment); empty if none.
    std::vector<std::uint8_t> exif;
    // An XMP packet (UTF-8 XML); empty if none.
    std::string xmp;
    // IPTC-IIM datasets, as a JPEG's Photoshop resource or a TIFF's IPTC tag
    // holds them; empty if none.
    std::vector<std::uint8_t> iptc;
    // A PNG's text chunks, in the order stored, but for those that carry
    // the blocks above (XMP, and ImageMagick's raw profiles).
    std::vector<PngText> pngText;
    // A JPEG's comment segments (COM), as stored: bytes in no declared
    // encoding, mostly ASCII, Latin-1 or UTF-8.
    std::vector<std::string> comments;
    // The print resolution the file records (the EXIF's; else PNG pHYs,
    // JPEG JFIF density, TIFF tags); none if it records none.
    std::optional<PrintResolution> resolution;
    PngColour pngColour;
    // The colour description in numbers, where there is no ICC profile.
    std::optional<Cicp> cicp;

    bool empty() const {
        return iccProfile.empty() && exif.empty() && xmp.empty() && iptc.empty() && pngText.empty() &&
               comments.empty() && !resolution && pngColour.empty() && !cicp;
    }
};

}  // namespace host
