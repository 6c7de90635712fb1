#pragma once

#include <cstdint>

#include "plugin/parameter_record.h"

// The host's plug-in interface. The host calls these entries by their position
// in the object's virtual table, so the declaration order below IS the binary
// contract: never reorder, insert or remove an entry. There is deliberately
// no virtual destructor, which would add table slots; objects are freed only
// by Release_Plugin.
//
// Integer results are pointer-sized (std::intptr_t) so that a host reading the
// whole 64-bit result register sees the same value as one reading its low
// 32 bits. Entries marked "fixed" ignore any arguments the host may pass.
// Returned text is owned by the library, constant, and valid while it is
// loaded. Every entry may be called from any thread, concurrently, on one
// object or on several.
class IPlugin {
public:
    IPlugin(const IPlugin&) = delete;
    IPlugin& operator=(const IPlugin&) = delete;

    // 0: the display name "Sepia" — the very pointer GetPluginName returns.
    virtual const char* GetName() const = 0;
    // 1: the description "Simulates Sepia and Cyanotype".
    virtual const char* GetDescription() const = 0;
    // 2: fixed, returns 1.
    virtual std::intptr_t FixedEntry2() const = 0;
    // 3: fixed, returns 1.
    virtual std::intptr_t FixedEntry3() const = 0;
    // 4: fixed, returns the packed colour 0x483D38.
    virtual std::intptr_t FixedEntry4() const = 0;
    // 5: fixed, returns the packed colour 0x828282.
    virtual std::intptr_t FixedEntry5() const = 0;
    // 6: fixed, returns 70.
    virtual std::intptr_t FixedEntry6() const = 0;
    // 7: fixed, returns 1.
    virtual std::intptr_t FixedEntry7() const = 0;
    // 8: fills the host-owned record (at least 292 bytes) with the preset
    //    list and bounds; returns 1. Does not keep the pointer.
    virtual std::intptr_t DescribeParameter(ParameterRecord* record) const = 0;
    // 9: fixed, returns 0.
    virtual std::intptr_t FixedEntry9() const = 0;
    // 10: fixed, does nothing.
    virtual void FixedEntry10() const = 0;
    // 11: fixed, returns 0.
    virtual std::intptr_t FixedEntry11() const = 0;
    // 12: fixed, does nothing.
    virtual void FixedEntry12() const = 0;
    // 13: tones `width` x `height` BGRA pixels from `source` into
    //     `destination` (which may equal `source`, or must not overlap it)
    //     with the preset that record->value names. Writes bytes 0..2 of each
    //     destination pixel only. Reads only `value` from the record, even for
    //     an empty image. Borrows all three pointers for the call only.
    virtual void Process(std::uint8_t* destination, const std::uint8_t* source, std::int32_t width, std::int32_t height,
                         const ParameterRecord* record) const = 0;
    // 14: fixed, does nothing.
    virtual void FixedEntry14() const = 0;
    // 15: fixed, returns 0.
    virtual std::intptr_t FixedEntry15() const = 0;
    // 16: fixed, returns 0.
    virtual std::intptr_t FixedEntry16() const = 0;
    // 17: fixed, returns 1.
    virtual std::intptr_t FixedEntry17() const = 0;
    // 18: fixed, returns 1.
    virtual std::intptr_t FixedEntry18() const = 0;

protected:
    IPlugin() = default;
    ~IPlugin() = default;
};
