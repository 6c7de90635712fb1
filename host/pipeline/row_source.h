#pragma once

#include <cstdint>

#include "host/image/codecs.h"

namespace host {

// Rows of a picture, top to bottom, handed out a band at a time: what a page
// goes through on its way from the file read to the file written, each
// stage a RowSource of the one before (pump(tone(upright(reader))) into a
// writer). One thread at a time.
class RowSource {
public:
    virtual ~RowSource() = default;
    // The picture these rows make.
    virtual const PictureLayout& layout() const = 0;
    // Up to `maxRows` of the next rows into `bgra` (BGRA, rows packed); how
    // many, 0 once every row has been given.
    virtual int next(std::uint8_t* bgra, int maxRows) = 0;
};

// The next `rows` rows exactly; HostError (Read) naming `name` if the
// source ends before.
void readExactly(RowSource& source, std::uint8_t* bgra, int rows, const std::string& name);

// The rows of the current page of a file being decoded, as stored.
class ReaderRows : public RowSource {
public:
    explicit ReaderRows(ImageReader& reader) : reader_(reader), layout_(reader.header().layout) {}
    const PictureLayout& layout() const override { return layout_; }
    int next(std::uint8_t* bgra, int maxRows) override;

private:
    ImageReader& reader_;
    PictureLayout layout_;
    int given_ = 0;
};

}  // namespace host
