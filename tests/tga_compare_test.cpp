// SPDX-License-Identifier: MIT
// The TGA reader against an independent decoder (stb_image, rows flipped to
// bottom first like ours, into the same TgaImage record) on files written by
// real encoders (ImageMagick, Pillow), by our own writer, and on real-world
// samples (tests/data/tga-samples). Where our rules differ from stb_image,
// the test says so.
#include "tga_files.h"

#include <stb/stb_image.h>

#include <fstream>
#include <iterator>
#include <string>
#include <tuple>

#include <sys/stat.h>

namespace {

const int pictureWidth  = 37;
const int pictureHeight = 21;

std::optional<TgaImage> stbLoad(const std::string& path)
{
    stbi_set_flip_vertically_on_load(1);
    int width = 0, height = 0, channels = 0;
    unsigned char* pixels = stbi_load(path.c_str(), &width, &height, &channels, 0);
    if (!pixels)
        return std::nullopt;
    TgaImage image{ channels, width, height, Bytes(pixels, pixels + size_t(width) * height * channels) };
    stbi_image_free(pixels);
    return image;
}

std::optional<TgaImage> ourLoad(const std::string& path)
{
    testing::internal::CaptureStdout();
    const auto image = loadTgaImage(path.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << path;
    return image;
}

Bytes reversedRows(const Bytes& data, size_t rowBytes)
{
    Bytes out;
    for (size_t end = data.size(); end >= rowBytes && end > 0; end -= rowBytes)
        out.insert(out.end(), data.begin() + (end - rowBytes), data.begin() + end);
    return out;
}

// Where two pixel buffers first differ, or "same".
std::string firstDifference(const Bytes& a, const Bytes& b)
{
    if (a.size() != b.size())
        return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size());
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i])
            return "byte " + std::to_string(i) + ": " + std::to_string(a[i]) + " and " + std::to_string(b[i]);
    return "same";
}

// Our reader and stb_image give the same picture. stb_image scales 16-bit
// colours by 255/31 where we shift left by 3, so ours is put on its scale;
// it ignores the right-to-left bit, so for such a file ours is its mirror.
void expectSameAsStb(const std::string& path, bool sixteenBit = false, bool rightToLeft = false)
{
    const auto ours = ourLoad(path);
    const auto stb  = stbLoad(path);
    ASSERT_TRUE(ours) << path;
    ASSERT_TRUE(stb) << path << ": " << stbi_failure_reason();
    EXPECT_EQ(ours->channels, stb->channels);
    EXPECT_EQ(ours->sizeX, stb->sizeX);
    EXPECT_EQ(ours->sizeY, stb->sizeY);
    Bytes onStbScale = ours->imageData;
    if (sixteenBit)
        for (auto& b : onStbScale)
            b = static_cast<unsigned char>((b >> 3) * 255 / 31);
    const Bytes want = rightToLeft ? mirrored(stb->imageData, stb->channels, stb->sizeX) : stb->imageData;
    EXPECT_EQ(firstDifference(onStbScale, want), "same") << path;
}

// --- Files from ImageMagick and Pillow, made at test time ---

// Pillow (else ImageMagick); the mode: RGB, RGBA, or L and P for grey and
// colour-mapped files; run-length; the top row first.
using EncoderCase = std::tuple<bool, std::string, bool, bool>;

// "PillowRgbaRleTopLeft", "MagickGrey", ...
std::string caseName(const testing::TestParamInfo<EncoderCase>& info)
{
    const auto& [pillow, mode, runLength, topLeft] = info.param;
    const std::string kind                         = mode == "RGB"    ? "Rgb"
                                                     : mode == "RGBA" ? "Rgba"
                                                     : mode == "L"    ? "Grey"
                                                                      : "Palette";
    return (pillow ? "Pillow" : "Magick") + kind + (runLength ? "Rle" : "") + (topLeft ? "TopLeft" : "");
}

std::string commandFor(const EncoderCase& c, const std::string& source, const std::string& out)
{
    const auto& [pillow, mode, runLength, topLeft] = c;
    const std::string size = std::to_string(pictureWidth) + " " + std::to_string(pictureHeight);
    if (pillow)
        return "/usr/bin/python3 -c 'import sys\nfrom PIL import Image\n"
               "s, w, h, mode, rle, orient, out = sys.argv[1:]\n"
               "im = Image.frombytes(\"RGBA\", (int(w), int(h)), open(s, \"rb\").read()).convert(mode)\n"
               "im.save(out, rle=rle == \"1\", orientation=int(orient))' "
               + source + " " + size + " " + mode + (runLength ? " 1" : " 0") + (topLeft ? " 1 " : " -1 ")
               + out;
    const std::string type = mode == "RGBA"  ? "TrueColorAlpha"
                             : mode == "RGB" ? "TrueColor"
                             : mode == "L"   ? "Grayscale"
                                             : "Palette";
    return "/usr/bin/convert -size " + std::to_string(pictureWidth) + "x" + std::to_string(pictureHeight)
           + " -depth 8 rgba:" + source + (mode == "RGBA" ? "" : " -alpha off") + " -type " + type
           + (runLength ? " -compress RLE" : "") + (topLeft ? " -orient TopLeft" : "") + " " + out;
}

