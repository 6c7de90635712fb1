#include "tests/host/test_pictures.h"

#include <cstdio>  // jpeglib.h needs FILE and size_t first

#include <jpeglib.h>
#include <jxl/decode.h>
#include <jxl/encode.h>
#include <libheif/heif.h>
#include <png.h>
#include <tiffio.h>
#include <webp/decode.h>
#include <webp/encode.h>
#include <webp/mux.h>
#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>

#include "tests/host/file_bytes.h"

namespace test_pictures {

namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const std::string& what) { throw std::runtime_error(what); }

// A scratch file for libtiff, which reads and writes files by name.
class ScratchFile {
public:
    ScratchFile() : path_(uniquePath()) {}
    ~ScratchFile() {
        std::error_code ignored;
        fs::remove(path_, ignored);
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    std::string path() const { return path_.string(); }
    std::vector<std::uint8_t> read() const { return file_bytes::readBytes(path_); }
    void write(const std::vector<std::uint8_t>& bytes) const { file_bytes::writeBytes(path_, bytes); }

private:
    static fs::path uniquePath() {
        static std::atomic<unsigned> counter{0};
        return fs::temp_directory_path() /
               ("sepia-test-picture-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) +
                "-" + std::to_string(counter++) + ".tif");
    }

    fs::path path_;
};

// --- metadata ------------------------------------------------------------

std::vector<std::uint8_t> exifFrom(const Exiv2::ExifData& exif) {
    Exiv2::Blob blob;
    Exiv2::ExifParser::encode(blob, Exiv2::bigEndian, exif);
    return {blob.begin(), blob.end()};
}

void appendBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

// One IPTC-IIM dataset of record 2 (the application record).
void appendDataset(std::vector<std::uint8_t>& out, std::uint8_t dataset, const std::string& value) {
    out.insert(out.end(), {0x1C, 2, dataset});
    appendBigEndian(out, static_cast<std::uint32_t>(value.size()), 2);
    out.insert(out.end(), value.begin(), value.end());
}

// --- libpng --------------------------------------------------------------

[[noreturn]] void pngError(png_structp /*png*/, png_const_charp message) { fail(std::string("libpng: ") + message); }
void pngWarning(png_structp /*png*/, png_const_charp /*message*/) {}
void pngAppend(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void pngFlush(png_structp /*png*/) {}

struct PngWrite {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
    png_infop info = png_create_info_struct(png);
    ~PngWrite() { png_destroy_write_struct(&png, &info); }
};

// --- libjpeg -------------------------------------------------------------

[[noreturn]] void jpegError(j_common_ptr common) {
    char message[JMSG_LENGTH_MAX] = {};
    (*common->err->format_message)(common, message);
    fail(std::string("libjpeg: ") + message);
}

}  // namespace

BgraImage patterned(int width, int height, bool alpha) {
    BgraImage image = host::makeImage(width, height);
    image.hasAlpha = alpha;
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        image.pixels[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 9);
        if (i % 4 == 3 && !alpha) {
            image.pixels[i] = 255;
        }
    }
    return image;
}

BgraImage smooth(int width, int height, bool alpha) {
    BgraImage image = host::makeImage(width, height);
    image.hasAlpha = alpha;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = image.at(x, y);
            p[0] = static_cast<std::uint8_t>(255 * x / std::max(1, width - 1));
            p[1] = static_cast<std::uint8_t>(255 * y / std::max(1, height - 1));
            p[2] = static_cast<std::uint8_t>(128 + 100 * std::sin(0.05 * (x + y)));
            p[3] = alpha ? static_cast<std::uint8_t>(255 - 200 * x / std::max(1, width - 1)) : 255;
        }
    }
    return image;
}

BgraImage quadrants(int width, int height) {
    BgraImage image = host::makeImage(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2;
            const bool bottom = y >= height / 2;
            // blue, green, red
            const std::uint8_t colours[4][3] = {{0, 0, 255}, {0, 255, 0}, {255, 255, 255}, {255, 0, 0}};
            const int quadrant = bottom ? (right ? 2 : 3) : (right ? 1 : 0);
            std::memcpy(image.at(x, y), colours[quadrant], 3);
        }
    }
    return image;
}

BgraImage fewColours(int width, int height, bool alpha) {
    BgraImage image = host::makeImage(width, height);
    image.hasAlpha = alpha;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned index = static_cast<unsigned>(x * 7 + y * 13) % 200;
            std::uint8_t* p = image.at(x, y);
            p[0] = static_cast<std::uint8_t>(index * 37);
            p[1] = static_cast<std::uint8_t>(index * 91);
            p[2] = static_cast<std::uint8_t>(index * 53);
            p[3] = alpha ? static_cast<std::uint8_t>(index * 29) : 255;
        }
    }
    return image;
}

std::vector<std::uint8_t> rgbProfile(const std::string& description) { return iccProfile(description, "RGB "); }

