#include "host/image/formats.h"

#include <jxl/decode.h>
#include <libheif/heif.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "host/utf8_path.h"

namespace host {

namespace {

bool startsWith(const std::uint8_t* start, std::size_t size, std::size_t offset, std::string_view signature) {
    return size >= offset + signature.size() && std::memcmp(start + offset, signature.data(), signature.size()) == 0;
}

using namespace std::string_view_literals;

bool isPng(const std::uint8_t* start, std::size_t size) { return startsWith(start, size, 0, "\x89PNG\r\n\x1A\n"sv); }

bool isJpeg(const std::uint8_t* start, std::size_t size) { return startsWith(start, size, 0, "\xFF\xD8\xFF"sv); }

// Classic and BigTIFF, in either byte order.
bool isTiff(const std::uint8_t* start, std::size_t size) {
    return startsWith(start, size, 0, "II*\0"sv) || startsWith(start, size, 0, "MM\0*"sv) ||
           startsWith(start, size, 0, "II+\0"sv) || startsWith(start, size, 0, "MM\0+"sv);
}

bool isWebp(const std::uint8_t* start, std::size_t size) {
    return startsWith(start, size, 0, "RIFF"sv) && startsWith(start, size, 8, "WEBP"sv);
}

// An ISO base media file (an "ftyp" box first) that names one of `brands`
// as its own brand or among those it is compatible with.
bool namesBrand(const std::uint8_t* start, std::size_t size, std::initializer_list<const char*> brands) {
    const int length = static_cast<int>(std::min<std::size_t>(size, 1024));
    if (length < 12 || heif_check_filetype(start, length) == heif_filetype_no) {
        return false;
    }
    return std::any_of(brands.begin(), brands.end(), [&](const char* brand) {
        return std::memcmp(start + 8, brand, 4) == 0 || heif_has_compatible_brand(start, length, brand) == 1;
    });
}

bool isAvif(const std::uint8_t* start, std::size_t size) { return namesBrand(start, size, {"avif", "avis"}); }

// HEIC's brands and the general image brands, whose pictures libheif
// decodes whatever their codec.
bool isHeif(const std::uint8_t* start, std::size_t size) {
    return !isAvif(start, size) &&
           namesBrand(start, size, {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1", "mif2"});
}

// JPEG XL's codestream or container, as libjxl tells them.
bool isJxl(const std::uint8_t* start, std::size_t size) {
    const JxlSignature signature = JxlSignatureCheck(start, size);
    return signature == JXL_SIG_CODESTREAM || signature == JXL_SIG_CONTAINER;
}

// What each format keeps in its own places.
//                                 iptc   pngText comments pngColour resolution cicp
constexpr MetadataPlaces kPngPlaces{false, true, false, true, true, false};
constexpr MetadataPlaces kJpegPlaces{true, false, true, false, true, false};
constexpr MetadataPlaces kTiffPlaces{true, false, false, false, true, false};
constexpr MetadataPlaces kBoxPlaces{false, false, false, false, false, false};  // EXIF, XMP and ICC only
constexpr MetadataPlaces kAvifPlaces{false, false, false, false, false, true};

// The formats, in the order they are recognised: AVIF before HEIF, whose
// brands AVIF files may name too.
const std::vector<Format> kFormats = {
    {
        .id = ImageFormat::Png,
        .name = "PNG",
        .alsoCalled = nullptr,
        .extensions = {".png"},
        .recognises = isPng,
        .read = openPngReader,
        .write = openPngWriter,
        .notWrittenBecause = nullptr,
        .writtenAs = ImageFormat::Png,
        .quality = false,
        .lossless = false,
        .everyPage = false,
        .streams = true,
        .heldWholeToo = "interlaced PNG",
        .metadata = kPngPlaces,
    },
    {
        .id = ImageFormat::Jpeg,
        .name = "JPEG",
        .alsoCalled = nullptr,
        .extensions = {".jpg", ".jpeg"},
        .recognises = isJpeg,
        .read = openJpegReader,
        .write = openJpegWriter,
        .notWrittenBecause = nullptr,
        .writtenAs = ImageFormat::Jpeg,
        .quality = true,
        .lossless = false,
        .everyPage = false,
        .streams = true,
        .heldWholeToo = "progressive JPEG (its coefficients)",
        .metadata = kJpegPlaces,
    },
    {
        .id = ImageFormat::Tiff,
        .name = "TIFF",
        .alsoCalled = nullptr,
        .extensions = {".tif", ".tiff"},
        .recognises = isTiff,
        .read = openTiffReader,
        .write = openTiffWriter,
        .notWrittenBecause = nullptr,
        .writtenAs = ImageFormat::Tiff,
        .quality = false,
        .lossless = false,
        .everyPage = true,
        .streams = true,
        .heldWholeToo = nullptr,
        .metadata = kTiffPlaces,
    },
    {
        .id = ImageFormat::Webp,
        .name = "WebP",
        .alsoCalled = nullptr,
        .extensions = {".webp"},
        .recognises = isWebp,
        .read = openWebpReader,
        .write = openWebpWriter,
        .notWrittenBecause = nullptr,
        .writtenAs = ImageFormat::Webp,
        .quality = true,
        .lossless = true,
        .everyPage = false,
        .streams = false,
        .heldWholeToo = nullptr,
        .metadata = kBoxPlaces,
    },
    {
        .id = ImageFormat::Avif,
        .name = "AVIF",
        .alsoCalled = nullptr,
        .extensions = {".avif"},
        .recognises = isAvif,
        .read = openHeifReader,
        .write = openAvifWriter,
        .notWrittenBecause = nullptr,
        .writtenAs = ImageFormat::Avif,
        .quality = true,
        .lossless = true,
        .everyPage = false,
        .streams = false,
        .heldWholeToo = nullptr,
        .metadata = kAvifPlaces,
    },
    {
        .id = ImageFormat::Heif,
        .name = "HEIF",
        .alsoCalled = "HEIC",
        .extensions = {".heic", ".heif", ".hif"},
        .recognises = isHeif,
        .read = openHeifReader,
        .write = nullptr,
        .notWrittenBecause = "HEVC encoders carry patent and licence burdens",
        .writtenAs = ImageFormat::Jpeg,
        .quality = false,
        .lossless = false,
        .everyPage = false,
        .streams = false,
        .heldWholeToo = nullptr,
        .metadata = kBoxPlaces,
    },
    {
        .id = ImageFormat::Jxl,
        .name = "JPEG XL",
        .alsoCalled = nullptr,
        .extensions = {".jxl"},
        .recognises = isJxl,
        .read = openJxlReader,
        .write = openJxlWriter,
        .notWrittenBecause = nullptr,
        .writtenAs = ImageFormat::Jxl,
        .quality = true,
        .lossless = true,
        .everyPage = false,
        .streams = false,
        .heldWholeToo = nullptr,
        .metadata = kBoxPlaces,
    },
};

const std::vector<Format>& table() { return kFormats; }

// "a, b or c".
std::string joined(const std::vector<std::string>& items, const char* conjunction) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        text += i == 0 ? "" : i + 1 == items.size() ? std::string(" ") + conjunction + " " : ", ";
        text += items[i];
    }
    return text;
}

}  // namespace

std::span<const Format> formats() { return table(); }

const Format& formatOf(ImageFormat format) {
    return *std::find_if(table().begin(), table().end(), [format](const Format& f) { return f.id == format; });
}

const char* formatName(ImageFormat format) { return formatOf(format).name; }

std::optional<ImageFormat> formatFromExtension(const std::string& path) {
    std::string extension = utf8FromPath(pathFromUtf8(path).extension());
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const Format& format : table()) {
        for (const char* candidate : format.extensions) {
            if (extension == candidate) {
                return format.id;
            }
        }
    }
    return std::nullopt;
}

