// SPDX-License-Identifier: MIT
// Texture creation from fixture files of each kind the reader takes, checked
// through what GL holds afterwards.
#include "gl_harness.h"
#include "texture.h"
#include "tga_writer.h"

#include <GL/freeglut.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path fixtures; // scratch directory for this run's files

std::string writeFixture(const std::string& name, int width, int height, int channels,
                         const std::vector<unsigned char>& pixels, const TgaWriteOptions& options)
{
    const std::string path = (fixtures / name).string();
    EXPECT_TRUE(writeFile(path, encodeTga(width, height, channels, pixels, options))) << path;
    return path;
}

TgaWriteOptions kind(int bits, bool runLength)
{
    TgaWriteOptions options;
    options.bits      = bits;
    options.runLength = runLength;
    return options;
}

GLint boundLevelParameter(int level, GLenum name)
{
    GLint value = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, name, &value);
    return value;
}

GLint boundTexture()
{
    GLint name = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
    return name;
}

// Level 0 of the bound texture as RGBA bytes, rows bottom first.
std::vector<unsigned char> boundTexels()
{
    const int w = boundLevelParameter(0, GL_TEXTURE_WIDTH), h = boundLevelParameter(0, GL_TEXTURE_HEIGHT);
    std::vector<unsigned char> texels(static_cast<size_t>(w) * h * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    return texels;
}

// A grey picture with three marks, placed by fraction of its sides, so any
// size of it shows them in the same places: a red block near the bottom left,
// a green one near the top right and a blue bar across the middle.
std::vector<unsigned char> markedPicture(int width, int height)
{
    std::vector<unsigned char> pixels;
    pixels.reserve(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double u = (x + 0.5) / width, v = (y + 0.5) / height; // v from the bottom
            if (u >= 0.1 && u < 0.3 && v >= 0.1 && v < 0.4)
                pixels.insert(pixels.end(), { 230, 20, 20 });
            else if (u >= 0.65 && u < 0.9 && v >= 0.6 && v < 0.85)
                pixels.insert(pixels.end(), { 20, 230, 20 });
            else if (u >= 0.2 && u < 0.8 && v >= 0.45 && v < 0.55)
                pixels.insert(pixels.end(), { 20, 20, 230 });
            else
                pixels.insert(pixels.end(), { 120, 120, 120 });
        }
    return pixels;
}

// The bound texture drawn over a 64 x 64 viewport as it is, unlit, and read back.
RgbImage drawBoundTexture()
{
    glViewport(0, 0, 64, 64);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glClear(GL_COLOR_BUFFER_BIT);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(-1, -1);
    glTexCoord2f(1, 0);
    glVertex2f(1, -1);
    glTexCoord2f(1, 1);
    glVertex2f(1, 1);
    glTexCoord2f(0, 1);
    glVertex2f(-1, 1);
    glEnd();
    glPopAttrib();
    return readFrame();
}

struct Mark {
    int pixels = 0;
    double x = 0, y = 0; // the centre of its pixels
};

// Where the pixels near a mark's colour lie in a frame.
Mark findMark(const RgbImage& frame, Rgb colour)
{
    Mark mark;
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x)
            if (near(colourAt(frame, x, y), colour, 40)) {
                ++mark.pixels;
                mark.x += x;
                mark.y += y;
            }
    if (mark.pixels > 0) {
        mark.x /= mark.pixels;
        mark.y /= mark.pixels;
    }
    return mark;
}

class MakeTexture : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char name[] = "/tmp/tollmere-texture-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        fixtures = name;
    }
    static void TearDownTestSuite()
    {
        fs::remove_all(fixtures);
    }
};

} // namespace

