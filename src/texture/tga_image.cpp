// Reads true-colour TGA files: image type 2 (uncompressed) and 10 (run-length
// packets), 16, 24 or 32 bits per pixel, into packed RGB or RGBA rows with the
// bottom row first. Nothing here keeps state between calls.
#include "tga_image.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <stdio.h> // fileno, which <cstdio> need not declare
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

const int headerBytes             = 18;
const unsigned char topLeftOrigin = 0x20; // image descriptor: rows stored top row first

// A header can claim 4 x 65535 x 65535 bytes (17 GB) in a file of 18 bytes,
// and the record is allocated and zeroed whole before decoding. Besides the
// limits on pixels and sides (TgaLimits), before allocating we work out the
// most pixel bytes the rest of the file could possibly decode to (every byte
// a pixel byte, or every packet a 128-pixel run); pixels the file cannot
// supply are filled with zeros only while they come to at most this many
// bytes (a whole 4096 x 4096 RGBA picture), else the file is refused. So a
// load never touches more than this plus 128 times the file's size, and never
// more than the pixel limit allows. Fuzz builds use 64 KiB instead, so the
// same rule is exercised without each run zeroing megabytes.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
const std::uint64_t maxUnbackedBytes = 64u << 10;
#else
const std::uint64_t maxUnbackedBytes = 64u << 20;
#endif

struct TgaHeader {
    unsigned char length;        // identification field length
    unsigned char colourMapType; // 1: a colour map lies before the pixels
    unsigned char imageType;
    unsigned mapLength; // colour-map entries
    unsigned char mapEntryBits;
    unsigned width;
    unsigned height;
    unsigned char bits; // pixel depth
    unsigned char descriptor;
};

bool readHeader(std::FILE* file, TgaHeader& header)
{
    unsigned char h[headerBytes];
    if (std::fread(h, 1, sizeof h, file) != sizeof h)
        return false;
    header.length        = h[0];
    header.colourMapType = h[1];
    header.imageType     = h[2];
    header.mapLength     = h[5] | (h[6] << 8u);
    header.mapEntryBits  = h[7];
    header.width         = h[12] | (h[13] << 8u);
    header.height        = h[14] | (h[15] << 8u);
    header.bits          = h[16];
    header.descriptor    = h[17];
    return true;
}

bool isTrueColour(const TgaHeader& header)
{
    return (header.imageType == 2 || header.imageType == 10)
           && (header.bits == 16 || header.bits == 24 || header.bits == 32);
}

// Skips the identification field and any colour map: the pixels follow them.
bool seekToPixels(std::FILE* file, const TgaHeader& header)
{
    long skip = header.length;
    if (header.colourMapType == 1)
        skip += static_cast<long>(header.mapLength) * ((header.mapEntryBits + 7) / 8);
    return std::fseek(file, skip, SEEK_CUR) == 0;
}

// Bytes from the current position to the end of the file.
bool bytesLeft(std::FILE* file, std::uint64_t& left)
{
    const long here = std::ftell(file);
    if (here < 0 || std::fseek(file, 0, SEEK_END) != 0)
        return false;
    const long end = std::ftell(file);
    if (end < 0 || std::fseek(file, here, SEEK_SET) != 0)
        return false;
    left = end > here ? static_cast<std::uint64_t>(end - here) : 0;
    return true;
}

// Whether the zeros standing in for pixels the file cannot supply stay within
// maxUnbackedBytes (see there).
bool claimIsBacked(const TgaHeader& header, int channels, std::uint64_t size, std::uint64_t fileLeft)
{
    const std::uint64_t filePixel = header.bits / 8u;
    fileLeft = std::min(fileLeft, size); // enough to back any claim; keeps the sums small
    const std::uint64_t mostPixels =
        header.imageType == 10 ? fileLeft / (1 + filePixel) * 128 : fileLeft / filePixel;
    const std::uint64_t backed = mostPixels * static_cast<std::uint64_t>(channels);
    return size <= backed || size - backed <= maxUnbackedBytes;
}

