// SPDX-License-Identifier: MIT
// The untextured objects of the first frames, read back from a real window:
// where each object shows and in what colour a person would see it.
#include "app.h"
#include "camera.h"
#include "geometry.h"
#include "gl_harness.h"
#include "scene.h"

#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

// Last: Xlib's macros (None, Bool, Status) would break gtest's headers.
#include <GL/glx.h>
#include <X11/Xlib.h>

namespace {

// Where a world point lands in a 500 x 500 window seen from `eye` looking at
// the origin with +Y up and a 90 degree square view: worked out here on its
// own, so a wrong camera start or projection in the viewer shows.
struct Pixel {
    int x, y;
};

Pixel project(Vec eye, Vec point)
{
    const Vec forward  = unit(Vec{ 0, 0, 0 } - eye);
    const Vec right    = unit(cross(forward, { 0, 1, 0 }));
    const Vec up       = cross(right, forward);
    const Vec rel      = point - eye;
    const double depth = dot(rel, forward);
    return { static_cast<int>(std::lround(250 + 250 * dot(rel, right) / depth)),
             static_cast<int>(std::lround(250 - 250 * dot(rel, up) / depth)) };
}

// What a person calls the colours of the scene's materials under its two
// dim lights (the diffuse term is grey, so the ambient material sets the hue).
bool isGrass(Rgb c)
{
    return c.g > c.r && c.g > c.b + 30;
}

bool isPlanterBox(Rgb c)
{
    return c.r > 60 && c.r > 2 * c.g && c.g > c.b;
}

bool isBell(Rgb c)
{
    return c.g > c.r + 15 && c.b > c.r + 10 && c.g >= c.b;
}

bool isWood(Rgb c) // posts and beam
{
    return c.r > 120 && c.r > c.g + 45 && c.g > c.b;
}

bool isSignPost(Rgb c)
{
    return c.b > c.g + 20 && c.r > c.g;
}

// Puts the eye where the orbit puts it at `angle`, through the camera's own step.
Vec orbitTo(double angle)
{
    initCamera();
    orbitAngle = angle - angleStep;
    advanceOrbit();
    return { eyeX, eyeY, eyeZ };
}

class Render : public testing::Test {
protected:
    void SetUp() override
    {
        resizeWindow(500, 500);
        initCamera();
    }

    Rgb seen(Vec eye, Vec point)
    {
        const Pixel p = project(eye, point);
        return pixelAt(p.x, p.y);
    }
};

const Vec startEye = { 0, 0, 25 };

} // namespace

TEST_F(Render, FirstFrameShowsThePlantersFromTheStartPosition)
{
    renderFrame();
    const Vec tops[]  = { { 13.5, -10.75, 1.5 }, { -9.8, -10.75, 4.5 }, { -8, -10.75, -7 } };
    const Vec boxes[] = { { 11.5, -13, 2.5 }, { -11.5, -13.5, 6 }, { -7.5, -12, -9 } };
    for (int i = 0; i < 3; ++i) {
        const Rgb top = seen(startEye, tops[i]), box = seen(startEye, boxes[i]);
        EXPECT_TRUE(isGrass(top)) << "planter " << i + 1 << " top " << describe(top);
        EXPECT_TRUE(isPlanterBox(box)) << "planter " << i + 1 << " box " << describe(box);
    }
}

TEST_F(Render, FirstFrameShowsTheBellsHangingFromTheBeam)
{
    renderFrame();
    const Vec bodies[] = { { 0, -1.9, 0.7 }, { -2, -0.1, 0.8 }, { -4, 1.8, 0.9 }, { -6, 3.6, 1.0 } };
    for (const Vec& body : bodies)
        EXPECT_TRUE(isBell(seen(startEye, body)))
            << "bell at x = " << body.x << " " << describe(seen(startEye, body));
    EXPECT_TRUE(isBell(seen(startEye, { -6, 5.5, 0 }))) << "the rope of bell 5";
    EXPECT_TRUE(isBell(seen(startEye, { 0.1, -2.45, 0 }))) << "the mouth of bell 2";

    const Vec beam[] = { { 5, -4, 0 }, { -5, 7.4, 0 }, { -11.8, 14.5, 0 } };
    for (const Vec& p : beam)
        EXPECT_TRUE(isWood(seen(startEye, p))) << "beam at x = " << p.x << " " << describe(seen(startEye, p));
    EXPECT_TRUE(isWood(seen(startEye, { -9.75, -4, 0 }))) << "post A";
    EXPECT_TRUE(isWood(seen(startEye, { -9.75, 0, -5.5 }))) << "post B";
}

