#pragma once

#include "host/image/bgra_image.h"
#include "host/plugin/plugin_library.h"
#include "host/plugin/preset_list.h"

namespace host {

// A grid of the original and every preset of `presets`, each tile scaled to
// at most 256 pixels a side and labelled with its preset's name. Opaque:
// transparent pixels are shown over the sheet's background.
BgraImage makeContactSheet(const BgraImage& original, const PluginObject& object, const PresetList& presets);

}  // namespace host
