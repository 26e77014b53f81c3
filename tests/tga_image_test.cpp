// SPDX-License-Identifier: MIT
// The TGA reader on hand-made files and files from our own writer.
#include "tga_files.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <tuple>

namespace {

// An 18-byte header, built byte by byte so the tests pin the format rather
// than our writer.
Bytes header(int type, int width, int height, int bits, int descriptor = 0, int idLength = 0)
{
    return { static_cast<unsigned char>(idLength),
             0,
             static_cast<unsigned char>(type),
             0,
             0,
             0,
             0,
             0,
             0,
             0,
             0,
             0,
             static_cast<unsigned char>(width & 0xFF),
             static_cast<unsigned char>(width >> 8),
             static_cast<unsigned char>(height & 0xFF),
             static_cast<unsigned char>(height >> 8),
             static_cast<unsigned char>(bits),
             static_cast<unsigned char>(descriptor) };
}

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void expectImage(const std::optional<TgaImage>& image, int channels, int width, int height, const Bytes& data)
{
    ASSERT_TRUE(image);
    EXPECT_EQ(image->channels, channels);
    EXPECT_EQ(image->sizeX, width);
    EXPECT_EQ(image->sizeY, height);
    EXPECT_EQ(image->imageData, data);
}

std::optional<TgaImage> loadFitted(const Bytes& bytes, unsigned fitSide)
{
    const TempFile file(bytes);
    TgaLimits limits;
    limits.fitSide = fitSide;
    return loadTgaImage(file.path.c_str(), nullptr, limits);
}

// Rows end for end: bottom row first to top row first and back.
Bytes flipped(const Bytes& data, size_t rowBytes)
{
    Bytes out;
    for (size_t row = data.size() / rowBytes; row-- > 0;)
        out.insert(out.end(), data.begin() + row * rowBytes, data.begin() + (row + 1) * rowBytes);
    return out;
}

// --- The worked examples ---

// Each file and the picture it reads as. Packets never store past the last pixel.
TEST(TgaExample, EachFileReadsAsItsPixels)
{
    const Bytes idField = header(2, 1, 1, 24, 0, 5) + Bytes{ 'n', 'o', 't', 'm', 'e', 7, 8, 9 };
    ASSERT_EQ(idField.size(), 26u) << "pixels at offset 23";
    const struct {
        const char* example;
        Bytes file;
        TgaImage read; // channels, width, height, pixels
    } cases[] = {
        { "blue, green, red become red, green, blue",
          header(2, 2, 1, 24) + Bytes{ 1, 2, 3, 4, 5, 6 },
          { 3, 2, 1, { 3, 2, 1, 6, 5, 4 } } },
        { "32 bits keep alpha",
          header(2, 1, 1, 32) + Bytes{ 0x10, 0x20, 0x30, 0x40 },
          { 4, 1, 1, { 0x30, 0x20, 0x10, 0x40 } } },
        // 0x83: one colour for four pixels; 0x00: one raw pixel.
        { "a run packet, then a raw packet",
          header(10, 5, 1, 24) + Bytes{ 0x83, 0xB0, 0x60, 0x50, 0x00, 1, 2, 3 },
          { 3, 5, 1, { 0x50, 0x60, 0xB0, 0x50, 0x60, 0xB0, 0x50, 0x60, 0xB0, 0x50, 0x60, 0xB0, 3, 2, 1 } } },
        // 0x7FFF, 0x8000 (bit 15 ignored), then red only and blue only.
        { "16 bits shift each 5-bit part",
          header(2, 4, 1, 16) + Bytes{ 0xFF, 0x7F, 0x00, 0x80, 0x00, 0x7C, 0x1F, 0x00 },
          { 3, 4, 1, { 0xF8, 0xF8, 0xF8, 0, 0, 0, 0xF8, 0, 0, 0, 0, 0xF8 } } },
        { "an id field of five bytes", idField, { 3, 1, 1, { 9, 8, 7 } } },
        // Six pixels claimed for an image of two; the rest of the file is never used.
        { "a run past the last pixel is cut short",
          header(10, 2, 1, 24) + Bytes{ 0x85, 3, 2, 1, 0x80, 9, 9, 9 },
          { 3, 2, 1, { 1, 2, 3, 1, 2, 3 } } },
        { "a raw packet past the last pixel is cut short",
          header(10, 2, 1, 32) + Bytes{ 0x7F } + Bytes(128 * 4, 0xAA),
          { 4, 2, 1, Bytes(8, 0xAA) } },
        { "a run crosses rows",
          header(10, 2, 3, 24) + Bytes{ 0x82, 3, 2, 1, 0x02, 4, 5, 6, 7, 8, 9, 1, 1, 1 },
          { 3, 2, 3, { 1, 2, 3, 1, 2, 3, 1, 2, 3, 6, 5, 4, 9, 8, 7, 1, 1, 1 } } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.example);
        expectImage(loadBytes(c.file), c.read.channels, c.read.sizeX, c.read.sizeY, c.read.imageData);
    }
}

TEST(TgaExample, MissingFilePrintsMessageOncePerAttempt)
{
    testing::internal::CaptureStdout();
    EXPECT_FALSE(loadTgaImage("no/such/folder/missing.tga"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nUnable to load TGA File!\n");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(loadTgaImage("no/such/folder/missing.tga"));
    EXPECT_FALSE(loadTgaImage(""));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nUnable to load TGA File!\n\nUnable to load TGA File!\n");
}

// --- Only true-colour types 2 and 10 ---

struct TypeAndDepth {
    int type;
    int bits;
};

void PrintTo(const TypeAndDepth& c, std::ostream* os)
{
    *os << "type " << c.type << ", " << c.bits << " bits";
}

class TgaRefusedType : public testing::TestWithParam<TypeAndDepth> {};

TEST_P(TgaRefusedType, ReturnsNoneSilently)
{
    const Bytes file = header(GetParam().type, 2, 2, GetParam().bits) + Bytes(16, 0x55);
    EXPECT_FALSE(loadBytes(file));
}

INSTANTIATE_TEST_SUITE_P(ColourMappedGreyAndOthers, TgaRefusedType,
                         testing::Values(TypeAndDepth{ 3, 8 }, TypeAndDepth{ 11, 8 }, TypeAndDepth{ 1, 8 },
                                         TypeAndDepth{ 9, 8 }, TypeAndDepth{ 3, 24 }, TypeAndDepth{ 1, 24 },
                                         TypeAndDepth{ 0, 24 }, TypeAndDepth{ 11, 32 },
                                         TypeAndDepth{ 32, 24 }, TypeAndDepth{ 33, 24 },
                                         TypeAndDepth{ 130, 24 }, TypeAndDepth{ 255, 16 }));

// --- Depths 16, 24 and 32 on both paths ---

struct Kind {
    int bits;
    bool runLength;

    TgaWriteOptions options(bool topLeft = false, bool rightToLeft = false) const
    {
        TgaWriteOptions o{ bits, runLength, topLeft, "" };
        o.rightToLeft = rightToLeft;
        return o;
    }
};

void PrintTo(const Kind& k, std::ostream* os)
{
    *os << k.bits << " bits" << (k.runLength ? ", run-length" : "");
}

std::string kindName(const testing::TestParamInfo<Kind>& info)
{
    return std::to_string(info.param.bits) + (info.param.runLength ? "BitRunLength" : "BitUncompressed");
}

class TgaDepth : public testing::TestWithParam<Kind> {};

TEST_P(TgaDepth, DecodesWriterPicture)
{
    for (int channels : { 3, 4 }) {
        const Bytes pixels = testPicture(9, 4, channels);
        const Bytes file   = encodeTga(9, 4, channels, pixels, GetParam().options());
        expectImage(loadBytes(file), GetParam().bits == 32 ? 4 : 3, 9, 4,
                    decodedPicture(pixels, channels, GetParam().bits));
    }
}

const Kind allKinds[] = { { 16, false }, { 16, true },  { 24, false },
                          { 24, true },  { 32, false }, { 32, true } };
INSTANTIATE_TEST_SUITE_P(All, TgaDepth, testing::ValuesIn(allKinds), kindName);

TEST(TgaDepthSixteen, PacketsDecodeAsUncompressedPixels)
{
    const Bytes packets  = header(10, 3, 1, 16) + Bytes{ 0x81, 0xFF, 0x7F, 0x00, 0x1F, 0x00 };
    const Bytes plain    = header(2, 3, 1, 16) + Bytes{ 0xFF, 0x7F, 0xFF, 0x7F, 0x1F, 0x00 };
    const Bytes expected = { 0xF8, 0xF8, 0xF8, 0xF8, 0xF8, 0xF8, 0, 0, 0xF8 };
    expectImage(loadBytes(packets), 3, 3, 1, expected);
    expectImage(loadBytes(plain), 3, 3, 1, expected);
}

class TgaOtherDepth : public testing::TestWithParam<int> {};

TEST_P(TgaOtherDepth, ReturnsNoneOnBothPaths)
{
    for (int type : { 2, 10 })
        EXPECT_FALSE(loadBytes(header(type, 2, 2, GetParam()) + Bytes(64, 0x81))) << "type " << type;
}

INSTANTIATE_TEST_SUITE_P(All, TgaOtherDepth, testing::Values(0, 1, 8, 15, 17, 23, 31, 33, 48, 64, 255));

// --- A colour map in a true-colour file is skipped ---

struct MapCase {
    int entries;
    int entryBits;
    bool runLength;
};

void PrintTo(const MapCase& c, std::ostream* os)
{
    *os << c.entries << " entries of " << c.entryBits << " bits" << (c.runLength ? ", run-length" : "");
}

class TgaColourMap : public testing::TestWithParam<MapCase> {};

TEST_P(TgaColourMap, IsSkipped)
{
    const Bytes pixels = testPicture(6, 3, 3);
    TgaWriteOptions options{ 24, GetParam().runLength, false, "an id" };
    options.colourMapLength    = GetParam().entries;
    options.colourMapEntryBits = GetParam().entryBits;
    const Bytes file           = encodeTga(6, 3, 3, pixels, options);
    ASSERT_EQ(file.size(), encodeTga(6, 3, 3, pixels, { 24, GetParam().runLength, false, "an id" }).size()
                               + GetParam().entries * ((GetParam().entryBits + 7) / 8));
    expectImage(loadBytes(file), 3, 6, 3, pixels);
}

INSTANTIATE_TEST_SUITE_P(EntrySizes, TgaColourMap,
                         testing::Values(MapCase{ 1, 8, false }, MapCase{ 3, 15, false },
                                         MapCase{ 3, 15, true }, MapCase{ 7, 24, true },
                                         MapCase{ 256, 32, false }, MapCase{ 300, 17, true }));

// --- Rows stored top row first or right to left turned the right way round ---

class TgaOrigin : public testing::TestWithParam<Kind> {};

TEST_P(TgaOrigin, RowsEndBottomFirstAndLeftToRight)
{
    const Bytes pixels   = testPicture(5, 4, 4);
    const Bytes expected = decodedPicture(pixels, 4, GetParam().bits);
    for (bool topLeft : { false, true }) {
        Bytes file       = encodeTga(5, 4, 4, pixels, GetParam().options(topLeft));
        const auto image = loadBytes(file);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->imageData, expected) << "top-left " << topLeft;
        EXPECT_EQ(loadBytes(encodeTga(5, 4, 4, pixels, GetParam().options(topLeft, true)))->imageData,
                  expected)
            << "stored right to left, top-left " << topLeft;
        file[17] |= 0x10; // the same bytes, said to be stored right to left
        EXPECT_EQ(loadBytes(file)->imageData, mirrored(expected, image->channels, 5))
            << "right-to-left, top-left " << topLeft;
    }
}

INSTANTIATE_TEST_SUITE_P(All, TgaOrigin, testing::ValuesIn(allKinds), kindName);

// A marked picture of 3 x 2 pixels, built byte by byte (or 6 x 4 in blocks
// of 2 x 2, for fitting to 3): the first pixel the file stores (its first
// block) is red, every other one blue. In run-length files the marked rows
// are a run and a raw packet, the others one run.
Bytes markedFile(const Kind& kind, int descriptor, int block)
{
    const Bytes mark = kind.bits == 16   ? Bytes{ 0x00, 0x7C }
                       : kind.bits == 24 ? Bytes{ 0, 0, 255 }
                                         : Bytes{ 0, 0, 255, 200 };
    const Bytes rest = kind.bits == 16   ? Bytes{ 0x1F, 0x00 }
                       : kind.bits == 24 ? Bytes{ 255, 0, 0 }
                                         : Bytes{ 255, 0, 0, 100 };
    const int width  = 3 * block;
    Bytes file       = header(kind.runLength ? 10 : 2, width, 2 * block, kind.bits, descriptor);
    for (int y = 0; y < 2 * block; ++y) {
        const int marked = y < block ? block : 0;
        if (!kind.runLength) {
            for (int x = 0; x < width; ++x)
                file = file + (x < marked ? mark : rest);
        } else if (marked) {
            file = file + Bytes{ static_cast<unsigned char>(0x80 + marked - 1) } + mark;
            file.push_back(static_cast<unsigned char>(width - marked - 1));
            for (int x = marked; x < width; ++x)
                file = file + rest;
        } else {
            file = file + Bytes{ static_cast<unsigned char>(0x80 + width - 1) } + rest;
        }
    }
    return file;
}

class TgaOrientation : public testing::TestWithParam<Kind> {};

TEST_P(TgaOrientation, MarkStandsInTheCornerTheFileStartsFrom)
{
    const int bits   = GetParam().bits;
    const Bytes mark = bits == 16   ? Bytes{ 0xF8, 0, 0 }
                       : bits == 24 ? Bytes{ 255, 0, 0 }
                                    : Bytes{ 255, 0, 0, 200 };
    const Bytes rest = bits == 16   ? Bytes{ 0, 0, 0xF8 }
                       : bits == 24 ? Bytes{ 0, 0, 255 }
                                    : Bytes{ 0, 0, 255, 100 };
    const struct {
        int descriptor;
        const char* corner;
        int at; // the marked pixel of the image, bottom row first
    } cases[] = { { 0x00, "bottom left", 0 },
                  { 0x10, "bottom right", 2 },
                  { 0x20, "top left", 3 },
                  { 0x30, "top right", 5 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.corner);
        Bytes want;
        for (int i = 0; i < 6; ++i)
            want = want + (i == c.at ? mark : rest);
        const int channels = bits == 32 ? 4 : 3;
        expectImage(loadBytes(markedFile(GetParam(), c.descriptor, 1)), channels, 3, 2, want);
        expectImage(loadFitted(markedFile(GetParam(), c.descriptor, 2), 3), channels, 3, 2, want);
    }
}

INSTANTIATE_TEST_SUITE_P(All, TgaOrientation, testing::ValuesIn(allKinds), kindName);

// --- A truncated file still gives a complete record, zeros where data is missing ---

class TgaTruncated : public testing::TestWithParam<Kind> {};

TEST_P(TgaTruncated, MissingPixelsAreZero)
{
    const Bytes pixels      = testPicture(7, 5, 4);
    const Bytes full        = encodeTga(7, 5, 4, pixels, GetParam().options());
    const Bytes expected    = decodedPicture(pixels, 4, GetParam().bits);
    const size_t pixelBytes = GetParam().bits == 32 ? 4 : 3;
    for (size_t cut = 18; cut < full.size(); cut += 3) {
        const auto image = loadBytes(Bytes(full.begin(), full.begin() + cut));
        ASSERT_TRUE(image) << "cut at " << cut;
        ASSERT_EQ(image->imageData.size(), expected.size()) << "cut at " << cut;
        // Decoded pixels match the picture up to some point; all after it are zero.
        size_t good = 0;
        while (good < expected.size() && image->imageData[good] == expected[good])
            ++good;
        good -= good % pixelBytes;
        EXPECT_TRUE(std::all_of(image->imageData.begin() + good, image->imageData.end(),
                                [](unsigned char b) { return b == 0; }))
            << "cut at " << cut;
        if (!GetParam().runLength) { // whole file pixels before the cut are all kept
            EXPECT_GE(good, (cut - 18) / (GetParam().bits / 8) * pixelBytes) << "cut at " << cut;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(All, TgaTruncated, testing::ValuesIn(allKinds), kindName);

TEST(TgaTruncatedExample, KeepsWhatIsThereZerosTheRest)
{
    expectImage(loadBytes(header(2, 2, 2, 24)), 3, 2, 2, Bytes(12, 0));
    expectImage(loadBytes(header(10, 2, 2, 32) + Bytes{ 0x83, 1, 2 }), 4, 2, 2, Bytes(16, 0));
    // A raw packet of three cut inside its third pixel keeps the first two.
    expectImage(loadBytes(header(10, 2, 2, 24) + Bytes{ 0x02, 1, 2, 3, 4, 5, 6, 7 }), 3, 2, 2,
                { 3, 2, 1, 6, 5, 4, 0, 0, 0, 0, 0, 0 });
    const Bytes shortHeader = header(2, 1, 1, 24);
    EXPECT_FALSE(loadBytes(Bytes(shortHeader.begin(), shortHeader.end() - 1)));
}

// --- Scaled down to fit a side, while read ---

// What scaling by `factor` should give, worked out plainly from the
// full-size image: each pixel the rounded mean of its block, blocks counted
// from the first row and the first column the file stores.
TgaImage boxFiltered(const TgaImage& full, int factor, bool topRowFirst, bool rightToLeft = false)
{
    const int c = full.channels, w = full.sizeX, h = full.sizeY;
    const int outW = (w + factor - 1) / factor, outH = (h + factor - 1) / factor;
    const size_t row = static_cast<size_t>(w) * c;
    Bytes in         = topRowFirst ? flipped(full.imageData, row) : full.imageData;
    if (rightToLeft)
        in = mirrored(in, c, w);
    Bytes out;
    for (int by = 0; by < outH; ++by)
        for (int bx = 0; bx < outW; ++bx)
            for (int k = 0; k < c; ++k) {
                unsigned sum = 0, count = 0;
                for (int y = by * factor; y < std::min(h, (by + 1) * factor); ++y)
                    for (int x = bx * factor; x < std::min(w, (bx + 1) * factor); ++x, ++count)
                        sum += in[y * row + static_cast<size_t>(x) * c + k];
                out.push_back(static_cast<unsigned char>((sum + count / 2) / count));
            }
    if (rightToLeft)
        out = mirrored(out, c, outW);
    return { c, outW, outH, topRowFirst ? flipped(out, static_cast<size_t>(outW) * c) : out };
}

class TgaFit : public testing::TestWithParam<Kind> {};

TEST_P(TgaFit, IsTheBlockMeanOfTheFullSizePicture)
{
    // The last five make blocks of 65,536 pixels or more (a factor of 256 or
    // more), which are divided, and just fewer, which are multiplied.
    const struct {
        int width, height;
        unsigned fitSide;
        int factor;
    } cases[] = {
        { 9, 4, 4, 3 },       { 7, 5, 2, 4 },       { 10, 3, 5, 2 },      { 5, 11, 4, 3 },
        { 1, 9, 1, 9 },       { 6, 6, 6, 1 },       { 6, 6, 0, 1 },       { 8, 2, 7, 2 },
        { 300, 260, 1, 300 }, { 256, 256, 1, 256 }, { 513, 256, 2, 257 }, { 255, 257, 1, 257 },
        { 255, 255, 1, 255 },
    };
    for (const auto& c : cases)
        for (const bool topLeft : { false, true })
            for (const bool rightToLeft : { false, true }) {
                SCOPED_TRACE(testing::Message()
                             << c.width << " x " << c.height << " fitted to " << c.fitSide
                             << (topLeft ? ", top row first" : "") << (rightToLeft ? ", right to left" : ""));
                const Bytes file  = encodeTga(c.width, c.height, 4, testPicture(c.width, c.height, 4),
                                              GetParam().options(topLeft, rightToLeft));
                const auto full   = loadBytes(file);
                const auto fitted = loadFitted(file, c.fitSide);
                ASSERT_TRUE(full && fitted);
                const TgaImage want = boxFiltered(*full, c.factor, topLeft, rightToLeft);
                expectImage(fitted, want.channels, want.sizeX, want.sizeY, want.imageData);
            }
}

TEST_P(TgaFit, FileCutShortIsTheMeanOfItsZeroFilledPicture)
{
    const Bytes file = encodeTga(11, 7, 4, testPicture(11, 7, 4), GetParam().options());
    for (size_t cut = 18; cut < file.size(); cut += 5) {
        SCOPED_TRACE(testing::Message() << "cut at " << cut);
        const Bytes bytes(file.begin(), file.begin() + cut);
        const auto full   = loadBytes(bytes);
        const auto fitted = loadFitted(bytes, 3); // factor 4: 3 x 2
        ASSERT_TRUE(full && fitted);
        const TgaImage want = boxFiltered(*full, 4, false);
        expectImage(fitted, want.channels, want.sizeX, want.sizeY, want.imageData);
    }
}

INSTANTIATE_TEST_SUITE_P(All, TgaFit, testing::ValuesIn(allKinds), kindName);

TEST(TgaFitExample, RunCrossingARowAddsToBothBands)
{
    // 4 x 2 pixels of 24 bits in two run packets: five of (10, 20, 30), which
    // crosses into the second row, then three of (50, 60, 250). Fitted to 2
    // (factor 2), the left block holds three of the first and one of the
    // second, the right block two of each.
    const Bytes file = header(10, 4, 2, 24) + Bytes{ 0x84, 30, 20, 10, 0x82, 250, 60, 50 };
    expectImage(loadFitted(file, 2), 3, 2, 1, { 20, 30, 85, 30, 40, 140 });
    // A picture that fits is read as it is.
    expectImage(loadFitted(file, 4), 3, 4, 2, { 10, 20, 30, 10, 20, 30,  10, 20, 30,  10, 20, 30, //
                                                10, 20, 30, 50, 60, 250, 50, 60, 250, 50, 60, 250 });
}

// --- Sizes: zero, huge, bounded memory ---

class TgaZeroSize : public testing::TestWithParam<std::pair<int, int>> {};

TEST_P(TgaZeroSize, GivesEmptyBuffer)
{
    const auto [width, height] = GetParam();
    for (int type : { 2, 10 }) {
        const auto image = loadBytes(header(type, width, height, 32, 0x20) + Bytes{ 0x80, 1, 2, 3, 4 });
        expectImage(image, 4, width, height, {});
    }
}

INSTANTIATE_TEST_SUITE_P(All, TgaZeroSize,
                         testing::Values(std::pair{ 0, 0 }, std::pair{ 0, 65535 }, std::pair{ 65535, 0 }));

long peakResidentKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST(TgaSize, HugeClaimInSmallFileTouchesLittleMemory)
{
    // 4 x 65535 x 65535 bytes (17 GB) claimed by files of 18 bytes to 64 KiB.
    const long before = peakResidentKiB();
    for (int type : { 2, 10 })
        for (size_t data : { 0, 100, 65536 }) {
            EXPECT_FALSE(loadBytes(header(type, 65535, 65535, 32) + Bytes(data, 0xFF)))
                << type << " " << data;
            EXPECT_FALSE(loadBytes(header(type, 65535, 65535, 16) + Bytes(data, 0xFF)))
                << type << " " << data;
        }
    EXPECT_LT(peakResidentKiB() - before, 8 * 1024) << "peak resident memory grew by more than 8 MiB";
}

TEST(TgaSize, UpTo64MiBOfMissingPixelsAreZeroFilled)
{
    const auto image = loadBytes(header(2, 4096, 4096, 32));
    ASSERT_TRUE(image);
    ASSERT_EQ(image->imageData.size(), 64u << 20);
    EXPECT_TRUE(
        std::all_of(image->imageData.begin(), image->imageData.end(), [](unsigned char b) { return !b; }));
    EXPECT_FALSE(loadBytes(header(2, 4097, 4096, 32)));
    EXPECT_FALSE(loadBytes(header(10, 4097, 4096, 32) + Bytes{ 0xFF, 1, 2, 3, 4 }));
}

TEST(TgaSize, ClaimThatTheFileCanBackIsRead)
{
    // 16 KiB beyond 64 MiB, backed by 32 runs of 128 pixels (160 bytes).
    Bytes file = header(10, 4097, 4096, 32);
    for (int i = 0; i < 32; ++i)
        file = file + Bytes{ 0xFF, 1, 2, 3, 4 };
    const auto image = loadBytes(file);
    ASSERT_TRUE(image);
    ASSERT_EQ(image->imageData.size(), 4u * 4097 * 4096);
    const Bytes first(image->imageData.begin(), image->imageData.begin() + 4);
    const Bytes last(image->imageData.begin() + 4 * 4095, image->imageData.begin() + 4 * 4096);
    const Bytes after(image->imageData.begin() + 4 * 4096, image->imageData.begin() + 4 * 4097);
    EXPECT_EQ(first, (Bytes{ 3, 2, 1, 4 }));
    EXPECT_EQ(last, (Bytes{ 3, 2, 1, 4 }));
    EXPECT_EQ(after, Bytes(4, 0));
}

// Run packets of 128 pixels of one RGBA colour covering width x height, so the
// file backs every pixel it claims.
Bytes runLengthFlat(int width, int height)
{
    Bytes file          = header(10, width, height, 32);
    const size_t pixels = static_cast<size_t>(width) * height;
    for (size_t done = 0; done < pixels; done += 128) {
        const size_t n = std::min<size_t>(128, pixels - done);
        file.insert(file.end(), { static_cast<unsigned char>(127 + n), 10, 20, 30, 255 });
    }
    return file;
}

TEST(TgaLimit, OverThePixelLimitIsRefusedBeforeAllocating)
{
    // 8193 x 8192 RGBA (256 MiB) in 2.6 MB of runs: the file backs every pixel.
    const TempFile file(runLengthFlat(8193, 8192));
    const long before = peakResidentKiB();
    TgaFailure failure;
    EXPECT_FALSE(loadTgaImage(file.path.c_str(), &failure));
    EXPECT_LT(peakResidentKiB() - before, 8 * 1024) << "peak resident memory grew by more than 8 MiB";
    EXPECT_EQ(failure.error, TgaError::tooLarge);
    EXPECT_EQ(failure.width, 8193u);
    EXPECT_EQ(failure.height, 8192u);
}

TEST(TgaLimit, PictureAtThePixelLimitIsRead)
{
    const TempFile file(runLengthFlat(16384, 4096));
    const auto image = loadTgaImage(file.path.c_str());
    ASSERT_TRUE(image);
    ASSERT_EQ(image->imageData.size(), 4 * tgaMaxPixels);
    const Bytes last(image->imageData.end() - 4, image->imageData.end());
    EXPECT_EQ(last, (Bytes{ 30, 20, 10, 255 }));
}

// The largest factor: the largest picture fitted to a side of 1, its first
// half one colour and the rest one step more, so each mean lies halfway and
// rounds up. Its sums pass 32 bits.
TEST(TgaLimit, PictureAtThePixelLimitFittedToOnePixelIsItsRoundedMean)
{
    Bytes file           = header(10, 8192, 8192, 32);
    const size_t packets = size_t{ 8192 } * 8192 / 128;
    for (size_t i = 0; i < packets; ++i) {
        const int step = i < packets / 2 ? 0 : 1;
        file.insert(file.end(),
                    { 0xFF, static_cast<unsigned char>(30 + step), static_cast<unsigned char>(20 + step),
                      static_cast<unsigned char>(10 + step), static_cast<unsigned char>(254 + step) });
    }
    expectImage(loadFitted(file, 1), 4, 1, 1, { 11, 21, 31, 255 });
}

TEST(TgaLimit, LimitsOnPixelsAndSidesAreInclusive)
{
    TgaLimits limits;
    limits.maxPixels = 12;
    limits.maxSide   = 6;
    for (const auto& [width, height, read] :
         { std::tuple{ 4, 3, true }, std::tuple{ 6, 2, true }, std::tuple{ 13, 1, false },
           std::tuple{ 7, 1, false }, std::tuple{ 1, 7, false }, std::tuple{ 5, 3, false } }) {
        const TempFile file(runLengthFlat(width, height));
        TgaFailure failure;
        const auto image = loadTgaImage(file.path.c_str(), &failure, limits);
        EXPECT_EQ(image.has_value(), read) << width << " x " << height;
        EXPECT_EQ(failure.error, read ? TgaError::none : TgaError::tooLarge) << width << " x " << height;
    }
}

// --- Why a load failed ---

TgaFailure failureFor(const std::string& path)
{
    TgaFailure failure;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(loadTgaImage(path.c_str(), &failure));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, failure.error == TgaError::cannotOpen ? "\nUnable to load TGA File!\n" : "") << path;
    return failure;
}

TgaFailure failureFor(const Bytes& bytes)
{
    const TempFile file(bytes);
    return failureFor(file.path);
}

TEST(TgaFailureReason, SaysWhyAndNamesTheClaimedSize)
{
    const TgaFailure missing = failureFor(testing::TempDir() + "no-such-picture.tga");
    EXPECT_EQ(missing.error, TgaError::cannotOpen);
    EXPECT_EQ(missing.osError, ENOENT);
    EXPECT_NE(describeTgaFailure(missing).find("No such file"), std::string::npos);

    EXPECT_EQ(failureFor(testing::TempDir()).error, TgaError::directory);
    EXPECT_EQ(failureFor(Bytes{}).error, TgaError::empty);
    const TgaFailure cut = failureFor(Bytes(5, 2));
    EXPECT_EQ(cut.error, TgaError::headerCutShort) << "no whole header";
    EXPECT_EQ(describeTgaFailure(cut), "too short: the file ends after 5 bytes, inside its 18-byte header");
    EXPECT_EQ(failureFor(header(3, 2, 2, 8) + Bytes(4, 0)).error, TgaError::notAKindRead);

    const TgaFailure bare = failureFor(header(2, 4097, 4096, 32));
    EXPECT_EQ(bare.error, TgaError::tooShort);
    EXPECT_EQ(describeTgaFailure(bare), "too short: the file ends long before its 4097 x 4096 pixels");

    const TgaFailure large = failureFor(header(10, 20000, 20000, 24));
    EXPECT_EQ(large.error, TgaError::tooLarge);
    EXPECT_EQ(describeTgaFailure(large), "too large: 20000 x 20000 pixels; the limit is 67108864 pixels "
                                         "(8192 x 8192) and 65535 on a side");

    TgaFailure read;
    read.error = TgaError::tooLarge;
    EXPECT_TRUE(loadTgaImage(TempFile(header(2, 1, 1, 24) + Bytes(3, 9)).path.c_str(), &read));
    EXPECT_EQ(read.error, TgaError::none) << "a read clears what a failure left";
}

// A colour map said to run past the end of the file leaves nothing for the
// pixels, however far past the end the seek went.
TEST(TgaFailureReason, ColourMapPastTheEndLeavesTheClaimUnbacked)
{
    const long before = peakResidentKiB();
    for (int type : { 2, 10 })
        for (size_t mapBytesPresent : { 0, 1000 }) {
            Bytes file               = header(type, 8192, 8192, 32) + Bytes(mapBytesPresent, 7);
            file[1]                  = 1; // a colour map of 65535 entries of 32 bits: 256 KiB
            file[5]                  = 0xFF;
            file[6]                  = 0xFF;
            file[7]                  = 32;
            const TgaFailure failure = failureFor(file);
            EXPECT_EQ(failure.error, TgaError::tooShort) << "type " << type << ", " << mapBytesPresent;
            EXPECT_EQ(describeTgaFailure(failure),
                      "too short: the file ends long before its 8192 x 8192 pixels");
        }
    EXPECT_LT(peakResidentKiB() - before, 8 * 1024) << "peak resident memory grew by more than 8 MiB";
}

// A run-length packet stands for at most 128 pixels. Each claim here lies
// just beyond what 128 packets and the zero-filled allowance cover: 129
// packets are read, one byte fewer is refused.
TEST(TgaFailureReason, RunLengthClaimBeyondWhatItsPacketsCanHoldIsTooShort)
{
    struct Claim {
        int bits, width, height;
    };
    for (const Claim c : { Claim{ 16, 4097, 5464 }, Claim{ 24, 4097, 5464 }, Claim{ 32, 4097, 4099 } }) {
        const size_t packet = 1 + c.bits / 8;
        Bytes file = header(10, c.width, c.height, c.bits) + Bytes(129 * packet, 0xFF); // runs of 128
        EXPECT_TRUE(loadTgaImage(TempFile(file).path.c_str())) << c.bits << " bits";
        file.pop_back();
        const TgaFailure failure = failureFor(file);
        EXPECT_EQ(failure.error, TgaError::tooShort) << c.bits << " bits";
        EXPECT_EQ(describeTgaFailure(failure), "too short: the file ends long before its "
                                                   + std::to_string(c.width) + " x "
                                                   + std::to_string(c.height) + " pixels");
    }
}

// A named pipe in a picture's place cannot be sought past its header.
TEST(TgaFailureReason, PipeCannotBeRead)
{
    const std::string path = testing::TempDir() + "tga_pipe_" + std::to_string(getpid());
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0) << path;
    std::thread writer([&] {
        const Bytes file = header(2, 1, 1, 24) + Bytes{ 1, 2, 3 };
        const int fd     = open(path.c_str(), O_WRONLY);
        if (fd >= 0) {
            EXPECT_EQ(write(fd, file.data(), file.size()), static_cast<ssize_t>(file.size()));
            close(fd);
        }
    });
    const TgaFailure failure = failureFor(path);
    writer.join();
    std::remove(path.c_str());
    EXPECT_EQ(failure.error, TgaError::cannotRead);
    EXPECT_EQ(failure.osError, ESPIPE);
    EXPECT_EQ(describeTgaFailure(failure), "cannot be read (Illegal seek)");
}

TEST(TgaFailureReason, EveryReasonReadsAsAPhraseOfItsOwn)
{
    std::set<std::string> phrases;
    for (TgaError error : { TgaError::none, TgaError::cannotOpen, TgaError::cannotRead, TgaError::directory,
                            TgaError::empty, TgaError::headerCutShort, TgaError::notAKindRead,
                            TgaError::tooLarge, TgaError::tooShort, TgaError::outOfMemory }) {
        TgaFailure failure;
        failure.error         = error;
        failure.osError       = EIO;
        failure.width         = 7;
        failure.height        = 9;
        const std::string why = describeTgaFailure(failure);
        EXPECT_EQ(why.find("unknown"), std::string::npos) << why;
        EXPECT_TRUE(phrases.insert(why).second) << "said of two reasons: " << why;
        if (error == TgaError::cannotRead) {
            EXPECT_NE(why.find("Input/output error"), std::string::npos) << why;
        }
        if (error == TgaError::outOfMemory) {
            EXPECT_NE(why.find("7 x 9 pixels"), std::string::npos) << why;
        }
    }
}

// --- No state between calls, no file left open ---

int openFiles()
{
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir))
            ++count;
        closedir(dir);
    }
    return count;
}

TEST(TgaReader, LeavesNoFileOpenAndKeepsNoState)
{
    const Bytes good = encodeTga(3, 2, 4, testPicture(3, 2, 4), { 32, true, false, "" });
    const TempFile goodFile(good);
    const TempFile badFile(header(3, 2, 2, 8) + Bytes(4, 0));
    const TempFile shortFile(Bytes(good.begin(), good.begin() + 25));
    const int before = openFiles();
    const auto first = loadTgaImage(goodFile.path.c_str());
    for (int i = 0; i < 50; ++i) {
        EXPECT_FALSE(loadTgaImage(badFile.path.c_str()));
        EXPECT_TRUE(loadTgaImage(shortFile.path.c_str()));
    }
    const auto again = loadTgaImage(goodFile.path.c_str());
    EXPECT_EQ(openFiles(), before);
    ASSERT_TRUE(first && again);
    EXPECT_EQ(first->imageData, again->imageData);
}

} // namespace
