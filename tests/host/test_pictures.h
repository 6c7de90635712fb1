#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "host/image/bgra_image.h"

// Test pictures written straight through the codec libraries (not through
// the host), and readers that decode the host's outputs by other paths than
// the host's own, so that what the host writes is checked independently.
namespace test_pictures {

using host::BgraImage;

// width x height pixels that all differ; alpha varies when `alpha`.
BgraImage patterned(int width, int height, bool alpha);

// width x height pixels of smooth gradients, as photographs mostly are, for
// lossy formats; alpha varies when `alpha`.
BgraImage smooth(int width, int height, bool alpha);

// Four flat quadrants in distinct colours (red, green, blue, white from the
// top left, clockwise), to tell which way up a picture is.
BgraImage quadrants(int width, int height);

// width x height pixels in at most 200 colours (for palettes); alpha varies
// when `alpha`.
BgraImage fewColours(int width, int height, bool alpha);

// An ICC profile for data of `colourSpace` ("RGB ", "GRAY", "CMYK") whose
// description tag reads `description`; rgbProfile for RGB.
std::vector<std::uint8_t> iccProfile(const std::string& description, const char* colourSpace);
std::vector<std::uint8_t> rgbProfile(const std::string& description);

// EXIF in TIFF form: the given orientation, Make "Darkroom Test", 300 by
// 200 pixels per inch, pixel dimensions 40 x 30, a DateTimeOriginal, an
// ExposureTime of 1/250, a GPS latitude, and an 8 x 8 JPEG thumbnail.
std::vector<std::uint8_t> exifBlock(int orientation);

// EXIF with nothing but the image's own directory, as editors, scanners and
// scripts write it: ImageDescription, Make, Model, Software, Artist,
// HostComputer, Copyright.
std::vector<std::uint8_t> descriptiveExif();

// An XMP packet as photo editors write it: title, creator, rights, usage
// terms, keywords, rating, label, credit, IPTC Core location, and an edit
// history of at least `historyBytes` (beyond 64 KiB, a JPEG needs extended
// XMP for it).
std::string xmpPacket(std::size_t historyBytes = 0);

// IPTC-IIM datasets as press agencies send them: object name, keywords,
// by-line, copyright notice, caption.
std::vector<std::uint8_t> iptcDatasets();

// 16-bit samples: `channels` per pixel (1 grey, 2 grey + alpha, 3 RGB,
// 4 RGBA), rows packed.
struct WideImage {
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<std::uint16_t> samples;
};
WideImage wide(int width, int height, int channels);
// What the host should make of it: each sample rounded to the nearest
// 8-bit value, grey spread to red, green and blue.
BgraImage roundedTo8Bits(const WideImage& image);

struct JpegOptions {
    int quality = 95;
    bool grey = false;  // one channel: the green of each pixel
    bool cmyk = false;  // Adobe CMYK (inverted): C, M, Y = R, G, B; K = 255
    bool progressive = false;
    std::vector<std::uint8_t> exif;
    std::vector<std::uint8_t> icc;
    std::string xmp;                 // APP1
    std::vector<std::uint8_t> iptc;  // APP13, among Photoshop's resources
    std::string comment;             // COM
    int dpi = 0;                     // JFIF density per inch (without EXIF)
};
std::vector<std::uint8_t> makeJpeg(const BgraImage& image, const JpegOptions& options = {});

struct PngOptions {
    bool palette = false;  // an 8-bit palette of the image's colours (at most 256), with tRNS for alpha
    bool interlaced = false;
    std::vector<std::uint8_t> exif;  // an eXIf chunk before the image data
    std::vector<std::uint8_t> icc;
    std::string xmp;  // a compressed iTXt chunk
    // tEXt chunks before the image data (keyword, text), written before
    // the XMP.
    std::vector<std::pair<std::string, std::string>> text;
    std::uint32_t pixelsPerMetre = 0;  // pHYs
    std::uint32_t gamma = 0;           // gAMA, times 100000
    int frames = 0;                    // an acTL chunk announcing an animation of that many frames
    // iTXt chunks before the image data: keyword, language, text.
    std::vector<std::array<std::string, 3>> internationalText;
};
std::vector<std::uint8_t> makePng(const BgraImage& image, const PngOptions& options = {});
std::vector<std::uint8_t> makePng16(const WideImage& image);

struct TiffOptions {
    int orientation = 1;            // 0: no Orientation tag
    std::uint16_t compression = 1;  // a libtiff COMPRESSION_* value
    bool tiled = false;
    std::vector<std::uint8_t> icc;
    std::uint16_t alphaKind = 2;  // ExtraSamples of an image with alpha: 0 unspecified, 1 premultiplied, 2 straight
    int pages = 1;                // further pages hold the picture turned upside down
    float dpi = 0;
    bool bigTiff = false;
    std::string xmp;          // tag 700
    bool exifFields = false;  // Make "Darkroom Test" and an EXIF directory: ExposureTime 1/250, FNumber 2.8
};
std::vector<std::uint8_t> makeTiff(const BgraImage& image, const TiffOptions& options = {});
std::vector<std::uint8_t> makeTiff16(const WideImage& image);
// YCbCr (not JPEG), Deflate, subsampled `across` x `down`, in strips of
// `rowsPerStrip` rows (rounded up to whole blocks), as scanners may write.
std::vector<std::uint8_t> makeTiffYCbCr(const BgraImage& image, int across, int down, int rowsPerStrip);

std::vector<std::uint8_t> makeWebp(const BgraImage& image, bool lossless, const std::vector<std::uint8_t>& exif = {},
                                   const std::string& xmp = {});
// An animation of `frames` frames of `image`, each darker than the last.
std::vector<std::uint8_t> makeAnimatedWebp(const BgraImage& image, int frames);

// AVIF through libheif and libaom, and JPEG XL through libjxl: lossless
// (AVIF's colour as RGB, 4:4:4), the picture stored as given and shown
// under `orientation` (AVIF's irot and imir boxes; JPEG XL's header).
struct ModernOptions {
    int orientation = 1;
    std::vector<std::uint8_t> exif;
    std::string xmp;
};
std::vector<std::uint8_t> makeAvif(const BgraImage& image, const ModernOptions& options = {});
std::vector<std::uint8_t> makeJxl(const BgraImage& image, const ModernOptions& options = {});

// Independent readers; each throws std::runtime_error on failure.
BgraImage readPng(const std::vector<std::uint8_t>& file);                 // libpng's simplified API
BgraImage readJpeg(const std::vector<std::uint8_t>& file);                // libjpeg's default RGB output
BgraImage readTiff(const std::vector<std::uint8_t>& file, int page = 0);  // 8-bit RGB(A) scanlines
int tiffPages(const std::vector<std::uint8_t>& file);                     // its directories
BgraImage readWebp(const std::vector<std::uint8_t>& file);                // WebPDecodeBGRA
BgraImage readAvif(const std::vector<std::uint8_t>& file);                // libheif, 8-bit RGB(A)
BgraImage readJxl(const std::vector<std::uint8_t>& file);                 // libjxl, 8-bit RGBA

// Peak signal-to-noise ratio of blue, green and red, in dB.
double psnr(const BgraImage& a, const BgraImage& b);

}  // namespace test_pictures
