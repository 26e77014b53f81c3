// An RGB picture, top row first, and its PNG files (stb_image_write to write,
// stb_image to read).
#pragma once

#include <string>
#include <vector>

struct RgbImage {
    int width  = 0;
    int height = 0;
    std::vector<unsigned char> rgb; // width * height pixels, R, G, B, top row first
};

// False, with errno set, if the file cannot be written in full; a partly
// written regular file is removed.
bool writePng(const std::string& path, const RgbImage& picture);

// False if the file cannot be read or is not an image; any PNG is turned into RGB.
bool readPng(const std::string& path, RgbImage* picture);