TEST_F(Render, SideViewShowsBellOneMouthInTheBellMaterialAndTheSignPosts)
{
    // From -X the first bell hangs clear of the posts, and the sign posts
    // stand far off to the right.
    const Vec eye = orbitTo(3.14156);
    renderFrame();
    const Rgb mouth = seen(eye, { -11.04, -2.4, -3 });
    EXPECT_TRUE(isBell(mouth)) << "bell 1's mouth keeps the bell material " << describe(mouth);
    EXPECT_TRUE(isBell(seen(eye, { -11.1, -1.5, -3 }))) << "bell 1's body";
    for (Vec post : { Vec{ 57, -10, 30 }, Vec{ 50, -10, 37 }, Vec{ 57, 1.5, 30 }, Vec{ 50, -19, 37 } }) {
        const Rgb c = seen(eye, post);
        EXPECT_TRUE(isSignPost(c)) << "sign post at x = " << post.x << ", y = " << post.y << " "
                                   << describe(c);
    }
}

TEST_F(Render, ColoursMatchTheMaterials)
{
    // Measured once under Mesa's software renderer; a wrong ambient colour on
    // any object moves at least one channel by more than the tolerance.
    renderFrame();
    struct Probe {
        const char* what;
        Vec point;
        Rgb colour;
    };
    const Probe probes[] = {
        { "grass", { 13.5, -10.75, 1.5 }, { 99, 117, 66 } },
        { "planter box", { 11.5, -13, 2.5 }, { 81, 34, 17 } },
        { "bell", { 0, -1.9, 0.7 }, { 89, 121, 110 } },
        { "beam", { 5, -4, 0 }, { 144, 83, 67 } },
        { "post", { -9.75, 0, -5.5 }, { 162, 95, 79 } },
    };
    for (const Probe& p : probes)
        EXPECT_TRUE(near(seen(startEye, p.point), p.colour, litColourTolerance))
            << p.what << ": " << describe(seen(startEye, p.point)) << ", expected about "
            << describe(p.colour);
}

TEST_F(Render, StillCameraDrawsTheSameFrameAgain)
{
    renderFrame();
    const RgbImage first = readFrame();
    for (int i = 0; i < 3; ++i) {
        pumpEvents();
        renderFrame();
    }
    EXPECT_EQ(eyeZ, 25.0) << "no idle callback moves the camera before a left press";
    EXPECT_TRUE(readFrame().rgb == first.rgb);
}

TEST_F(Render, NonSquareWindowStretchesTheScene)
{
    resizeWindow(500, 250);
    ASSERT_EQ(viewportHeight(), 250);
    renderFrame();
    // The aspect stays 1: everything keeps its x and is squeezed to half height.
    const struct {
        Vec point;
        bool (*looksRight)(Rgb);
    } probes[] = { { { -11.8, 14.5, 0 }, isWood },
                   { { 0, -1.9, 0.7 }, isBell },
                   { { 13.5, -10.75, 1.5 }, isGrass } };
    for (const auto& probe : probes) {
        const Pixel full = project(startEye, probe.point);
        const Rgb c      = pixelAt(full.x, full.y / 2);
        EXPECT_TRUE(probe.looksRight(c)) << "x = " << probe.point.x << " " << describe(c);
    }
}

TEST_F(Render, ZeroHeightWindowKeepsTheProjection)
{
    GLdouble square[16], flat[16];
    reshape(500, 500);
    glGetDoublev(GL_PROJECTION_MATRIX, square);
    reshape(500, 0);
    glGetDoublev(GL_PROJECTION_MATRIX, flat);
    for (int i = 0; i < 16; ++i) {
        EXPECT_TRUE(std::isfinite(flat[i]));
        EXPECT_EQ(flat[i], square[i]);
    }
    reshape(500, 500);
}

// The last frame shown: the back buffer at each swap, read at the viewport's
// size (the part outside a stale, smaller buffer reads as black). Linked with
// --wrap=glutSwapBuffers: the display callback's swap comes here.
RgbImage lastShown;

extern "C" void __real_glutSwapBuffers();
extern "C" void __wrap_glutSwapBuffers()
{
    lastShown = readFrame();
    __real_glutSwapBuffers();
}

TEST_F(Render, AResizeFromOutsideShowsTheWholeSceneAtTheNewSize)
{
    Display* wm = XOpenDisplay(nullptr);
    ASSERT_NE(wm, nullptr);
    pumpEvents(5); // the fixture's own resize request goes first
    renderFrame();
    XResizeWindow(wm, glXGetCurrentDrawable(), 600, 400);
    XCloseDisplay(wm);
    for (int i = 0; i < 500 && (viewportWidth() != 600 || viewportHeight() != 400); ++i)
        pumpEvents();
    ASSERT_EQ(viewportWidth(), 600);
    pumpEvents(20);
    const std::vector<unsigned char> shown = lastShown.rgb;

    renderFrame();
    const std::vector<unsigned char> whole = readFrame().rgb;
    ASSERT_EQ(shown.size(), whole.size());
    size_t wrong = 0;
    for (size_t i = 0; i < shown.size(); ++i)
        wrong += std::abs(shown[i] - whole[i]) > 8;
    EXPECT_LT(wrong, shown.size() / 100) << wrong << " of " << shown.size() << " colour values differ";
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (!GTEST_FLAG_GET(list_tests)) // listing the tests at build time needs no display
        openViewerWindow(&argc, argv);
    return RUN_ALL_TESTS();
}