std::vector<std::uint8_t> iccProfile(const std::string& description, const char* colourSpace) {
    // Header, a table of one tag, and a v2 textDescriptionType.
    std::vector<std::uint8_t> profile(128 + 4 + 12, 0);
    auto put32 = [&profile](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            profile[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
        }
    };
    auto put4 = [&profile](std::size_t at, const char* text) { std::memcpy(&profile[at], text, 4); };
    std::vector<std::uint8_t> desc(12 + description.size() + 1 + 8 + 3 + 67, 0);
    std::memcpy(desc.data(), "desc", 4);
    const auto length = static_cast<std::uint32_t>(description.size() + 1);
    for (int i = 0; i < 4; ++i) {
        desc[8 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(length >> (24 - 8 * i));
    }
    std::memcpy(&desc[12], description.c_str(), description.size() + 1);
    while (desc.size() % 4 != 0) {
        desc.push_back(0);
    }
    const std::size_t descOffset = profile.size();
    profile.insert(profile.end(), desc.begin(), desc.end());
    put32(0, static_cast<std::uint32_t>(profile.size()));
    put32(8, 0x02100000);  // version 2.1
    put4(12, "mntr");
    put4(16, colourSpace);
    put4(20, "XYZ ");
    put4(36, "acsp");
    put32(68, 0x0000F6D6);  // D50 illuminant
    put32(72, 0x00010000);
    put32(76, 0x0000D32D);
    put32(128, 1);
    put4(132, "desc");
    put32(136, static_cast<std::uint32_t>(descOffset));
    put32(140, static_cast<std::uint32_t>(desc.size()));
    return profile;
}

std::vector<std::uint8_t> exifBlock(int orientation) {
    Exiv2::ExifData exif;
    exif["Exif.Image.Orientation"] = static_cast<std::uint16_t>(orientation);
    exif["Exif.Image.Make"] = "Darkroom Test";
    exif["Exif.Image.XResolution"] = Exiv2::URational(300, 1);
    exif["Exif.Image.YResolution"] = Exiv2::URational(200, 1);
    exif["Exif.Image.ResolutionUnit"] = static_cast<std::uint16_t>(2);
    exif["Exif.Photo.PixelXDimension"] = static_cast<std::uint32_t>(40);
    exif["Exif.Photo.PixelYDimension"] = static_cast<std::uint32_t>(30);
    exif["Exif.Photo.DateTimeOriginal"] = "2026:12:08 10:00:00";
    exif["Exif.Photo.ExposureTime"] = Exiv2::URational(1, 250);
    exif["Exif.GPSInfo.GPSLatitudeRef"] = "N";
    exif["Exif.GPSInfo.GPSLatitude"] = "48/1 51/1 2400/100";
    const std::vector<std::uint8_t> thumbnail = makeJpeg(patterned(8, 8, false));
    Exiv2::ExifThumb(exif).setJpegThumbnail(thumbnail.data(), static_cast<long>(thumbnail.size()));
    return exifFrom(exif);
}

std::vector<std::uint8_t> descriptiveExif() {
    Exiv2::ExifData exif;
    exif["Exif.Image.ImageDescription"] = "Harbour at dawn";
    exif["Exif.Image.Make"] = "Darkroom Test";
    exif["Exif.Image.Model"] = "Model One";
    exif["Exif.Image.Software"] = "Scanner 2.1";
    exif["Exif.Image.Artist"] = "Ada Lovelace";
    exif["Exif.Image.HostComputer"] = "darkroom-1";
    exif["Exif.Image.Copyright"] = "(c) 2026 Ada Lovelace";
    return exifFrom(exif);
}

std::string xmpPacket(std::size_t historyBytes) {
    // Written out here rather than through a library, so that what the host
    // reads is an ordinary editor's packet.
    std::string history;
    for (std::size_t i = 0; history.size() < historyBytes; ++i) {
        history += "<rdf:li rdf:parseType='Resource'><stEvt:action>saved</stEvt:action><stEvt:instanceID>xmp.iid:" +
                   std::to_string(100000 + i) + "</stEvt:instanceID><stEvt:softwareAgent>Darkroom Editor " +
                   std::to_string(i) + "</stEvt:softwareAgent></rdf:li>";
    }
    return "<?xpacket begin='\xEF\xBB\xBF' id='W5M0MpCehiHzreSzNTczkc9d'?>"
           "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
           "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'"
           " xmlns:xmp='http://ns.adobe.com/xap/1.0/' xmlns:xmpRights='http://ns.adobe.com/xap/1.0/rights/'"
           " xmlns:photoshop='http://ns.adobe.com/photoshop/1.0/' xmlns:tiff='http://ns.adobe.com/tiff/1.0/'"
           " xmlns:Iptc4xmpCore='http://iptc.org/std/Iptc4xmpCore/1.0/xmlns/'"
           " xmlns:xmpMM='http://ns.adobe.com/xap/1.0/mm/'"
           " xmlns:stEvt='http://ns.adobe.com/xap/1.0/sType/ResourceEvent#'"
           " xmp:Rating='4' xmp:Label='Green' xmpRights:Marked='True' tiff:Orientation='1'"
           " photoshop:Credit='Darkroom Press' Iptc4xmpCore:Location='Old harbour'>"
           "<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>Harbour at dawn</rdf:li></rdf:Alt></dc:title>"
           "<dc:creator><rdf:Seq><rdf:li>Ada Lovelace</rdf:li></rdf:Seq></dc:creator>"
           "<dc:rights><rdf:Alt><rdf:li xml:lang='x-default'>(c) 2026 Ada Lovelace, all rights reserved</rdf:li>"
           "</rdf:Alt></dc:rights>"
           "<dc:subject><rdf:Bag><rdf:li>harbour</rdf:li><rdf:li>dawn</rdf:li><rdf:li>boats</rdf:li></rdf:Bag>"
           "</dc:subject>"
           "<xmpRights:UsageTerms><rdf:Alt><rdf:li xml:lang='x-default'>Licensed for editorial use</rdf:li></rdf:Alt>"
           "</xmpRights:UsageTerms>"
           "<xmpMM:History><rdf:Seq>" +
           history +
           "</rdf:Seq></xmpMM:History>"
           "</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end='w'?>";
}

std::vector<std::uint8_t> iptcDatasets() {
    std::vector<std::uint8_t> iptc;
    appendDataset(iptc, 0, std::string("\x00\x04", 2));  // record version 4
    appendDataset(iptc, 5, "Harbour at dawn");           // object name
    appendDataset(iptc, 25, "harbour");                  // keywords
    appendDataset(iptc, 25, "dawn");
    appendDataset(iptc, 80, "Ada Lovelace");               // by-line
    appendDataset(iptc, 116, "(c) 2026 Ada Lovelace");     // copyright notice
    appendDataset(iptc, 120, "Boats in the old harbour");  // caption
    return iptc;
}

WideImage wide(int width, int height, int channels) {
    WideImage image{width, height, channels, {}};
    image.samples.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
                         static_cast<std::size_t>(channels));
    for (std::size_t i = 0; i < image.samples.size(); ++i) {
        // Values near every rounding boundary of the 8-bit scale.
        image.samples[i] = static_cast<std::uint16_t>((i * 40503u + (i % 7) * 128u) & 0xFFFF);
    }
    return image;
}

