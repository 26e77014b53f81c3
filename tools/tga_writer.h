// SPDX-License-Identifier: MIT
// Writes true-colour TGA files: the default pictures' generator and the
// tests' fixtures both make their files here.
#pragma once

#include <string>
#include <vector>

struct TgaWriteOptions {
    int bits       = 24;            // 16, 24 or 32 bits per pixel in the file
    bool runLength = false;         // image type 10 instead of 2
    bool topLeft   = false;         // rows stored top row first, descriptor bit 0x20 set
    std::string id;                 // identification field, at most 255 bytes
    int colourMapLength    = 0;     // entries of a filler colour map (colour-map type 1) before the pixels
    int colourMapEntryBits = 24;    // bits per colour-map entry
    bool rightToLeft       = false; // each row stored right to left, descriptor bit 0x10
};

// pixels: width * height pixels of `channels` (3 or 4) bytes, R, G, B(, A),
// bottom row first. At 16 bits each colour keeps its top 5 bits per channel
// and bit 15 stays clear; at 32 bits a 3-channel image gets alpha 255.
std::vector<unsigned char> encodeTga(int width, int height, int channels,
                                     const std::vector<unsigned char>& pixels,
                                     const TgaWriteOptions& options = {});

// Writes bytes to path; false, with errno set, if the file cannot be written
// whole, and then a partly written regular file is removed.
bool writeFile(const std::string& path, const std::vector<unsigned char>& bytes);
