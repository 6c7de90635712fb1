#include "host/image/image_files.h"

#include <filesystem>

#include "host/files/input_file.h"
#include "host/files/output_file.h"
#include "host/host_error.h"
#include "host/image/orientation.h"
#include "host/metadata/upright_metadata.h"
#include "host/utf8_path.h"

namespace host {

PictureLayout checkedLayout(const std::string& name, std::uint64_t width, std::uint64_t height, bool hasAlpha,
                            const ReadLimits& limits) {
    if (width == 0 || height == 0) {
        throw HostError::reading(
            name, "an image without pixels (" + std::to_string(width) + " x " + std::to_string(height) + ")");
    }
    const std::string size = std::to_string(width) + " x " + std::to_string(height) + " pixels";
    if (width > 0x7FFFFFFF || height > 0x7FFFFFFF) {
        throw HostError::reading(name, "an image of " + size + ", more than the host reads");
    }
    if (width * height > limits.maxPixels) {
        throw HostError::reading(name, "an image of " + size + ", more than the limit of " +
                                           std::to_string(limits.maxPixels) + " pixels (--max-pixels)");
    }
    return {static_cast<int>(width), static_cast<int>(height), hasAlpha};
}

std::unique_ptr<ImageReader> openImageReader(ByteSource& file, const ReadLimits& limits) {
    if (file.size() == 0) {
        throw HostError::reading(file.name(), "it is empty, not an image");
    }
    std::vector<std::uint8_t> start(1024);  // enough for a HEIF file's brands
    file.seek(0);
    start.resize(file.read(start.data(), start.size()));
    file.seek(0);
    const std::optional<ImageFormat> format = formatFromContent(start);
    if (!format) {
        throw HostError::reading(file.name(), "not a " + readableFormats() + " image");
    }
    return formatOf(*format).read(file, limits);
}

std::unique_ptr<ImageWriter> openImageWriter(ImageFormat format, ByteSink& out, const PictureLayout& layout,
                                             const ImageMetadata& metadata, const WriteOptions& options,
                                             EncodeReport& report) {
    const Format& written = formatOf(format);
    if (written.write == nullptr) {
        throw HostError::writing(out.name(), std::string(written.name) + " is read, not written (" +
                                                 written.notWrittenBecause + "); write " + writableExtensions());
    }
    ImageMetadata kept;
    if (options.strip) {
        kept.resolution = metadata.resolution;
    } else {
        kept = metadataForFormat(metadata, written.metadata, written.name, report);
    }
    return written.write(out, layout, kept, options.encode, report);
}

namespace {

Picture decodeWhole(ByteSource& source, std::uint64_t maxBytes) {
    ReadLimits limits;
    limits.maxPixels = maxBytes / 4;
    limits.maxMemoryBytes = maxBytes;
    std::unique_ptr<ImageReader> reader = openImageReader(source, limits);
    const FileHeader& header = reader->header();
    Picture picture;
    picture.warnings = header.warnings;
    UprightMetadata upright = uprightMetadata(storedMetadataOf(header), source.name(), picture.warnings);
    BgraImage stored = makeImage(header.layout.width, header.layout.height, maxBytes);
    stored.hasAlpha = header.layout.hasAlpha;
    reader->readRows(stored.pixels.data(), stored.height);
    picture.image = orientUpright(stored, upright.orientation);
    picture.metadata = std::move(upright.metadata);
    picture.pages = header.pages;
    picture.pageKind = header.pageKind;
    return picture;
}

}  // namespace

Picture decodeImage(const std::vector<std::uint8_t>& file, const std::string& name, std::uint64_t maxBytes) {
    MemorySource source(file, name);
    return decodeWhole(source, maxBytes);
}

Picture readImageFile(const std::string& path) {
    InputFile file(path);
    return decodeWhole(file, kMaxImageBytes);
}

bool canWriteImageTo(const std::string& path) {
    const std::optional<ImageFormat> format = formatFromExtension(path);
    return format && canWrite(*format);
}

namespace {

void encodeWhole(const Picture& picture, ImageFormat format, const WriteOptions& options, ByteSink& out,
                 std::vector<std::string>& warnings) {
    EncodeReport report{out.name(), warnings};
    const PictureLayout layout{picture.image.width, picture.image.height, picture.image.hasAlpha};
    std::unique_ptr<ImageWriter> writer = openImageWriter(format, out, layout, picture.metadata, options, report);
    writer->writeRows(picture.image.pixels.data(), picture.image.height);
    writer->finish();
}

}  // namespace

std::vector<std::uint8_t> encodeImage(const Picture& picture, ImageFormat format, const WriteOptions& options,
                                      const std::string& name, std::vector<std::string>& warnings) {
    MemorySink out(name);
    encodeWhole(picture, format, options, out, warnings);
    return std::move(out.bytes());
}

std::vector<std::string> writeImageFile(const Picture& picture, const std::string& path, const WriteOptions& options) {
    const std::optional<ImageFormat> format = formatFromExtension(path);
    if (!format) {
        throw HostError::writing(path, "unknown extension '" + utf8FromPath(pathFromUtf8(path).extension()) +
                                           "' (use " + writableExtensions() + ")");
    }
    std::vector<std::string> warnings;
    OutputFile out(path);
    encodeWhole(picture, *format, options, out, warnings);
    out.commit();
    return warnings;
}

}  // namespace host
