#include "host/metadata/colour_profile.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <memory>
#include <string>

namespace host {

namespace {

struct ProfileRelease {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
struct CurveRelease {
    void operator()(cmsToneCurve* curve) const { cmsFreeToneCurve(curve); }
};
using Profile = std::unique_ptr<void, ProfileRelease>;
using Curve = std::unique_ptr<cmsToneCurve, CurveRelease>;

std::vector<std::uint8_t> bytesOf(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    if (profile == nullptr || cmsSaveProfileToMem(profile, nullptr, &size) == 0 || size == 0) {
        return {};
    }
    std::vector<std::uint8_t> bytes(size);
    if (cmsSaveProfileToMem(profile, bytes.data(), &size) == 0) {
        return {};
    }
    bytes.resize(size);
    return bytes;
}

bool describe(cmsHPROFILE profile, const std::string& text) {
    cmsMLU* description = cmsMLUalloc(nullptr, 1);
    const bool ok = description != nullptr && cmsMLUsetASCII(description, "en", "US", text.c_str()) != 0 &&
                    cmsWriteTag(profile, cmsSigProfileDescriptionTag, description) != 0;
    cmsMLUfree(description);
    return ok;
}

}  // namespace

std::vector<std::uint8_t> iccProfileFor(const PngColour& colour) {
    if (colour.srgbIntent) {
        const Profile profile(cmsCreate_sRGBProfile());
        return bytesOf(profile.get());
    }
    if (colour.empty()) {
        return {};
    }
    // sRGB's white point and primaries, unless the file names others.
    cmsCIExyY white{0.3127, 0.3290, 1.0};
    cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
    std::string text;
    if (colour.chromaticities) {
        const auto& c = *colour.chromaticities;
        auto at = [&c](std::size_t i) { return c[i] / 100000.0; };
        white = {at(0), at(1), 1.0};
        primaries = {{at(2), at(3), 1.0}, {at(4), at(5), 1.0}, {at(6), at(7), 1.0}};
        text = "PNG chromaticities";
    } else {
        text = "sRGB primaries";
    }
    Curve curve;
    if (colour.gamma) {
        if (*colour.gamma == 0) {
            return {};
        }
        // gAMA holds the encoding exponent; the profile wants its inverse.
        const double exponent = 100000.0 / *colour.gamma;
        curve.reset(cmsBuildGamma(nullptr, exponent));
        char gamma[64];
        std::snprintf(gamma, sizeof(gamma), "gamma %.2f, ", exponent);
        text = gamma + text;
    } else {
        // The sRGB curve.
        const cmsFloat64Number parameters[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
        curve.reset(cmsBuildParametricToneCurve(nullptr, 4, parameters));
        text = "sRGB curve, " + text;
    }
    if (!curve || !(white.y > 0)) {
        return {};
    }
    cmsToneCurve* curves[3] = {curve.get(), curve.get(), curve.get()};
    const Profile profile(cmsCreateRGBProfile(&white, &primaries, curves));
    if (!profile || !describe(profile.get(), "RGB from PNG colour chunks: " + text)) {
        return {};
    }
    return bytesOf(profile.get());
}

std::optional<std::vector<std::uint8_t>> iccProfileFor(const Cicp& cicp) {
    struct Primaries {
        std::uint16_t code;
        cmsCIExyY white;
        cmsCIExyYTRIPLE rgb;
        const char* name;
    };
    constexpr cmsCIExyY kD65{0.3127, 0.3290, 1.0};
    static const Primaries kPrimaries[] = {
        {1, kD65, {{0.640, 0.330, 1.0}, {0.300, 0.600, 1.0}, {0.150, 0.060, 1.0}}, "BT.709"},
        {4, {0.310, 0.316, 1.0}, {{0.67, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.14, 0.08, 1.0}}, "BT.470 M"},
        {5, kD65, {{0.64, 0.33, 1.0}, {0.29, 0.60, 1.0}, {0.15, 0.06, 1.0}}, "BT.601 625"},
        {6, kD65, {{0.630, 0.340, 1.0}, {0.310, 0.595, 1.0}, {0.155, 0.070, 1.0}}, "BT.601 525"},
        {7, kD65, {{0.630, 0.340, 1.0}, {0.310, 0.595, 1.0}, {0.155, 0.070, 1.0}}, "SMPTE 240M"},
        {9, kD65, {{0.708, 0.292, 1.0}, {0.170, 0.797, 1.0}, {0.131, 0.046, 1.0}}, "BT.2020"},
        {11, {0.314, 0.351, 1.0}, {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}}, "DCI-P3"},
        {12, kD65, {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}}, "Display P3"},
    };
    const std::uint16_t primaries = cicp.primaries == 2 ? 1 : cicp.primaries;  // unspecified: sRGB's
    const std::uint16_t transfer = cicp.transfer == 2 ? 13 : cicp.transfer;
    if (primaries == 1 && transfer == 13) {
        return std::vector<std::uint8_t>();  // sRGB: no profile needed
    }
    const auto* found = std::find_if(std::begin(kPrimaries), std::end(kPrimaries),
                                     [&](const Primaries& p) { return p.code == primaries; });
    if (found == std::end(kPrimaries)) {
        return std::nullopt;
    }
    Curve curve;
    std::string text;
    switch (transfer) {
        case 1:
        case 6:
        case 14:
        case 15: {
            // BT.709's curve, inverted: the camera's response the data carries.
            const cmsFloat64Number parameters[5] = {1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081};
            curve.reset(cmsBuildParametricToneCurve(nullptr, 4, parameters));
            text = "BT.709 curve";
            break;
        }
        case 13: {
            const cmsFloat64Number parameters[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
            curve.reset(cmsBuildParametricToneCurve(nullptr, 4, parameters));
            text = "sRGB curve";
            break;
        }
        case 4:
            curve.reset(cmsBuildGamma(nullptr, 2.2));
            text = "gamma 2.2";
            break;
        case 5:
            curve.reset(cmsBuildGamma(nullptr, 2.8));
            text = "gamma 2.8";
            break;
        case 8:
            curve.reset(cmsBuildGamma(nullptr, 1.0));
            text = "linear";
            break;
        default:
            return std::nullopt;  // PQ, HLG and others: no curve of an ICC profile of this kind says them
    }
    if (!curve) {
        return std::nullopt;
    }
    cmsToneCurve* curves[3] = {curve.get(), curve.get(), curve.get()};
    const Profile profile(cmsCreateRGBProfile(&found->white, &found->rgb, curves));
    if (!profile || !describe(profile.get(), std::string("RGB from nclx: ") + found->name + " primaries, " + text)) {
        return std::nullopt;
    }
    return bytesOf(profile.get());
}

}  // namespace host
