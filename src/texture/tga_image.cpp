// SPDX-License-Identifier: MIT
// Reads true-colour TGA files: image type 2 (uncompressed) and 10 (run-length
// packets), 16, 24 or 32 bits per pixel, into packed RGB or RGBA rows, bottom
// row first and each row left to right, whichever way round the file stores
// them. When the caller asks for a side to fit, the rows go through the
// scale-down sink (tga_scale.cpp) as they are decoded. Nothing here keeps
// state between calls.
#include "tga_image.h"

#include "tga_scale.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
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

const size_t headerBytes          = 18;
const unsigned char rightToLeft   = 0x10; // image descriptor: each row stored right to left
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

// The bytes of the header read: all 18 unless the file ends inside it.
size_t readHeader(std::FILE* file, TgaHeader& header)
{
    unsigned char h[headerBytes];
    const size_t got = std::fread(h, 1, sizeof h, file);
    if (got != sizeof h)
        return got;
    header.length        = h[0];
    header.colourMapType = h[1];
    header.imageType     = h[2];
    header.mapLength     = h[5] | (h[6] << 8u);
    header.mapEntryBits  = h[7];
    header.width         = h[12] | (h[13] << 8u);
    header.height        = h[14] | (h[15] << 8u);
    header.bits          = h[16];
    header.descriptor    = h[17];
    return got;
}

bool isTrueColour(const TgaHeader& header)
{
    return (header.imageType == 2 || header.imageType == 10)
           && (header.bits == 16 || header.bits == 24 || header.bits == 32);
}

// The whole factor a picture is scaled down by so that no side is longer
// than fitSide; 1 when it fits already.
unsigned scaleFactor(const TgaHeader& header, unsigned fitSide)
{
    const unsigned longest = std::max(header.width, header.height);
    return fitSide == 0 || longest <= fitSide ? 1 : (longest + fitSide - 1) / fitSide;
}

