// SPDX-License-Identifier: MIT
// The scaling keeps GLU's order of float operations: the sums are rounded
// down to bytes at the end, so summing in another order would change some
// texels by one.
#include "glu_core.h"

#include <cmath>

namespace {

int powerOfTwoSide(int side)
{
    if (side <= 0)
        return -1;
    int power = 1;
    for (unsigned value = static_cast<unsigned>(side);; value >>= 1, power *= 2) {
        if (value == 1)
            return power;
        if (value == 3)
            return power * 4;
    }
}

// One output texel's box, in input pixels: whole parts and fractions, as
// GLU steps them along a row or a column.
struct Span {
    int lowInt;
    float lowFloat;
    int highInt;
    float highFloat;
};

void advance(Span& s, int stepInt, float stepFloat)
{
    s.lowInt   = s.highInt;
    s.lowFloat = s.highFloat;
    s.highInt += stepInt;
    s.highFloat += stepFloat;
    if (s.highFloat > 1.0f) {
        s.highFloat -= 1.0f;
        s.highInt++;
    }
}

// Reads the image as GLU's pointer arithmetic does, but yields 0 past its
// end, where GLU would read beyond the buffer (always with a weight of
// almost nothing).
struct Source {
    const unsigned char* data;
    long bytes;
    int components;
    int rowBytes;

    float at(int x, int y, int k) const
    {
        const long i = static_cast<long>(y) * rowBytes + static_cast<long>(x) * components + k;
        return i >= 0 && i < bytes ? static_cast<float>(data[i]) : 0.0f;
    }
};

// The weighted sum for one output texel's channel k over the box x by y.
float boxSum(const Source& in, const Span& x, const Span& y, int k)
{
    float total = 0.0f;
    if (y.highInt > y.lowInt && x.highInt > x.lowInt) {
        float yPercent = 1 - y.lowFloat;
        total += in.at(x.lowInt, y.lowInt, k) * (yPercent * (1 - x.lowFloat));
        for (int l = x.lowInt + 1; l < x.highInt; ++l)
            total += in.at(l, y.lowInt, k) * yPercent;
        total += in.at(x.highInt, y.lowInt, k) * (yPercent * x.highFloat);

        yPercent = y.highFloat;
        total += in.at(x.lowInt, y.highInt, k) * (yPercent * (1 - x.lowFloat));
        for (int l = x.lowInt + 1; l < x.highInt; ++l)
            total += in.at(l, y.highInt, k) * yPercent;
        total += in.at(x.highInt, y.highInt, k) * (yPercent * x.highFloat);

        for (int m = y.lowInt + 1; m < y.highInt; ++m)
            total += in.at(x.lowInt, m, k) * (1 - x.lowFloat) + in.at(x.highInt, m, k) * x.highFloat;
    } else if (y.highInt > y.lowInt) {
        const float xPercent = x.highFloat - x.lowFloat;
        total += in.at(x.lowInt, y.lowInt, k) * ((1 - y.lowFloat) * xPercent);
        for (int m = y.lowInt + 1; m < y.highInt; ++m)
            total += in.at(x.lowInt, m, k) * xPercent;
        total += in.at(x.lowInt, y.highInt, k) * (xPercent * y.highFloat);
    } else if (x.highInt > x.lowInt) {
        const float yPercent = y.highFloat - y.lowFloat;
        total += in.at(x.lowInt, y.lowInt, k) * ((1 - x.lowFloat) * yPercent);
        for (int l = x.lowInt + 1; l < x.highInt; ++l)
            total += in.at(l, y.lowInt, k) * yPercent;
        total += in.at(x.highInt, y.lowInt, k) * (yPercent * x.highFloat);
    } else {
        total += in.at(x.lowInt, y.lowInt, k) * ((y.highFloat - y.lowFloat) * (x.highFloat - x.lowFloat));
    }
    // The pixels wholly inside the box.
    for (int m = y.lowInt + 1; m < y.highInt; ++m)
        for (int l = x.lowInt + 1; l < x.highInt; ++l)
            total += in.at(l, m, k);
    return total;
}

MipLevel halveRows(const Source& in, int width, int height)
{
    MipLevel out{ width / 2, height / 2, {} };
    out.texels.reserve(static_cast<size_t>(out.width) * out.height * in.components);
    for (int i = 0; i < out.height; ++i)
        for (int j = 0; j < out.width; ++j)
            for (int k = 0; k < in.components; ++k) {
                const int sum =
                    static_cast<int>(in.at(2 * j, 2 * i, k) + in.at(2 * j + 1, 2 * i, k)
                                     + in.at(2 * j, 2 * i + 1, k) + in.at(2 * j + 1, 2 * i + 1, k));
                out.texels.push_back(static_cast<unsigned char>((sum + 2) / 4));
            }
    return out;
}

// A level one texel wide or high: pairs along the one line.
MipLevel halveLine(const Source& in, int width, int height)
{
    MipLevel out{ width > 1 ? width / 2 : 1, height > 1 ? height / 2 : 1, {} };
    const bool alongX = width > 1;
    const int count   = alongX ? out.width : out.height;
    for (int i = 0; i < count; ++i)
        for (int k = 0; k < in.components; ++k) {
            const float a = alongX ? in.at(2 * i, 0, k) : in.at(0, 2 * i, k);
            const float b = alongX ? in.at(2 * i + 1, 0, k) : in.at(0, 2 * i + 1, k);
            out.texels.push_back(static_cast<unsigned char>(static_cast<int>(a + b) / 2));
        }
    return out;
}

MipLevel halve(const Source& in, int width, int height)
{
    return width == 1 || height == 1 ? halveLine(in, width, height) : halveRows(in, width, height);
}

MipLevel scaleBytes(const unsigned char* data, int width, int height, int components, int rowBytes,
                    int outWidth, int outHeight)
{
    const Source in{ data, static_cast<long>(rowBytes) * height, components, rowBytes };
    if (width == outWidth * 2 && height == outHeight * 2)
        return halve(in, width, height);

    const float convY  = static_cast<float>(height) / static_cast<float>(outHeight);
    const float convX  = static_cast<float>(width) / static_cast<float>(outWidth);
    const int convYInt = static_cast<int>(std::floor(convY)), convXInt = static_cast<int>(std::floor(convX));
    const float convYFloat = convY - static_cast<float>(convYInt);
    const float convXFloat = convX - static_cast<float>(convXInt);
    const float area       = convX * convY;

    MipLevel out{ outWidth, outHeight, {} };
    out.texels.reserve(static_cast<size_t>(outWidth) * outHeight * components);
    Span y{ 0, 0.0f, convYInt, convYFloat };
    for (int i = 0; i < outHeight; ++i) {
        if (y.highInt >= height)
            y.highInt = height - 1;
        Span x{ 0, 0.0f, convXInt, convXFloat };
        for (int j = 0; j < outWidth; ++j) {
            for (int k = 0; k < components; ++k)
                out.texels.push_back(static_cast<unsigned char>(boxSum(in, x, y, k) / area));
            advance(x, convXInt, convXFloat);
        }
        advance(y, convYInt, convYFloat);
    }
    return out;
}

MipLevel halveLevel(const MipLevel& level, int components)
{
    const Source in{ level.texels.data(), static_cast<long>(level.texels.size()), components,
                     level.width * components };
    return halve(in, level.width, level.height);
}

} // namespace

