#include "rgb_image.h"

#include <stb/stb_image.h>
#include <stb/stb_image_write.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Every byte, or false with errno set (a full disk shows here, or at close).
bool writeAll(int fd, const unsigned char* bytes, size_t size)
{
    while (size > 0) {
        const ssize_t n = write(fd, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

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
    std::vector<unsigned char> png; // made in memory first, so every write to the file is checked here
    if (!stbi_write_png_to_func(appendBytes, &png, picture.width, picture.height, 3, picture.rgb.data(),
                                picture.width * 3)) {
        errno = ENOMEM;
        return false;
    }
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    struct stat info   = {};
    const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    bool written       = writeAll(fd, png.data(), png.size());
    int error          = errno;
    if (close(fd) != 0 && written) {
        written = false;
        error   = errno;
    }
    if (!written && regular) // a partial PNG is worse than none; a device such as /dev/full stays
        unlink(path.c_str());
    errno = written ? 0 : error;
    return written;
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
