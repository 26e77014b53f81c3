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

// Every level gluBuild2DMipmaps makes of the picture, level 0 first, with no
// side longer than maxSide: each side the nearest power of two (a side of
// three times a power of two going up: 3 -> 4, 5 -> 4, 6 -> 8), scaled as
// gluScaleImage scales unsigned bytes, then each smaller level the mean of
// the four texels it covers, rounded, or on a level one texel wide or high
// the mean of two, rounded down.
std::vector<MipLevel> mipmapChain(const unsigned char* data, int width, int height, int components,
                                  int rowBytes, int maxSide);

// gluErrorString's text for a GL or GLU error code, or null for other codes.
const char* errorStringText(unsigned code);
