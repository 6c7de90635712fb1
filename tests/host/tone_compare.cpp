// tone_compare LIST: checks the host's toned outputs against their inputs as
// the formats' own tools decode them. Each line of LIST names
//   PRESET TOLERANCE MODE REFERENCE OUTPUT
// where REFERENCE is the input decoded by its library's own tool (PNM or PAM
// from djpeg, pngtopam or vips; TIFF from tiff2rgba; PNG), OUTPUT the host's
// PNG written with --strip, and MODE
//   straight       alpha as the reference gives it, straight;
//   premultiplied  the reference's colours premultiplied by its alpha
//                  (libtiff's RGBA reader): colours are compared only where
//                  the reference is opaque.
// Colours must equal the reference toned by the exact form, each source byte
// allowed TOLERANCE either way (samples of more than 8 bits round either
// way); alpha must be within TOLERANCE. Prints each mismatch; exits 1 if any.
#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "tests/exact_form.h"
#include "tests/host/file_bytes.h"
#include "tests/host/test_pictures.h"

namespace {

using host::BgraImage;

// A netpbm file: P5, P6 (maxval up to 65535) or P7 (GRAYSCALE, RGB and their
// _ALPHA tuple types), as netpbm and libjpeg's tools write them.
BgraImage readNetpbm(const std::vector<std::uint8_t>& file) {
    std::size_t at = 2;
    auto token = [&]() {
        std::string word;
        while (at < file.size()) {
            const char c = static_cast<char>(file[at]);
            if (c == '#') {
                while (at < file.size() && file[at] != '\n') {
                    ++at;
                }
            } else if (std::isspace(static_cast<unsigned char>(c)) != 0) {
                ++at;
                if (!word.empty()) {
                    return word;
                }
            } else {
                word += c;
                ++at;
            }
        }
        return word;
    };
    const std::string kind(file.begin(), file.begin() + 2);
    int width = 0, height = 0, depth = 0, maxval = 0;
    if (kind == "P5" || kind == "P6") {
        width = std::stoi(token());
        height = std::stoi(token());
        maxval = std::stoi(token());
        depth = kind == "P5" ? 1 : 3;
    } else if (kind == "P7") {
        for (std::string key = token(); key != "ENDHDR" && !key.empty(); key = token()) {
            if (key == "WIDTH") {
                width = std::stoi(token());
            } else if (key == "HEIGHT") {
                height = std::stoi(token());
            } else if (key == "DEPTH") {
                depth = std::stoi(token());
            } else if (key == "MAXVAL") {
                maxval = std::stoi(token());
            } else if (key == "TUPLTYPE") {
                token();
            }
        }
    } else {
        throw std::runtime_error("not a netpbm file");
    }
    const int bytes = maxval > 255 ? 2 : 1;
    const std::size_t need = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
                             static_cast<std::size_t>(depth) * static_cast<std::size_t>(bytes);
    if (width <= 0 || height <= 0 || depth < 1 || depth > 4 || maxval <= 0 || file.size() < at + need) {
        throw std::runtime_error("damaged netpbm file");
    }
    BgraImage image;
    image.width = width;
    image.height = height;
    image.hasAlpha = depth == 2 || depth == 4;
    image.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    const std::uint8_t* in = file.data() + at;
    auto sample = [&](std::size_t index) {
        const unsigned value = bytes == 2 ? (in[2 * index] << 8) | in[2 * index + 1] : in[index];
        return static_cast<std::uint8_t>((value * 255 + static_cast<unsigned>(maxval) / 2) /
                                         static_cast<unsigned>(maxval));
    };
    for (std::size_t p = 0; p < image.pixels.size() / 4; ++p) {
        const std::size_t base = p * static_cast<std::size_t>(depth);
        const bool grey = depth <= 2;
        const std::uint8_t red = sample(base);
        image.pixels[4 * p + 0] = grey ? red : sample(base + 2);
        image.pixels[4 * p + 1] = grey ? red : sample(base + 1);
        image.pixels[4 * p + 2] = red;
        image.pixels[4 * p + 3] = image.hasAlpha ? sample(base + static_cast<std::size_t>(depth) - 1) : 255;
    }
    return image;
}

// A TIFF through libtiff's RGBA reader, top row first, as tiff2rgba reads.
BgraImage readTiffRgba(const std::string& path) {
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    if (tiff == nullptr) {
        throw std::runtime_error("cannot open the TIFF");
    }
    std::uint32_t width = 0, height = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    std::vector<std::uint32_t> raster(static_cast<std::size_t>(width) * height);
    const int read = TIFFReadRGBAImageOriented(tiff, width, height, raster.data(), ORIENTATION_TOPLEFT, 1);
    TIFFClose(tiff);
    if (read != 1) {
        throw std::runtime_error("libtiff cannot read the TIFF");
    }
    BgraImage image;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.hasAlpha = true;
    image.pixels.resize(raster.size() * 4);
    for (std::size_t i = 0; i < raster.size(); ++i) {
        image.pixels[4 * i + 0] = static_cast<std::uint8_t>(TIFFGetB(raster[i]));
        image.pixels[4 * i + 1] = static_cast<std::uint8_t>(TIFFGetG(raster[i]));
        image.pixels[4 * i + 2] = static_cast<std::uint8_t>(TIFFGetR(raster[i]));
        image.pixels[4 * i + 3] = static_cast<std::uint8_t>(TIFFGetA(raster[i]));
    }
    return image;
}

BgraImage readReference(const std::string& path) {
    const std::vector<std::uint8_t> file = file_bytes::readBytes(std::filesystem::path(path));
    if (file.size() >= 2 && file[0] == 'P') {
        return readNetpbm(file);
    }
    if (file.size() >= 4 && (std::memcmp(file.data(), "II*", 3) == 0 || std::memcmp(file.data(), "MM\0*", 4) == 0)) {
        return readTiffRgba(path);
    }
    return test_pictures::readPng(file);
}

// Mismatched pixels of `output` against `reference` toned with `preset`.
std::size_t mismatches(const BgraImage& reference, const BgraImage& output, int preset, int tolerance,
                       bool premultiplied, std::string& first) {
    if (reference.width != output.width || reference.height != output.height) {
        first = "size " + std::to_string(output.width) + " x " + std::to_string(output.height) + " instead of " +
                std::to_string(reference.width) + " x " + std::to_string(reference.height);
        return 1;
    }
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < reference.pixels.size(); i += 4) {
        const std::uint8_t* in = &reference.pixels[i];
        const std::uint8_t* out = &output.pixels[i];
        const int alpha = in[3];
        bool bad = std::abs(alpha - static_cast<int>(out[3])) > tolerance;
        if (!premultiplied || alpha == 255) {
            // Every weight is positive: the toned bytes grow with each source byte.
            auto shifted = [&](int by) {
                auto at = [&](int c) { return static_cast<unsigned>(std::clamp(in[c] + by, 0, 255)); };
                return exact_form::tone(preset, at(0), at(1), at(2));
            };
            const auto low = shifted(-tolerance);
            const auto high = shifted(tolerance);
            for (int c = 0; c < 3; ++c) {
                bad = bad || out[c] < low[static_cast<std::size_t>(c)] || out[c] > high[static_cast<std::size_t>(c)];
            }
        }
        if (bad && wrong++ == 0) {
            const std::size_t pixel = i / 4;
            first = "pixel (" + std::to_string(pixel % static_cast<std::size_t>(reference.width)) + ", " +
                    std::to_string(pixel / static_cast<std::size_t>(reference.width)) + "): source BGRA " +
                    std::to_string(in[0]) + "," + std::to_string(in[1]) + "," + std::to_string(in[2]) + "," +
                    std::to_string(in[3]) + " toned " + std::to_string(out[0]) + "," + std::to_string(out[1]) + "," +
                    std::to_string(out[2]) + "," + std::to_string(out[3]);
        }
    }
    return wrong;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tone_compare LIST\n");
        return 2;
    }
    std::ifstream list(argv[1]);
    std::size_t checked = 0, failed = 0;
    for (std::string line; std::getline(list, line);) {
        std::istringstream fields(line);
        int preset = 0, tolerance = 0;
        std::string mode, reference, output;
        if (!(fields >> preset >> tolerance >> mode >> reference >> output)) {
            continue;
        }
        ++checked;
        try {
            std::string first;
            const std::size_t wrong = mismatches(
                readReference(reference), test_pictures::readPng(file_bytes::readBytes(std::filesystem::path(output))),
                preset, tolerance, mode == "premultiplied", first);
            if (wrong != 0) {
                ++failed;
                std::cout << output << ": " << wrong << " pixels differ from " << reference << "; first " << first
                          << "\n";
            }
        } catch (const std::exception& error) {
            ++failed;
            std::cout << output << ": cannot compare with " << reference << " (" << error.what() << ")\n";
        }
    }
    std::cout << checked << " outputs checked, " << failed << " differ\n";
    return failed == 0 && checked > 0 ? 0 : 1;
}
