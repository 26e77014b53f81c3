// SPDX-License-Identifier: MIT
// World-space points and directions for the tests that work out where
// something must show (world units, +Y up).
#pragma once

#include <cmath>

struct Vec {
    double x, y, z;
};

inline Vec operator+(Vec a, Vec b)
{
    return { a.x + b.x, a.y + b.y, a.z + b.z };
}

inline Vec operator-(Vec a, Vec b)
{
    return { a.x - b.x, a.y - b.y, a.z - b.z };
}

inline Vec operator*(double k, Vec a)
{
    return { k * a.x, k * a.y, k * a.z };
}

inline double dot(Vec a, Vec b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

inline Vec cross(Vec a, Vec b)
{
    return { a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x };
}

inline Vec unit(Vec a)
{
    return (1 / std::sqrt(dot(a, a))) * a;
}
