// SPDX-License-Identifier: MIT
// The pictured enclosure and sign board, read back from a real window and
// compared with the default pictures in data/ (decoded on their own by
// stb_image): each surface shows its own picture, the right way round, at
// full brightness, the floor tiled 5 x 5, and no more than seven textures.
#include "camera.h"
#include "geometry.h"
#include "gl_harness.h"
#include "scene.h"
#include "scene_pictures.h"
#include "texture.h"

#include <GL/freeglut.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Each surface, its corners and their texture coordinates, and a camera
// inside the enclosure that sees all of it.
struct Surface {
    const char* name; // as scenePictures names it, with the file it shows
    double st[4][2];
    Vec corners[4];
    Vec eye, centre, up;
};

const Surface surfaces[] = {
    { "rear wall",
      { { 0, 0 }, { 0, 1 }, { 1, 1 }, { 1, 0 } },
      { { -60, -20, -30 }, { -60, 60, -30 }, { 60, 60, -30 }, { 60, -20, -30 } },
      { 0, 20, 35 },
      { 0, 20, -30 },
      { 0, 1, 0 } },
    { "left wall",
      { { 1, 0 }, { 1, 1 }, { 0, 1 }, { 0, 0 } },
      { { -60, -20, 40 }, { -60, 60, 40 }, { -60, 60, -30 }, { -60, -20, -30 } },
      { -10, 20, 5 },
      { -60, 20, 5 },
      { 0, 1, 0 } },
    { "right wall",
      { { 1, 0 }, { 1, 1 }, { 0, 1 }, { 0, 0 } },
      { { 60, -20, 40 }, { 60, 60, 40 }, { 60, 60, -30 }, { 60, -20, -30 } },
      { 10, 20, 5 },
      { 60, 20, 5 },
      { 0, 1, 0 } },
    { "forward wall",
      { { 0, 0 }, { 0, 1 }, { 1, 1 }, { 1, 0 } },
      { { -60, -20, 40 }, { -60, 60, 40 }, { 60, 60, 40 }, { 60, -20, 40 } },
      { 0, 20, -25 },
      { 0, 20, 40 },
      { 0, 1, 0 } },
    { "sky",
      { { 0, 0 }, { 0, 1 }, { 1, 1 }, { 1, 0 } },
      { { -60, 60, 40 }, { -60, 60, -30 }, { 60, 60, -30 }, { 60, 60, 40 } },
      { 0, 0, 5 },
      { 0, 60, 5 },
      { 0, 0, -1 } },
    { "floor",
      { { -5, -5 }, { -5, 0 }, { 0, 0 }, { 0, -5 } },
      { { -60, -20, 40 }, { -60, -20, -30 }, { 60, -20, -30 }, { 60, -20, 40 } },
      { 0.1, 42.5, 5.1 },
      { 0.1, -20, 5.1 },
      { 0, 0, -1 } }, // no texel edge on a pixel centre
    { "sign board",
      { { 0, 0 }, { 0, 1 }, { 1, 1 }, { 1, 0 } },
      { { 57, -7, 30 }, { 57, 0, 30 }, { 50, 0, 37 }, { 50, -7, 37 } },
      { 45, -3.5, 25 },
      { 53.5, -3.5, 33.5 },
      { 0, 1, 0 } },
};

// A plain pointer, not a std::string: GCC 14 takes a reference returned from a
// call given a temporary string for one into the temporary.
const Surface& surfaceNamed(const char* name)
{
    for (const Surface& s : surfaces)
        if (std::strcmp(name, s.name) == 0)
            return s;
    std::abort();
}

// Bilinear over the four corners: (u, v) = (0, 0) at the first corner,
// (0, 1) at the second, (1, 1) at the third.
template <typename T> T across(const T (&c)[4], double u, double v)
{
    return (1 - u) * (1 - v) * c[0] + (1 - u) * v * c[1] + u * v * c[2] + u * (1 - v) * c[3];
}

struct St {
    double s, t;
};
St operator+(St a, St b)
{
    return { a.s + b.s, a.t + b.t };
}
St operator*(double k, St a)
{
    return { k * a.s, k * a.t };
}

St stAt(const Surface& surface, double u, double v)
{
    const St c[4] = { { surface.st[0][0], surface.st[0][1] },
                      { surface.st[1][0], surface.st[1][1] },
                      { surface.st[2][0], surface.st[2][1] },
                      { surface.st[3][0], surface.st[3][1] } };
    return across(c, u, v);
}

// A picture file as stb_image reads it, on its own.
RgbImage pictureFile(const char* path)
{
    RgbImage picture;
    EXPECT_TRUE(readImage(path, &picture)) << path;
    return picture;
}

