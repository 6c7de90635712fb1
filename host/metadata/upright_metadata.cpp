#include "host/metadata/upright_metadata.h"

#include <cstring>
#include <utility>

#include "host/metadata/exif_edits.h"
#include "host/metadata/exiv2_session.h"

namespace host {

namespace {

// The blocks exiv2 reads, with what cannot be read left out, and said.
struct ParsedBlocks {
    std::optional<ParsedExif> exif;
    std::optional<Exiv2::XmpData> xmp;
};

ParsedBlocks parseBlocks(const StoredMetadata& stored, const std::string& name, const Exiv2Session& session,
                         std::vector<std::string>& warnings) {
    ParsedBlocks blocks;
    const ImageMetadata& metadata = stored.metadata;
    if (!metadata.exif.empty()) {
        try {
            blocks.exif = parseExif(metadata.exif);
            if (blocks.exif->data.empty()) {
                blocks.exif.reset();
                warnings.push_back(cannotRead(name, "EXIF", session.why("", "no field exiv2 can read")));
            }
        } catch (const std::exception& error) {
            warnings.push_back(cannotRead(name, "EXIF", session.why(error.what(), "not EXIF data")));
        }
    }
    if (!metadata.xmp.empty()) {
        try {
            blocks.xmp = parseXmp(metadata.xmp);
        } catch (const std::exception& error) {
            warnings.push_back(cannotRead(name, "XMP", session.why(error.what(), "not well-formed XMP")));
        }
    }
    if (blocks.xmp && !stored.xmpExtensions.empty()) {
        Exiv2::XmpData& xmp = *blocks.xmp;
        const auto guid = xmp.findKey(Exiv2::XmpKey(kHasExtendedXmp));
        const auto extension =
            guid != xmp.end() ? stored.xmpExtensions.find(guid->toString()) : stored.xmpExtensions.end();
        if (extension != stored.xmpExtensions.end()) {
            try {
                addMissing(xmp, parseXmp(extension->second));
            } catch (const std::exception& error) {
                warnings.push_back(cannotRead(name, "extended XMP", session.why(error.what(), "not well-formed XMP")));
            }
        }
    }
    return blocks;
}

// The orientation: the file's own, else the EXIF's, else the XMP's.
int orientationOf(const StoredMetadata& stored, const ParsedBlocks& blocks) {
    int orientation = stored.orientation.value_or(0);
    if (orientation == 0 && blocks.exif) {
        const auto found = blocks.exif->data.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
        orientation = found != blocks.exif->data.end() ? orientationIn(*found) : 0;
    }
    if (orientation == 0 && blocks.xmp) {
        const auto found = blocks.xmp->findKey(Exiv2::XmpKey("Xmp.tiff.Orientation"));
        orientation = found != blocks.xmp->end() ? orientationIn(*found) : 0;
    }
    return orientation == 0 ? 1 : orientation;
}

// The print resolution: the EXIF's, as photo tools read it (a camera's JPEG
// may carry a JFIF density of 72 beside it), else the file's own; across
// and down change places when rows and columns do.
std::optional<PrintResolution> uprightResolution(const StoredMetadata& stored, const ParsedBlocks& blocks,
                                                 bool turned) {
    std::optional<PrintResolution> resolution = blocks.exif ? resolutionIn(blocks.exif->data) : std::nullopt;
    if (!resolution) {
        resolution = stored.metadata.resolution;
    }
    if (resolution && turned) {
        std::swap(resolution->x, resolution->y);
    }
    return resolution;
}

// The EXIF without other images and stored layout, true of the upright
// picture; empty when nothing of it is left.
std::vector<std::uint8_t> uprightExif(ParsedExif& exif, const std::optional<PrintResolution>& resolution, long width,
                                      long height) {
    Exiv2::ExifData& data = exif.data;
    for (auto datum = data.begin(); datum != data.end();) {
        const std::string group = datum->groupName();
        if (isOtherImagesGroup(group) || (group == "Image" && isLayoutOrCarrierTag(datum->tag()))) {
            datum = data.erase(datum);
        } else {
            ++datum;
        }
    }
    updateExif(data, "Exif.Image.Orientation", 1);
    if (resolution) {
        setResolution(data, *resolution);
    }
    updateExif(data, "Exif.Photo.PixelXDimension", width);
    updateExif(data, "Exif.Photo.PixelYDimension", height);
    return data.empty() ? std::vector<std::uint8_t>() : tiffForm(data, exif.order);
}

// The XMP, without the pointer to an extended packet (merged already), true
// of the upright picture.
std::string uprightXmp(Exiv2::XmpData& xmp, long width, long height, bool turned) {
    const auto guid = xmp.findKey(Exiv2::XmpKey(kHasExtendedXmp));
    if (guid != xmp.end()) {
        xmp.erase(guid);
    }
    updateXmp(xmp, "Xmp.tiff.Orientation", 1);
    updateXmp(xmp, "Xmp.tiff.ImageWidth", width);
    updateXmp(xmp, "Xmp.tiff.ImageLength", height);
    updateXmp(xmp, "Xmp.exif.PixelXDimension", width);
    updateXmp(xmp, "Xmp.exif.PixelYDimension", height);
    if (turned) {
        const auto x = xmp.findKey(Exiv2::XmpKey("Xmp.tiff.XResolution"));
        const auto y = xmp.findKey(Exiv2::XmpKey("Xmp.tiff.YResolution"));
        if (x != xmp.end() && y != xmp.end()) {
            const std::string across = x->toString();
            x->setValue(y->toString());
            y->setValue(across);
        }
    }
    return xmp.empty() ? std::string() : serialise(xmp);
}

}  // namespace

UprightMetadata uprightMetadata(const StoredMetadata& stored, const std::string& name,
                                std::vector<std::string>& warnings) {
    const Exiv2Session session;
    const ImageMetadata& metadata = stored.metadata;
    ParsedBlocks blocks = parseBlocks(stored, name, session, warnings);
    UprightMetadata upright;
    if (!metadata.iptc.empty()) {
        Exiv2::IptcData iptc;
        if (Exiv2::IptcParser::decode(iptc, metadata.iptc.data(), static_cast<std::uint32_t>(metadata.iptc.size())) ==
                0 &&
            !iptc.empty()) {
            upright.metadata.iptc = metadata.iptc;
        } else {
            warnings.push_back(cannotRead(name, "IPTC-IIM data", session.why("", "not IPTC-IIM datasets")));
        }
    }
    upright.orientation = orientationOf(stored, blocks);
    const bool turned = upright.orientation >= 5;
    const long width = turned ? stored.height : stored.width;
    const long height = turned ? stored.width : stored.height;
    upright.metadata.resolution = uprightResolution(stored, blocks, turned);
    upright.metadata.pngText = metadata.pngText;
    upright.metadata.comments = metadata.comments;
    upright.metadata.pngColour = metadata.pngColour;
    if (blocks.exif) {
        try {
            upright.metadata.exif = uprightExif(*blocks.exif, upright.metadata.resolution, width, height);
        } catch (const std::exception& error) {
            warnings.push_back(cannotRead(name, "EXIF", session.why(error.what(), "cannot be written again")));
        }
    }
    if (blocks.xmp) {
        try {
            upright.metadata.xmp = uprightXmp(*blocks.xmp, width, height, turned);
        } catch (const std::exception& error) {
            warnings.push_back(cannotRead(name, "XMP", session.why(error.what(), "cannot be written again")));
        }
    }
    // An ICC profile's header names the colour space of the data it
    // describes at bytes 16 to 19.
    const std::vector<std::uint8_t>& profile = metadata.iccProfile;
    if (profile.size() >= 128 && std::memcmp(profile.data() + 16, "RGB ", 4) == 0) {
        upright.metadata.iccProfile = profile;
    }
    return upright;
}

}  // namespace host