BgraImage roundedTo8Bits(const WideImage& image) {
    BgraImage out = host::makeImage(image.width, image.height);
    out.hasAlpha = image.channels == 2 || image.channels == 4;
    auto round8 = [](std::uint16_t v) { return static_cast<std::uint8_t>((v * 255u + 32767u) / 65535u); };
    for (std::size_t p = 0; p < out.pixels.size() / 4; ++p) {
        const std::uint16_t* in = &image.samples[p * static_cast<std::size_t>(image.channels)];
        const bool colour = image.channels >= 3;
        out.pixels[4 * p] = round8(colour ? in[2] : in[0]);
        out.pixels[4 * p + 1] = round8(colour ? in[1] : in[0]);
        out.pixels[4 * p + 2] = round8(in[0]);
        out.pixels[4 * p + 3] = out.hasAlpha ? round8(in[image.channels - 1]) : 255;
    }
    return out;
}

std::vector<std::uint8_t> makeJpeg(const BgraImage& image, const JpegOptions& options) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    errors.error_exit = jpegError;
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(image.width);
    info.image_height = static_cast<JDIMENSION>(image.height);
    info.input_components = options.grey ? 1 : options.cmyk ? 4 : 3;
    info.in_color_space = options.grey ? JCS_GRAYSCALE : options.cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, options.quality, TRUE);
    if (options.progressive) {
        jpeg_simple_progression(&info);
    }
    info.write_JFIF_header = options.exif.empty() ? TRUE : FALSE;
    if (options.dpi != 0) {
        info.density_unit = 1;
        info.X_density = static_cast<UINT16>(options.dpi);
        info.Y_density = static_cast<UINT16>(options.dpi);
    }
    jpeg_start_compress(&info, TRUE);
    if (!options.comment.empty()) {
        jpeg_write_marker(&info, JPEG_COM, reinterpret_cast<const JOCTET*>(options.comment.data()),
                          static_cast<unsigned>(options.comment.size()));
    }
    if (!options.exif.empty()) {
        std::vector<std::uint8_t> segment = {'E', 'x', 'i', 'f', 0, 0};
        segment.insert(segment.end(), options.exif.begin(), options.exif.end());
        jpeg_write_marker(&info, JPEG_APP0 + 1, segment.data(), static_cast<unsigned>(segment.size()));
    }
    if (!options.xmp.empty()) {
        std::vector<std::uint8_t> segment(29, 0);
        std::memcpy(segment.data(), "http://ns.adobe.com/xap/1.0/", 28);
        segment.insert(segment.end(), options.xmp.begin(), options.xmp.end());
        jpeg_write_marker(&info, JPEG_APP0 + 1, segment.data(), static_cast<unsigned>(segment.size()));
    }
    if (!options.icc.empty()) {
        jpeg_write_icc_profile(&info, options.icc.data(), static_cast<unsigned>(options.icc.size()));
    }
    if (!options.iptc.empty()) {
        // Photoshop's resources: one, "8BIM" 0x0404 without a name, the
        // datasets padded to an even length.
        std::vector<std::uint8_t> segment = {'P', 'h', 'o', 't', 'o', 's', 'h', 'o',  'p',  ' ', '3',
                                             '.', '0', 0,   '8', 'B', 'I', 'M', 0x04, 0x04, 0,   0};
        appendBigEndian(segment, static_cast<std::uint32_t>(options.iptc.size()), 4);
        segment.insert(segment.end(), options.iptc.begin(), options.iptc.end());
        if (options.iptc.size() % 2 != 0) {
            segment.push_back(0);
        }
        jpeg_write_marker(&info, JPEG_APP0 + 13, segment.data(), static_cast<unsigned>(segment.size()));
    }
    std::vector<JSAMPLE> row(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(info.input_components));
    while (info.next_scanline < info.image_height) {
        const std::uint8_t* in = image.at(0, static_cast<int>(info.next_scanline));
        for (int x = 0; x < image.width; ++x, in += 4) {
            JSAMPLE* out = &row[static_cast<std::size_t>(x) * static_cast<std::size_t>(info.input_components)];
            if (options.grey) {
                out[0] = in[1];
            } else {
                out[0] = in[2];
                out[1] = in[1];
                out[2] = in[0];
                if (options.cmyk) {
                    out[3] = 255;
                }
            }
        }
        JSAMPROW rowPointer = row.data();
        jpeg_write_scanlines(&info, &rowPointer, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<std::uint8_t> file(buffer, buffer + size);
    std::free(buffer);
    return file;
}

std::vector<std::uint8_t> makePng(const BgraImage& image, const PngOptions& options) {
    PngWrite write;
    std::vector<std::uint8_t> file;
    png_set_write_fn(write.png, &file, pngAppend, pngFlush);
    const int interlace = options.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE;
    std::vector<std::vector<png_byte>> rows(static_cast<std::size_t>(image.height));
    if (options.palette) {
        std::map<std::uint32_t, int> indices;
        std::vector<png_color> colours;
        std::vector<png_byte> alphas;
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                const std::uint8_t* p = image.at(x, y);
                std::uint32_t key;
                std::memcpy(&key, p, 4);
                auto [found, fresh] = indices.emplace(key, static_cast<int>(colours.size()));
                if (fresh) {
                    colours.push_back({p[2], p[1], p[0]});
                    alphas.push_back(p[3]);
                }
                rows[static_cast<std::size_t>(y)].push_back(static_cast<png_byte>(found->second));
            }
        }
        if (colours.size() > 256) {
            fail("more than 256 colours for a palette");
        }
        png_set_IHDR(write.png, write.info, static_cast<png_uint_32>(image.width),
                     static_cast<png_uint_32>(image.height), 8, PNG_COLOR_TYPE_PALETTE, interlace,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_set_PLTE(write.png, write.info, colours.data(), static_cast<int>(colours.size()));
        if (image.hasAlpha) {
            png_set_tRNS(write.png, write.info, alphas.data(), static_cast<int>(alphas.size()), nullptr);
        }
    } else {
        const int channels = image.hasAlpha ? 4 : 3;
        png_set_IHDR(write.png, write.info, static_cast<png_uint_32>(image.width),
                     static_cast<png_uint_32>(image.height), 8,
                     image.hasAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, interlace,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                const std::uint8_t* p = image.at(x, y);
                auto& row = rows[static_cast<std::size_t>(y)];
                row.insert(row.end(), {p[2], p[1], p[0]});
                if (channels == 4) {
                    row.push_back(p[3]);
                }
            }
        }
    }
    if (!options.icc.empty()) {
        png_set_iCCP(write.png, write.info, "test", PNG_COMPRESSION_TYPE_BASE, options.icc.data(),
                     static_cast<png_uint_32>(options.icc.size()));
    }
    if (!options.exif.empty()) {
        png_set_eXIf_1(write.png, write.info, static_cast<png_uint_32>(options.exif.size()),
                       const_cast<png_bytep>(options.exif.data()));
    }
    for (const auto& [keyword, language, value] : options.internationalText) {
        png_text text{};
        text.compression = PNG_ITXT_COMPRESSION_NONE;
        text.key = const_cast<png_charp>(keyword.c_str());
        text.lang = const_cast<png_charp>(language.c_str());
        text.text = const_cast<png_charp>(value.c_str());
        text.itxt_length = value.size();
        png_set_text(write.png, write.info, &text, 1);
    }
    for (const auto& [keyword, value] : options.text) {
        png_text text{};
        text.compression = PNG_TEXT_COMPRESSION_NONE;
        text.key = const_cast<png_charp>(keyword.c_str());
        text.text = const_cast<png_charp>(value.c_str());
        text.text_length = value.size();
        png_set_text(write.png, write.info, &text, 1);
    }
    if (options.pixelsPerMetre != 0) {
        png_set_pHYs(write.png, write.info, options.pixelsPerMetre, options.pixelsPerMetre, PNG_RESOLUTION_METER);
    }
    if (options.gamma != 0) {
        png_set_gAMA_fixed(write.png, write.info, static_cast<png_fixed_point>(options.gamma));
    }
    std::vector<png_byte> animation;
    if (options.frames > 0) {
        png_unknown_chunk chunk{};
        std::memcpy(chunk.name, "acTL", 5);
        animation = {0, 0, 0, static_cast<png_byte>(options.frames), 0, 0, 0, 0};
        chunk.data = animation.data();
        chunk.size = animation.size();
        chunk.location = PNG_HAVE_IHDR;
        png_set_keep_unknown_chunks(write.png, PNG_HANDLE_CHUNK_ALWAYS, reinterpret_cast<png_const_bytep>("acTL"), 1);
        png_set_unknown_chunks(write.png, write.info, &chunk, 1);
    }
    std::string xmp = options.xmp;
    if (!xmp.empty()) {
        png_text text{};
        text.compression = PNG_ITXT_COMPRESSION_zTXt;
        text.key = const_cast<png_charp>("XML:com.adobe.xmp");
        text.text = xmp.data();
        text.itxt_length = xmp.size();
        text.lang = const_cast<png_charp>("");
        text.lang_key = const_cast<png_charp>("");
        png_set_text(write.png, write.info, &text, 1);
    }
    png_write_info(write.png, write.info);
    std::vector<png_bytep> pointers;
    pointers.reserve(rows.size());
    for (auto& row : rows) {
        pointers.push_back(row.data());
    }
    png_write_image(write.png, pointers.data());
    png_write_end(write.png, nullptr);
    return file;
}

