// SPDX-License-Identifier: MIT
#include "rgb_image.h"

#include "tga_writer.h"

#include <stb/stb_image.h>
#include <stb/stb_image_write.h>

#include <cerrno>
#include <cstddef>
#include <string>
#include <vector>

namespace {

// cppcheck-suppress constParameterCallback ; stb_image_write's callback type fixes the signature
void appendBytes(void* context, void* data, int size)
{
    auto* bytes      = static_cast<std::vector<unsigned char>*>(context);
    const auto* from = static_cast<const unsigned char*>(data);
    bytes->insert(bytes->end(), from, from + size);
}

} // namespace

Rgb colourAt(const RgbImage& picture, int x, int y)
{
    const unsigned char* p = &picture.rgb[(static_cast<size_t>(y) * picture.width + x) * 3];
    return { p[0], p[1], p[2] };
}

bool writePng(const std::string& path, const RgbImage& picture)
{
    std::vector<unsigned char> png; // made in memory first, so writeFile checks every write
    if (!stbi_write_png_to_func(appendBytes, &png, picture.width, picture.height, 3, picture.rgb.data(),
                                picture.width * 3)) {
        errno = ENOMEM;
        return false;
    }
    return writeFile(path, png);
}

bool readImage(const std::string& path, RgbImage* picture)
{
    int width = 0, height = 0, channels = 0;
    unsigned char* pixels = stbi_load(path.c_str(), &width, &height, &channels, 3);
    if (!pixels)
        return false;
    picture->width  = width;
    picture->height = height;
    picture->rgb.assign(pixels, pixels + static_cast<size_t>(width) * height * 3);
    stbi_image_free(pixels);
    return true;
}