// The texel at column x, counted from the left, and row y, from the bottom; repeating.
Rgb texel(const RgbImage& picture, int x, int y)
{
    x = ((x % picture.width) + picture.width) % picture.width;
    y = ((y % picture.height) + picture.height) % picture.height;
    return colourAt(picture, x, picture.height - 1 - y);
}

// Whether the picture shows `seen` around (s, t): unclear where it changes
// too much within a few texels for one pixel to say anything (edges of
// letters, mortar joints); otherwise whether `seen` is one of the colours there.
enum class Match { Yes, No, Unclear };

Match pictureShows(const RgbImage& picture, St st, Rgb seen)
{
    const int x = static_cast<int>(std::floor(st.s * picture.width));
    const int y = static_cast<int>(std::floor(st.t * picture.height));
    Rgb lo = { 255, 255, 255 }, hi = { 0, 0, 0 };
    bool any = false;
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) {
            const Rgb c = texel(picture, x + dx, y + dy);
            lo          = { std::min(lo.r, c.r), std::min(lo.g, c.g), std::min(lo.b, c.b) };
            hi          = { std::max(hi.r, c.r), std::max(hi.g, c.g), std::max(hi.b, c.b) };
            any         = any || near(c, seen, texelTolerance);
        }
    if (hi.r - lo.r > 40 || hi.g - lo.g > 40 || hi.b - lo.b > 40)
        return Match::Unclear;
    return any ? Match::Yes : Match::No;
}

void lookFrom(Vec eye, Vec centre, Vec up)
{
    eyeX = eye.x, eyeY = eye.y, eyeZ = eye.z;
    centerX = centre.x, centerY = centre.y, centerZ = centre.z;
    upX = up.x, upY = up.y, upZ = up.z;
}

// Where a world point shows in the last frame, through the viewer's own
// matrices, and whether it is the nearest thing there (not hidden behind a
// bell or a post).
struct Seen {
    bool visible;
    Rgb colour;
};

Seen seenAt(Vec p)
{
    GLdouble model[16], projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    GLdouble wx = 0, wy = 0, wz = 0;
    gluProject(p.x, p.y, p.z, model, projection, viewport, &wx, &wy, &wz);
    const int x = static_cast<int>(std::floor(wx)), y = static_cast<int>(std::floor(wy));
    if (x < 1 || y < 1 || x >= viewport[2] - 1 || y >= viewport[3] - 1 || wz <= 0 || wz >= 1)
        return { false, {} };
    GLfloat depth      = 0;
    unsigned char c[3] = { 0, 0, 0 };
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, c);
    return { std::fabs(depth - wz) < 1e-4, { c[0], c[1], c[2] } };
}

// Checks a 10 x 10 grid over the surface against its picture; returns how
// many points could be judged.
int expectPicture(const Surface& surface)
{
    const char* file = scenePictureFile(surface.name);
    if (file == nullptr) {
        ADD_FAILURE() << "no picture is shown on the " << surface.name;
        return 0;
    }
    const RgbImage picture = pictureFile((std::string(scenePictureDir) + "/" + file).c_str());
    int judged             = 0;
    for (int i = 0; i < 10; ++i)
        for (int j = 0; j < 10; ++j) {
            const double u = (i + 0.37) / 10.1, v = (j + 0.61) / 10.3; // off the pictures' own grids
            const Seen seen = seenAt(across(surface.corners, u, v));
            if (!seen.visible)
                continue;
            const St st       = stAt(surface, u, v);
            const Match match = pictureShows(picture, st, seen.colour);
            if (match == Match::Unclear)
                continue;
            ++judged;
            EXPECT_EQ(match, Match::Yes) << surface.name << " at s = " << st.s << ", t = " << st.t
                                         << " shows " << describe(seen.colour);
        }
    return judged;
}

// Colour families of the default pictures' cues, loose enough for any lighting mistake to break them.
bool isRedCue(Rgb c)
{
    return c.r > 150 && c.g < 90 && c.b < 90;
}
bool isGreenCue(Rgb c)
{
    return c.g > 120 && c.r < 90 && c.b < 130;
}
int brightness(Rgb c)
{
    return c.r + c.g + c.b;
}

GLint textureParameter(GLuint name, GLenum parameter)
{
    GLint value = 0;
    glBindTexture(GL_TEXTURE_2D, name);
    glGetTexParameteriv(GL_TEXTURE_2D, parameter, &value);
    return value;
}

class Enclosure : public testing::Test {
protected:
    void SetUp() override
    {
        resizeWindow(500, 500);
        initCamera();
        glEnable(GL_LIGHT0);
        glEnable(GL_LIGHT1);
    }
    void TearDown() override
    {
        glEnable(GL_LIGHT0);
        glEnable(GL_LIGHT1);
        initCamera();
    }

