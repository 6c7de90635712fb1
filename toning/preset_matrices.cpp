#include "toning/preset_matrices.h"

namespace {

// Weights in ten-thousandths. The presets are defined in thousandths, except
// "Sepia 2" (index 1), whose weights have four decimals; one denominator for
// all keeps a single code path in every kernel.
constexpr ToningMatrix kPresets[kPresetCount] = {
    // 0 "Sepia 1"
    {{3930, 7690, 1890}, {3490, 6860, 1680}, {2720, 5340, 1310}},
    // 1 "Sepia 2": BT.601 luma weights scaled by 1.2, 1.0 and 0.8
    {{3588, 7044, 1368}, {2990, 5870, 1140}, {2392, 4696, 912}},
    // 2 "Sepia 3"
    {{1400, 4500, 5000}, {1200, 3900, 4000}, {800, 2800, 3000}},
    // 3 "Sepia 4"
    {{1890, 4500, 3930}, {1680, 3900, 3490}, {1310, 2800, 2720}},
    // 4 "Sepia 5": "Sepia 1" with its green and blue columns exchanged
    {{3930, 1890, 7690}, {3490, 1680, 6860}, {2720, 1310, 5340}},
    // 5 "Sepia 6"
    {{10, 3890, 7690}, {10, 3680, 6860}, {10, 3310, 5340}},
    // 6 "Cyanotype 1"
    {{10, 10, 10}, {10, 3680, 6860}, {2720, 3310, 5340}},
    // 7 "Cyanotype 2"
    {{10, 10, 10}, {1310, 3680, 3310}, {2720, 5340, 6860}},
    // 8 "Cyanotype 3"
    {{10, 10, 10}, {1310, 5200, 6840}, {2720, 5340, 6860}},
    // 9 "Cyanotype 4"
    {{10, 10, 10}, {310, 6400, 2840}, {720, 2340, 6860}},
    // 10 "Cyanotype 5"
    {{10, 10, 10}, {3310, 6400, 2840}, {3720, 2340, 6860}},
};

constexpr ToningMatrix kBlack = {};

constexpr int rowSum(const ToningRow& row) { return row.red + row.green + row.blue; }

constexpr bool sumsFitTheKernels() {
    for (const ToningMatrix& m : kPresets) {
        if (rowSum(m.red) * 255 > kMaxToningSum || rowSum(m.green) * 255 > kMaxToningSum ||
            rowSum(m.blue) * 255 > kMaxToningSum) {
            return false;
        }
    }
    return true;
}
static_assert(sumsFitTheKernels(), "kernels rely on sums below kMaxToningSum");

}  // namespace

const ToningMatrix& toningMatrixFor(PresetIndex preset) noexcept {
    if (preset < 0 || preset >= kPresetCount) {
        return kBlack;
    }
    return kPresets[preset];
}
