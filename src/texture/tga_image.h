// SPDX-License-Identifier: MIT
// Reads true-colour TGA files into packed RGB or RGBA pixels.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TgaImage {
    int channels;                         // bytes per pixel: 3 (RGB) or 4 (RGBA)
    int sizeX;                            // width in pixels (after any scaling down)
    int sizeY;                            // height in pixels
    std::vector<unsigned char> imageData; // sizeX * sizeY * channels bytes, bottom row first, left to right
};

// The most pixels a picture may have: a decompression-bomb limit. An 8192 x 8192
// picture is 256 MiB as RGBA, and the mipmaps and the GL's copies of it add
// about 3.3 times that; twice as many pixels would take the viewer past 1.5 GB.
inline constexpr std::uint64_t tgaMaxPixels = std::uint64_t{ 8192 } * 8192;

// What the reader accepts; a header claiming more is refused before any pixel
// memory is allocated.
struct TgaLimits {
    std::uint64_t maxPixels = tgaMaxPixels;
    unsigned maxSide        = 65535; // the longest width or height
    // A picture with a side longer than this (when not 0) is scaled down while
    // it is read, by the smallest whole factor that brings every side within
    // it: each pixel is the mean of the block of file pixels it stands for.
    // Only the scaled picture is ever held in memory.
    unsigned fitSide = 0;
};

enum class TgaError {
    none,
    cannotOpen,     // the file cannot be opened; osError holds errno
    cannotRead,     // opened, but reading or seeking fails; osError holds errno
    directory,      // a directory stands in its place
    empty,          // a file of no bytes
    headerCutShort, // the file ends inside its 18-byte header; fileBytes holds its size
    notAKindRead,   // not 16-bit or 24- or 32-bit true colour, plain or run-length
    tooLarge,       // more pixels or a longer side than the limits allow
    tooShort,       // claims far more pixels than its bytes could hold
    outOfMemory,
};

// Why a load gave none.
struct TgaFailure {
    TgaError error = TgaError::none;
    int osError    = 0;
    unsigned width = 0, height = 0; // as the header claims, once it has been read
    unsigned fileBytes = 0;         // for a header cut short: the bytes there are
    TgaLimits limits;               // the limits the load was made with
};

// The image in the file at path, or none; when failure is given it says why.
// A file that cannot be opened prints "\nUnable to load TGA File!\n" on standard
// output; every other failure is silent. No state is kept between calls.
std::optional<TgaImage> loadTgaImage(const char* path, TgaFailure* failure = nullptr,
                                     const TgaLimits& limits = {});

// The reason as a phrase for a message after the file's name, e.g.
// "too large: 20000 x 20000 pixels; the limit is ...".
std::string describeTgaFailure(const TgaFailure& failure);
