#include "host/image/image_files.h"

#include <cstring>
#include <filesystem>

#include "host/host_error.h"
#include "host/image/atomic_file.h"
#include "host/image/exif_block.h"
#include "host/image/orientation.h"
#include "host/utf8_path.h"

namespace host {

namespace {

// A compressed file is never larger than the image it holds is allowed to be.
constexpr std::uint64_t kMaxFileBytes = kMaxImageBytes;

// An ICC profile's header names the colour space of the data it describes
// at bytes 16 to 19.
bool describesRgb(const std::vector<std::uint8_t>& profile) {
    return profile.size() >= 128 && std::memcmp(profile.data() + 16, "RGB ", 4) == 0;
}

}  // namespace

Picture decodeImage(const std::vector<std::uint8_t>& file, const std::string& name, std::uint64_t maxBytes) {
    if (file.empty()) {
        throw HostError("'" + name + "' is empty, not an image");
    }
    const std::optional<ImageFormat> format = formatFromContent(file);
    if (!format) {
        throw HostError("'" + name + "' is not a PNG, JPEG, TIFF or WebP image");
    }
    DecodedFile decoded;
    switch (*format) {
        case ImageFormat::Png:
            decoded = decodePng(file, name, maxBytes);
            break;
        case ImageFormat::Jpeg:
            decoded = decodeJpeg(file, name, maxBytes);
            break;
        case ImageFormat::Tiff:
            decoded = decodeTiff(file, name, maxBytes);
            break;
        case ImageFormat::Webp:
            decoded = decodeWebp(file, name, maxBytes);
            break;
    }
    const int orientation = decoded.orientation ? *decoded.orientation : exifOrientation(decoded.metadata.exif);
    Picture picture;
    picture.image = orientUpright(decoded.image, orientation);
    if (describesRgb(decoded.metadata.iccProfile)) {
        picture.metadata.iccProfile = std::move(decoded.metadata.iccProfile);
    }
    if (!decoded.metadata.exif.empty()) {
        picture.metadata.exif = exifForUprightPicture(decoded.metadata.exif, picture.image.width, picture.image.height);
    }
    return picture;
}

Picture readImageFile(const std::string& path) { return decodeImage(readWholeFile(path, kMaxFileBytes), path); }

bool canWriteImageTo(const std::string& path) { return formatFromExtension(path).has_value(); }

std::vector<std::uint8_t> encodeImage(const Picture& picture, ImageFormat format, const WriteOptions& options) {
    static const ImageMetadata kNone;
    const ImageMetadata& metadata = options.strip ? kNone : picture.metadata;
    switch (format) {
        case ImageFormat::Png:
            return encodePng(picture.image, metadata, options.encode);
        case ImageFormat::Jpeg:
            return encodeJpeg(picture.image, metadata, options.encode);
        case ImageFormat::Tiff:
            return encodeTiff(picture.image, metadata, options.encode);
        case ImageFormat::Webp:
            return encodeWebp(picture.image, metadata, options.encode);
    }
    throw HostError("unknown output format");
}

void writeImageFile(const Picture& picture, const std::string& path, const WriteOptions& options) {
    const std::optional<ImageFormat> format = formatFromExtension(path);
    if (!format) {
        throw HostError("cannot write '" + path + "': unknown extension '" +
                        utf8FromPath(pathFromUtf8(path).extension()) + "' (use " + writableExtensions() + ")");
    }
    writeFileAtomically(path, encodeImage(picture, *format, options));
}

}  // namespace host
