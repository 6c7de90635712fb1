#pragma once

#include "host/image/bgra_image.h"

namespace host {

// A 320 x 240 opaque chart drawn in code: a hue sweep darkening downwards, a
// grey ramp from black to white, and patches of saturated primaries and
// secondaries, white, black and skin-like tones.
BgraImage drawTestChart();

}  // namespace host
