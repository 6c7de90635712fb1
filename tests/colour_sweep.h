#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

// The colours the exhaustive tests sweep: all 2^24 of them, or, in a
// sanitizer build (where each pixel costs ten times more or worse), every
// 61st and white; SEPIA_COLOUR_STEP in the environment sets another step
// (for emulated CPUs). Padded with black to whole rows of kSweepWidth pixels.
namespace colour_sweep {

inline constexpr int kSweepWidth = 4096;

#if defined(SEPIA_SANITIZED)
inline constexpr std::uint32_t kStep = 61;
#else
inline constexpr std::uint32_t kStep = 1;
#endif

inline std::uint32_t step() {
    const char* text = std::getenv("SEPIA_COLOUR_STEP");
    const long step = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
    return step > 0 && step < (1 << 24) ? static_cast<std::uint32_t>(step) : kStep;
}

inline std::vector<std::uint32_t> colours() {
    std::vector<std::uint32_t> list;
    const std::uint32_t every = step();
    for (std::uint32_t colour = 0; colour < (1u << 24); colour += every) {
        list.push_back(colour);
    }
    if (list.back() != 0xFFFFFFu) {
        list.push_back(0xFFFFFFu);
    }
    while (list.size() % kSweepWidth != 0) {
        list.push_back(0);
    }
    return list;
}

// BGRA pixels of `list` (blue in byte 0), with a fourth byte that varies.
inline std::vector<std::uint8_t> pixels(const std::vector<std::uint32_t>& list) {
    std::vector<std::uint8_t> bytes(4 * list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::uint32_t pixel = list[i] | ((list[i] * 0x3Du) & 0xFFu) << 24;
        std::memcpy(&bytes[4 * i], &pixel, 4);
    }
    return bytes;
}

}  // namespace colour_sweep
