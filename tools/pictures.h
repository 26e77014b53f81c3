// SPDX-License-Identifier: MIT
// The seven default pictures of the enclosure and the sign board, made from
// code so the repository carries no binary images. Deterministic: the same
// bytes on every run and every machine.
#pragma once

#include "tga_writer.h"

#include <string>
#include <vector>

struct DefaultPicture {
    std::string file; // name inside the data directory, e.g. "Rear.tga"
    int width;
    int height;
    int channels;                      // 3 or 4
    std::vector<unsigned char> pixels; // R, G, B(, A), bottom row first
    TgaWriteOptions options;           // the kind of TGA file it is written as
};

// All seven, in the order the enclosure draws them.
std::vector<DefaultPicture> defaultPictures();

// Writes the pictures into dir (which must exist), skipping files that are
// already there when onlyMissing is set. Returns the names it could not write.
std::vector<std::string> writeDefaultPictures(const std::string& dir, bool onlyMissing);
