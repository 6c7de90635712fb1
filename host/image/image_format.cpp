#include "host/image/image_format.h"
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
    return std::nullopt;
}

const char* writableExtensions() { return ".png, .jpg, .jpeg, .tif, .tiff or .webp"; }

}  // namespace host
