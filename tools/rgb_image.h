// SPDX-License-Identifier: MIT
// An RGB picture, top row first, and its image files (stb_image_write to
// write PNG, stb_image to read): the one picture type of the tools and tests.
#pragma once

#include <string>
#include <vector>

struct Rgb {
    int r, g, b;
};

struct RgbImage {
    int width  = 0;
    int height = 0;
    std::vector<unsigned char> rgb; // width * height pixels, R, G, B, top row first
};

// The pixel at column x from the left and row y from the top.
Rgb colourAt(const RgbImage& picture, int x, int y);

// False, with errno set, if the file cannot be written in full; a partly
// written regular file is removed.
bool writePng(const std::string& path, const RgbImage& picture);

// False if the file cannot be read or is not an image stb_image knows (PNG,
// TGA...); any image is turned into RGB.
bool readImage(const std::string& path, RgbImage* picture);
