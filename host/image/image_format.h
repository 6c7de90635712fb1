#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace host {

enum class ImageFormat { Png, Jpeg, Tiff, Webp };

// "PNG", "JPEG", "TIFF", "WebP".
const char* formatName(ImageFormat format);

// The format a file's extension names, in any case (.png; .jpg, .jpeg;
// .tif, .tiff; .webp); none for any other.
std::optional<ImageFormat> formatFromExtension(const std::string& path);

// The format whose signature the file starts with; none for any other.
std::optional<ImageFormat> formatFromContent(const std::vector<std::uint8_t>& file);

// The extensions formatFromExtension accepts, for messages: ".png, .jpg, ...".
const char* writableExtensions();

}  // namespace host