// One file pixel (B, G, R(, A), or a little-endian 5-5-5 value) as R, G, B(, A).
void storePixel(const unsigned char* in, int bits, unsigned char* out)
{
    if (bits == 16) {
        const std::uint16_t pixels = static_cast<std::uint16_t>(in[0] | (in[1] << 8u));
        out[0]                     = static_cast<unsigned char>(((pixels >> 10) & 0x1F) << 3);
        out[1]                     = static_cast<unsigned char>(((pixels >> 5) & 0x1F) << 3);
        out[2]                     = static_cast<unsigned char>((pixels & 0x1F) << 3);
        return;
    }
    out[0] = in[2];
    out[1] = in[1];
    out[2] = in[0];
    if (bits == 32)
        out[3] = in[3];
}

// Uncompressed pixels, a whole row per read; stops at the first short row,
// whose whole pixels are kept.
void readRows(std::FILE* file, const TgaHeader& header, int channels, unsigned char* out)
{
    const size_t filePixel = header.bits / 8u;
    const size_t rowBytes  = filePixel * header.width;
    std::vector<unsigned char> row(rowBytes);
    for (unsigned y = 0; y < header.height; ++y) {
        const size_t got = std::fread(row.data(), 1, rowBytes, file);
        for (size_t x = 0; x < got / filePixel; ++x, out += channels)
            storePixel(&row[x * filePixel], header.bits, out);
        if (got < rowBytes)
            return;
    }
}

// Run-length packets: a header byte, then one pixel repeated (top bit set) or
// that many raw pixels. Packets may cross rows; one that runs past the last
// pixel is cut short, and decoding stops at the first short read.
void readPackets(std::FILE* file, const TgaHeader& header, int channels, unsigned char* out)
{
    const size_t filePixel = header.bits / 8u;
    unsigned char packet[128 * 4];
    std::uint64_t left = static_cast<std::uint64_t>(header.width) * header.height;
    while (left > 0) {
        const int rleID = std::fgetc(file);
        if (rleID == EOF)
            return;
        const bool run = rleID & 0x80;
        size_t n       = (rleID & 0x7F) + 1u;
        if (n > left)
            n = left;
        const size_t want = run ? filePixel : n * filePixel;
        const size_t got  = std::fread(packet, 1, want, file);
        if (run) {
            if (got < want)
                return;
            for (size_t i = 0; i < n; ++i, out += channels)
                storePixel(packet, header.bits, out);
        } else {
            for (size_t i = 0; i < got / filePixel; ++i, out += channels)
                storePixel(&packet[i * filePixel], header.bits, out);
            if (got < want)
                return;
        }
        left -= n;
    }
}

// Swaps rows end for end, so a file stored top row first ends bottom row first.
void flipRows(std::vector<unsigned char>& data, size_t rowBytes, unsigned rows)
{
    for (size_t top = 0; top < rows / 2; ++top) {
        unsigned char* topRow = data.data() + top * rowBytes;
        std::swap_ranges(topRow, topRow + rowBytes, data.data() + (rows - 1 - top) * rowBytes);
    }
}

bool withinLimits(const TgaHeader& header, const TgaLimits& limits)
{
    return header.width <= limits.maxSide && header.height <= limits.maxSide
           && static_cast<std::uint64_t>(header.width) * header.height <= limits.maxPixels;
}

std::optional<TgaImage> refuse(TgaFailure& failure, TgaError error, int osError = 0)
{
    failure.error   = error;
    failure.osError = osError;
    return std::nullopt;
}

