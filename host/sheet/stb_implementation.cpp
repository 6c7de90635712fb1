// The one translation unit that compiles stb's function bodies.
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include "host/sheet/stb.h"
