// SPDX-License-Identifier: MIT
// The pictured enclosure and the sign board: seven textured surfaces shown
// at full brightness, drawn first in every frame.
//
// Each file becomes a texture once, on the first frame, and is bound again on
// later frames, so texture memory stays at seven textures however long the
// viewer runs. Slot 0 of textureNames names the texture of the surface drawn
// last, as it would if every frame made its textures anew.
#include "scene.h"

#include "scene_pictures.h"
#include "texture.h"

#include <GL/gl.h>
#include <string>

namespace {

struct Surface {
    GLfloat texCoords[4][2]; // (s, t) of each corner
    GLfloat corners[4][3];   // world units, issued in this order as one polygon
};

// The box spans x -60..60, y -20..60, z -30..40 around the scene; the sign
// board stands across the forward right corner. The floor's coordinates run
// over five units each way, so its picture repeats 5 x 5 times. In the order
// of scenePictures, whose files they show.
const Surface surfaces[] = {
    // rear wall
    { { { 0, 0 }, { 0, 1 }, { 1, 1 }, { 1, 0 } },
      { { -60, -20, -30 }, { -60, 60, -30 }, { 60, 60, -30 }, { 60, -20, -30 } } },
    // left wall
    { { { 1, 0 }, { 1, 1 }, { 0, 1 }, { 0, 0 } },
      { { -60, -20, 40 }, { -60, 60, 40 }, { -60, 60, -30 }, { -60, -20, -30 } } },
    // right wall
    { { { 1, 0 }, { 1, 1 }, { 0, 1 }, { 0, 0 } },
      { { 60, -20, 40 }, { 60, 60, 40 }, { 60, 60, -30 }, { 60, -20, -30 } } },
    // forward wall
    { { { 0, 0 }, { 0, 1 }, { 1, 1 }, { 1, 0 } },
      { { -60, -20, 40 }, { -60, 60, 40 }, { 60, 60, 40 }, { 60, -20, 40 } } },
    // sky
    { { { 0, 0 }, { 0, 1 }, { 1, 1 }, { 1, 0 } },
      { { -60, 60, 40 }, { -60, 60, -30 }, { 60, 60, -30 }, { 60, 60, 40 } } },
    // floor
    { { { -5, -5 }, { -5, 0 }, { 0, 0 }, { 0, -5 } },
      { { -60, -20, 40 }, { -60, -20, -30 }, { 60, -20, -30 }, { 60, -20, 40 } } },
    // sign board
    { { { 0, 0 }, { 0, 1 }, { 1, 1 }, { 1, 0 } },
      { { 57, -7, 30 }, { 57, 0, 30 }, { 50, 0, 37 }, { 50, -7, 37 } } },
};

const int surfaceCount = sizeof surfaces / sizeof surfaces[0];
static_assert(surfaceCount == scenePictureCount, "one surface for each picture");

GLuint surfaceTextures[surfaceCount]; // 0 until the surface's file has been read

// Leaves the surface's texture bound and named in slot 0, reading its file
// only the first time.
void bindSurfaceTexture(int i)
{
    if (surfaceTextures[i] == 0) {
        const std::string file = std::string(scenePictureDir) + "/" + scenePictures[i].file;
        makeTexture(textureNames, file.c_str(), 0);
        surfaceTextures[i] = textureNames[0];
        return;
    }
    textureNames[0] = surfaceTextures[i];
    glBindTexture(GL_TEXTURE_2D, textureNames[0]);
}

// White ambient and emission light the picture to full brightness whatever
// the lights do; both go back to black so nothing drawn later glows.
void drawSurface(int i)
{
    const GLfloat no_mat[]       = { 0.0f, 0.0f, 0.0f, 1.0f };
    const GLfloat mat_specular[] = { 1.0f, 1.0f, 1.0f, 1.0f };

    const Surface& surface = surfaces[i];

    // clang-format off
    glPushMatrix();
        bindSurfaceTexture(i);
        glEnable(GL_TEXTURE_2D);
        // Sampled from the full-size image: no filtering, no mipmaps.
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glMaterialfv(GL_FRONT, GL_AMBIENT, mat_specular);
        glMaterialfv(GL_FRONT, GL_EMISSION, mat_specular);
        glBegin(GL_POLYGON);
        for (int c = 0; c < 4; ++c) {
            glTexCoord2fv(surface.texCoords[c]);
            glVertex3fv(surface.corners[c]);
        }
        glEnd();
        glDisable(GL_TEXTURE_2D);
        glMaterialfv(GL_FRONT, GL_AMBIENT, no_mat);
        glMaterialfv(GL_FRONT, GL_EMISSION, no_mat);
    glPopMatrix();
    // clang-format on
}

} // namespace

void drawTexturedSurfaces()
{
    for (int i = 0; i < surfaceCount; ++i)
        drawSurface(i);
}

void forgetSurfaceTextures()
{
    // Not deleted: the benchmark measures what keeping every one of them costs.
    for (GLuint& name : surfaceTextures)
        name = 0;
}
