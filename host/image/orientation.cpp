#include "host/image/orientation.h"

#include <cstring>

namespace host {

BgraImage orientUpright(const BgraImage& stored, int orientation) {
    if (orientation < 2 || orientation > 8) {
        return stored;
    }
    // Orientations 5 to 8 exchange rows and columns.
    const bool transposed = orientation >= 5;
    BgraImage upright;
    upright.width = transposed ? stored.height : stored.width;
    upright.height = transposed ? stored.width : stored.height;
    upright.hasAlpha = stored.hasAlpha;
    upright.pixels.resize(stored.pixels.size());
    const int lastX = upright.width - 1;
    const int lastY = upright.height - 1;
    for (int y = 0; y < upright.height; ++y) {
        for (int x = 0; x < upright.width; ++x) {
            // The stored pixel that shows at (x, y) of the upright picture.
            int sx = x;
            int sy = y;
            switch (orientation) {
                case 2:
                    sx = lastX - x;
                    break;
                case 3:
                    sx = lastX - x;
                    sy = lastY - y;
                    break;
                case 4:
                    sy = lastY - y;
                    break;
                case 5:
                    sx = y;
                    sy = x;
                    break;
                case 6:
                    sx = y;
                    sy = lastX - x;
                    break;
                case 7:
                    sx = lastY - y;
                    sy = lastX - x;
                    break;
                case 8:
                    sx = lastY - y;
                    sy = x;
                    break;
                default:
                    break;
            }
            std::memcpy(upright.at(x, y), stored.at(sx, sy), 4);
        }
    }
    return upright;
}

}  // namespace host