class TgaFromEncoder : public testing::TestWithParam<EncoderCase> {
protected:
    std::string folder = testing::TempDir() + "tga_encoders_XXXXXX";
    std::string made;

    void SetUp() override
    {
        ASSERT_TRUE(mkdtemp(folder.data())) << folder;
        const std::string source = folder + "/picture.rgba"; // rows top first
        ASSERT_TRUE(writeFile(source, testPicture(pictureWidth, pictureHeight, 4)));
        made                      = folder + "/made.tga";
        const std::string command = commandFor(GetParam(), source, made);
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        std::remove(source.c_str());
    }
    void TearDown() override
    {
        std::remove(made.c_str());
        rmdir(folder.c_str());
    }
};

class TgaFromEncoderTrueColour : public TgaFromEncoder {};

// Whether the encoder stored the picture's top row first, told by the first
// pixel in the file: the source's left column is green 0 at the top and 232 at
// the bottom.
bool storedTopRowFirst(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_GT(file.size(), 18u) << path;
    if (file.size() <= 18)
        return false;
    size_t first = 18 + file[0] + (file[2] == 10 ? 1 : 0); // after the id field and a packet's header
    if (file[1] == 1)
        first += size_t(file[5] | (file[6] << 8)) * ((file[7] + 7) / 8);
    EXPECT_LT(first + 1, file.size()) << path;
    return first + 1 < file.size() && file[first + 1] == 0;
}

TEST_P(TgaFromEncoderTrueColour, SameAsStbAndPicture)
{
    expectSameAsStb(made);
    if (HasFatalFailure())
        return;
    // The source rows, top first, decode bottom first: reversed, where the
    // descriptor marks the rows in the order the encoder stored them. Where it
    // does not (ImageMagick 6 marks a file bottom-left yet stores the top row
    // first), the picture comes out upside down in every reader, stb_image and
    // Pillow too. What the encoder did is read from the file, not from its version.
    std::ifstream in(made, std::ios::binary);
    const bool markedTopFirst                      = in.seekg(17).get() & 0x20;
    const bool truthful                            = markedTopFirst == storedTopRowFirst(made);
    const auto& [pillow, mode, runLength, topLeft] = GetParam();
    if (pillow) {
        EXPECT_TRUE(truthful) << "Pillow writes the rows as it marks them";
    }
    const int channels = mode == "RGBA" ? 4 : 3;
    const Bytes source =
        decodedPicture(testPicture(pictureWidth, pictureHeight, 4), 4, channels == 4 ? 32 : 24);
    const Bytes expected = truthful ? reversedRows(source, size_t(channels) * pictureWidth) : source;
    EXPECT_EQ(firstDifference(ourLoad(made)->imageData, expected), "same")
        << (truthful ? "right way up" : "upside down, as the file is marked");
}

INSTANTIATE_TEST_SUITE_P(Encoders, TgaFromEncoderTrueColour,
                         testing::Combine(testing::Bool(), testing::Values("RGB", "RGBA"), testing::Bool(),
                                          testing::Bool()),
                         caseName);

class TgaFromEncoderOther : public TgaFromEncoder {};

// stb_image reads grey and colour-mapped files; we refuse them.
TEST_P(TgaFromEncoderOther, RefusedThoughStbReadsIt)
{
    EXPECT_FALSE(ourLoad(made));
    EXPECT_TRUE(stbLoad(made)) << stbi_failure_reason();
}

const EncoderCase otherCases[] = {
    { false, "L", false, false }, { false, "L", true, false }, { false, "P", false, false },
    { true, "L", true, false },   { true, "P", false, false }, { true, "P", true, false },
};

INSTANTIATE_TEST_SUITE_P(Encoders, TgaFromEncoderOther, testing::ValuesIn(otherCases), caseName);

// --- Files from our own writer, every depth ---

class TgaFromWriter : public testing::TestWithParam<std::tuple<int, bool, bool>> {};

TEST_P(TgaFromWriter, SameAsStb)
{
    const auto [bits, runLength, topLeft] = GetParam();
    const TempFile file(encodeTga(pictureWidth, pictureHeight, 4, testPicture(pictureWidth, pictureHeight, 4),
                                  { bits, runLength, topLeft, "writer" }));
    expectSameAsStb(file.path, bits == 16);
}

INSTANTIATE_TEST_SUITE_P(All, TgaFromWriter,
                         testing::Combine(testing::Values(16, 24, 32), testing::Bool(), testing::Bool()),
                         [](const auto& info) {
                             return std::to_string(std::get<0>(info.param))
                                    + (std::get<1>(info.param) ? "BitRle" : "BitRaw")
                                    + (std::get<2>(info.param) ? "TopLeft" : "BottomLeft");
                         });

// --- Real-world samples, from an image library's test suite ---

