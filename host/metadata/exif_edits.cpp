#include "host/metadata/exif_edits.h"

#include <algorithm>
#include <cmath>

namespace host {

// Tags of the image's directory that describe how the stored pixels were
// laid out (each format's writer sets its own), or that carry the blocks the
// host keeps apart (XMP, IPTC-IIM, ICC, Photoshop's resources and layers).
bool isLayoutOrCarrierTag(std::uint16_t tag) {
    static constexpr std::uint16_t kTags[] = {
        0x00FE, 0x00FF, 0x0100, 0x0101, 0x0102, 0x0103, 0x0106, 0x0107, 0x0108, 0x0109, 0x010A, 0x0111, 0x0115,
        0x0116, 0x0117, 0x0118, 0x0119, 0x011C, 0x0120, 0x0121, 0x0122, 0x0123, 0x013D, 0x0140, 0x0142, 0x0143,
        0x0144, 0x0145, 0x014A, 0x014C, 0x0152, 0x0153, 0x0154, 0x0155, 0x015B, 0x0200, 0x0201, 0x0202, 0x0203,
        0x0205, 0x0206, 0x0207, 0x0208, 0x0209, 0x0211, 0x0212, 0x02BC, 0x83BB, 0x8649, 0x8773, 0x935C,
    };
    return std::find(std::begin(kTags), std::end(kTags), tag) != std::end(kTags);
}

// Directories of other images than the picture: the thumbnail, previews,
// sub-images and raw data.
bool isOtherImagesGroup(const std::string& group) {
    return group == "Thumbnail" || group == "Image2" || group == "Image3" || group == "PanasonicRaw" ||
           group == "MpfInfo" || group.rfind("SubImage", 0) == 0 || group.rfind("SubThumb", 0) == 0;
}

void setWholeNumber(Exiv2::Exifdatum& datum, long value) {
    if (datum.typeId() == Exiv2::unsignedShort && value <= 0xFFFF) {
        datum = static_cast<std::uint16_t>(value);
    } else {
        datum = static_cast<std::uint32_t>(value);
    }
}

// Sets `key` to `value` where `exif` records it.
void updateExif(Exiv2::ExifData& exif, const char* key, long value) {
    const auto found = exif.findKey(Exiv2::ExifKey(key));
    if (found != exif.end()) {
        setWholeNumber(*found, value);
    }
}

// The print resolution of the image's directory; none if it records none.
std::optional<PrintResolution> resolutionIn(const Exiv2::ExifData& exif) {
    const auto x = exif.findKey(Exiv2::ExifKey("Exif.Image.XResolution"));
    const auto y = exif.findKey(Exiv2::ExifKey("Exif.Image.YResolution"));
    const auto unit = exif.findKey(Exiv2::ExifKey("Exif.Image.ResolutionUnit"));
    if (x == exif.end() || y == exif.end() || x->count() == 0 || y->count() == 0) {
        return std::nullopt;
    }
    PrintResolution resolution;
    resolution.x = x->toFloat();
    resolution.y = y->toFloat();
    if (unit != exif.end() && unit->count() > 0 && unit->toLong() >= 1 && unit->toLong() <= 3) {
        resolution.unit = static_cast<PrintResolution::Unit>(unit->toLong());
    }
    if (!(resolution.x > 0) || !(resolution.y > 0) || !std::isfinite(resolution.x) || !std::isfinite(resolution.y)) {
        return std::nullopt;
    }
    return resolution;
}

// A resolution as an EXIF rational: whole numbers as they are, others to a
// thousandth.
Exiv2::URational rationalOf(double value) {
    if (value == std::floor(value) && value < 4e9) {
        return {static_cast<std::uint32_t>(value), 1};
    }
    return {static_cast<std::uint32_t>(std::lround(std::min(value, 4e6) * 1000)), 1000};
}

void setResolution(Exiv2::ExifData& exif, const PrintResolution& resolution) {
    exif["Exif.Image.XResolution"] = rationalOf(resolution.x);
    exif["Exif.Image.YResolution"] = rationalOf(resolution.y);
    exif["Exif.Image.ResolutionUnit"] = static_cast<std::uint16_t>(resolution.unit);
}

int orientationIn(const Exiv2::Metadatum& datum) {
    const long value = datum.count() > 0 ? datum.toLong() : 0;
    return value >= 1 && value <= 8 ? static_cast<int>(value) : 0;
}

}  // namespace host
