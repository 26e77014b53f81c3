// Reads true-colour TGA files into packed RGB or RGBA pixels.
#pragma once

#include <optional>
#include <vector>

struct TgaImage {
    int channels;                         // bytes per pixel: 3 (RGB) or 4 (RGBA)
    int sizeX;                            // width in pixels
    int sizeY;                            // height in pixels
    std::vector<unsigned char> imageData; // sizeX * sizeY * channels bytes, bottom row first
};

// The image in the file at path, or none. A file that cannot be opened prints
// "\nUnable to load TGA File!\n" on standard output; every other failure is silent.
std::optional<TgaImage> loadTgaImage(const char* path);
