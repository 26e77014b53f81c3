// SPDX-License-Identifier: MIT
// Temporary TGA files and test pictures shared by the TGA reader's tests.
#pragma once

#include "tga_image.h"
#include "tga_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

using Bytes = std::vector<unsigned char>;

// Every row's pixels end for end: left to right to right to left and back.
inline Bytes mirrored(const Bytes& data, size_t pixelBytes, size_t width)
{
    Bytes out;
    for (size_t row = 0; row < data.size(); row += width * pixelBytes)
        for (size_t x = width; x-- > 0;)
            out.insert(out.end(), data.begin() + row + x * pixelBytes,
                       data.begin() + row + (x + 1) * pixelBytes);
    return out;
}

// A file in the temp folder holding bytes; removed when dropped.
struct TempFile {
    std::string path = testing::TempDir() + "tga_XXXXXX";

    explicit TempFile(const Bytes& bytes)
    {
        const int fd = mkstemp(path.data());
        if (fd >= 0)
            close(fd);
        EXPECT_TRUE(fd >= 0 && writeFile(path, bytes)) << path;
    }
    ~TempFile()
    {
        std::remove(path.c_str());
    }
};

// Loads bytes as a file; every failure but a missing file must be silent.
inline std::optional<TgaImage> loadBytes(const Bytes& bytes)
{
    const TempFile file(bytes);
    testing::internal::CaptureStdout();
    std::optional<TgaImage> image = loadTgaImage(file.path.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    return image;
}

// A picture with flat stretches (runs for run-length files) beside varied
// pixels, bottom row first, alpha never 0.
inline Bytes testPicture(int width, int height, int channels)
{
    Bytes pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool flat = x < width / 2;
            pixels.push_back(static_cast<unsigned char>(flat ? 200 : x * 37 + y * 11));
            pixels.push_back(static_cast<unsigned char>(flat ? y * 50 : x * 13 + 5));
            pixels.push_back(static_cast<unsigned char>(flat ? 90 : 255 - x * 7 - y * 29));
            if (channels == 4)
                pixels.push_back(static_cast<unsigned char>(flat ? 128 : 64 + x * 5 + y * 3));
        }
    return pixels;
}

// What a picture decodes to from a file of the given depth: 16 bits keep the
// top 5 bits of R, G and B; 32 bits add alpha 255 to an RGB picture.
inline Bytes decodedPicture(const Bytes& pixels, int channels, int bits)
{
    Bytes out;
    for (size_t i = 0; i < pixels.size(); i += channels) {
        for (int c = 0; c < 3; ++c)
            out.push_back(bits == 16 ? pixels[i + c] & 0xF8 : pixels[i + c]);
        if (bits == 32)
            out.push_back(channels == 4 ? pixels[i + 3] : 255);
    }
    return out;
}