std::string samplePath(const std::string& name)
{
    return std::string(TGA_SAMPLES_DIR) + "/" + name;
}

bool haveSamples()
{
    struct stat info = {};
    return stat(TGA_SAMPLES_DIR, &info) == 0 && S_ISDIR(info.st_mode);
}

// The samples are part of the repository: without them, something is wrong.
#define REQUIRE_SAMPLES() ASSERT_TRUE(haveSamples()) << "no TGA samples at " TGA_SAMPLES_DIR

class TgaSampleRead : public testing::TestWithParam<const char*> {};

TEST_P(TgaSampleRead, SameAsStb)
{
    REQUIRE_SAMPLES();
    const std::string name = GetParam();
    expectSameAsStb(samplePath(name), name == "rgba16.tga", name.find("_right.tga") != std::string::npos);
}

// stb_image ignores the right-to-left bit of rgb32rle_bottom_right and
// rgb32rle_top_right; we honour it, as Pillow does.
INSTANTIATE_TEST_SUITE_P(
    Samples, TgaSampleRead,
    testing::Values("tga/common/200x32_rgb_bl_raw.tga", "tga/common/200x32_rgb_bl_rle.tga",
                    "tga/common/200x32_rgb_tl_raw.tga", "tga/common/200x32_rgb_tl_rle.tga",
                    "tga/common/200x32_rgba_bl_raw.tga", "tga/common/200x32_rgba_bl_rle.tga",
                    "tga/common/200x32_rgba_tl_raw.tga", "tga/common/200x32_rgba_tl_rle.tga", "rgb32rle.tga",
                    "rgb32rle_bottom_right.tga", "rgb32rle_top_right.tga", "tga_id_field.tga", "rgba16.tga"));

class TgaSampleRefused : public testing::TestWithParam<const char*> {};

// Grey, grey-alpha and colour-mapped files (which stb_image reads).
TEST_P(TgaSampleRefused, ReturnsNoneSilently)
{
    REQUIRE_SAMPLES();
    EXPECT_FALSE(ourLoad(samplePath(GetParam())));
}

INSTANTIATE_TEST_SUITE_P(Samples, TgaSampleRefused,
                         testing::Values("tga/common/1x1_l_bl_raw.tga", "tga/common/1x1_l_bl_rle.tga",
                                         "tga/common/1x1_l_tl_raw.tga", "tga/common/1x1_l_tl_rle.tga",
                                         "tga/common/200x32_l_bl_raw.tga", "tga/common/200x32_l_bl_rle.tga",
                                         "tga/common/200x32_l_tl_raw.tga", "tga/common/200x32_l_tl_rle.tga",
                                         "tga/common/200x32_la_bl_raw.tga", "tga/common/200x32_la_bl_rle.tga",
                                         "tga/common/200x32_la_tl_raw.tga", "tga/common/200x32_la_tl_rle.tga",
                                         "tga/common/200x32_p_bl_raw.tga", "tga/common/200x32_p_bl_rle.tga",
                                         "tga/common/200x32_p_tl_raw.tga", "tga/common/200x32_p_tl_rle.tga",
                                         "la.tga", "cross_scan_line.tga", "cross_scan_line_truncated.tga",
                                         "p_16.tga", "p_8.tga", "200x32_p_bl_raw_origin.tga"));

TEST(TgaSamples, EveryOriginAndCompressionShowsThePng)
{
    REQUIRE_SAMPLES();
    for (const std::string mode : { "rgb", "rgba" }) {
        const auto png = stbLoad(samplePath("tga/common/200x32_" + mode + ".png"));
        ASSERT_TRUE(png) << mode;
        for (const char* variant : { "bl_raw", "bl_rle", "tl_raw", "tl_rle" }) {
            const std::string name = "tga/common/200x32_" + mode + "_" + variant + ".tga";
            const auto ours        = ourLoad(samplePath(name));
            ASSERT_TRUE(ours) << name;
            EXPECT_EQ(ours->channels, png->channels) << name;
            EXPECT_EQ(firstDifference(ours->imageData, png->imageData), "same") << name;
        }
    }
}

// The three files hold the same pixel bytes: said to be stored right to left,
// they are the plain file's mirror, and top right also upside down.
TEST(TgaSamples, RightToLeftAndTopLeftHonoured)
{
    REQUIRE_SAMPLES();
    const auto plain       = ourLoad(samplePath("rgb32rle.tga"));
    const auto bottomRight = ourLoad(samplePath("rgb32rle_bottom_right.tga"));
    const auto topRight    = ourLoad(samplePath("rgb32rle_top_right.tga"));
    ASSERT_TRUE(plain && bottomRight && topRight);
    const Bytes mirror = mirrored(plain->imageData, 4, 199);
    EXPECT_EQ(firstDifference(bottomRight->imageData, mirror), "same");
    EXPECT_EQ(firstDifference(topRight->imageData, reversedRows(mirror, 4 * 199)), "same");
    EXPECT_NE(firstDifference(mirror, plain->imageData), "same") << "the picture is its own mirror";
}

} // namespace
