// The pipeline's pieces on their own: the pump when its producer fails,
// when its consumer fails and when work is interrupted; and upright rows
// through small tiles in all eight orientations, against the whole-picture
// orientation.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "host/files/interruption.h"
#include "host/host_error.h"
#include "host/image/orientation.h"
#include "host/pipeline/band_pump.h"
#include "host/pipeline/upright_rows.h"
#include "tests/host/test_pictures.h"

namespace {

using host::BgraImage;

// The rows of a picture in memory; throws after `failAfter` rows if set.
class PictureRows : public host::RowSource {
public:
    explicit PictureRows(const BgraImage& image, int failAfter = -1)
        : image_(image), layout_{image.width, image.height, image.hasAlpha}, failAfter_(failAfter) {}
    const host::PictureLayout& layout() const override { return layout_; }
    int next(std::uint8_t* bgra, int maxRows) override {
        const int rows = std::min(maxRows, image_.height - given_);
        if (failAfter_ >= 0 && given_ + rows > failAfter_) {
            throw host::HostError::reading("rows", "breaks");
        }
        std::memcpy(bgra, image_.at(0, given_), static_cast<std::size_t>(rows) * 4 * image_.width);
        given_ += rows;
        return rows;
    }

private:
    const BgraImage& image_;
    host::PictureLayout layout_;
    int failAfter_;
    int given_ = 0;
};

// A writer that keeps the rows; throws once it holds `failAfter` rows.
class KeptRows : public host::ImageWriter {
public:
    explicit KeptRows(int failAfter = -1) : failAfter_(failAfter) {}
    void writeRows(const std::uint8_t* bgra, int rows) override {
        if (failAfter_ >= 0 && rows_ + rows > failAfter_) {
            throw host::HostError::writing("kept", "is full");
        }
        bytes.insert(bytes.end(), bgra, bgra + static_cast<std::size_t>(rows) * 4 * width);
        rows_ += rows;
    }
    void finish() override {}

    int width = 0;
    std::vector<std::uint8_t> bytes;

private:
    int failAfter_;
    int rows_ = 0;
};

// Tall and narrow, so that a band of about 2 MiB holds 1024 rows and the
// picture takes several.
const BgraImage& tallPicture() {
    static const BgraImage picture = test_pictures::patterned(3, 5000, true);
    return picture;
}

TEST(Pump, MovesEveryRowInOrder) {
    PictureRows rows(tallPicture());
    KeptRows kept;
    kept.width = 3;
    int counted = 0;
    host::pump(rows, kept, [&counted](int done) { counted += done; });
    EXPECT_EQ(kept.bytes, tallPicture().pixels);
    EXPECT_EQ(counted, 5000);
}

TEST(Pump, AFailureOnEitherSideStopsBothAndReachesTheCaller) {
    const struct {
        const char* side;
        int producerFailsAfter;
        int consumerFailsAfter;
        host::Phase phase;
    } cases[] = {
        {"producer", 2500, -1, host::Phase::Read},
        {"consumer", -1, 2500, host::Phase::Write},
    };
    for (const auto& c : cases) {
        PictureRows rows(tallPicture(), c.producerFailsAfter);
        KeptRows kept(c.consumerFailsAfter);
        kept.width = 3;
        try {
            host::pump(rows, kept);
            ADD_FAILURE() << c.side << ": no failure";
        } catch (const host::HostError& error) {
            EXPECT_EQ(error.phase(), c.phase) << c.side;
        }
        EXPECT_LE(kept.bytes.size(), std::size_t{2500} * 12) << c.side;
    }
}

TEST(Pump, AnInterruptionStopsItBetweenBands) {
    PictureRows rows(tallPicture());
    KeptRows kept;
    kept.width = 3;
    EXPECT_THROW(host::pump(rows, kept,
                            [](int) {
                                host::interruptForTesting(true);  // after the first band
                            }),
                 host::Interrupted);
    host::interruptForTesting(false);
    EXPECT_LT(kept.bytes.size(), tallPicture().pixels.size());
}

// Pictures of odd sizes through tiles of 3 and 4 pixels, so that tile rows
// and columns end part-way, in all eight orientations.
TEST(UprightRows, EveryOrientationThroughSmallTiles) {
    const std::string folder = std::filesystem::temp_directory_path().string();
    for (const BgraImage& stored : {test_pictures::patterned(7, 5, true), test_pictures::patterned(4, 9, false)}) {
        for (int tile : {3, 4}) {
            for (int orientation = 1; orientation <= 8; ++orientation) {
                PictureRows rows(stored);
                host::UprightRows upright(rows, orientation, folder, "stored", tile);
                const BgraImage expected = host::orientUpright(stored, orientation);
                ASSERT_EQ(upright.layout().width, expected.width);
                ASSERT_EQ(upright.layout().height, expected.height);
                std::vector<std::uint8_t> out(expected.pixels.size());
                int given = 0;
                // Two rows at a time, across the bands' ends.
                for (int got = upright.next(out.data(), 2); got > 0;
                     got = upright.next(out.data() + static_cast<std::size_t>(given) * 4 * expected.width, 2)) {
                    given += got;
                }
                EXPECT_EQ(given, expected.height);
                EXPECT_EQ(out, expected.pixels) << "orientation " << orientation << ", tiles of " << tile;
            }
        }
    }
}

}  // namespace