std::optional<ImageFormat> formatFromContent(const std::vector<std::uint8_t>& start) {
    for (const Format& format : table()) {
        if (format.recognises(start.data(), start.size())) {
            return format.id;
        }
    }
    return std::nullopt;
}

bool canWrite(ImageFormat format) { return formatOf(format).write != nullptr; }

std::string formatList(const std::string& which, const char* conjunction) {
    // The order people know them in: the common ones first.
    static constexpr ImageFormat kOrder[] = {ImageFormat::Png,  ImageFormat::Jpeg, ImageFormat::Tiff, ImageFormat::Webp,
                                             ImageFormat::Heif, ImageFormat::Avif, ImageFormat::Jxl};
    std::vector<std::string> items;
    for (const ImageFormat id : kOrder) {
        const Format& format = formatOf(id);
        const bool written = format.write != nullptr;
        if (which == "extensions") {
            if (written) {
                items.insert(items.end(), format.extensions.begin(), format.extensions.end());
            }
            continue;
        }
        if (which == "short") {
            if (written) {
                items.emplace_back(format.extensions.front() + 1);
            }
            continue;
        }
        const bool listed = which == "read" || (which == "written" && written) ||
                            (which == "streamed" && format.streams) || (which == "held" && !format.streams) ||
                            (which == "quality" && format.quality) || (which == "lossless" && format.lossless);
        if (listed) {
            items.emplace_back(format.name);
        }
    }
    return joined(items, conjunction);
}

std::string writableExtensions() { return formatList("extensions"); }

std::string readableFormats() { return formatList("read"); }

}  // namespace host
