// SPDX-License-Identifier: MIT
#include "image_compare.h"

#include <cstdio>
#include <cstdlib>

namespace {

int pixelDifference(const RgbImage& a, const RgbImage& b, size_t pixel)
{
    int worst = 0;
    for (size_t c = 0; c < 3; ++c) {
        const int d = std::abs(a.rgb[pixel * 3 + c] - b.rgb[pixel * 3 + c]);
        if (d > worst)
            worst = d;
    }
    return worst;
}

} // namespace

bool near(const Rgb& a, const Rgb& b, int tolerance)
{
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance
           && std::abs(a.b - b.b) <= tolerance;
}

std::string describe(const Rgb& c)
{
    char text[32];
    std::snprintf(text, sizeof text, "(%d, %d, %d)", c.r, c.g, c.b);
    return text;
}

Comparison comparePictures(const RgbImage& expected, const RgbImage& actual, const Tolerance& tolerance)
{
    Comparison result;
    result.sameSize = expected.width == actual.width && expected.height == actual.height
                      && expected.rgb.size() == actual.rgb.size()
                      && expected.rgb.size() == static_cast<size_t>(expected.width) * expected.height * 3;
    if (!result.sameSize)
        return result;
    result.pixels = static_cast<long>(expected.width) * expected.height;
    for (long i = 0; i < result.pixels; ++i) {
        const int d = pixelDifference(expected, actual, static_cast<size_t>(i));
        if (d > result.worst)
            result.worst = d;
        if (d > tolerance.channel)
            ++result.off;
    }
    result.passes = result.off <= tolerance.offPixels;
    return result;
}

RgbImage diffPicture(const RgbImage& expected, const RgbImage& actual, const Tolerance& tolerance)
{
    RgbImage diff       = expected;
    const size_t pixels = expected.rgb.size() / 3;
    for (size_t i = 0; i < pixels && i * 3 < actual.rgb.size(); ++i) {
        const bool off = pixelDifference(expected, actual, i) > tolerance.channel;
        for (size_t c = 0; c < 3; ++c) {
            unsigned char& v = diff.rgb[i * 3 + c];
            v                = off ? (c == 0 ? 255 : 0) : static_cast<unsigned char>(v / 4);
        }
    }
    return diff;
}

std::string describe(const Comparison& comparison)
{
    if (!comparison.sameSize)
        return "the pictures differ in size";
    char text[160];
    std::snprintf(text, sizeof text,
                  "%ld of %ld pixels (%.3f %%) differ by more than the tolerance (worst %d/255)",
                  comparison.off, comparison.pixels,
                  comparison.pixels ? 100.0 * comparison.off / comparison.pixels : 0.0, comparison.worst);
    return text;
}
