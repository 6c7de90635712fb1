#include "host/pipeline/upright_rows.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "host/host_error.h"

namespace host {

namespace {

// Tiles of 256 pixels a side, or smaller for very wide pictures, so that a
// band of tiles stays within 32 MiB.
int tileSizeFor(int width, int height) {
    const auto longest = static_cast<std::uint64_t>(std::max(width, height));
    int tile = 256;
    while (tile > 16 && std::uint64_t{4} * static_cast<std::uint64_t>(tile) * longest > (std::uint64_t{32} << 20)) {
        tile /= 2;
    }
    return tile;
}

}  // namespace

UprightRows::UprightRows(RowSource& stored, int orientation, const std::string& temporaryFolder, std::string name,
                         int tileSize)
    : source_(stored),
      orientation_(orientation >= 1 && orientation <= 8 ? orientation : 1),
      folder_(temporaryFolder),
      name_(std::move(name)),
      stored_(stored.layout()),
      layout_(stored_),
      tile_(tileSize) {
    if (orientation_ >= 5) {
        std::swap(layout_.width, layout_.height);
    }
}

int UprightRows::next(std::uint8_t* bgra, int maxRows) {
    const int rows = std::min(maxRows, layout_.height - given_);
    if (rows <= 0) {
        return 0;
    }
    const std::size_t stride = std::size_t{4} * static_cast<std::size_t>(layout_.width);
    if (orientation_ <= 2) {
        readExactly(source_, bgra, rows, name_);
        if (orientation_ == 2) {
            for (int y = 0; y < rows; ++y) {
                auto* row = reinterpret_cast<std::uint32_t*>(bgra + static_cast<std::size_t>(y) * stride);
                std::reverse(row, row + layout_.width);
            }
        }
        given_ += rows;
        return rows;
    }
    if (!storedAll_) {
        storeAll();
    }
    int done = 0;
    while (done < rows) {
        if (given_ >= bandStart_ + bandRows_) {
            loadBand();
        }
        const int count = std::min(rows - done, bandStart_ + bandRows_ - given_);
        std::memcpy(bgra + static_cast<std::size_t>(done) * stride,
                    band_.data() + static_cast<std::size_t>(given_ - bandStart_) * stride,
                    static_cast<std::size_t>(count) * stride);
        done += count;
        given_ += count;
    }
    return rows;
}

// The stored picture into the tiled file, a row of tiles at a time. Tiles
// lie in the order they are read back: tile rows for orientations 3 and 4,
// tile columns for 5 to 8.
void UprightRows::storeAll() {
    if (tile_ <= 0) {
        tile_ = tileSizeFor(stored_.width, stored_.height);
    }
    tilesAcross_ = (stored_.width + tile_ - 1) / tile_;
    tilesDown_ = (stored_.height + tile_ - 1) / tile_;
    try {
        tiles_ = NativeFile::createAnonymous(folder_);
    } catch (const HostError&) {
        tiles_ = NativeFile::createAnonymous();
    }
    const auto tile = static_cast<std::size_t>(tile_);
    const std::size_t tileBytes = 4 * tile * tile;
    const std::size_t stride = std::size_t{4} * static_cast<std::size_t>(stored_.width);
    std::vector<std::uint8_t> rows(stride * tile);
    std::vector<std::uint8_t> piece(tileBytes);
    for (int ty = 0; ty < tilesDown_; ++ty) {
        const int count = std::min(tile_, stored_.height - ty * tile_);
        readExactly(source_, rows.data(), count, name_);
        for (int tx = 0; tx < tilesAcross_; ++tx) {
            const std::size_t across = static_cast<std::size_t>(std::min(tile_, stored_.width - tx * tile_));
            for (int y = 0; y < count; ++y) {
                std::memcpy(
                    piece.data() + static_cast<std::size_t>(y) * 4 * tile,
                    rows.data() + static_cast<std::size_t>(y) * stride + 4 * tile * static_cast<std::size_t>(tx),
                    4 * across);
            }
            const std::uint64_t index =
                orientation_ >= 5 ? static_cast<std::uint64_t>(tx) * static_cast<std::uint64_t>(tilesDown_) +
                                        static_cast<std::uint64_t>(ty)
                                  : static_cast<std::uint64_t>(ty) * static_cast<std::uint64_t>(tilesAcross_) +
                                        static_cast<std::uint64_t>(tx);
            tiles_.writeAt(index * tileBytes, piece.data(), tileBytes);
        }
    }
    storedAll_ = true;
}

// The next upright band: one stored tile column (orientations 5 to 8) or
// tile row (3 and 4), in the order the upright rows need them, each pixel
// put where the orientation shows it.
void UprightRows::loadBand() {
    const bool transposed = orientation_ >= 5;
    const int bands = transposed ? tilesAcross_ : tilesDown_;
    // Orientations that read the stored picture backwards start at its end.
    const bool backwards = orientation_ == 3 || orientation_ == 4 || orientation_ == 7 || orientation_ == 8;
    const int which = backwards ? bands - 1 - bandIndex_ : bandIndex_;
    const int span = transposed ? stored_.width : stored_.height;
    const int first = which * tile_;                   // the band's first stored column (or row)
    const int extent = std::min(tile_, span - first);  // columns (or rows) it holds
    bandStart_ += bandRows_;
    bandRows_ = extent;
    ++bandIndex_;

    const auto tile = static_cast<std::size_t>(tile_);
    const std::size_t tileBytes = 4 * tile * tile;
    const auto uprightWidth = static_cast<std::size_t>(layout_.width);
    band_.resize(4 * uprightWidth * static_cast<std::size_t>(extent));
    std::vector<std::uint8_t> piece(tileBytes);
    const int others = transposed ? tilesDown_ : tilesAcross_;
    const int lastX = stored_.width - 1;
    const int lastY = stored_.height - 1;
    for (int k = 0; k < others; ++k) {
        const int tx = transposed ? which : k;
        const int ty = transposed ? k : which;
        const std::uint64_t index = transposed
                                        ? static_cast<std::uint64_t>(tx) * static_cast<std::uint64_t>(tilesDown_) +
                                              static_cast<std::uint64_t>(ty)
                                        : static_cast<std::uint64_t>(ty) * static_cast<std::uint64_t>(tilesAcross_) +
                                              static_cast<std::uint64_t>(tx);
        if (tiles_.readAt(index * tileBytes, piece.data(), tileBytes) != tileBytes) {
            throw HostError::reading(tiles_.name(), "a temporary file ended early");
        }
        const int across = std::min(tile_, stored_.width - tx * tile_);
        const int down = std::min(tile_, stored_.height - ty * tile_);
        for (int j = 0; j < down; ++j) {
            const int sy = ty * tile_ + j;
            const std::uint8_t* from = piece.data() + static_cast<std::size_t>(j) * 4 * tile;
            for (int i = 0; i < across; ++i, from += 4) {
                const int sx = tx * tile_ + i;
                // Where stored pixel (sx, sy) shows upright.
                int x = 0;
                int y = 0;
                switch (orientation_) {
                    case 3:
                        x = lastX - sx;
                        y = lastY - sy;
                        break;
                    case 4:
                        x = sx;
                        y = lastY - sy;
                        break;
                    case 5:
                        x = sy;
                        y = sx;
                        break;
                    case 6:
                        x = lastY - sy;
                        y = sx;
                        break;
                    case 7:
                        x = lastY - sy;
                        y = lastX - sx;
                        break;
                    default:  // 8
                        x = sy;
                        y = lastX - sx;
                        break;
                }
                std::memcpy(
                    band_.data() +
                        (static_cast<std::size_t>(y - bandStart_) * uprightWidth + static_cast<std::size_t>(x)) * 4,
                    from, 4);
            }
        }
    }
}

}  // namespace host