std::vector<std::uint8_t> makePng16(const WideImage& image) {
    PngWrite write;
    std::vector<std::uint8_t> file;
    png_set_write_fn(write.png, &file, pngAppend, pngFlush);
    const int types[] = {0, PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                         PNG_COLOR_TYPE_RGB_ALPHA};
    png_set_IHDR(write.png, write.info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height),
                 16, types[image.channels], PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(write.png, write.info);
    const std::size_t rowSamples = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.channels);
    std::vector<png_byte> row(2 * rowSamples);
    for (int y = 0; y < image.height; ++y) {
        for (std::size_t i = 0; i < rowSamples; ++i) {
            const std::uint16_t v = image.samples[static_cast<std::size_t>(y) * rowSamples + i];
            row[2 * i] = static_cast<png_byte>(v >> 8);  // PNG is big-endian
            row[2 * i + 1] = static_cast<png_byte>(v);
        }
        png_write_row(write.png, row.data());
    }
    png_write_end(write.png, nullptr);
    return file;
}

std::vector<std::uint8_t> makeTiff(const BgraImage& image, const TiffOptions& options) {
    BgraImage upsideDown = image;
    for (int y = 0; y < image.height; ++y) {
        std::memcpy(upsideDown.at(0, y), image.at(0, image.height - 1 - y), 4 * static_cast<std::size_t>(image.width));
    }
    const ScratchFile scratch;
    TIFF* tif = TIFFOpen(scratch.path().c_str(), options.bigTiff ? "w8" : "w");
    if (tif == nullptr) {
        fail("libtiff cannot create " + scratch.path());
    }
    for (int page = 0; page < options.pages; ++page) {
        const BgraImage& picture = page == 0 ? image : upsideDown;
        const int samples = image.hasAlpha ? 4 : 3;
        if (options.pages > 1) {
            TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
            TIFFSetField(tif, TIFFTAG_PAGENUMBER, page, options.pages);
        }
        if (options.dpi > 0) {
            TIFFSetField(tif, TIFFTAG_XRESOLUTION, options.dpi);
            TIFFSetField(tif, TIFFTAG_YRESOLUTION, options.dpi);
            TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        }
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(image.width));
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(image.height));
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        if (options.orientation != 0) {
            TIFFSetField(tif, TIFFTAG_ORIENTATION, options.orientation);
        }
        if (page == 0 && !options.xmp.empty()) {
            TIFFSetField(tif, TIFFTAG_XMLPACKET, static_cast<std::uint32_t>(options.xmp.size()), options.xmp.data());
        }
        if (page == 0 && options.exifFields) {
            TIFFSetField(tif, TIFFTAG_MAKE, "Darkroom Test");
        }
        TIFFSetField(tif, TIFFTAG_COMPRESSION, options.compression);
        if (options.compression == COMPRESSION_JPEG) {
            TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 95);
        }
        if (image.hasAlpha) {
            const std::uint16_t kind = options.alphaKind;
            TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &kind);
        }
        if (!options.icc.empty()) {
            TIFFSetField(tif, TIFFTAG_ICCPROFILE, static_cast<std::uint32_t>(options.icc.size()), options.icc.data());
        }
        auto pixel = [&](int x, int y, std::uint8_t* out) {
            const std::uint8_t* p = picture.at(x, y);
            out[0] = p[2];
            out[1] = p[1];
            out[2] = p[0];
            if (samples == 4) {
                out[3] = p[3];
            }
        };
        if (options.tiled) {
            constexpr std::uint32_t kTile = 16;
            TIFFSetField(tif, TIFFTAG_TILEWIDTH, kTile);
            TIFFSetField(tif, TIFFTAG_TILELENGTH, kTile);
            std::vector<std::uint8_t> tile(kTile * kTile * static_cast<std::size_t>(samples));
            for (std::uint32_t ty = 0; ty < static_cast<std::uint32_t>(image.height); ty += kTile) {
                for (std::uint32_t tx = 0; tx < static_cast<std::uint32_t>(image.width); tx += kTile) {
                    std::fill(tile.begin(), tile.end(), 0);
                    for (std::uint32_t y = 0; y < kTile && ty + y < static_cast<std::uint32_t>(image.height); ++y) {
                        for (std::uint32_t x = 0; x < kTile && tx + x < static_cast<std::uint32_t>(image.width); ++x) {
                            pixel(static_cast<int>(tx + x), static_cast<int>(ty + y),
                                  &tile[(y * kTile + x) * static_cast<std::size_t>(samples)]);
                        }
                    }
                    TIFFWriteTile(tif, tile.data(), tx, ty, 0, 0);
                }
            }
        } else {
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 8);
            std::vector<std::uint8_t> row(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(samples));
            for (int y = 0; y < image.height; ++y) {
                for (int x = 0; x < image.width; ++x) {
                    pixel(x, y, &row[static_cast<std::size_t>(x) * static_cast<std::size_t>(samples)]);
                }
                TIFFWriteScanline(tif, row.data(), static_cast<std::uint32_t>(y), 0);
            }
        }
        if (page == 0 && options.exifFields) {
            // The image's directory, then the EXIF directory, then the
            // image's again, now pointing at it.
            TIFFSetField(tif, TIFFTAG_EXIFIFD, std::uint64_t{0});
            TIFFWriteDirectory(tif);
            TIFFCreateEXIFDirectory(tif);
            TIFFSetField(tif, EXIFTAG_EXPOSURETIME, 1.0 / 250);
            TIFFSetField(tif, EXIFTAG_FNUMBER, 2.8);
            std::uint64_t exifOffset = 0;
            TIFFWriteCustomDirectory(tif, &exifOffset);
            TIFFSetDirectory(tif, 0);
            TIFFSetField(tif, TIFFTAG_EXIFIFD, exifOffset);
            TIFFRewriteDirectory(tif);
            continue;
        }
        TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
    return scratch.read();
}

