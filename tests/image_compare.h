// SPDX-License-Identifier: MIT
// Comparing a rendered picture with its golden one: small per-channel
// differences are rounding noise, and a handful of pixels may differ along edges.
#pragma once

#include "rgb_image.h"

#include <string>

// Largest per-channel difference between a colour measured once under
// llvmpipe and the same object drawn again: a wrong material moves a channel
// by more than this.
const int litColourTolerance = 6;

// Largest per-channel difference between a picture file's texel and what a
// surface shows of it: a 16-bit file keeps only five bits per channel.
const int texelTolerance = 16;

// Whether every channel of a and b differs by at most tolerance.
bool near(const Rgb& a, const Rgb& b, int tolerance);

// "(r, g, b)", for failure messages.
std::string describe(const Rgb& c);

// llvmpipe draws the views byte for byte the same on Debian 12 and 13, so
// the allowance is kept below the smallest change worth seeing: a sign post
// one unit taller moves 16 pixels of the 20-step view, a line one pixel
// thinner 27 of the 45-step one.
struct Tolerance {
    int channel    = 3; // largest difference per channel, out of 255
    long offPixels = 8; // pixels allowed beyond it
};

struct Comparison {
    bool sameSize = false;
    long pixels   = 0; // pixels compared
    long off      = 0; // pixels with a channel beyond the tolerance
    int worst     = 0; // largest channel difference seen
    bool passes   = false;
};

Comparison comparePictures(const RgbImage& expected, const RgbImage& actual, const Tolerance& tolerance = {});

// The expected picture dimmed to a quarter, with every pixel beyond the
// tolerance in full red: where a change is, at a glance. Same size pictures only.
RgbImage diffPicture(const RgbImage& expected, const RgbImage& actual, const Tolerance& tolerance = {});

// One line for a failure message: how many pixels are off, and by how much.
std::string describe(const Comparison& comparison);
