#pragma once

#include <string>

#include "host/image/bgra_image.h"

namespace host {

struct Colour {
    std::uint8_t blue;
    std::uint8_t green;
    std::uint8_t red;
};

// Draws `text` with its top-left corner at (x, y) in stb's small built-in
// bitmap font, each font pixel `scale` image pixels wide; clipped to the image.
void drawText(BgraImage& image, int x, int y, const std::string& text, int scale, Colour colour);

// The width in image pixels that drawText would cover.
int textWidth(const std::string& text, int scale);

// Fills a rectangle, clipped to the image.
void fillRect(BgraImage& image, int x, int y, int width, int height, Colour colour);

}  // namespace host
