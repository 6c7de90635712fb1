// make_test_pictures FOLDER: writes pictures of every format and layout the
// reference host reads, with orientations, ICC profiles, EXIF, XMP and
// IPTC-IIM (sound and damaged), made straight through the codec libraries.
// The metadata check runs the host on them and reads its outputs with
// exiftool; they also seed the image fuzzer.
#include <tiff.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/host/host_fixture.h"
#include "tests/host/test_pictures.h"

using namespace test_pictures;

int main(int argc, char** argv) {
    // make_test_pictures --ycbcr FILE WIDTH HEIGHT ACROSS DOWN ROWS: one
    // YCbCr TIFF (see makeTiffYCbCr), which no TIFF tool writes.
    if (argc == 8 && std::string(argv[1]) == "--ycbcr") {
        host_fixture::writeBytes(argv[2], makeTiffYCbCr(smooth(std::atoi(argv[3]), std::atoi(argv[4]), false),
                                                        std::atoi(argv[5]), std::atoi(argv[6]), std::atoi(argv[7])));
        return 0;
    }
    if (argc != 2) {
        std::fprintf(
            stderr,
            "usage: make_test_pictures FOLDER\n       make_test_pictures --ycbcr FILE WIDTH HEIGHT ACROSS DOWN ROWS\n");
        return 2;
    }
    const std::filesystem::path folder(argv[1]);
    std::filesystem::create_directories(folder);
    auto put = [&folder](const std::string& name, const std::vector<std::uint8_t>& bytes) {
        host_fixture::writeBytes(folder / name, bytes);
    };
    const BgraImage photo = smooth(40, 30, false);
    const BgraImage photoAlpha = smooth(40, 30, true);
    const std::vector<std::uint8_t> profile = rgbProfile("Sepia test profile");
    put("exif6-icc.jpg", makeJpeg(photo, {.exif = exifBlock(6), .icc = profile}));
    put("progressive.jpg", makeJpeg(photo, {.progressive = true}));
    put("grey.jpg", makeJpeg(photo, {.grey = true}));
    put("cmyk.jpg", makeJpeg(photo, {.cmyk = true}));
    put("icc-alpha.png", makePng(photoAlpha, {.icc = profile}));
    put("exif3.png", makePng(photo, {.exif = exifBlock(3)}));
    put("palette-alpha.png", makePng(fewColours(24, 16, true), {.palette = true, .interlaced = true}));
    put("grey-alpha-16bit.png", makePng16(wide(12, 9, 2)));
    put("rgb-16bit.png", makePng16(wide(12, 9, 3)));
    put("rgb-16bit.tif", makeTiff16(wide(12, 9, 3)));
    put("grey-16bit.tif", makeTiff16(wide(12, 9, 1)));
    put("lzw-alpha.tif", makeTiff(photoAlpha, {.compression = COMPRESSION_LZW}));
    put("jpeg.tif", makeTiff(photo, {.compression = COMPRESSION_JPEG}));
    put("tiled-deflate.tif", makeTiff(photo, {.compression = COMPRESSION_ADOBE_DEFLATE, .tiled = true}));
    put("orientation8-icc.tif", makeTiff(photo, {.orientation = 8, .icc = profile}));
    put("lossy-alpha.webp", makeWebp(photoAlpha, false));
    put("lossless.webp", makeWebp(photo, true));
    put("exif8.webp", makeWebp(photo, false, exifBlock(8)));
    // Metadata as editors, press tools and scripts write it.
    put("descriptive-exif.jpg", makeJpeg(photo, {.exif = descriptiveExif()}));
    put("editor.jpg",
        makeJpeg(photo, {.exif = exifBlock(1), .icc = profile, .xmp = xmpPacket(), .iptc = iptcDatasets()}));
    put("editor.png", makePng(photo, {.exif = descriptiveExif(), .icc = profile, .xmp = xmpPacket()}));
    put("editor.webp", makeWebp(photo, false, exifBlock(1), xmpPacket()));
    put("long-history.png", makePng(photo, {.xmp = xmpPacket(200000)}));
    // Text, comments, resolution and colour as people and programs write
    // them: twenty text chunks before the XMP, 300 dpi and gamma 1.0 in a
    // PNG; a comment and a 300-dpi JFIF density in a JPEG; profiles for
    // other data than RGB.
    std::vector<std::pair<std::string, std::string>> text = {
        {"Title", "Pier at dusk"},          {"Author", "Grace Hopper"},   {"Copyright", "(c) 2026 Grace Hopper"},
        {"Description", "Boats and gulls"}, {"Comment", "scanned twice"}, {"parameters", "steps: 20, sampler: Euler"}};
    for (int i = 1; text.size() < 20; ++i) {
        text.emplace_back("Note " + std::to_string(i), "note " + std::to_string(i));
    }
    const std::string keywords =
        "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
        "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'><dc:subject><rdf:Bag>"
        "<rdf:li>pier</rdf:li><rdf:li>gulls</rdf:li></rdf:Bag></dc:subject></rdf:Description></rdf:RDF></x:xmpmeta>";
    put("text.png", makePng(photo, {.xmp = keywords, .text = text, .pixelsPerMetre = 11811, .gamma = 100000}));
    put("comment.jpg", makeJpeg(photo, {.comment = "Shot from the pier", .dpi = 300}));
    put("grey-icc.jpg", makeJpeg(photo, {.grey = true, .icc = iccProfile("Grey test profile", "GRAY")}));
    put("cmyk-icc.jpg", makeJpeg(photo, {.cmyk = true, .icc = iccProfile("CMYK test profile", "CMYK")}));
    // A damaged block beside sound ones: EXIF whose image directory claims
    // 65535 entries, XMP that is not XML, an IPTC-IIM dataset longer than
    // what holds it.
    const std::vector<std::uint8_t> damagedExif = {'I', 'I', 42, 0, 8, 0, 0, 0, 0xFF, 0xFF, 1, 1, 2, 0};
    put("damaged-exif.jpg", makeJpeg(photo, {.exif = damagedExif, .xmp = xmpPacket(), .iptc = iptcDatasets()}));
    put("damaged-xmp.png", makePng(photo, {.exif = descriptiveExif(), .xmp = "<x:xmpmeta><rdf:RDF><oops"}));
    put("damaged-iptc.jpg", makeJpeg(photo, {.exif = descriptiveExif(), .iptc = {0x1C, 2, 80, 0x7F, 0xFF, 'A'}}));
    return 0;
}
