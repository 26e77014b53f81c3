// SPDX-License-Identifier: MIT
// libFuzzer target for the TGA reader. The reader takes a path, so each input
// is written to an in-memory file and read back through /proc/self/fd. The
// input's last byte picks small limits as well, so refusals for size are
// reached without huge headers, and a small side to fit, so pictures are
// scaled down.
#include "tga_image.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// Whether what the reader returned and the reason it gave agree.
bool consistent(const std::optional<TgaImage>& image, const TgaFailure& failure, const TgaLimits& limits)
{
    if (!image)
        return failure.error != TgaError::none && !describeTgaFailure(failure).empty();
    const std::uint64_t pixels = static_cast<std::uint64_t>(image->sizeX) * image->sizeY;
    return failure.error == TgaError::none && (image->channels == 3 || image->channels == 4)
           && image->imageData.size() == pixels * image->channels && pixels <= limits.maxPixels
           && static_cast<unsigned>(image->sizeX) <= limits.maxSide
           && static_cast<unsigned>(image->sizeY) <= limits.maxSide
           && (limits.fitSide == 0
               || (static_cast<unsigned>(image->sizeX) <= limits.fitSide
                   && static_cast<unsigned>(image->sizeY) <= limits.fitSide));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const int fd           = memfd_create("tga_fuzz", 0);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        std::abort();

    TgaLimits limits;
    if (size > 0 && data[size - 1] & 1) {
        limits.maxPixels = data[size - 1];
        limits.maxSide   = data[size - 1] / 8u;
    }
    if (size > 0 && data[size - 1] & 2)
        limits.fitSide = data[size - 1] / 16u; // 0 (none) to 15, so most pictures are scaled
    TgaFailure failure;
    const auto image = loadTgaImage(path.c_str(), &failure, limits);
    if (!consistent(image, failure, limits))
        std::abort();
    return 0;
}
