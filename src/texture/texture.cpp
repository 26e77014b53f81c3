// SPDX-License-Identifier: MIT
// Texture creation: a TGA file becomes a bound, mipmapped texture. A file
// that cannot be made into one is fatal: the viewer has nothing to show
// without its pictures.
#include "texture.h"

#include "texture_rules.h"
#include "tga_image.h"

#include <GL/glu.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <unistd.h>

GLuint textureNames[1];

namespace {

// One line on standard error naming the file and why, then the end: the
// viewer has nothing to show without the picture.
[[noreturn]] void failTexture(const char* path, const std::string& reason)
{
    std::fprintf(stderr, "tollmere: %s: %s\n", path, reason.c_str());
    std::exit(1);
}

// Why the reader refused path. A picture that is not there gets a hint where
// it was looked for and, in a source checkout, how to make it; one that is
// there but cannot be opened has its own reason, and no hint. An installed
// viewer has no scripts/run, so the hint names it only where there is one.
std::string readerReason(const TgaFailure& failure)
{
    std::string reason = describeTgaFailure(failure);
    if (failure.error != TgaError::cannotOpen || failure.osError != ENOENT)
        return reason;
    char cwd[4096];
    reason += "; data/ is looked up under the working directory";
    if (getcwd(cwd, sizeof cwd))
        reason += std::string(" (") + cwd + ")";
    if (access("scripts/run", X_OK) == 0)
        reason += ", and scripts/run makes the missing default pictures and starts the viewer";
    return reason;
}

// Binds a new texture named in names[slot] and fills its whole mipmap chain;
// GLU's error code, or 0.
GLint buildTexture(GLuint* names, int slot, const TgaImage& image)
{
    glGenTextures(1, &names[slot]);
    glBindTexture(GL_TEXTURE_2D, names[slot]);
    const GLenum format = image.channels == 4 ? GL_RGBA : GL_RGB;

    // Rows are packed without padding: a 3-channel row of odd width is not a
    // multiple of the default 4-byte alignment.
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const GLint error = gluBuild2DMipmaps(GL_TEXTURE_2D, image.channels, image.sizeX, image.sizeY, format,
                                          GL_UNSIGNED_BYTE, image.imageData.data());
    glPopClientAttrib();

    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    return error;
}

std::string gluReason(GLint error, const TgaImage& image)
{
    const GLubyte* text = gluErrorString(static_cast<GLenum>(error));
    return textureRefusal(image.sizeX, image.sizeY, reinterpret_cast<const char*>(text), error);
}

// The reader's limits, with no side longer than this GL takes.
TgaLimits textureLimits()
{
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    return textureReadLimits(maxSize);
}

} // namespace

// The image lives only for this call: it is released as soon as the texture is built.
void makeTexture(GLuint* names, const char* path, int slot)
{
    if (!path)
        return;

    TgaFailure failure;
    const std::optional<TgaImage> image = loadTgaImage(path, &failure, textureLimits());
    if (!image)
        failTexture(path, readerReason(failure));
    if (const GLint error = buildTexture(names, slot, *image))
        failTexture(path, gluReason(error, *image));
}