std::vector<std::uint8_t> makeTiffYCbCr(const BgraImage& image, int across, int down, int rowsPerStrip) {
    const ScratchFile scratch;
    TIFF* tif = TIFFOpen(scratch.path().c_str(), "w");
    if (tif == nullptr) {
        fail("libtiff cannot create " + scratch.path());
    }
    const auto width = static_cast<std::uint32_t>(image.width);
    const auto height = static_cast<std::uint32_t>(image.height);
    rowsPerStrip = (rowsPerStrip + down - 1) / down * down;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, static_cast<std::uint16_t>(across), static_cast<std::uint16_t>(down));
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(rowsPerStrip));
    // Blocks of across x down luma samples, then the block's mean Cb and Cr
    // (BT.601, full range), block rows after one another.
    auto clampByte = [](double value) { return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L)); };
    const std::uint32_t blocksAcross =
        (width + static_cast<std::uint32_t>(across) - 1) / static_cast<std::uint32_t>(across);
    std::uint32_t strip = 0;
    for (std::uint32_t top = 0; top < height; top += static_cast<std::uint32_t>(rowsPerStrip), ++strip) {
        std::vector<std::uint8_t> data;
        const std::uint32_t bottom = std::min(height, top + static_cast<std::uint32_t>(rowsPerStrip));
        for (std::uint32_t by = top; by < bottom; by += static_cast<std::uint32_t>(down)) {
            for (std::uint32_t block = 0; block < blocksAcross; ++block) {
                double cb = 0, cr = 0;
                for (int dy = 0; dy < down; ++dy) {
                    for (int dx = 0; dx < across; ++dx) {
                        const int x = std::min(static_cast<int>(block) * across + dx, image.width - 1);
                        const int y = std::min(static_cast<int>(by) + dy, image.height - 1);
                        const std::uint8_t* p = image.at(x, y);
                        const double luma = 0.299 * p[2] + 0.587 * p[1] + 0.114 * p[0];
                        data.push_back(clampByte(luma));
                        cb += (p[0] - luma) / 1.772 + 128;
                        cr += (p[2] - luma) / 1.402 + 128;
                    }
                }
                data.push_back(clampByte(cb / (across * down)));
                data.push_back(clampByte(cr / (across * down)));
            }
        }
        if (TIFFWriteEncodedStrip(tif, strip, data.data(), static_cast<tmsize_t>(data.size())) < 0) {
            fail("libtiff cannot write a YCbCr strip");
        }
    }
    TIFFClose(tif);
    return scratch.read();
}

