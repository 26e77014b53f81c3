// SPDX-License-Identifier: MIT
// Turns TGA files into mipmapped OpenGL textures.
#pragma once

#include <GL/gl.h>

// Texture names by slot; slot 0 names the texture made or bound last.
extern GLuint textureNames[1];

// Reads path into a new mipmapped texture, leaves it bound to GL_TEXTURE_2D and
// records its name in names[slot]. A null path does nothing. A file that
// cannot be made into a texture ends the process with status 1.
void makeTexture(GLuint* names, const char* path, int slot);
