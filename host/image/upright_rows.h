#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/files/native_file.h"
#include "host/image/codecs.h"

namespace host {

// A picture's rows turned upright, band by band, from a reader of its
// stored rows. Orientation 1 passes the rows through and 2 mirrors each as
// it passes. The others (turned or flipped) need rows the reader gives last
// or columns as rows: the stored picture goes first into a temporary file
// of square tiles (without a name, in `temporaryFolder` or else the
// system's; gone when this object is, also on failure), from which each
// upright band is read back a tile row or column at a time. Memory stays
// at a band of tiles, whatever the picture's size.
class UprightRows {
public:
    UprightRows(ImageReader& reader, int orientation, const std::string& temporaryFolder);

    // The upright picture's layout.
    const PictureLayout& layout() const { return layout_; }
    // Up to `maxRows` of the next upright rows into `bgra` (rows packed);
    // the number given, 0 once every row has been.
    int next(std::uint8_t* bgra, int maxRows);

private:
    void storeAll();
    void loadBand();

    ImageReader& reader_;
    int orientation_;
    std::string folder_;
    PictureLayout stored_;
    PictureLayout layout_;
    int given_ = 0;  // upright rows handed out
    // The tiled file and the upright band read back from it.
    NativeFile tiles_;
    int tile_ = 0;
    int tilesAcross_ = 0;
    int tilesDown_ = 0;
    bool storedAll_ = false;
    int bandIndex_ = 0;
    int bandStart_ = 0;  // the first upright row of `band_`
    int bandRows_ = 0;
    std::vector<std::uint8_t> band_;
};

}  // namespace host