// Header, limits, then pixels: none and why as soon as one fails.
std::optional<TgaImage> decode(std::FILE* file, const TgaLimits& limits, TgaFailure& failure)
{
    TgaHeader header;
    if (!readHeader(file, header) || !isTrueColour(header))
        return refuse(failure, TgaError::notAKindRead);
    failure.width  = header.width;
    failure.height = header.height;

    const int channels       = header.bits == 32 ? 4 : 3;
    const std::uint64_t size = static_cast<std::uint64_t>(channels) * header.width * header.height;
    if (!withinLimits(header, limits) || size > PTRDIFF_MAX /* a vector's limit on 32-bit systems */)
        return refuse(failure, TgaError::tooLarge);
    std::uint64_t fileLeft = 0;
    if (!seekToPixels(file, header) || !bytesLeft(file, fileLeft))
        return refuse(failure, TgaError::cannotRead, errno);
    if (!claimIsBacked(header, channels, size, fileLeft))
        return refuse(failure, TgaError::tooShort);

    TgaImage image{ channels, static_cast<int>(header.width), static_cast<int>(header.height), {} };
    image.imageData.resize(static_cast<size_t>(size)); // zeros for pixels the file lacks
    if (header.imageType == 10)
        readPackets(file, header, channels, image.imageData.data());
    else
        readRows(file, header, channels, image.imageData.data());
    if (header.descriptor & topLeftOrigin)
        flipRows(image.imageData, static_cast<size_t>(channels) * header.width, header.height);
    return image;
}

// A directory or an empty file, told apart from a file of another kind.
TgaError kindOfFile(std::FILE* file)
{
    struct stat info = {};
    if (fstat(fileno(file), &info) != 0)
        return TgaError::none;
    if (S_ISDIR(info.st_mode))
        return TgaError::directory;
    return S_ISREG(info.st_mode) && info.st_size == 0 ? TgaError::empty : TgaError::none;
}

// The image in an open file, or none and why.
std::optional<TgaImage> readFile(std::FILE* file, const TgaLimits& limits, TgaFailure& failure)
{
    failure.error = kindOfFile(file);
    if (failure.error != TgaError::none)
        return std::nullopt;
    try {
        return decode(file, limits, failure);
    } catch (const std::bad_alloc&) {
        // an image too big for memory is refused like any bad file
        return refuse(failure, TgaError::outOfMemory);
    }
}

} // namespace

std::optional<TgaImage> loadTgaImage(const char* path, TgaFailure* failure, const TgaLimits& limits)
{
    TgaFailure why;
    why.limits = limits;
    std::optional<TgaImage> image;
    if (std::FILE* file = std::fopen(path, "rb")) {
        image = readFile(file, limits, why);
        std::fclose(file);
    } else {
        why.error   = TgaError::cannotOpen;
        why.osError = errno;
        std::fputs("\nUnable to load TGA File!\n", stdout);
    }
    if (failure)
        *failure = why;
    return image;
}

namespace {

std::string osReason(int osError)
{
    return osError ? std::strerror(osError) : "unknown reason";
}

std::string sizeText(const TgaFailure& failure)
{
    return std::to_string(failure.width) + " x " + std::to_string(failure.height) + " pixels";
}

std::string limitText(const TgaLimits& limits)
{
    std::string text = "the limit is " + std::to_string(limits.maxPixels) + " pixels";
    if (limits.maxPixels == tgaMaxPixels)
        text += " (8192 x 8192)";
    return text + " and " + std::to_string(limits.maxSide) + " on a side";
}

} // namespace

std::string describeTgaFailure(const TgaFailure& failure)
{
    switch (failure.error) {
    case TgaError::none:
        return "read";
    case TgaError::cannotOpen:
        return "cannot be opened (" + osReason(failure.osError) + ")";
    case TgaError::cannotRead:
        return "cannot be read (" + osReason(failure.osError) + ")";
    case TgaError::directory:
        return "is a directory, not a picture";
    case TgaError::empty:
        return "is an empty file, not a picture";
    case TgaError::notAKindRead:
        return "not a kind of TGA file this viewer reads (it reads 16-bit, and 24- or 32-bit true "
               "colour, uncompressed or run-length: image types 2 and 10)";
    case TgaError::tooLarge:
        return "too large: " + sizeText(failure) + "; " + limitText(failure.limits);
    case TgaError::tooShort:
        return "too short: the file ends long before its " + sizeText(failure);
    case TgaError::outOfMemory:
        return "too large for the memory available: " + sizeText(failure);
    }
    return "unknown failure";
}
