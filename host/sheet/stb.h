#pragma once

// Debian's stb headers (libstb-dev), declarations only; stb_implementation.cpp
// compiles their bodies once. Only the resampler: images are read and
// written through the codec libraries.
#include <stb_image_resize.h>
