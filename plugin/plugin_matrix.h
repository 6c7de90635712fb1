#pragma once

#include "plugin/iplugin.h"

// The one implementation of IPlugin. It has no data members: an object is
// exactly one table pointer, has no state and never changes after creation.
class PluginMatrix final : public IPlugin {
public:
    PluginMatrix() = default;

    const char* GetName() const override;
    const char* GetDescription() const override;
    std::intptr_t FixedEntry2() const override;
    std::intptr_t FixedEntry3() const override;
    std::intptr_t FixedEntry4() const override;
    std::intptr_t FixedEntry5() const override;
    std::intptr_t FixedEntry6() const override;
    std::intptr_t FixedEntry7() const override;
    std::intptr_t DescribeParameter(ParameterRecord* record) const override;
    std::intptr_t FixedEntry9() const override;
    void FixedEntry10() const override;
    std::intptr_t FixedEntry11() const override;
    void FixedEntry12() const override;
    void Process(std::uint8_t* destination, const std::uint8_t* source, std::int32_t width, std::int32_t height,
                 const ParameterRecord* record) const override;
    void FixedEntry14() const override;
    std::intptr_t FixedEntry15() const override;
    std::intptr_t FixedEntry16() const override;
    std::intptr_t FixedEntry17() const override;
    std::intptr_t FixedEntry18() const override;
};

static_assert(sizeof(PluginMatrix) == sizeof(void*), "an object is exactly its table pointer");
