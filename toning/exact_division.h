#pragma once

#include <cstdint>

#include "toning/toning_matrix.h"

// floor(S / 10000) for every integer 0 <= S <= kMaxToningSum, through one
// single-precision product, in the vector kernels:
//  * S < 2^24, so converting S to float is exact.
//  * kInverseDenominator is the smallest float >= 1/10000, so the exact
//    product S * c is >= S / 10000; rounding to nearest is monotonic and every
//    integer below 2^24 is a float, so the rounded product never falls below
//    floor(S / 10000).
//  * c - 1/10000 < 2^-37, so S * c exceeds S / 10000 by less than 2.8e-5, and
//    rounding the product (which matters only below the cap of 256, where a
//    float's unit is at most 2^-16) adds at most 7.7e-6. A quotient with a
//    remainder is at least 1e-4 below the next integer, so truncation never
//    reaches it.
// The exhaustive kernel tests check every sum that can occur.
inline constexpr float kInverseDenominator = 1.00000005e-4f;

static_assert(static_cast<double>(kInverseDenominator) >= 1.0 / kToningDenominator);
static_assert(static_cast<double>(kInverseDenominator) - 1.0 / kToningDenominator < 1.0 / (1ull << 37));
static_assert(kMaxToningSum < (1 << 24));
