// libFuzzer target for the TGA reader. The reader takes a path, so each input
// is written to an in-memory file and read back through /proc/self/fd.
#include "tga_image.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const int fd           = memfd_create("tga_fuzz", 0);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        std::abort();

    const auto image = loadTgaImage(path.c_str());
    if (image) {
        const std::uint64_t expected =
            static_cast<std::uint64_t>(image->channels) * image->sizeX * image->sizeY;
        if ((image->channels != 3 && image->channels != 4) || image->imageData.size() != expected)
            std::abort();
    }
    return 0;
}