    void renderFrom(const Surface& surface)
    {
        lookFrom(surface.eye, surface.centre, surface.up);
        renderFrame();
    }
};

} // namespace

TEST_F(Enclosure, FirstFrameShowsTheRearWallAndTheFloorWithTheirPictures)
{
    renderFrame(); // from the start position, looking toward the rear wall
    EXPECT_GT(expectPicture(surfaceNamed("rear wall")), 40);
    EXPECT_GT(expectPicture(surfaceNamed("floor")), 10);
}

TEST_F(Enclosure, EverySurfaceShowsItsOwnPictureWhereItsCoordinatesPutIt)
{
    for (const Surface& surface : surfaces) {
        SCOPED_TRACE(surface.name);
        renderFrom(surface);
        EXPECT_GT(expectPicture(surface), 30);
    }
}

TEST_F(Enclosure, PicturesShowAtFullBrightnessWithTheLightsOff)
{
    glDisable(GL_LIGHT0);
    glDisable(GL_LIGHT1);
    for (const Surface& surface : surfaces) {
        SCOPED_TRACE(surface.name);
        renderFrom(surface);
        EXPECT_GT(expectPicture(surface), 30);
    }
}

TEST_F(Enclosure, LightsChangeTheBellsButNotTheWalls)
{
    const Vec bellBody = { 0, -1.9, 0.7 }, wall = { 0, 40, -30 };
    renderFrame();
    const Seen litBell = seenAt(bellBody), litWall = seenAt(wall);
    glDisable(GL_LIGHT0);
    glDisable(GL_LIGHT1);
    renderFrame();
    const Seen darkBell = seenAt(bellBody), darkWall = seenAt(wall);

    ASSERT_TRUE(litBell.visible && litWall.visible);
    EXPECT_TRUE(near(litWall.colour, darkWall.colour, 0))
        << describe(litWall.colour) << " vs " << describe(darkWall.colour);
    EXPECT_LT(brightness(darkBell.colour), brightness(litBell.colour) - 60)
        << "the bell is lit only by the lights, with no glow of its own: " << describe(litBell.colour)
        << " then " << describe(darkBell.colour);
}

TEST_F(Enclosure, GlowEndsWithTheTexturedSurfaces)
{
    renderFrame();
    GLfloat emission[4] = { -1, -1, -1, -1 };
    glGetMaterialfv(GL_FRONT, GL_EMISSION, emission);
    EXPECT_EQ(emission[0], 0.0f);
    EXPECT_EQ(emission[1], 0.0f);
    EXPECT_EQ(emission[2], 0.0f);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D)) << "texturing is off for the untextured objects";

    // The bells, planters and posts keep their dim lit colours.
    for (Vec p : { Vec{ 0, -1.9, 0.7 }, Vec{ 11.5, -13, 2.5 }, Vec{ 5, -4, 0 }, Vec{ 13.5, -10.75, 1.5 } }) {
        const Seen seen = seenAt(p);
        ASSERT_TRUE(seen.visible);
        EXPECT_LT(std::max({ seen.colour.r, seen.colour.g, seen.colour.b }), 180) << describe(seen.colour);
    }
}

TEST_F(Enclosure, WallsReadTheRightWayRoundFromTheCentre)
{
    // Each wall as a person standing inside sees it: its bottom-left,
    // bottom-right and top-left corners.
    const struct {
        const char* wall;
        Vec bottomLeft, bottomRight, topLeft;
    } views[] = {
        { "rear wall", { -60, -20, -30 }, { 60, -20, -30 }, { -60, 60, -30 } },
        { "left wall", { -60, -20, 40 }, { -60, -20, -30 }, { -60, 60, 40 } },
        { "right wall", { 60, -20, -30 }, { 60, -20, 40 }, { 60, 60, -30 } },
        { "forward wall", { 60, -20, 40 }, { -60, -20, 40 }, { 60, 60, 40 } },
    };
    for (const auto& view : views) {
        SCOPED_TRACE(view.wall);
        renderFrom(surfaceNamed(view.wall));
        auto at = [&](double u, double v) {
            const Seen seen = seenAt(view.bottomLeft + u * (view.bottomRight - view.bottomLeft)
                                     + v * (view.topLeft - view.bottomLeft));
            EXPECT_TRUE(seen.visible) << "at " << u << ", " << v;
            return seen.colour;
        };
        // Red stripe on the left, green on the right.
        EXPECT_TRUE(isRedCue(at(0.03, 0.5))) << describe(at(0.03, 0.5));
        EXPECT_TRUE(isGreenCue(at(0.97, 0.5))) << describe(at(0.97, 0.5));
        // The up arrow stands out from the wall near the top; at the mirror
        // place near the bottom the wall is bare. (Probes off the centre line
        // stay clear of the bells and posts.)
        EXPECT_FALSE(near(at(0.5, 0.8), at(0.65, 0.8), 40)) << "arrow near the top";
        EXPECT_TRUE(near(at(0.5, 0.2), at(0.65, 0.2), 30)) << "nothing at the mirror place near the bottom";
        // Dark ground along the bottom, a lighter wall above it and at the top.
        EXPECT_LT(brightness(at(0.7, 0.05)) + 60, brightness(at(0.7, 0.25)));
        EXPECT_LT(brightness(at(0.7, 0.05)) + 60, brightness(at(0.7, 0.95)));
    }
}