std::vector<MipLevel> mipmapChain(const unsigned char* data, int width, int height, int components,
                                  int rowBytes, int maxSide)
{
    std::vector<MipLevel> levels;
    if (width < 1 || height < 1)
        return levels;
    int w = powerOfTwoSide(width), h = powerOfTwoSide(height);
    while ((w > maxSide || h > maxSide) && (w > 1 || h > 1)) {
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
    }

    if (w == width && h == height) {
        MipLevel first{ width, height, {} };
        for (int row = 0; row < height; ++row) {
            const unsigned char* p = data + static_cast<long>(row) * rowBytes;
            first.texels.insert(first.texels.end(), p, p + static_cast<long>(width) * components);
        }
        levels.push_back(std::move(first));
    } else {
        levels.push_back(scaleBytes(data, width, height, components, rowBytes, w, h));
    }
    while (levels.back().width > 1 || levels.back().height > 1)
        levels.push_back(halveLevel(levels.back(), components));
    return levels;
}

const char* errorStringText(unsigned code)
{
    switch (code) {
    case 0:
        return "no error";
    case 0x0500:
        return "invalid enumerant";
    case 0x0501:
        return "invalid value";
    case 0x0502:
        return "invalid operation";
    case 0x0503:
        return "stack overflow";
    case 0x0504:
        return "stack underflow";
    case 0x0505:
        return "out of memory";
    case 100900:
        return "invalid enumerant";
    case 100901:
        return "invalid value";
    case 100902:
        return "out of memory";
    case 100903:
        return "incompatible gl version";
    case 100904:
        return "invalid operation";
    default:
        return nullptr;
    }
}
