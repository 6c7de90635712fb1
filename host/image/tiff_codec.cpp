// TIFF through libtiff.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "host/host_error.h"
#include "host/image/codecs.h"
#include "host/image/metadata.h"
#include "host/image/tiff_memory.h"

namespace host {

namespace {

// The layouts read sample by sample, so that colours and unassociated alpha
// arrive exactly: strips of 8- or 16-bit unsigned grey or RGB samples,
// contiguous, optionally followed by unassociated alpha.
struct DirectLayout {
    bool colour = false;
    bool alpha = false;
    int samplesPerPixel = 0;
    int bytesPerSample = 0;
};

bool directLayout(TIFF* tiff, DirectLayout& layout) {
    std::uint16_t bits = 0, samples = 0, photometric = 0, planar = PLANARCONFIG_CONTIG, format = SAMPLEFORMAT_UINT;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &format);
    if (TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) != 1 || TIFFIsTiled(tiff) || (bits != 8 && bits != 16) ||
        format != SAMPLEFORMAT_UINT || (planar != PLANARCONFIG_CONTIG && samples > 1)) {
        return false;
    }
    const int colourSamples = photometric == PHOTOMETRIC_RGB ? 3 : photometric == PHOTOMETRIC_MINISBLACK ? 1 : 0;
    if (colourSamples == 0 || samples < colourSamples) {
        return false;
    }
    std::uint16_t extraCount = 0;
    std::uint16_t* extraKinds = nullptr;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extraKinds);
    // Premultiplied alpha goes through the general path; so does an extra
    // sample of unspecified kind beside three others, which libtiff takes
    // for premultiplied alpha.
    if (extraCount > 0 && extraKinds != nullptr &&
        (extraKinds[0] == EXTRASAMPLE_ASSOCALPHA || (extraKinds[0] == EXTRASAMPLE_UNSPECIFIED && samples > 3))) {
        return false;
    }
    layout.colour = colourSamples == 3;
    layout.alpha =
        samples > colourSamples && extraCount > 0 && extraKinds != nullptr && extraKinds[0] == EXTRASAMPLE_UNASSALPHA;
    layout.samplesPerPixel = samples;
    layout.bytesPerSample = bits / 8;
    return true;
}

void readDirect(TIFF* tiff, const DirectLayout& layout, BgraImage& image, const std::string& name,
                const std::string& error) {
    const tmsize_t rowBytes = TIFFScanlineSize(tiff);
    const std::size_t needed = static_cast<std::size_t>(image.width) * layout.samplesPerPixel * layout.bytesPerSample;
    if (rowBytes <= 0 || static_cast<std::size_t>(rowBytes) < needed) {
        throw HostError("'" + name + "' is not a valid TIFF image (unexpected row size)");
    }
    std::vector<std::uint8_t> row(static_cast<std::size_t>(rowBytes));
    auto sample = [&](std::size_t pixel, int index) -> std::uint8_t {
        const std::size_t at = (pixel * layout.samplesPerPixel + index) * layout.bytesPerSample;
        if (layout.bytesPerSample == 1) {
            return row[at];
        }
        std::uint16_t wide;
        std::memcpy(&wide, &row[at], 2);                       // libtiff has put it in this machine's byte order
        return static_cast<std::uint8_t>((wide + 128) / 257);  // nearest 8-bit value
    };
    for (int y = 0; y < image.height; ++y) {
        if (TIFFReadScanline(tiff, row.data(), static_cast<std::uint32_t>(y), 0) != 1) {
            throw HostError("'" + name + "' is not a valid TIFF image (" + (error.empty() ? "unreadable row" : error) +
                            ")");
        }
        std::uint8_t* out = image.at(0, y);
        for (int x = 0; x < image.width; ++x, out += 4) {
            const auto p = static_cast<std::size_t>(x);
            const std::uint8_t red = sample(p, 0);
            out[0] = layout.colour ? sample(p, 2) : red;
            out[1] = layout.colour ? sample(p, 1) : red;
            out[2] = red;
            out[3] = layout.alpha ? sample(p, layout.colour ? 3 : 1) : 255;
        }
    }
}