TEST_F(Enclosure, SignReadsFromTheLeftAsSeenFromTheCentre)
{
    const Surface& sign = surfaceNamed("sign board");
    renderFrom(sign);
    // s = 0 is the edge at x = 57, on the left as seen from the centre; the
    // T of "Tollmere" has its bar there, and the mirror place is bare wood.
    const auto bar    = seenAt(across(sign.corners, 0.15, 0.62));
    const auto mirror = seenAt(across(sign.corners, 0.85, 0.62));
    ASSERT_TRUE(bar.visible && mirror.visible);
    EXPECT_GT(bar.colour.b, 150) << "cream lettering " << describe(bar.colour);
    EXPECT_LT(mirror.colour.b, 100) << "wood " << describe(mirror.colour);
}

TEST_F(Enclosure, FloorRepeatsItsPictureFiveTimesEachWay)
{
    // Straight down onto the floor from 62.5 units above it: 4 pixels per
    // unit, so one repeat of 24 x 14 units is 96 x 56 pixels.
    renderFrom(surfaceNamed("floor"));
    auto matching = [](const std::vector<Rgb>& line, int shift) {
        int same = 0;
        for (size_t i = 0; i + shift < line.size(); ++i)
            same += near(line[i], line[i + shift], 4);
        return static_cast<double>(same) / static_cast<double>(line.size() - shift);
    };
    std::vector<Rgb> row, column;
    for (int x = 12; x < 488; ++x)
        row.push_back(pixelAt(x, 310)); // along z = 20, clear of everything standing on the floor
    for (int y = 112; y < 388; ++y)
        column.push_back(pixelAt(90, y)); // along x = -40

    EXPECT_GT(matching(row, 96), 0.95);
    for (int shift : { 24, 32, 48, 64, 72 })
        EXPECT_LT(matching(row, shift), 0.6) << "shift " << shift;
    EXPECT_GT(matching(column, 56), 0.95);
    for (int shift : { 14, 28, 42 })
        EXPECT_LT(matching(column, shift), 0.6) << "shift " << shift;
}

TEST_F(Enclosure, SevenTexturesServeEveryFrame)
{
    renderFrame();
    EXPECT_EQ(liveTextureCount(), 7);
    // Over 200 orbit steps, past the angle's wrap and round a whole turn, a
    // frame every 10 steps: a texture made again shows in any frame.
    for (int frame = 0; frame < 20; ++frame) {
        for (int step = 0; step < 10; ++step)
            advanceOrbit();
        renderFrame();
    }
    EXPECT_EQ(liveTextureCount(), 7);

    // Slot 0 names the texture drawn last: the sign's, the one 32-bit
    // picture of 300 x 212, scaled to 256 x 256.
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, static_cast<GLint>(textureNames[0]));
    GLint width = 0, alpha = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_ALPHA_SIZE, &alpha);
    EXPECT_EQ(width, 256);
    EXPECT_GT(alpha, 0);
}

TEST_F(Enclosure, EveryFrameSetsEachSurfacesSampling)
{
    renderFrame();
    const std::vector<GLuint> names = liveTextureNames();
    ASSERT_EQ(names.size(), 7u);
    for (GLuint name : names) { // as if something else had changed them
        glBindTexture(GL_TEXTURE_2D, name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    }
    renderFrame();
    for (GLuint name : names) {
        EXPECT_EQ(textureParameter(name, GL_TEXTURE_WRAP_S), GL_REPEAT) << name;
        EXPECT_EQ(textureParameter(name, GL_TEXTURE_WRAP_T), GL_REPEAT) << name;
        EXPECT_EQ(textureParameter(name, GL_TEXTURE_MAG_FILTER), GL_NEAREST) << name;
        EXPECT_EQ(textureParameter(name, GL_TEXTURE_MIN_FILTER), GL_NEAREST) << name;
    }
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (!GTEST_FLAG_GET(list_tests)) // listing the tests at build time needs no display
        openViewerWindow(&argc, argv);
    return RUN_ALL_TESTS();
}
