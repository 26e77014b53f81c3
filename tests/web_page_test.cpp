// SPDX-License-Identifier: MIT
// What the page adds to the viewer, natively: the #steps link and its steps
// past the largest, and the pictures a person chooses: what is kept of one
// reads back as the chosen file read, and one refused says why as the
// desktop does and leaves the picture there was.
#include "camera.h"
#include "page_core.h"
#include "scene_pictures.h"
#include "tga_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace {

TEST(PageLink, StepsFragment)
{
    const struct {
        const char* hash;
        long steps;
    } cases[] = {
        { "#steps=0", 0 },       { "#steps=45", 45 },     { "#steps=100000", 100000 },
        { "#steps=000045", 45 }, { "#steps=100001", -1 }, { "#steps=1000000", -1 },
        { "#steps=", -1 },       { "#steps=-1", -1 },     { "#steps=4x", -1 },
        { "#steps=+4", -1 },     { "#step=4", -1 },       { "#steps=45 ", -1 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseStepsFragment(c.hash), c.steps) << c.hash;
}

// The eye after `steps` orbit steps from the start view.
std::pair<double, double> eyeAfter(long steps)
{
    initCamera();
    for (long i = 0; i < steps; ++i)
        advanceOrbit();
    return { eyeX, eyeZ };
}

// Past the largest link, the step named shows the same view (the eye within
// a billionth of a unit) and is a link the page opens.
TEST(PageLink, StepsPastTheLargestNameTheSameView)
{
    for (const std::uint64_t steps : { 0ul, 45ul, 100000ul })
        EXPECT_EQ(linkSteps(steps), static_cast<long>(steps));
    for (const std::uint64_t steps : { 100001ul, 100179ul, 100180ul, 100181ul, 200000ul }) {
        const long linked = linkSteps(steps);
        EXPECT_LE(linked, pageMaxSteps) << steps;
        EXPECT_GT(linked, pageMaxSteps - 180) << steps;
        const auto [x, z]   = eyeAfter(static_cast<long>(steps));
        const auto [lx, lz] = eyeAfter(linked);
        EXPECT_NEAR(x, lx, 1e-9) << steps << " linked as " << linked;
        EXPECT_NEAR(z, lz, 1e-9) << steps << " linked as " << linked;
    }
    EXPECT_LE(linkSteps(~std::uint64_t{ 0 }), pageMaxSteps);
}

// A folder of its own under the test's temp folder, as data/ is on the page.
std::string pictureDir()
{
    const std::string dir = testing::TempDir() + "page_pictures";
    mkdir(dir.c_str(), 0755);
    return dir;
}

Bytes fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

TgaLimits pageLimits()
{
    return textureReadLimits(8192);
}

// What is kept of a chosen picture, read again as makeTexture reads it,
// holds the pixels of the chosen file read: for every kind the reader takes,
// and for a picture scaled down as it is read.
TEST(PagePictures, KeptPictureReadsAsTheChosenFile)
{
    struct Kind {
        int width, height, channels;
        TgaWriteOptions options;
    };
    TgaWriteOptions rle32, topLeft16, rightToLeft24, mapped;
    rle32.bits = 32, rle32.runLength = true;
    topLeft16.bits = 16, topLeft16.topLeft = true;
    rightToLeft24.rightToLeft = true, rightToLeft24.id = "chosen";
    mapped.colourMapLength = 3;

    const Kind kinds[] = {
        { 5, 3, 3, {} },     { 4, 4, 4, rle32 },    { 7, 2, 3, topLeft16 }, { 3, 6, 3, rightToLeft24 },
        { 2, 2, 4, mapped }, { 2050, 3, 4, rle32 },
    };
    const std::string dir = pictureDir();
    for (const Kind& k : kinds) {
        const TempFile chosen(
            encodeTga(k.width, k.height, k.channels, testPicture(k.width, k.height, k.channels), k.options));
        std::string message;
        EXPECT_EQ(takeChosenPicture("sign.tga", chosen.path.c_str(), pageLimits(), dir, &message), 6)
            << message;
        const std::optional<TgaImage> read = loadTgaImage(chosen.path.c_str(), nullptr, pageLimits());
        const std::optional<TgaImage> kept = loadTgaImage((dir + "/sign.tga").c_str(), nullptr, pageLimits());
        ASSERT_TRUE(read && kept) << k.width << " x " << k.height;
        EXPECT_EQ(kept->channels, read->channels);
        EXPECT_EQ(kept->sizeX, read->sizeX);
        EXPECT_EQ(kept->sizeY, read->sizeY);
        EXPECT_TRUE(kept->imageData == read->imageData)
            << k.width << " x " << k.height << ", " << k.options.bits;
        EXPECT_LE(std::max(kept->sizeX, kept->sizeY), 1024) << "kept larger than the window can show";
    }
    EXPECT_EQ(fileBytes(dir + "/sign.tga.new"), Bytes()) << "the file written on the way is left";
}

// Refused, a file says why after its name, as the desktop's message does,
// and the picture kept before stays.
TEST(PagePictures, RefusedFileSaysWhyAndLeavesThePictureThereWas)
{
    const std::string dir = pictureDir();
    const Bytes before    = encodeTga(2, 2, 3, testPicture(2, 2, 3));
    ASSERT_TRUE(writeFile(dir + "/Rear.tga", before));
    const struct {
        const char* name;
        Bytes bytes;
        const char* says;
    } cases[] = {
        { "Rear.tga", Bytes(10, 0),
          "tollmere: Rear.tga: too short: the file ends after 10 bytes, inside its 18-byte header" },
        { "Rear.tga", Bytes(), "tollmere: Rear.tga: is an empty file, not a picture" },
        { "Rear.tga", encodeTga(0, 4, 3, {}),
          "tollmere: Rear.tga: cannot be made into a texture (0 x 4 pixels): GLU says invalid value" },
        { "rear.tga", before,
          "tollmere: rear.tga: not the name of a picture the page shows; name it as the one it replaces: "
          "Rear.tga (rear wall), Left.tga (left wall), Right.tga (right wall), Forward.tga (forward wall), "
          "skyme.tga (sky), brick.tga (floor), sign.tga (sign board)" },
    };
    for (const auto& c : cases) {
        const TempFile chosen(c.bytes);
        std::string message;
        EXPECT_EQ(takeChosenPicture(c.name, chosen.path.c_str(), pageLimits(), dir, &message), -1) << c.says;
        EXPECT_EQ(message, c.says);
        EXPECT_TRUE(fileBytes(dir + "/Rear.tga") == before) << c.says;
    }
    const TempFile good(before);
    std::string message;
    EXPECT_EQ(takeChosenPicture("Rear.tga", good.path.c_str(), pageLimits(), dir + "/none", &message), -1);
    EXPECT_EQ(message.rfind("tollmere: Rear.tga: cannot be kept (No such file or directory)", 0), 0u)
        << message;
}

// What the picture reader kept takes its surface's place as it is, unread;
// a wrong name or a folder that is not there leaves nothing behind.
TEST(PagePictures, KeptPictureTakesItsPlaceUnread)
{
    const std::string dir = pictureDir();
    const Bytes kept      = encodeTga(3, 2, 3, testPicture(3, 2, 3));
    const struct {
        const char* name;
        std::string dir;
        int surface;
        const char* says;
    } cases[] = {
        { "Left.tga", dir, 1, "" },
        { "left.tga", dir, -1, "tollmere: left.tga: not the name of a picture the page shows" },
        { "Left.tga", dir + "/none", -1, "tollmere: Left.tga: cannot be kept (No such file or directory)" },
    };
    for (const auto& c : cases) {
        const std::string path = dir + "/kept.tga";
        ASSERT_TRUE(writeFile(path, kept));
        std::string message;
        EXPECT_EQ(placeKeptPicture(c.name, path.c_str(), c.dir, &message), c.surface) << c.says;
        EXPECT_EQ(message.rfind(c.says, 0), 0u) << message;
        EXPECT_EQ(fileBytes(path), Bytes()) << c.says << ": the kept file is left";
    }
    EXPECT_TRUE(fileBytes(dir + "/Left.tga") == kept);
}

// No side longer than the GL's textures take, as makeTexture reads.
TEST(PagePictures, LimitsFollowTheLargestTexture)
{
    for (const auto& [gl, side] :
         { std::pair{ 4096, 4096u }, std::pair{ 0, 65535u }, std::pair{ 100000, 65535u } }) {
        EXPECT_EQ(textureReadLimits(gl).maxSide, side) << gl;
        EXPECT_EQ(textureReadLimits(gl).fitSide, 1024u) << gl;
        EXPECT_EQ(textureReadLimits(gl).maxPixels, tgaMaxPixels) << gl;
    }
}

} // namespace
