#pragma once

// Debian's stb headers (libstb-dev), declarations only; stb_implementation.cpp
// compiles their bodies once.
#include <stb_image.h>
#include <stb_image_resize.h>
#include <stb_image_write.h>