bool withinLimits(const TgaHeader& header, const TgaLimits& limits)
{
    return header.width <= limits.maxSide && header.height <= limits.maxSide
           && static_cast<std::uint64_t>(header.width) * header.height <= limits.maxPixels;
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

// Uncompressed pixels of one row in one read; the whole pixels placed.
size_t readRow(std::FILE* file, const TgaHeader& header, int channels, std::vector<unsigned char>& fileRow,
               unsigned char* out)
{
    const size_t filePixel = header.bits / 8u;
    const size_t got       = std::fread(fileRow.data(), 1, fileRow.size(), file);
    for (size_t x = 0; x < got / filePixel; ++x, out += channels)
        storePixel(&fileRow[x * filePixel], header.bits, out);
    return got / filePixel;
}

// The file's bytes, a large block per read: a packet is a few bytes, and a
// library call for each would cost more than decoding it.
struct ByteReader {
    std::FILE* file = nullptr;
    std::vector<unsigned char> buffer; // 64 KiB, for run-length files
    size_t at  = 0;                    // the next byte not taken
    size_t end = 0;                    // the end of the bytes read
};

// The next n bytes (n at most the buffer's size); *got says how many there
// are, fewer than n only at the end of the file.
const unsigned char* take(ByteReader& reader, size_t n, size_t* got)
{
    if (reader.end - reader.at < n) {
        std::memmove(reader.buffer.data(), reader.buffer.data() + reader.at, reader.end - reader.at);
        reader.end -= reader.at;
        reader.at = 0;
        reader.end +=
            std::fread(reader.buffer.data() + reader.end, 1, reader.buffer.size() - reader.end, reader.file);
    }
    const unsigned char* bytes = reader.buffer.data() + reader.at;
    *got                       = std::min(n, reader.end - reader.at);
    reader.at += *got;
    return bytes;
}

// A run-length packet being placed; packets may cross rows.
struct Packet {
    bool run            = false;
    size_t left         = 0;  // pixels still to place
    size_t next         = 0;  // raw: the next of its file pixels
    size_t whole        = 0;  // raw: whole file pixels read (fewer than the count at the end of the file)
    std::uint64_t after = 0;  // pixels of the image after this packet
    unsigned char pixel[4]{}; // run: the pixel, decoded
    const unsigned char* filePixels{}; // as the file holds them, in the reader's buffer
};

// The next run-length packet: a header byte, then one pixel repeated (top
// bit set) or that many raw pixels. One that runs past the last pixel is cut
// short. False when the file ends before any pixel of it.
bool startPacket(ByteReader& reader, const TgaHeader& header, Packet& packet)
{
    const size_t filePixel     = header.bits / 8u;
    size_t got                 = 0;
    const unsigned char* rleID = take(reader, 1, &got);
    if (got == 0)
        return false;
    packet.run  = *rleID & 0x80;
    packet.left = std::min<std::uint64_t>((*rleID & 0x7Fu) + 1u, packet.after);
    packet.after -= packet.left;
    packet.next       = 0;
    packet.filePixels = take(reader, packet.run ? filePixel : packet.left * filePixel, &got);
    if (packet.run && got < filePixel)
        return false;
    if (packet.run)
        storePixel(packet.filePixels, header.bits, packet.pixel);
    packet.whole = packet.run ? packet.left : got / filePixel;
    return true;
}

// count pixels of the packet from where it stands.
void placePixels(const Packet& packet, int bits, int channels, size_t count, unsigned char* out)
{
    if (packet.run && channels == 4)
        for (size_t i = 0; i < count; ++i, out += 4)
            std::memcpy(out, packet.pixel, 4);
    else if (packet.run)
        for (size_t i = 0; i < count; ++i, out += 3)
            std::memcpy(out, packet.pixel, 3);
    else
        for (size_t i = 0; i < count; ++i, out += channels)
            storePixel(packet.filePixels + (packet.next + i) * (bits / 8u), bits, out);
}

// Run-length packets for one row; packets may cross rows. The pixels
// placed: fewer than the row's at the first short read.
size_t readPacketRow(ByteReader& reader, const TgaHeader& header, int channels, Packet& packet,
                     unsigned char* out)
{
    size_t x = 0;
    while (x < header.width) {
        if (packet.left == 0 && !startPacket(reader, header, packet))
            return x;
        const size_t wanted = std::min<size_t>(packet.left, header.width - x);
        const size_t count  = packet.run ? wanted : std::min(wanted, packet.whole - packet.next);
        placePixels(packet, header.bits, channels, count, out + x * channels);
        x += count;
        packet.next += count;
        packet.left -= count;
        if (count < wanted)
            return x;
    }
    return x;
}

// Every row in file order into the sink; decoding stops at the first short
// read, and the pixels after it are zeros.
void readPixels(std::FILE* file, const TgaHeader& header, int channels, RowSink& sink)
{
    Packet packet;
    packet.after = static_cast<std::uint64_t>(header.width) * header.height;
    ByteReader reader;
    reader.file = file;
    if (header.imageType == 10)
        reader.buffer.resize(size_t{ 64 } << 10);
    std::vector<unsigned char> fileRow(header.imageType == 10 ? 0 : header.bits / 8u * header.width);
    unsigned y    = 0;
    size_t placed = header.width;
    while (y < header.height && placed == header.width) {
        unsigned char* row = rowToFill(sink, y++);
        placed             = header.imageType == 10 ? readPacketRow(reader, header, channels, packet, row)
                                                    : readRow(file, header, channels, fileRow, row);
        rowDone(sink, row, placed);
    }
    for (; y < header.height; ++y)
        rowDone(sink, nullptr, 0);
    endRows(sink);
}

// Turns the decoded picture the right way round: rows stored top row first
// are swapped end for end, and rows stored right to left are reversed, so
// that the image is bottom row first and left to right, as GL takes it.
void turnRightWayRound(TgaImage& image, unsigned char descriptor)
{
    const auto pixel    = static_cast<size_t>(image.channels);
    const size_t width  = static_cast<size_t>(image.sizeX);
    const size_t height = static_cast<size_t>(image.sizeY);
    unsigned char* data = image.imageData.data();
    if (descriptor & topLeftOrigin)
        for (size_t top = 0; top < height / 2; ++top)
            std::swap_ranges(data + top * width * pixel, data + (top + 1) * width * pixel,
                             data + (height - 1 - top) * width * pixel);
    if (descriptor & rightToLeft)
        for (size_t y = 0; y < height; ++y) {
            unsigned char* row = data + y * width * pixel;
            for (size_t left = 0; left < width / 2; ++left)
                std::swap_ranges(row + left * pixel, row + (left + 1) * pixel,
                                 row + (width - 1 - left) * pixel);
        }
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
    TgaHeader header{};
    const size_t got = readHeader(file, header);
    if (got < headerBytes) {
        failure.fileBytes = static_cast<unsigned>(got);
        return refuse(failure, TgaError::headerCutShort);
    }
    if (!isTrueColour(header))
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

    const unsigned factor = scaleFactor(header, limits.fitSide);
    const unsigned width  = (header.width + factor - 1) / factor;
    const unsigned height = (header.height + factor - 1) / factor;
    TgaImage image{ channels, static_cast<int>(width), static_cast<int>(height), {} };
    image.imageData.resize(static_cast<size_t>(channels) * width * height); // zeros for pixels the file lacks
    RowSink sink;
    startRows(sink, image.imageData.data(), channels, header.width, factor);
    readPixels(file, header, channels, sink);
    turnRightWayRound(image, header.descriptor);
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

// --- Failure reasons ---

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
    case TgaError::headerCutShort:
        return "too short: the file ends after " + std::to_string(failure.fileBytes) + " byte"
               + (failure.fileBytes == 1 ? "" : "s") + ", inside its 18-byte header";
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
