// SPDX-License-Identifier: MIT
// What a picture must be to become a texture, without GL: makeTexture reads
// by these rules, and the browser version checks a chosen picture by them
// before it gives it to makeTexture.
#pragma once

#include "tga_image.h"

#include <string>

// The reader's limits for a GL whose largest texture has maxTextureSize on a
// side (0 when it does not say): no side longer than that, and a side over
// 1024 scaled down as it is read, since the 500-pixel window never shows more.
TgaLimits textureReadLimits(int maxTextureSize);

// Why GLU would not make a sizeX x sizeY picture into a texture, after the
// file's name: gluText is GLU's own word for gluError, or null when it has none.
std::string textureRefusal(int sizeX, int sizeY, const char* gluText, int gluError);
