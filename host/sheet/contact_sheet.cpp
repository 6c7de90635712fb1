#include "host/sheet/contact_sheet.h"

#include <algorithm>
#include <string>

#include "host/sheet/stb.h"
#include "host/sheet/text_render.h"

namespace host {

namespace {

constexpr int kMaxTileSide = 256;
constexpr int kColumns = 4;
constexpr int kGap = 12;
constexpr int kLabelHeight = 26;
constexpr int kTextScale = 2;
constexpr Colour kBackground = {40, 36, 34};
constexpr Colour kLabelColour = {235, 235, 235};

BgraImage scaledTile(const BgraImage& original) {
    const double scale = std::min(1.0, static_cast<double>(kMaxTileSide) / std::max(original.width, original.height));
    const int width = std::max(1, static_cast<int>(original.width * scale));
    const int height = std::max(1, static_cast<int>(original.height * scale));
    BgraImage tile = makeImage(width, height);
    tile.hasAlpha = original.hasAlpha;
    stbir_resize_uint8(original.pixels.data(), original.width, original.height, 0, tile.pixels.data(), width, height, 0,
                       4);
    return tile;
}

// Copies `tile` onto `sheet` at (left, top), blending by its alpha.
void place(BgraImage& sheet, const BgraImage& tile, int left, int top) {
    for (int y = 0; y < tile.height; ++y) {
        for (int x = 0; x < tile.width; ++x) {
            const std::uint8_t* in = tile.at(x, y);
            std::uint8_t* out = sheet.at(left + x, top + y);
            const int alpha = in[3];
            for (int c = 0; c < 3; ++c) {
                out[c] = static_cast<std::uint8_t>((in[c] * alpha + out[c] * (255 - alpha) + 127) / 255);
            }
        }
    }
}

}  // namespace

BgraImage makeContactSheet(const BgraImage& original, const PluginObject& object, const PresetList& presets) {
    const BgraImage tile = scaledTile(original);
    const int count = static_cast<int>(presets.labels.size()) + 1;
    const int rows = (count + kColumns - 1) / kColumns;
    const int cellWidth = std::max(tile.width, textWidth("Cyanotype 5", kTextScale));
    const int cellHeight = tile.height + kLabelHeight;
    BgraImage sheet = makeImage(kGap + kColumns * (cellWidth + kGap), kGap + rows * (cellHeight + kGap));
    fillRect(sheet, 0, 0, sheet.width, sheet.height, kBackground);

    for (int i = 0; i < count; ++i) {
        const int left = kGap + (i % kColumns) * (cellWidth + kGap);
        const int top = kGap + (i / kColumns) * (cellHeight + kGap);
        BgraImage toned = tile;
        std::string label = "Original";
        if (i > 0) {
            toneInPlace(object, toned.pixels.data(), toned.width, toned.height, i - 1);
            label = presets.labels[static_cast<std::size_t>(i - 1)];
        }
        place(sheet, toned, left + (cellWidth - tile.width) / 2, top);
        drawText(sheet, left + (cellWidth - textWidth(label, kTextScale)) / 2, top + tile.height + 6, label, kTextScale,
                 kLabelColour);
    }
    return sheet;
}

}  // namespace host
