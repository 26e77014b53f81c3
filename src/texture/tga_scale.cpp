// SPDX-License-Identifier: MIT
// Scaling a TGA picture down while it is read: each band of `factor` file
// rows is added up column by column, then each block of `factor` columns of
// the band becomes one pixel, the rounded mean of the pixels it holds (fewer
// at the right edge and in the last band).
#include "tga_scale.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Adds a file row into the band's column sums; the band's first row sets
// them instead, which spares clearing them. The inner loop of a fixed length
// lets the compiler add many bytes at a time.
void addRow(RowSink& sink, const unsigned char* in)
{
    std::uint32_t* sum = sink.columnSums.data(); // at most 65535 x 255
    const size_t n     = sink.columnSums.size();
    const bool first   = sink.rowsInBand == 0;
    size_t i           = 0;
    for (; i + 16 <= n; i += 16) {
        unsigned char bytes[16]; // a copy the sums cannot alias
        std::memcpy(bytes, in + i, sizeof bytes);
        if (first)
            for (size_t k = 0; k < 16; ++k)
                sum[i + k] = bytes[k];
        else
            for (size_t k = 0; k < 16; ++k)
                sum[i + k] += bytes[k];
    }
    for (; i < n; ++i)
        sum[i] = first ? in[i] : sum[i] + in[i];
}

// Rounded means by a multiplication in place of a division per pixel and
// channel, which would cost more than all the rest: for n * count < 2^40,
// floor(n / count) is (n * ceil(2^40 / count)) >> 40 exactly. Counts of 2^16
// or more (scaling by 256 or more) divide.
struct Divider {
    std::uint64_t count;
    std::uint64_t multiplier; // 0: divide

    explicit Divider(std::uint64_t blockPixels)
        : count(blockPixels),
          multiplier(blockPixels < (1u << 16) ? ((std::uint64_t{ 1 } << 40) + blockPixels - 1) / blockPixels
                                              : 0)
    {
    }

    unsigned char mean(std::uint64_t sum) const
    {
        const std::uint64_t n = sum + count / 2;
        return static_cast<unsigned char>(multiplier ? (n * multiplier) >> 40 : n / count);
    }
};

// The band's means as the next image row. Sum is 32 bits where a block's sum
// fits, the quicker.
template <int channels, typename Sum> void endBandOf(RowSink& sink)
{
    unsigned char* out          = sink.image + static_cast<size_t>(sink.bandsDone) * sink.outWidth * channels;
    const std::uint32_t* column = sink.columnSums.data();
    const Divider whole(std::uint64_t{ sink.factor } * sink.rowsInBand);
    const unsigned lastColumns = sink.outWidth > 0 ? sink.width - (sink.outWidth - 1) * sink.factor : 1;
    const Divider edge(std::uint64_t{ lastColumns } * sink.rowsInBand);
    for (unsigned x = 0; x < sink.outWidth; ++x) {
        const unsigned columns = std::min(sink.factor, sink.width - x * sink.factor);
        Sum sum[channels]      = {};
        for (unsigned i = 0; i < columns; ++i, column += channels)
            for (int c = 0; c < channels; ++c)
                sum[c] += column[c];
        const Divider& divider = columns == sink.factor ? whole : edge;
        for (int c = 0; c < channels; ++c)
            *out++ = divider.mean(sum[c]);
    }
    sink.rowsInBand = 0;
    ++sink.bandsDone;
}

void endBand(RowSink& sink)
{
    const bool fits32 = static_cast<std::uint64_t>(sink.factor) * sink.rowsInBand * 255 <= UINT32_MAX;
    if (sink.channels == 4)
        fits32 ? endBandOf<4, std::uint32_t>(sink) : endBandOf<4, std::uint64_t>(sink);
    else
        fits32 ? endBandOf<3, std::uint32_t>(sink) : endBandOf<3, std::uint64_t>(sink);
}

} // namespace

void startRows(RowSink& sink, unsigned char* image, int channels, unsigned width, unsigned factor)
{
    sink.image    = image;
    sink.channels = channels;
    sink.width    = width;
    sink.factor   = factor;
    sink.outWidth = (width + factor - 1) / factor;
    if (factor > 1) {
        sink.row.resize(static_cast<size_t>(channels) * width);
        sink.columnSums.resize(static_cast<size_t>(channels) * width);
    }
}

// cppcheck-suppress constParameterReference ; the caller writes the row returned (cppcheck 2.17)
unsigned char* rowToFill(RowSink& sink, unsigned y)
{
    if (sink.factor == 1)
        return sink.image + static_cast<size_t>(y) * sink.width * sink.channels;
    return sink.row.data();
}

void rowDone(RowSink& sink, unsigned char* row, size_t placed)
{
    if (sink.factor == 1) // the image's own row, zeros where nothing was placed
        return;
    if (row) {
        std::fill(row + placed * sink.channels, row + static_cast<size_t>(sink.width) * sink.channels, 0);
        addRow(sink, row);
    } else if (sink.rowsInBand == 0) {
        std::fill(sink.columnSums.begin(), sink.columnSums.end(), 0);
    }
    if (++sink.rowsInBand == sink.factor)
        endBand(sink);
}

void endRows(RowSink& sink)
{
    if (sink.rowsInBand > 0)
        endBand(sink);
}
