#include "host/image/colour_profile.h"

#include <lcms2.h>

#include <cmath>
#include <cstdio>
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

}  // namespace host
