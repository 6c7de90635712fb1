#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace host {

// Every format the host reads; all but HEIF are written too.
enum class ImageFormat { Png, Jpeg, Tiff, Webp, Heif, Avif, Jxl };

// "PNG", "JPEG", "TIFF", "WebP", "HEIF", "AVIF", "JPEG XL".
const char* formatName(ImageFormat format);

// The format a file's extension names, in any case (.png; .jpg, .jpeg;
// .tif, .tiff; .webp; .heic, .heif, .hif; .avif; .jxl); none for any other.
std::optional<ImageFormat> formatFromExtension(const std::string& path);

// The format whose signature the file starts with (for HEIF, AVIF and JPEG
// XL as libheif and libjxl tell them); none for any other.
std::optional<ImageFormat> formatFromContent(const std::vector<std::uint8_t>& file);

// Whether the host writes `format`: all but HEIF, whose HEVC encoders carry
// patent and licence burdens.
bool canWrite(ImageFormat format);

// The extensions of the formats written, for messages: ".png, .jpg, ...".
const char* writableExtensions();

// What --help and errors list as read: "PNG, JPEG, TIFF, WebP, HEIF, AVIF or JPEG XL".
const char* readableFormats();

}  // namespace host