// Every other layout (palettes, 1- to 4-bit, CMYK, YCbCr, tiles, planes,
// premultiplied alpha ...) through libtiff's RGBA reader, rows as stored.
void readThroughRgba(TIFF* tiff, BgraImage& image, const std::string& name, const TiffInMemory& file) {
    char message[1024] = {};
    if (TIFFRGBAImageOK(tiff, message) != 1) {
        throw HostError("'" + name + "' is a TIFF image of a kind that cannot be read (" + message + ")");
    }
    TIFFRGBAImage reader{};
    if (TIFFRGBAImageBegin(&reader, tiff, 0, message) != 1) {
        throw HostError("'" + name + "' is not a valid TIFF image (" + message + ")");
    }
    reader.req_orientation = reader.orientation;  // no flipping: orientation is applied later
    const bool alpha = reader.alpha != 0;
    auto* raster = reinterpret_cast<std::uint32_t*>(image.pixels.data());
    const int ok = TIFFRGBAImageGet(&reader, raster, static_cast<std::uint32_t>(image.width),
                                    static_cast<std::uint32_t>(image.height));
    TIFFRGBAImageEnd(&reader);
    if (ok != 1) {
        throw HostError("'" + name + "' is not a valid TIFF image (" +
                        (file.error().empty() ? "unreadable pixels" : file.error()) + ")");
    }
    image.hasAlpha = alpha;
    // Each 32-bit value is red | green << 8 | blue << 16 | alpha << 24, with
    // alpha premultiplied; the host keeps blue, green, red, straight alpha.
    for (std::size_t i = 0; i < image.pixels.size(); i += 4) {
        const std::uint32_t value = raster[i / 4];
        std::uint8_t red = static_cast<std::uint8_t>(value);
        std::uint8_t green = static_cast<std::uint8_t>(value >> 8);
        std::uint8_t blue = static_cast<std::uint8_t>(value >> 16);
        const std::uint8_t a = alpha ? static_cast<std::uint8_t>(value >> 24) : 255;
        if (a != 255) {
            auto straight = [a](std::uint8_t c) {
                return a == 0 ? std::uint8_t{0} : static_cast<std::uint8_t>(std::min(255, (c * 255 + a / 2) / a));
            };
            red = straight(red);
            green = straight(green);
            blue = straight(blue);
        }
        image.pixels[i] = blue;
        image.pixels[i + 1] = green;
        image.pixels[i + 2] = red;
        image.pixels[i + 3] = a;
    }
}

// The pages of the file: its directories but those of reduced-resolution
// copies (thumbnails, previews). Leaves the first directory current.
int countPages(TIFF* tiff) {
    int pages = 0;
    const tdir_t directories = TIFFNumberOfDirectories(tiff);
    for (tdir_t i = 0; i < directories && i < 65535; ++i) {
        std::uint32_t kind = 0;
        if (TIFFSetDirectory(tiff, i) == 1 &&
            (TIFFGetField(tiff, TIFFTAG_SUBFILETYPE, &kind) != 1 || (kind & FILETYPE_REDUCEDIMAGE) == 0)) {
            ++pages;
        }
    }
    TIFFSetDirectory(tiff, 0);
    return std::max(pages, 1);
}

}  // namespace

