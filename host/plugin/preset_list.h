#pragma once

#include <string>
#include <vector>

#include "host/plugin/plugin_library.h"

namespace host {

// The parameter as a plug-in describes it through DescribeParameter: its
// labels (split at '|') and its bounds. The host learns the presets from the
// plug-in; it knows none of them itself.
struct PresetList {
    std::vector<std::string> labels;
    double minimum = 0;
    double maximum = 0;
    double defaultValue = 0;
    double auxiliary = 0;
    int kind = 0;

    // The index named by `choice`: a label, exactly as listed, or a whole
    // number between minimum and maximum. Throws UsageError naming the valid
    // labels or the valid range.
    int resolve(const std::string& choice) const;
};

PresetList describePresets(const PluginObject& object);

// Tones `pixels` (width x height BGRA) in place with preset `index`.
void toneInPlace(const PluginObject& object, void* pixels, int width, int height, int index);

}  // namespace host
