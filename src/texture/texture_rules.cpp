// SPDX-License-Identifier: MIT
// The rules a picture is made into a texture by: see texture_rules.h.
#include "texture_rules.h"

#include "tga_image.h"

#include <string>

namespace {

// The window is 500 pixels wide, so no view shows more than about 500 pixels
// of a picture across, and the mipmap level drawn has at most 512: a larger
// picture is scaled down as it is read. Seven of the largest the reader takes
// then cost some 40 MB of textures, not 2.4 GB, and their first frame takes a
// quarter less processor time than with 2048.
const unsigned textureFitSide = 1024;

} // namespace

TgaLimits textureReadLimits(int maxTextureSize)
{
    TgaLimits limits;
    limits.fitSide = textureFitSide;
    if (maxTextureSize > 0 && static_cast<unsigned>(maxTextureSize) < limits.maxSide)
        limits.maxSide = static_cast<unsigned>(maxTextureSize);
    return limits;
}

std::string textureRefusal(int sizeX, int sizeY, const char* gluText, int gluError)
{
    return "cannot be made into a texture (" + std::to_string(sizeX) + " x " + std::to_string(sizeY)
           + " pixels): GLU says " + (gluText ? gluText : "error " + std::to_string(gluError));
}
