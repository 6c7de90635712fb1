#pragma once

#include <cstddef>
#include <cstdint>

// The host-owned record that describes the plug-in's one parameter and later
// carries the user's choice back to Process. Its layout is shared with the
// host byte for byte: little-endian, IEEE 754 doubles, no padding between
// fields. The host's block may be longer than this; the plug-in never touches
// anything past `kind`.
#pragma pack(push, 4)
struct ParameterRecord {
    char labels[256];   // zero-terminated '|'-separated preset labels
    double value;       // the chosen preset index, as the host stores it
    double minimum;     // lowest index
    double maximum;     // highest index
    double auxiliary;   // written as 0.0; the host's meaning is its own
    std::int32_t kind;  // written as 3; the host's parameter-kind code
};
#pragma pack(pop)

static_assert(sizeof(ParameterRecord) == 292, "record size is part of the host ABI");
static_assert(offsetof(ParameterRecord, labels) == 0);
static_assert(offsetof(ParameterRecord, value) == 256);
static_assert(offsetof(ParameterRecord, minimum) == 264);
static_assert(offsetof(ParameterRecord, maximum) == 272);
static_assert(offsetof(ParameterRecord, auxiliary) == 280);
static_assert(offsetof(ParameterRecord, kind) == 288);
static_assert(sizeof(double) == 8 && sizeof(std::int32_t) == 4);
