// The exports and the fixed entries, reached through the host loader exactly
// as the host application reaches them: by name, then by table position.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "host/plugin/plugin_library.h"
#include "tests/built_plugin.h"

namespace {

using host::ParameterBlock;
using host::PluginObject;
using testing_support::plugin;

constexpr char kLabels[] =
    "Sepia 1|Sepia 2|Sepia 3|Sepia 4|Sepia 5|Sepia 6|Cyanotype 1|Cyanotype 2|Cyanotype 3|Cyanotype 4|Cyanotype 5";

TEST(Exports, NameIdAndCategory) {
    EXPECT_STREQ(plugin().pluginName(), "Sepia");
    const std::string id = plugin().pluginId();
    // "com.<one lower-case word>.sepia"
    ASSERT_GT(id.size(), std::strlen("com..sepia"));
    EXPECT_EQ(id.rfind("com.", 0), 0u);
    EXPECT_EQ(id.substr(id.size() - 6), ".sepia");
    for (char c : id.substr(4, id.size() - 10)) {
        EXPECT_TRUE(c >= 'a' && c <= 'z') << id;
    }
    // The identifier hosts store settings under, as the documentation gives it.
    EXPECT_EQ(id, "com.darkroom.sepia");
    // The whole 64-bit result, not only its low half.
    EXPECT_EQ(plugin().category(), 0);
}

TEST(Exports, NameIsTheSamePointerAsEntryZero) {
    PluginObject first(plugin());
    PluginObject second(plugin());
    EXPECT_EQ(first.name(), plugin().pluginName());
    EXPECT_EQ(second.name(), plugin().pluginName());
    EXPECT_STREQ(first.description(), "Simulates Sepia and Cyanotype");
}

TEST(Entries, FixedAnswersReadAsFullRegisters) {
    PluginObject object(plugin());
    struct Fixed {
        int entry;
        std::intptr_t result;
    };
    const Fixed fixed[] = {{2, 1}, {3, 1},  {4, 0x483D38}, {5, 0x828282}, {6, 70}, {7, 1},
                           {9, 0}, {11, 0}, {15, 0},       {16, 0},       {17, 1}, {18, 1}};
    for (const Fixed& f : fixed) {
        EXPECT_EQ(object.call<std::intptr_t>(f.entry), f.result) << "entry " << f.entry;
    }
    EXPECT_EQ(object.call<std::intptr_t>(4), 4734264);
    EXPECT_EQ(object.call<std::intptr_t>(5), 8553090);
    // The entries without a result run without effect.
    object.call<void>(10);
    object.call<void>(12);
    object.call<void>(14);
}

TEST(Lifecycle, ObjectsAreIndependent) {
    void* first = plugin().createObject();
    void* second = plugin().createObject();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    plugin().releaseObject(first);
    {
        // The survivor still works fully after its sibling is gone.
        PluginObject survivor(plugin());
        ParameterBlock record;
        EXPECT_EQ(survivor.describeParameter(record), 1);
    }
    EXPECT_STREQ(host::callEntry<const char*>(second, host::entry::kGetName), "Sepia");
    plugin().releaseObject(second);
    plugin().releaseObject(nullptr);
}

TEST(DescribeParameter, WritesExactlyTheSixFields) {
    PluginObject object(plugin());
    ParameterBlock record(0xA5);
    record.setValue(7.0);
    ASSERT_EQ(object.describeParameter(record), 1);

    EXPECT_EQ(std::memcmp(record.bytes(), kLabels, sizeof(kLabels)), 0);
    EXPECT_EQ(record.labels(), kLabels);
    EXPECT_EQ(record.value(), 0.0);
    EXPECT_EQ(record.minimum(), 0.0);
    EXPECT_EQ(record.maximum(), 10.0);
    EXPECT_EQ(record.auxiliary(), 0.0);
    EXPECT_EQ(record.kind(), 3);
    // Bytes 108..255 of the labels field and everything from byte 292 on
    // keep what the host put there.
    for (std::size_t i = sizeof(kLabels); i < ParameterBlock::kLabelsSize; ++i) {
        ASSERT_EQ(record.bytes()[i], 0xA5) << "byte " << i;
    }
    for (std::size_t i = ParameterBlock::kRecordSize; i < ParameterBlock::kBlockSize; ++i) {
        ASSERT_EQ(record.bytes()[i], 0xA5) << "byte " << i;
    }

    // A second call writes the same bytes again.
    ParameterBlock again(0xA5);
    ASSERT_EQ(object.describeParameter(again), 1);
    EXPECT_EQ(std::memcmp(record.bytes(), again.bytes(), ParameterBlock::kBlockSize), 0);
}

// The preset a `value` selects, observed through Process on one grey pixel:
// each preset gives a distinct colour and no preset gives black.
class PresetSelection : public ::testing::Test {
protected:
    std::uint32_t toneGrey(double value) {
        ParameterBlock record;
        record.setValue(value);
        const std::uint8_t source[4] = {128, 128, 128, 0x7F};
        std::uint8_t destination[4] = {1, 2, 3, 4};
        object_.process(destination, source, 1, 1, record);
        EXPECT_EQ(destination[3], 4);
        return static_cast<std::uint32_t>(destination[0] | destination[1] << 8 | destination[2] << 16);
    }
    std::uint32_t presetColour(int preset) { return toneGrey(static_cast<double>(preset)); }

    PluginObject object_{plugin()};
};

TEST_F(PresetSelection, TruncatesTowardZero) {
    EXPECT_EQ(toneGrey(0.99), presetColour(0));
    EXPECT_EQ(toneGrey(-0.5), presetColour(0));
    EXPECT_EQ(toneGrey(-0.99), presetColour(0));
    EXPECT_EQ(toneGrey(-0.0), presetColour(0));
    EXPECT_EQ(toneGrey(2.7), presetColour(2));
    EXPECT_EQ(toneGrey(10.5), presetColour(10));
    EXPECT_NE(presetColour(0), presetColour(2));
    EXPECT_NE(presetColour(10), 0u);
}

TEST_F(PresetSelection, OutOfRangeValuesSelectNoPreset) {
    const double none[] = {-1.0,
                           11.0,
                           1e12,
                           -1e12,
                           4294967296.0 + 3.0,  // must not wrap around to 3
                           2147483648.0,
                           -2147483649.0,
                           std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN(),
                           -std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::lowest()};
    for (double value : none) {
        EXPECT_EQ(toneGrey(value), 0u) << "value " << value;
    }
}

}  // namespace