TEST_F(MakeTexture, EachKindBecomesATextureOfItsPixels)
{
    // 2 x 2 pixels, bottom row first: a 3-channel row is 6 bytes, not a
    // multiple of GL's default unpack alignment of 4.
    const std::vector<unsigned char> rgba = { 200, 16, 40,  255, 24,  180, 72, 128,
                                              48,  96, 232, 64,  248, 240, 8,  0 };
    std::vector<unsigned char> rgb;
    for (size_t i = 0; i < rgba.size(); ++i)
        if (i % 4 != 3)
            rgb.push_back(rgba[i]);

    const struct {
        const char* name;
        int bits;
        bool runLength;
        bool alpha;
    } kinds[] = {
        { "24-bit", 24, false, false },          { "24-bit run-length", 24, true, false },
        { "16-bit", 16, false, false },          { "32-bit", 32, false, true },
        { "32-bit run-length", 32, true, true },
    };
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.name);
        const int channels     = k.bits == 32 ? 4 : 3;
        const std::string path = writeFixture(std::string(k.name) + ".tga", 2, 2, channels,
                                              channels == 4 ? rgba : rgb, kind(k.bits, k.runLength));
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        makeTexture(textureNames, path.c_str(), 0);

        EXPECT_EQ(boundTexture(), static_cast<GLint>(textureNames[0]));
        EXPECT_EQ(boundLevelParameter(0, GL_TEXTURE_WIDTH), 2);
        EXPECT_GT(boundLevelParameter(0, GL_TEXTURE_RED_SIZE), 0);
        if (k.alpha)
            EXPECT_GT(boundLevelParameter(0, GL_TEXTURE_ALPHA_SIZE), 0) << "an RGBA texture";
        else
            EXPECT_EQ(boundLevelParameter(0, GL_TEXTURE_ALPHA_SIZE), 0) << "an RGB texture";
        const GLint internal = boundLevelParameter(0, GL_TEXTURE_INTERNAL_FORMAT);
        EXPECT_TRUE(k.alpha ? internal == 4 || internal == GL_RGBA : internal == 3 || internal == GL_RGB)
            << internal;

        const std::vector<unsigned char> texels = boundTexels();
        for (size_t i = 0; i < rgba.size(); ++i) {
            const bool isAlpha = i % 4 == 3;
            unsigned char want = isAlpha && !k.alpha ? 255 : rgba[i];
            if (k.bits == 16 && !isAlpha)
                want &= 0xF8; // five bits per channel
            EXPECT_EQ(texels[i], want) << "byte " << i;
        }
        GLint alignment = 0;
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
        EXPECT_EQ(alignment, 4) << "the unpack alignment is left as it was";
    }
}

TEST_F(MakeTexture, PictureWithSidesNotPowersOfTwoIsScaledIntoAFullMipmapChain)
{
    // 300 x 200: red on the left half, blue on the right.
    std::vector<unsigned char> pixels;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x)
            pixels.insert(pixels.end(), { static_cast<unsigned char>(x < 150 ? 220 : 0), 0,
                                          static_cast<unsigned char>(x < 150 ? 0 : 220) });
    const std::string path = writeFixture("wide.tga", 300, 200, 3, pixels, kind(24, false));
    makeTexture(textureNames, path.c_str(), 0);

    const int w = boundLevelParameter(0, GL_TEXTURE_WIDTH), h = boundLevelParameter(0, GL_TEXTURE_HEIGHT);
    EXPECT_EQ(w & (w - 1), 0) << w;
    EXPECT_EQ(h & (h - 1), 0) << h;
    int level = 0;
    while (boundLevelParameter(level + 1, GL_TEXTURE_WIDTH) > 0 && level < 20)
        ++level;
    EXPECT_EQ(boundLevelParameter(level, GL_TEXTURE_WIDTH), 1);
    EXPECT_EQ(boundLevelParameter(level, GL_TEXTURE_HEIGHT), 1);
    EXPECT_EQ((1 << level), std::max(w, h)) << "every level down to 1 x 1";

    const std::vector<unsigned char> texels = boundTexels();
    const unsigned char* left               = &texels[(static_cast<size_t>(h / 2) * w + w / 8) * 4];
    const unsigned char* right              = &texels[(static_cast<size_t>(h / 2) * w + w - 1 - w / 8) * 4];
    EXPECT_EQ(left[0], 220);
    EXPECT_EQ(left[2], 0);
    EXPECT_EQ(right[0], 0);
    EXPECT_EQ(right[2], 220);
}

