#include "host/image/image_format.h"

#include <jxl/decode.h>
#include <libheif/heif.h>

#include "host/utf8_path.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <string_view>

namespace host {

const char* formatName(ImageFormat format) {
    switch (format) {
        case ImageFormat::Png:
            return "PNG";
        case ImageFormat::Jpeg:
            return "JPEG";
        case ImageFormat::Tiff:
            return "TIFF";
        case ImageFormat::Webp:
            return "WebP";
        case ImageFormat::Heif:
            return "HEIF";
        case ImageFormat::Avif:
            return "AVIF";
        case ImageFormat::Jxl:
            return "JPEG XL";
    }
    return "image";
}

std::optional<ImageFormat> formatFromExtension(const std::string& path) {
    std::string extension = utf8FromPath(pathFromUtf8(path).extension());
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".png") {
        return ImageFormat::Png;
    }
    if (extension == ".jpg" || extension == ".jpeg") {
        return ImageFormat::Jpeg;
    }
    if (extension == ".tif" || extension == ".tiff") {
        return ImageFormat::Tiff;
    }
    if (extension == ".webp") {
        return ImageFormat::Webp;
    }
    if (extension == ".heic" || extension == ".heif" || extension == ".hif") {
        return ImageFormat::Heif;
    }
    if (extension == ".avif") {
        return ImageFormat::Avif;
    }
    if (extension == ".jxl") {
        return ImageFormat::Jxl;
    }
    return std::nullopt;
}

std::optional<ImageFormat> formatFromContent(const std::vector<std::uint8_t>& file) {
    auto startsWith = [&file](std::size_t offset, std::string_view signature) {
        return file.size() >= offset + signature.size() &&
               std::memcmp(file.data() + offset, signature.data(), signature.size()) == 0;
    };
    using namespace std::string_view_literals;
    if (startsWith(0, "\x89PNG\r\n\x1A\n"sv)) {
        return ImageFormat::Png;
    }
    if (startsWith(0, "\xFF\xD8\xFF"sv)) {
        return ImageFormat::Jpeg;
    }
    // Classic and BigTIFF, in either byte order.
    if (startsWith(0, "II*\0"sv) || startsWith(0, "MM\0*"sv) || startsWith(0, "II+\0"sv) || startsWith(0, "MM\0+"sv)) {
        return ImageFormat::Tiff;
    }
    if (startsWith(0, "RIFF"sv) && startsWith(8, "WEBP"sv)) {
        return ImageFormat::Webp;
    }
    // ISO base media files (a "ftyp" box first) that name a brand of HEIF's
    // as their own or as one they are compatible with: AVIF's, or HEIC's and
    // the general image brands (mif1, msf1), whose pictures libheif decodes
    // whatever their codec.
    const int length = static_cast<int>(std::min<std::size_t>(file.size(), 1024));
    if (length >= 12 && heif_check_filetype(file.data(), length) != heif_filetype_no) {
        auto hasBrand = [&](const char* brand) {
            return std::memcmp(file.data() + 8, brand, 4) == 0 ||
                   heif_has_compatible_brand(file.data(), length, brand) == 1;
        };
        if (hasBrand("avif") || hasBrand("avis")) {
            return ImageFormat::Avif;
        }
        for (const char* brand : {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1", "mif2"}) {
            if (hasBrand(brand)) {
                return ImageFormat::Heif;
            }
        }
    }
    const JxlSignature jxl = JxlSignatureCheck(file.data(), file.size());
    if (jxl == JXL_SIG_CODESTREAM || jxl == JXL_SIG_CONTAINER) {
        return ImageFormat::Jxl;
    }
    return std::nullopt;
}

bool canWrite(ImageFormat format) { return format != ImageFormat::Heif; }

const char* writableExtensions() { return ".png, .jpg, .jpeg, .tif, .tiff, .webp, .avif or .jxl"; }

const char* readableFormats() { return "PNG, JPEG, TIFF, WebP, HEIF, AVIF or JPEG XL"; }

}  // namespace host
