// SPDX-License-Identifier: MIT
#include "tga_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

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

void put16(std::vector<unsigned char>& out, unsigned value)
{
    out.push_back(static_cast<unsigned char>(value & 0xFF));
    out.push_back(static_cast<unsigned char>((value >> 8) & 0xFF));
}

// One pixel as the file stores it: B, G, R(, A), or a little-endian 5-5-5 value.
struct FilePixel {
    unsigned char bytes[4];
    size_t size;

    bool operator==(const FilePixel& other) const
    {
        return std::equal(bytes, bytes + size, other.bytes);
    }
    bool operator!=(const FilePixel& other) const
    {
        return !(*this == other);
    }
};

FilePixel filePixel(const unsigned char* p, int channels, int bits)
{
    if (bits == 16) {
        const unsigned v = ((p[0] >> 3u) << 10u) | ((p[1] >> 3u) << 5u) | (p[2] >> 3u);
        return { { static_cast<unsigned char>(v & 0xFF), static_cast<unsigned char>(v >> 8) }, 2 };
    }
    return { { p[2], p[1], p[0], static_cast<unsigned char>(channels == 4 ? p[3] : 255) },
             bits == 32 ? 4u : 3u };
}

void append(std::vector<unsigned char>& out, const FilePixel& pixel)
{
    out.insert(out.end(), pixel.bytes, pixel.bytes + pixel.size);
}

// Run-length packets within one row: runs of equal pixels, raw stretches between.
void appendRunLengthRow(std::vector<unsigned char>& out, const std::vector<FilePixel>& row)
{
    size_t i = 0;
    while (i < row.size()) {
        size_t run = 1;
        while (i + run < row.size() && run < 128 && row[i + run] == row[i])
            ++run;
        if (run > 1) {
            out.push_back(static_cast<unsigned char>(127 + run));
            append(out, row[i]);
            i += run;
            continue;
        }
        size_t raw = 1;
        while (i + raw < row.size() && raw < 128 && row[i + raw] != row[i + raw - 1])
            ++raw;
        if (i + raw < row.size() && raw > 1)
            --raw; // leave the last pixel to start the run it belongs to
        out.push_back(static_cast<unsigned char>(raw - 1));
        for (size_t k = 0; k < raw; ++k)
            append(out, row[i + k]);
        i += raw;
    }
}

} // namespace

std::vector<unsigned char> encodeTga(int width, int height, int channels,
                                     const std::vector<unsigned char>& pixels, const TgaWriteOptions& options)
{
    if (width < 0 || width > 65535 || height < 0 || height > 65535 || (channels != 3 && channels != 4)
        || (options.bits != 16 && options.bits != 24 && options.bits != 32) || options.id.size() > 255
        || pixels.size() != static_cast<size_t>(width) * height * channels || options.colourMapLength < 0
        || options.colourMapLength > 65535 || options.colourMapEntryBits < 1
        || options.colourMapEntryBits > 255)
        throw std::invalid_argument("encodeTga: unsupported image");

    const bool hasMap              = options.colourMapLength > 0;
    std::vector<unsigned char> out = { static_cast<unsigned char>(options.id.size()),
                                       static_cast<unsigned char>(hasMap ? 1 : 0),
                                       static_cast<unsigned char>(options.runLength ? 10 : 2), 0, 0 };
    put16(out, static_cast<unsigned>(options.colourMapLength));
    out.push_back(static_cast<unsigned char>(hasMap ? options.colourMapEntryBits : 0));
    out.resize(12, 0); // origin
    put16(out, static_cast<unsigned>(width));
    put16(out, static_cast<unsigned>(height));
    out.push_back(static_cast<unsigned char>(options.bits));
    const unsigned alphaBits = options.bits == 32 ? 8u : options.bits == 16 ? 1u : 0u;
    out.push_back(static_cast<unsigned char>(alphaBits | (options.topLeft ? 0x20u : 0u)
                                             | (options.rightToLeft ? 0x10u : 0u)));
    out.insert(out.end(), options.id.begin(), options.id.end());
    const size_t mapBytes =
        static_cast<size_t>(options.colourMapLength) * ((options.colourMapEntryBits + 7) / 8);
    for (size_t i = 0; i < mapBytes; ++i)
        out.push_back(static_cast<unsigned char>(0xC0 + i % 64)); // filler: true-colour readers skip the map

    std::vector<FilePixel> filePixels;
    filePixels.reserve(static_cast<size_t>(width));
    for (int r = 0; r < height; ++r) {
        const int row = options.topLeft ? height - 1 - r : r;
        filePixels.clear();
        for (int i = 0; i < width; ++i) {
            const int x = options.rightToLeft ? width - 1 - i : i;
            filePixels.push_back(filePixel(&pixels[(static_cast<size_t>(row) * width + x) * channels],
                                           channels, options.bits));
        }
        if (options.runLength)
            appendRunLengthRow(out, filePixels);
        else
            for (const FilePixel& p : filePixels)
                append(out, p);
    }
    return out;
}

bool writeFile(const std::string& path, const std::vector<unsigned char>& bytes)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    struct stat info   = {};
    const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    bool written       = writeAll(fd, bytes.data(), bytes.size());
    int error          = errno;
    if (close(fd) != 0 && written) {
        written = false;
        error   = errno;
    }
    if (!written && regular) // a partial file is worse than none; a device such as /dev/full stays
        unlink(path.c_str());
    errno = written ? 0 : error;
    return written;
}