std::vector<std::uint8_t> makeTiff16(const WideImage& image) {
    const ScratchFile scratch;
    TIFF* tif = TIFFOpen(scratch.path().c_str(), "w");
    if (tif == nullptr) {
        fail("libtiff cannot create " + scratch.path());
    }
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(image.width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(image.height));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, image.channels);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, image.channels >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    if (image.channels == 2 || image.channels == 4) {
        const std::uint16_t kind = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &kind);
    }
    const std::size_t rowSamples = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.channels);
    std::vector<std::uint16_t> row(rowSamples);
    for (int y = 0; y < image.height; ++y) {
        std::memcpy(row.data(), &image.samples[static_cast<std::size_t>(y) * rowSamples], 2 * rowSamples);
        TIFFWriteScanline(tif, row.data(), static_cast<std::uint32_t>(y), 0);
    }
    TIFFClose(tif);
    return scratch.read();
}

std::vector<std::uint8_t> makeWebp(const BgraImage& image, bool lossless, const std::vector<std::uint8_t>& exif,
                                   const std::string& xmp) {
    WebPConfig config;
    WebPConfigInit(&config);
    config.lossless = lossless ? 1 : 0;
    config.exact = 1;  // keep the colour under fully transparent pixels
    config.quality = 95;
    WebPPicture picture;
    WebPPictureInit(&picture);
    picture.width = image.width;
    picture.height = image.height;
    picture.use_argb = 1;
    WebPMemoryWriter writer;
    WebPMemoryWriterInit(&writer);
    picture.writer = WebPMemoryWrite;
    picture.custom_ptr = &writer;
    const bool ok = (image.hasAlpha ? WebPPictureImportBGRA(&picture, image.pixels.data(), 4 * image.width)
                                    : WebPPictureImportBGRX(&picture, image.pixels.data(), 4 * image.width)) != 0 &&
                    WebPEncode(&config, &picture) != 0;
    WebPPictureFree(&picture);
    std::vector<std::uint8_t> file(writer.mem, writer.mem + writer.size);
    WebPMemoryWriterClear(&writer);
    if (!ok) {
        fail("libwebp cannot encode");
    }
    if (!exif.empty() || !xmp.empty()) {
        const WebPData bitstream{file.data(), file.size()};
        WebPMux* mux = WebPMuxCreate(&bitstream, 1);
        const WebPData exifChunk{exif.data(), exif.size()};
        const WebPData xmpChunk{reinterpret_cast<const std::uint8_t*>(xmp.data()), xmp.size()};
        WebPData assembled{};
        if (mux == nullptr || (!exif.empty() && WebPMuxSetChunk(mux, "EXIF", &exifChunk, 1) != WEBP_MUX_OK) ||
            (!xmp.empty() && WebPMuxSetChunk(mux, "XMP ", &xmpChunk, 1) != WEBP_MUX_OK) ||
            WebPMuxAssemble(mux, &assembled) != WEBP_MUX_OK) {
            fail("libwebp cannot add EXIF or XMP");
        }
        file.assign(assembled.bytes, assembled.bytes + assembled.size);
        WebPDataClear(&assembled);
        WebPMuxDelete(mux);
    }
    return file;
}

std::vector<std::uint8_t> makeAnimatedWebp(const BgraImage& image, int frames) {
    WebPAnimEncoderOptions options;
    WebPAnimEncoderOptionsInit(&options);
    WebPAnimEncoder* encoder = WebPAnimEncoderNew(image.width, image.height, &options);
    WebPConfig config;
    WebPConfigInit(&config);
    config.lossless = 1;
    config.exact = 1;
    bool ok = encoder != nullptr;
    for (int frame = 0; ok && frame < frames; ++frame) {
        BgraImage darker = image;
        for (std::size_t i = 0; i < darker.pixels.size(); ++i) {
            if (i % 4 != 3) {
                darker.pixels[i] = static_cast<std::uint8_t>(darker.pixels[i] * (frames - frame) / frames);
            }
        }
        WebPPicture picture;
        WebPPictureInit(&picture);
        picture.width = image.width;
        picture.height = image.height;
        picture.use_argb = 1;
        ok = WebPPictureImportBGRA(&picture, darker.pixels.data(), 4 * image.width) != 0 &&
             WebPAnimEncoderAdd(encoder, &picture, frame * 100, &config) != 0;
        WebPPictureFree(&picture);
    }
    WebPData assembled{};
    ok = ok && WebPAnimEncoderAdd(encoder, nullptr, frames * 100, nullptr) != 0 &&
         WebPAnimEncoderAssemble(encoder, &assembled) != 0;
    std::vector<std::uint8_t> file(assembled.bytes, assembled.bytes + assembled.size);
    WebPDataClear(&assembled);
    WebPAnimEncoderDelete(encoder);
    if (!ok) {
        fail("libwebp cannot encode an animation");
    }
    return file;
}

BgraImage readPng(const std::vector<std::uint8_t>& file) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&image, file.data(), file.size()) == 0) {
        fail(std::string("libpng: ") + image.message);
    }
    const bool alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    image.format = PNG_FORMAT_BGRA;
    BgraImage out = host::makeImage(static_cast<int>(image.width), static_cast<int>(image.height));
    out.hasAlpha = alpha;
    if (png_image_finish_read(&image, nullptr, out.pixels.data(), 0, nullptr) == 0) {
        fail(std::string("libpng: ") + image.message);
    }
    return out;
}

