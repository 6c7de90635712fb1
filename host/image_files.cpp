#include "host/image_files.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <filesystem>
#include <memory>

#include "host/atomic_file.h"
#include "host/host_error.h"
#include "host/jpeg_guard.h"
#include "host/stb.h"

namespace host {

namespace {

// A compressed file is never larger than the image it holds is allowed to be.
constexpr std::uint64_t kMaxFileBytes = kMaxImageBytes;

enum class OutputFormat { Png, Bmp, Unknown };

OutputFormat formatFor(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".png") {
        return OutputFormat::Png;
    }
    if (extension == ".bmp") {
        return OutputFormat::Bmp;
    }
    return OutputFormat::Unknown;
}

void appendBytes(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(context);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

}  // namespace

BgraImage decodeImage(const std::vector<std::uint8_t>& file, const std::string& name, std::uint64_t maxBytes) {
    if (file.empty()) {
        throw HostError("'" + name + "' is empty, not an image");
    }
    if (file.size() > static_cast<std::size_t>(INT_MAX)) {
        throw HostError("'" + name + "' is too large");
    }
    if (jpegHasOversizedHuffmanTable(file)) {
        throw HostError("'" + name + "' is a corrupt JPEG (a Huffman table lists more than 256 codes)");
    }
    const int length = static_cast<int>(file.size());
    int width = 0;
    int height = 0;
    int channels = 0;
    if (stbi_info_from_memory(file.data(), length, &width, &height, &channels) == 0) {
        // stb also refuses here images it deems too large to decode, after
        // which its reason is that of the last format it tried.
        throw HostError("'" + name + "' is not a PNG, JPEG, BMP or TGA image that can be decoded (" +
                        stbi_failure_reason() + "; images beyond 1 GiB are refused)");
    }
    // Refuses oversized images before any pixel memory is allocated.
    BgraImage image = makeImage(width, height, maxBytes);
    image.hasAlpha = channels == 2 || channels == 4;

    int decodedWidth = 0;
    int decodedHeight = 0;
    const std::unique_ptr<stbi_uc, void (*)(void*)> rgba(
        stbi_load_from_memory(file.data(), length, &decodedWidth, &decodedHeight, &channels, 4), stbi_image_free);
    if (!rgba) {
        throw HostError("'" + name + "' is corrupt or unsupported (" + stbi_failure_reason() + ")");
    }
    if (decodedWidth != width || decodedHeight != height) {
        throw HostError("'" + name + "' is corrupt: its size changed while decoding");
    }
    for (std::size_t i = 0; i < image.pixels.size(); i += 4) {
        image.pixels[i] = rgba.get()[i + 2];
        image.pixels[i + 1] = rgba.get()[i + 1];
        image.pixels[i + 2] = rgba.get()[i];
        image.pixels[i + 3] = image.hasAlpha ? rgba.get()[i + 3] : 255;
    }
    return image;
}

BgraImage readImageFile(const std::string& path) { return decodeImage(readWholeFile(path, kMaxFileBytes), path); }

bool canWriteImageTo(const std::string& path) { return formatFor(path) != OutputFormat::Unknown; }

std::vector<std::uint8_t> encodeImage(const BgraImage& image, const std::string& path) {
    const OutputFormat format = formatFor(path);
    if (format == OutputFormat::Unknown) {
        throw HostError("cannot write '" + path + "': unknown extension '" +
                        std::filesystem::path(path).extension().string() + "' (use .png or .bmp)");
    }
    const int channels = image.hasAlpha ? 4 : 3;
    std::vector<std::uint8_t> ordered(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) *
                                      static_cast<std::size_t>(channels));
    for (std::size_t p = 0, o = 0; p < image.pixels.size(); p += 4, o += static_cast<std::size_t>(channels)) {
        ordered[o] = image.pixels[p + 2];
        ordered[o + 1] = image.pixels[p + 1];
        ordered[o + 2] = image.pixels[p];
        if (channels == 4) {
            ordered[o + 3] = image.pixels[p + 3];
        }
    }
    std::vector<std::uint8_t> encoded;
    const int ok =
        format == OutputFormat::Png
            ? stbi_write_png_to_func(appendBytes, &encoded, image.width, image.height, channels, ordered.data(),
                                     image.width * channels)
            : stbi_write_bmp_to_func(appendBytes, &encoded, image.width, image.height, channels, ordered.data());
    if (ok == 0 || encoded.empty()) {
        throw HostError("cannot encode '" + path + "'");
    }
    return encoded;
}

void writeImageFile(const BgraImage& image, const std::string& path) {
    writeFileAtomically(path, encodeImage(image, path));
}

}  // namespace host
