// Texture creation: a TGA file becomes a bound, mipmapped texture. A file
// that cannot be made into one is fatal: the viewer has nothing to show
// without its pictures.
#include "texture.h"

#include "tga_image.h"

#include <GL/glu.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

GLuint textureNames[1];

namespace {

// The reader says only that it failed, and prints its own message when the
// file cannot be opened; tell the user which file it was and, if we can, why.
[[noreturn]] void failTexture(const char* path)
{
    errno = 0;
    if (std::FILE* file = std::fopen(path, "rb")) {
        std::fclose(file);
        std::fprintf(stderr,
                     "tollmere: %s: not a kind of TGA file this viewer reads "
                     "(16-bit, or 24- or 32-bit true colour, plain or run-length)\n",
                     path);
    } else {
        std::fprintf(stderr, "tollmere: %s: cannot be opened (%s)\n", path,
                     errno ? std::strerror(errno) : "unknown reason");
    }
    std::exit(1);
}

// Binds a new texture named in names[slot] and fills its whole mipmap chain.
void buildTexture(GLuint* names, int slot, const TgaImage& image)
{
    glGenTextures(1, &names[slot]);
    glBindTexture(GL_TEXTURE_2D, names[slot]);
    const GLenum format = image.channels == 4 ? GL_RGBA : GL_RGB;

    // Rows are packed without padding: a 3-channel row of odd width is not a
    // multiple of the default 4-byte alignment.
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gluBuild2DMipmaps(GL_TEXTURE_2D, image.channels, image.sizeX, image.sizeY, format, GL_UNSIGNED_BYTE,
                      image.imageData.data());
    glPopClientAttrib();

    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
}

} // namespace

// The image lives only for this call: it is released as soon as the texture is built.
void makeTexture(GLuint* names, const char* path, int slot)
{
    if (!path)
        return;

    const std::optional<TgaImage> image = loadTgaImage(path);
    if (!image)
        failTexture(path);
    buildTexture(names, slot, *image);
}
