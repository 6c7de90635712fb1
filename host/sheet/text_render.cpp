#include "host/sheet/text_render.h"

#include <algorithm>
#include <vector>

#include <stb_easy_font.h>

namespace host {

void fillRect(BgraImage& image, int x, int y, int width, int height, Colour colour) {
    const int left = std::max(0, x);
    const int top = std::max(0, y);
    const int right = std::min(image.width, x + width);
    const int bottom = std::min(image.height, y + height);
    for (int row = top; row < bottom; ++row) {
        for (int column = left; column < right; ++column) {
            std::uint8_t* pixel = image.at(column, row);
            pixel[0] = colour.blue;
            pixel[1] = colour.green;
            pixel[2] = colour.red;
            pixel[3] = 255;
        }
    }
}

int textWidth(const std::string& text, int scale) {
    std::string copy = text;
    return stb_easy_font_width(copy.data()) * scale;
}

void drawText(BgraImage& image, int x, int y, const std::string& text, int scale, Colour colour) {
    // stb_easy_font emits axis-aligned quads: 4 vertices of 16 bytes each
    // (x, y, z as floats, then a colour).
    struct Vertex {
        float x, y, z;
        unsigned char rgba[4];
    };
    std::vector<Vertex> vertices(text.size() * 70 * 4 + 4);
    std::string copy = text;
    const int quads = stb_easy_font_print(0, 0, copy.data(), nullptr, vertices.data(),
                                          static_cast<int>(vertices.size() * sizeof(Vertex)));
    for (int q = 0; q < quads; ++q) {
        const Vertex* corner = &vertices[static_cast<std::size_t>(q) * 4];
        const float left = std::min({corner[0].x, corner[1].x, corner[2].x, corner[3].x});
        const float right = std::max({corner[0].x, corner[1].x, corner[2].x, corner[3].x});
        const float top = std::min({corner[0].y, corner[1].y, corner[2].y, corner[3].y});
        const float bottom = std::max({corner[0].y, corner[1].y, corner[2].y, corner[3].y});
        fillRect(image, x + static_cast<int>(left) * scale, y + static_cast<int>(top) * scale,
                 static_cast<int>(right - left) * scale, static_cast<int>(bottom - top) * scale, colour);
    }
}

}  // namespace host
