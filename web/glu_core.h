// SPDX-License-Identifier: MIT
// What GLU does to a picture before GL sees it: gluBuild2DMipmaps's choice
// of power-of-two sides, its box-filter scaling and its halving for each
// smaller level, in GLU's own arithmetic so that every level holds the
// texels the desktop's holds; and gluErrorString's texts. No GL here.
#pragma once

#include <vector>

// One mipmap level: rows bottom first, packed without padding.
struct MipLevel {
    int width;
    int height;
    std::vector<unsigned char> texels;
};

// The power of two GLU takes for a side: the nearest, a side of three times
// a power of two going up (3 -> 4, 5 -> 4, 6 -> 8).
int gluPowerOfTwoSide(int side);

// Scales components-per-pixel image data (rows rowBytes apart) to
// outWidth x outHeight as gluScaleImage does for unsigned bytes.
MipLevel gluScaleBytes(const unsigned char* data, int width, int height, int components, int rowBytes,
                       int outWidth, int outHeight);

// The next smaller level: each texel the mean of the four it covers, rounded,
// or on a level one texel wide or high the mean of two, rounded down, as
// GLU makes them.
MipLevel gluHalveLevel(const MipLevel& level, int components);

// Every level gluBuild2DMipmaps makes of the picture, level 0 first, with no
// side longer than maxSide.
std::vector<MipLevel> gluMipmapChain(const unsigned char* data, int width, int height, int components,
                                     int rowBytes, int maxSide);

// gluErrorString's text for a GL or GLU error code, or null for other codes.
const char* gluErrorText(unsigned code);
