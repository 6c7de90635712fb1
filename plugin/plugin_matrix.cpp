#include "plugin/plugin_matrix.h"

#include "plugin/plugin_strings.h"
#include "plugin/preset_parameter.h"
#include "toning/toning_pass.h"

const char* PluginMatrix::GetName() const { return kPluginName; }
const char* PluginMatrix::GetDescription() const { return kPluginDescription; }
std::intptr_t PluginMatrix::FixedEntry2() const { return 1; }
std::intptr_t PluginMatrix::FixedEntry3() const { return 1; }
std::intptr_t PluginMatrix::FixedEntry4() const { return 0x483D38; }
std::intptr_t PluginMatrix::FixedEntry5() const { return 0x828282; }
std::intptr_t PluginMatrix::FixedEntry6() const { return 70; }
std::intptr_t PluginMatrix::FixedEntry7() const { return 1; }

std::intptr_t PluginMatrix::DescribeParameter(ParameterRecord* record) const {
    describePresetParameter(*record);
    return 1;
}

std::intptr_t PluginMatrix::FixedEntry9() const { return 0; }
void PluginMatrix::FixedEntry10() const {}
std::intptr_t PluginMatrix::FixedEntry11() const { return 0; }
void PluginMatrix::FixedEntry12() const {}

void PluginMatrix::Process(std::uint8_t* destination, const std::uint8_t* source, std::int32_t width,
                           std::int32_t height, const ParameterRecord* record) const {
    // The preset is resolved once, before the sizes are looked at.
    const PresetIndex preset = presetIndexFromValue(record->value);
    tonePixels(destination, source, width, height, preset);
}

void PluginMatrix::FixedEntry14() const {}
std::intptr_t PluginMatrix::FixedEntry15() const { return 0; }
std::intptr_t PluginMatrix::FixedEntry16() const { return 0; }
std::intptr_t PluginMatrix::FixedEntry17() const { return 1; }
std::intptr_t PluginMatrix::FixedEntry18() const { return 1; }