DecodedFile decodeTiff(const std::vector<std::uint8_t>& file, const std::string& name, std::uint64_t maxBytes) {
    // libtiff may hold a whole strip or tile at once: up to twice the pixels
    // (16-bit samples), and a margin.
    TiffInMemory input(file, name, 2 * maxBytes + (std::uint64_t{64} << 20));
    TIFF* tiff = input.tiff();
    if (tiff == nullptr) {
        throw HostError("'" + name + "' is not a valid TIFF image (" +
                        (input.error().empty() ? "cannot open" : input.error()) + ")");
    }
    std::uint32_t width = 0, height = 0;
    if (TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width) != 1 || TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height) != 1) {
        throw HostError("'" + name + "' is not a valid TIFF image (no image size)");
    }
    DecodedFile decoded;
    decoded.image = imageForFile(name, width, height, maxBytes);

    std::uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &orientation);
    decoded.orientation = orientation >= 1 && orientation <= 8 ? orientation : 1;
    std::uint32_t profileLength = 0;
    const void* profile = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &profileLength, &profile) == 1 && profile != nullptr) {
        const auto* bytes = static_cast<const std::uint8_t*>(profile);
        decoded.metadata.iccProfile.assign(bytes, bytes + profileLength);
    }

    float x = 0, y = 0;
    std::uint16_t unit = RESUNIT_INCH;
    if (TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &x) == 1 && TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &y) == 1 && x > 0 &&
        y > 0 && std::isfinite(x) && std::isfinite(y)) {
        TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &unit);
        decoded.metadata.resolution = PrintResolution{
            x, y, unit >= 1 && unit <= 3 ? static_cast<PrintResolution::Unit>(unit) : PrintResolution::Unit::Inch};
    }
    decoded.pages = countPages(tiff);

    DirectLayout layout;
    if (directLayout(tiff, layout)) {
        decoded.image.hasAlpha = layout.alpha;
        readDirect(tiff, layout, decoded.image, name, input.error());
    } else {
        readThroughRgba(tiff, decoded.image, name, input);
    }
    if (!readTiffMetadata(file, decoded, name)) {
        // Without exiv2's reading of the directories, the XMP and IPTC-IIM
        // tags as libtiff hands them out.
        std::uint32_t size = 0;
        const void* data = nullptr;
        if (TIFFGetField(tiff, TIFFTAG_XMLPACKET, &size, &data) == 1 && data != nullptr) {
            decoded.metadata.xmp.assign(static_cast<const char*>(data), size);
        }
        if (TIFFGetField(tiff, TIFFTAG_RICHTIFFIPTC, &size, &data) == 1 && data != nullptr) {
            // Counted in 32-bit words.
            const auto* bytes = static_cast<const std::uint8_t*>(data);
            decoded.metadata.iptc.assign(bytes, bytes + std::size_t{4} * size);
        }
    }
    return decoded;
}

std::vector<std::uint8_t> encodeTiff(const BgraImage& image, const ImageMetadata& metadata,
                                     const EncodeOptions& /*options*/, EncodeReport& report) {
    std::vector<std::uint8_t> out;
    TiffInMemory output(out);
    TIFF* tiff = output.tiff();
    if (tiff == nullptr) {
        throw HostError("cannot encode TIFF (" + output.error() + ")");
    }
    const int samples = image.hasAlpha ? 4 : 3;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(image.width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(image.height));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    // Lossless: Deflate with horizontal differencing.
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));
    if (image.hasAlpha) {
        const std::uint16_t kind = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &kind);
    }
    if (const std::optional<PrintResolution>& resolution = metadata.resolution) {
        TIFFSetField(tiff, TIFFTAG_XRESOLUTION, static_cast<float>(resolution->x));
        TIFFSetField(tiff, TIFFTAG_YRESOLUTION, static_cast<float>(resolution->y));
        TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, static_cast<std::uint16_t>(resolution->unit));
    }
    if (!metadata.iccProfile.empty()) {
        TIFFSetField(tiff, TIFFTAG_ICCPROFILE, static_cast<std::uint32_t>(metadata.iccProfile.size()),
                     metadata.iccProfile.data());
    }
    std::vector<std::uint8_t> row(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(samples));
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* in = image.at(0, y);
        for (int x = 0; x < image.width; ++x, in += 4) {
            std::uint8_t* pixel = &row[static_cast<std::size_t>(x) * static_cast<std::size_t>(samples)];
            pixel[0] = in[2];
            pixel[1] = in[1];
            pixel[2] = in[0];
            if (samples == 4) {
                pixel[3] = in[3];
            }
        }
        if (TIFFWriteScanline(tiff, row.data(), static_cast<std::uint32_t>(y), 0) != 1) {
            throw HostError("cannot encode TIFF (" + output.error() + ")");
        }
    }
    if (TIFFWriteDirectory(tiff) != 1 || !output.close()) {
        throw HostError("cannot encode TIFF (" + (output.error().empty() ? "libtiff failed" : output.error()) + ")");
    }
    // EXIF, XMP and IPTC-IIM are directories and tags woven into the file;
    // exiv2 writes them into what libtiff made.
    addTiffMetadata(out, metadata, report);
    return out;
}

}  // namespace host