TEST_F(MakeTexture, LargePictureIsScaledDownAndShowsItsMarksWhereASmallCopyDoes)
{
    // 2050 x 1025 is scaled down by 3 as it is read, to 684 x 342 (by 2 a
    // side would be 1025); the large one is stored top row first and
    // run-length, the small copy plainly, so rows and packets are both in play.
    TgaWriteOptions large       = kind(32, true);
    large.topLeft               = true;
    const std::string largePath = writeFixture("large.tga", 2050, 1025, 3, markedPicture(2050, 1025), large);
    const std::string smallPath =
        writeFixture("small.tga", 600, 300, 3, markedPicture(600, 300), kind(24, false));

    makeTexture(textureNames, largePath.c_str(), 0);
    EXPECT_LE(boundLevelParameter(0, GL_TEXTURE_WIDTH), 1024);
    EXPECT_LE(boundLevelParameter(0, GL_TEXTURE_HEIGHT), 1024);
    const RgbImage fromLarge = drawBoundTexture();
    makeTexture(textureNames, smallPath.c_str(), 0);
    const RgbImage fromSmall = drawBoundTexture();

    const struct {
        const char* name;
        Rgb colour;
    } marks[] = { { "red", { 230, 20, 20 } }, { "green", { 20, 230, 20 } }, { "blue", { 20, 20, 230 } } };
    for (const auto& m : marks) {
        SCOPED_TRACE(m.name);
        const Mark large = findMark(fromLarge, m.colour), small = findMark(fromSmall, m.colour);
        ASSERT_GT(small.pixels, 50);
        EXPECT_NEAR(large.pixels, small.pixels, small.pixels / 10);
        EXPECT_NEAR(large.x, small.x, 1.0);
        EXPECT_NEAR(large.y, small.y, 1.0);
    }
    const Mark red = findMark(fromSmall, marks[0].colour);
    EXPECT_LT(red.x, 32) << "the red mark is on the left";
    EXPECT_GT(red.y, 32) << "and near the bottom";
}

TEST_F(MakeTexture, PictureOf1024PixelsAcrossIsNotScaledDown)
{
    // GLU takes it at its size; one pixel more is halved (to 513) before GLU
    // sees it, and GLU takes that to 512.
    const std::string fits = writeFixture("fits.tga", 1024, 2, 3, markedPicture(1024, 2), kind(24, false));
    makeTexture(textureNames, fits.c_str(), 0);
    EXPECT_EQ(boundLevelParameter(0, GL_TEXTURE_WIDTH), 1024);
    const std::string over = writeFixture("over.tga", 1025, 2, 3, markedPicture(1025, 2), kind(24, false));
    makeTexture(textureNames, over.c_str(), 0);
    EXPECT_EQ(boundLevelParameter(0, GL_TEXTURE_WIDTH), 512);
}

TEST_F(MakeTexture, FiltersAreMipmappedMinificationAndTheDefaultMagnification)
{
    const std::string path =
        writeFixture("filters.tga", 4, 4, 3, std::vector<unsigned char>(48, 90), kind(24, false));
    makeTexture(textureNames, path.c_str(), 0);
    GLint minFilter = 0, magFilter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &magFilter);
    EXPECT_EQ(minFilter, GL_LINEAR_MIPMAP_NEAREST);
    EXPECT_EQ(magFilter, GL_LINEAR);
}

TEST_F(MakeTexture, EachCallMakesANewTextureNamedInItsSlot)
{
    const std::string path =
        writeFixture("slot.tga", 2, 2, 3, std::vector<unsigned char>(12, 40), kind(24, false));
    GLuint names[3]  = { 0, 0, 0 };
    const int before = liveTextureCount();
    makeTexture(names, path.c_str(), 2);
    const GLuint first = names[2];
    makeTexture(names, path.c_str(), 2);

    EXPECT_EQ(names[0], 0u);
    EXPECT_EQ(names[1], 0u);
    EXPECT_NE(names[2], first);
    EXPECT_EQ(boundTexture(), static_cast<GLint>(names[2]));
    EXPECT_EQ(liveTextureCount(), before + 2) << "the texture a slot no longer names is not deleted here";
}

TEST_F(MakeTexture, NullPathChangesNothing)
{
    GLuint kept = 0;
    glGenTextures(1, &kept);
    glBindTexture(GL_TEXTURE_2D, kept);
    GLuint names[2]  = { 123, 456 };
    const int before = liveTextureCount();

    makeTexture(names, nullptr, 1);
    EXPECT_EQ(names[0], 123u);
    EXPECT_EQ(names[1], 456u);
    EXPECT_EQ(boundTexture(), static_cast<GLint>(kept));
    EXPECT_EQ(liveTextureCount(), before);
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (!GTEST_FLAG_GET(list_tests)) { // listing the tests at build time needs no display
        // A bare window for a GL context: the viewer's own display would read data/.
        glutInit(&argc, argv);
        glutInitDisplayMode(GLUT_DOUBLE | GLUT_RGB | GLUT_DEPTH);
        glutInitWindowSize(64, 64);
        glutCreateWindow("texture_test");
        glutDisplayFunc([] {});
        pumpEvents(5); // (and, from the harness, its sanitizer settings for tests that draw)
    }
    return RUN_ALL_TESTS();
}
