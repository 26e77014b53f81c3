// SPDX-License-Identifier: MIT
// Where the TGA reader's decoded rows go: straight into the image, or, for a
// picture scaled down as it is read, added up factor x factor pixels at a
// time into block means, so the full-size picture never stands in memory.
// Used by tga_image.cpp only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct RowSink {
    unsigned char* image = nullptr; // the image's pixels, zeros to start with
    int channels         = 3;
    unsigned width       = 0;              // file pixels in a row
    unsigned factor      = 1;              // 1: rows are the image's own
    unsigned outWidth    = 0;              // pixels in an image row
    std::vector<unsigned char> row;        // the file row being decoded, when scaling
    std::vector<std::uint32_t> columnSums; // per file pixel and channel of the band being added up
    unsigned rowsInBand = 0;
    unsigned bandsDone  = 0;
};

// File rows of `width` pixels into image, whose rows are width / factor
// pixels, rounded up. May throw std::bad_alloc.
void startRows(RowSink& sink, unsigned char* image, int channels, unsigned width, unsigned factor);

// Where file row y is to be decoded.
unsigned char* rowToFill(RowSink& sink, unsigned y);

// File row `row` has been decoded up to `placed` pixels, the rest standing
// for zeros; null stands for a row of zeros.
void rowDone(RowSink& sink, unsigned char* row, size_t placed);

// The last rows are in: a band they leave part-filled becomes its row.
void endRows(RowSink& sink);