BgraImage readJpeg(const std::vector<std::uint8_t>& file) {
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    errors.error_exit = jpegError;
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    BgraImage out = host::makeImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height));
    std::vector<JSAMPLE> row(3 * static_cast<std::size_t>(info.output_width));
    while (info.output_scanline < info.output_height) {
        const int y = static_cast<int>(info.output_scanline);
        JSAMPROW rowPointer = row.data();
        jpeg_read_scanlines(&info, &rowPointer, 1);
        for (int x = 0; x < out.width; ++x) {
            std::uint8_t* p = out.at(x, y);
            p[0] = row[3 * static_cast<std::size_t>(x) + 2];
            p[1] = row[3 * static_cast<std::size_t>(x) + 1];
            p[2] = row[3 * static_cast<std::size_t>(x)];
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return out;
}

int tiffPages(const std::vector<std::uint8_t>& file) {
    const ScratchFile scratch;
    scratch.write(file);
    TIFF* tif = TIFFOpen(scratch.path().c_str(), "r");
    if (tif == nullptr) {
        fail("libtiff cannot open the file");
    }
    const int pages = TIFFNumberOfDirectories(tif);
    TIFFClose(tif);
    return pages;
}

BgraImage readTiff(const std::vector<std::uint8_t>& file, int page) {
    const ScratchFile scratch;
    scratch.write(file);
    TIFF* tif = TIFFOpen(scratch.path().c_str(), "r");
    if (tif == nullptr) {
        fail("libtiff cannot open the file");
    }
    if (TIFFSetDirectory(tif, static_cast<tdir_t>(page)) != 1) {
        TIFFClose(tif);
        fail("no such page");
    }
    std::uint32_t width = 0, height = 0;
    std::uint16_t bits = 0, samples = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    if (bits != 8 || (samples != 3 && samples != 4)) {
        TIFFClose(tif);
        fail("not 8-bit RGB(A)");
    }
    BgraImage out = host::makeImage(static_cast<int>(width), static_cast<int>(height));
    out.hasAlpha = samples == 4;
    std::vector<std::uint8_t> row(static_cast<std::size_t>(TIFFScanlineSize(tif)));
    for (std::uint32_t y = 0; y < height; ++y) {
        if (TIFFReadScanline(tif, row.data(), y, 0) != 1) {
            TIFFClose(tif);
            fail("libtiff cannot read a row");
        }
        for (std::uint32_t x = 0; x < width; ++x) {
            std::uint8_t* p = out.at(static_cast<int>(x), static_cast<int>(y));
            const std::uint8_t* in = &row[x * samples];
            p[0] = in[2];
            p[1] = in[1];
            p[2] = in[0];
            p[3] = samples == 4 ? in[3] : 255;
        }
    }
    TIFFClose(tif);
    return out;
}

BgraImage readWebp(const std::vector<std::uint8_t>& file) {
    int width = 0, height = 0;
    std::uint8_t* pixels = WebPDecodeBGRA(file.data(), file.size(), &width, &height);
    if (pixels == nullptr) {
        fail("libwebp cannot decode");
    }
    WebPBitstreamFeatures features{};
    WebPGetFeatures(file.data(), file.size(), &features);
    BgraImage out = host::makeImage(width, height);
    out.hasAlpha = features.has_alpha != 0;
    std::memcpy(out.pixels.data(), pixels, out.pixels.size());
    WebPFree(pixels);
    return out;
}

double psnr(const BgraImage& a, const BgraImage& b) {
    if (a.width != b.width || a.height != b.height) {
        return 0;
    }
    double squares = 0;
    std::size_t count = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) {
        if (i % 4 != 3) {
            const double d = static_cast<double>(a.pixels[i]) - static_cast<double>(b.pixels[i]);
            squares += d * d;
            ++count;
        }
    }
    if (squares == 0) {
        return 99;
    }
    return 10 * std::log10(255.0 * 255.0 / (squares / static_cast<double>(count)));
}

// --- libheif and libjxl ---------------------------------------------------

std::vector<std::uint8_t> makeAvif(const BgraImage& image, const ModernOptions& options) {
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_image* picture = nullptr;
    const heif_chroma chroma = image.hasAlpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB;
    bool ok =
        heif_context_get_encoder_for_format(context, heif_compression_AV1, &encoder).code == heif_error_Ok &&
        heif_image_create(image.width, image.height, heif_colorspace_RGB, chroma, &picture).code == heif_error_Ok &&
        heif_image_add_plane(picture, heif_channel_interleaved, image.width, image.height, 8).code == heif_error_Ok;
    if (ok) {
        int stride = 0;
        std::uint8_t* plane = heif_image_get_plane(picture, heif_channel_interleaved, &stride);
        const int samples = image.hasAlpha ? 4 : 3;
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                const std::uint8_t* in = image.at(x, y);
                std::uint8_t* out = plane + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride) +
                                    static_cast<std::size_t>(x * samples);
                out[0] = in[2];
                out[1] = in[1];
                out[2] = in[0];
                if (samples == 4) {
                    out[3] = in[3];
                }
            }
        }
        heif_encoder_set_lossless(encoder, 1);
        heif_encoder_set_parameter_string(encoder, "chroma", "444");
        heif_encoding_options* encoding = heif_encoding_options_alloc();
        heif_color_profile_nclx* nclx = heif_nclx_color_profile_alloc();
        nclx->matrix_coefficients = heif_matrix_coefficients_RGB_GBR;
        nclx->full_range_flag = 1;
        heif_image_set_nclx_color_profile(picture, nclx);
        encoding->output_nclx_profile = nclx;
        encoding->image_orientation = static_cast<heif_orientation>(options.orientation);
        heif_image_handle* handle = nullptr;
        ok = heif_context_encode_image(context, picture, encoder, encoding, &handle).code == heif_error_Ok;
        if (ok && !options.exif.empty()) {
            heif_context_add_exif_metadata(context, handle, options.exif.data(), static_cast<int>(options.exif.size()));
        }
        if (ok && !options.xmp.empty()) {
            heif_context_add_XMP_metadata(context, handle, options.xmp.data(), static_cast<int>(options.xmp.size()));
        }
        heif_image_handle_release(handle);
        heif_nclx_color_profile_free(nclx);
        heif_encoding_options_free(encoding);
    }
    const ScratchFile scratch;
    ok = ok && heif_context_write_to_file(context, scratch.path().c_str()).code == heif_error_Ok;
    heif_image_release(picture);
    heif_encoder_release(encoder);
    heif_context_free(context);
    if (!ok) {
        fail("libheif cannot encode AVIF");
    }
    return scratch.read();
}

