#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/files/native_file.h"
#include "host/pipeline/row_source.h"

namespace host {

// A picture's rows turned upright, band by band, from its stored rows.
// Orientation 1 passes the rows through and 2 mirrors each as it passes.
// The others (turned or flipped) need rows the source gives last or columns
// as rows: the stored picture goes first into a temporary file of square
// tiles (without a name, in `temporaryFolder` or else the system's; gone
// when this object is, also on failure), from which each upright band is
// read back a tile row or column at a time. Memory stays at a band of
// tiles, whatever the picture's size. `name` names the file for errors.
class UprightRows : public RowSource {
public:
    // `tileSize` 0: 256 pixels a side, smaller for very wide pictures, so
    // that a band of tiles stays within 32 MiB; tests choose small ones.
    UprightRows(RowSource& stored, int orientation, const std::string& temporaryFolder, std::string name,
                int tileSize = 0);

    // The upright picture's layout.
    const PictureLayout& layout() const override { return layout_; }
    int next(std::uint8_t* bgra, int maxRows) override;

private:
    void storeAll();
    void loadBand();

    RowSource& source_;
    int orientation_;
    std::string folder_;
    std::string name_;
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
