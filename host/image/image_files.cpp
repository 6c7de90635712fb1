#include "host/image/image_files.h"

#include <filesystem>

#include "host/files/output_file.h"
#include "host/host_error.h"
#include "host/image/metadata.h"
#include "host/image/orientation.h"
#include "host/utf8_path.h"

namespace host {

namespace {

// A compressed file is never larger than the image it holds is allowed to be.
constexpr std::uint64_t kMaxFileBytes = kMaxImageBytes;

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
    Picture picture;
    picture.warnings = std::move(decoded.warnings);
    UprightMetadata upright = uprightMetadata(decoded, name, picture.warnings);
    picture.image = orientUpright(decoded.image, upright.orientation);
    picture.metadata = std::move(upright.metadata);
    picture.pages = decoded.pages;
    picture.pageKind = decoded.pageKind;
    return picture;
}

Picture readImageFile(const std::string& path) { return decodeImage(readWholeFile(path, kMaxFileBytes), path); }

bool canWriteImageTo(const std::string& path) { return formatFromExtension(path).has_value(); }

std::vector<std::uint8_t> encodeImage(const Picture& picture, ImageFormat format, const WriteOptions& options,
                                      const std::string& name, std::vector<std::string>& warnings) {
    EncodeReport report{name, warnings};
    ImageMetadata metadata;
    if (options.strip) {
        // The print resolution is the picture's size on paper, not metadata
        // about it: it stays.
        metadata.resolution = picture.metadata.resolution;
    } else {
        metadata = metadataForFormat(picture.metadata, format, report);
    }
    switch (format) {
        case ImageFormat::Png:
            return encodePng(picture.image, metadata, options.encode, report);
        case ImageFormat::Jpeg:
            return encodeJpeg(picture.image, metadata, options.encode, report);
        case ImageFormat::Tiff:
            return encodeTiff(picture.image, metadata, options.encode, report);
        case ImageFormat::Webp:
            return encodeWebp(picture.image, metadata, options.encode, report);
    }
    throw HostError("unknown output format");
}

std::vector<std::string> writeImageFile(const Picture& picture, const std::string& path, const WriteOptions& options) {
    const std::optional<ImageFormat> format = formatFromExtension(path);
    if (!format) {
        throw HostError("cannot write '" + path + "': unknown extension '" +
                        utf8FromPath(pathFromUtf8(path).extension()) + "' (use " + writableExtensions() + ")");
    }
    std::vector<std::string> warnings;
    std::vector<std::uint8_t> bytes;
    try {
        bytes = encodeImage(picture, *format, options, path, warnings);
    } catch (const HostError& error) {
        throw HostError("cannot write '" + path + "': " + error.what());
    }
    writeFileAtomically(path, bytes);
    return warnings;
}

}  // namespace host