std::vector<std::uint8_t> makeJxl(const BgraImage& image, const ModernOptions& options) {
    JxlEncoder* encoder = JxlEncoderCreate(nullptr);
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = static_cast<std::uint32_t>(image.width);
    info.ysize = static_cast<std::uint32_t>(image.height);
    info.bits_per_sample = 8;
    info.uses_original_profile = JXL_TRUE;
    info.orientation = static_cast<JxlOrientation>(options.orientation);
    if (image.hasAlpha) {
        info.alpha_bits = 8;
        info.num_extra_channels = 1;
    }
    JxlColorEncoding srgb;
    JxlColorEncodingSetToSRGB(&srgb, JXL_FALSE);
    bool ok = JxlEncoderUseBoxes(encoder) == JXL_ENC_SUCCESS &&
              JxlEncoderSetBasicInfo(encoder, &info) == JXL_ENC_SUCCESS &&
              JxlEncoderSetColorEncoding(encoder, &srgb) == JXL_ENC_SUCCESS;
    if (ok && !options.exif.empty()) {
        std::vector<std::uint8_t> box = {0, 0, 0, 0};
        box.insert(box.end(), options.exif.begin(), options.exif.end());
        ok = JxlEncoderAddBox(encoder, "Exif", box.data(), box.size(), JXL_FALSE) == JXL_ENC_SUCCESS;
    }
    if (ok && !options.xmp.empty()) {
        ok = JxlEncoderAddBox(encoder, "xml ", reinterpret_cast<const std::uint8_t*>(options.xmp.data()),
                              options.xmp.size(), JXL_FALSE) == JXL_ENC_SUCCESS;
    }
    JxlEncoderCloseBoxes(encoder);
    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder, nullptr);
    const std::uint32_t samples = image.hasAlpha ? 4 : 3;
    std::vector<std::uint8_t> rgba;
    for (std::size_t i = 0; i < image.pixels.size(); i += 4) {
        const std::uint8_t pixel[4] = {image.pixels[i + 2], image.pixels[i + 1], image.pixels[i], image.pixels[i + 3]};
        rgba.insert(rgba.end(), pixel, pixel + samples);
    }
    const JxlPixelFormat format{samples, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    ok = ok && JxlEncoderSetFrameLossless(settings, JXL_TRUE) == JXL_ENC_SUCCESS &&
         JxlEncoderAddImageFrame(settings, &format, rgba.data(), rgba.size()) == JXL_ENC_SUCCESS;
    JxlEncoderCloseInput(encoder);
    std::vector<std::uint8_t> file;
    std::vector<std::uint8_t> buffer(std::size_t{1} << 16);
    while (ok) {
        std::uint8_t* next = buffer.data();
        std::size_t available = buffer.size();
        const JxlEncoderStatus status = JxlEncoderProcessOutput(encoder, &next, &available);
        file.insert(file.end(), buffer.begin(), buffer.end() - static_cast<std::ptrdiff_t>(available));
        if (status == JXL_ENC_SUCCESS) {
            break;
        }
        ok = status == JXL_ENC_NEED_MORE_OUTPUT;
    }
    JxlEncoderDestroy(encoder);
    if (!ok) {
        fail("libjxl cannot encode");
    }
    return file;
}

BgraImage readAvif(const std::vector<std::uint8_t>& file) {
    heif_context* context = heif_context_alloc();
    heif_image_handle* handle = nullptr;
    heif_image* picture = nullptr;
    BgraImage out;
    bool ok =
        heif_context_read_from_memory_without_copy(context, file.data(), file.size(), nullptr).code == heif_error_Ok &&
        heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok;
    if (ok) {
        const bool alpha = heif_image_handle_has_alpha_channel(handle) != 0;
        ok = heif_decode_image(handle, &picture, heif_colorspace_RGB,
                               alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, nullptr)
                 .code == heif_error_Ok;
        if (ok) {
            int stride = 0;
            const std::uint8_t* plane = heif_image_get_plane_readonly(picture, heif_channel_interleaved, &stride);
            out = host::makeImage(heif_image_get_width(picture, heif_channel_interleaved),
                                  heif_image_get_height(picture, heif_channel_interleaved));
            out.hasAlpha = alpha;
            const int samples = alpha ? 4 : 3;
            for (int y = 0; y < out.height; ++y) {
                for (int x = 0; x < out.width; ++x) {
                    const std::uint8_t* in = plane + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride) +
                                             static_cast<std::size_t>(x * samples);
                    std::uint8_t* p = out.at(x, y);
                    p[0] = in[2];
                    p[1] = in[1];
                    p[2] = in[0];
                    p[3] = alpha ? in[3] : 255;
                }
            }
        }
    }
    heif_image_release(picture);
    heif_image_handle_release(handle);
    heif_context_free(context);
    if (!ok) {
        fail("libheif cannot decode");
    }
    return out;
}

BgraImage readJxl(const std::vector<std::uint8_t>& file) {
    JxlDecoder* decoder = JxlDecoderCreate(nullptr);
    JxlDecoderSubscribeEvents(decoder, JXL_DEC_BASIC_INFO | JXL_DEC_FULL_IMAGE);
    JxlDecoderSetInput(decoder, file.data(), file.size());
    JxlDecoderCloseInput(decoder);
    const JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    BgraImage out;
    JxlBasicInfo info{};
    bool ok = true;
    for (bool done = false; ok && !done;) {
        switch (JxlDecoderProcessInput(decoder)) {
            case JXL_DEC_BASIC_INFO:
                JxlDecoderGetBasicInfo(decoder, &info);
                out = host::makeImage(static_cast<int>(info.xsize), static_cast<int>(info.ysize));
                out.hasAlpha = info.alpha_bits > 0;
                break;
            case JXL_DEC_NEED_IMAGE_OUT_BUFFER:
                ok = JxlDecoderSetImageOutBuffer(decoder, &format, out.pixels.data(), out.pixels.size()) ==
                     JXL_DEC_SUCCESS;
                break;
            case JXL_DEC_FULL_IMAGE:
            case JXL_DEC_SUCCESS:
                done = true;
                break;
            default:
                ok = false;
        }
    }
    JxlDecoderDestroy(decoder);
    if (!ok) {
        fail("libjxl cannot decode");
    }
    for (std::size_t i = 0; i < out.pixels.size(); i += 4) {
        std::swap(out.pixels[i], out.pixels[i + 2]);
    }
    return out;
}

}  // namespace test_pictures
