// SPDX-License-Identifier: MIT
// The viewer as GLUT runs it: the callbacks its start-up registers, a click
// that comes through the X server, the frames a resize costs, and the GL
// state a frame leaves behind. The callbacks are caught at link time on
// their way to GLUT (see tests/CMakeLists.txt) and passed on.
#include "app.h"
#include "camera.h"
#include "gl_harness.h"

#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

// Last: Xlib's macros (None, Bool, Status) would break gtest's headers.
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

struct Callbacks {
    void (*display)()                         = nullptr;
    void (*reshape)(int, int)                 = nullptr;
    void (*mouse)(int, int, int, int)         = nullptr;
    void (*idle)()                            = nullptr;
    void (*keyboard)(unsigned char, int, int) = nullptr;
    void (*special)(int, int, int)            = nullptr;
    void (*motion)(int, int)                  = nullptr;
    void (*passiveMotion)(int, int)           = nullptr;
    int menus                                 = 0;
};

Callbacks registered; // as GLUT holds them now
Callbacks atStartUp;  // as openViewer left them
int framesShown = 0;

// Where the window is moved after start-up, clear of the windows other tests
// keep at the screen's corner: one closing over it would expose it and so
// draw a frame no event of ours asked for.
const int windowX = 700, windowY = 480;

// GLUT's main loop for a while, without its clean-up at the end: events and
// the redisplays they ask for, then the idle callback, or a wait when there
// is none.
void runMainLoop(int milliseconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end) {
        glutMainLoopEvent();
        if (registered.idle)
            registered.idle();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// Runs the loop until `done` holds, for at most five seconds.
template <class Condition> bool runMainLoopUntil(Condition done)
{
    for (int i = 0; i < 2500 && !done(); ++i)
        runMainLoop(2);
    return done();
}

class Viewer : public testing::Test {
protected:
    // Until 200 ms pass without a frame: the frames owed to the start-up's
    // reshape take longer in the sanitizer build.
    void SetUp() override
    {
        for (int i = 0; i < 15; ++i) {
            framesShown = 0;
            runMainLoop(200);
            if (framesShown == 0)
                break;
        }
        framesShown = 0;
    }
};

} // namespace

extern "C" {
void __real_glutDisplayFunc(void (*callback)());
void __real_glutReshapeFunc(void (*callback)(int, int));
void __real_glutMouseFunc(void (*callback)(int, int, int, int));
void __real_glutIdleFunc(void (*callback)());
void __real_glutKeyboardFunc(void (*callback)(unsigned char, int, int));
void __real_glutSpecialFunc(void (*callback)(int, int, int));
void __real_glutMotionFunc(void (*callback)(int, int));
void __real_glutPassiveMotionFunc(void (*callback)(int, int));
int __real_glutCreateMenu(void (*callback)(int));
void __real_glutSwapBuffers();

void __wrap_glutDisplayFunc(void (*callback)())
{
    registered.display = callback;
    __real_glutDisplayFunc(callback);
}
void __wrap_glutReshapeFunc(void (*callback)(int, int))
{
    registered.reshape = callback;
    __real_glutReshapeFunc(callback);
}
void __wrap_glutMouseFunc(void (*callback)(int, int, int, int))
{
    registered.mouse = callback;
    __real_glutMouseFunc(callback);
}
void __wrap_glutIdleFunc(void (*callback)())
{
    registered.idle = callback;
    __real_glutIdleFunc(callback);
}
void __wrap_glutKeyboardFunc(void (*callback)(unsigned char, int, int))
{
    registered.keyboard = callback;
    __real_glutKeyboardFunc(callback);
}
void __wrap_glutSpecialFunc(void (*callback)(int, int, int))
{
    registered.special = callback;
    __real_glutSpecialFunc(callback);
}
void __wrap_glutMotionFunc(void (*callback)(int, int))
{
    registered.motion = callback;
    __real_glutMotionFunc(callback);
}
void __wrap_glutPassiveMotionFunc(void (*callback)(int, int))
{
    registered.passiveMotion = callback;
    __real_glutPassiveMotionFunc(callback);
}
int __wrap_glutCreateMenu(void (*callback)(int))
{
    ++registered.menus;
    return __real_glutCreateMenu(callback);
}
void __wrap_glutSwapBuffers()
{
    ++framesShown;
    __real_glutSwapBuffers();
}
}

TEST(ViewerStartUp, RegistersDisplayReshapeAndMouseAndNothingElse)
{
    EXPECT_NE(atStartUp.display, nullptr);
    EXPECT_EQ(atStartUp.reshape, &reshape);
    EXPECT_EQ(atStartUp.mouse, &mouse) << "without it no click reaches the camera";
    EXPECT_EQ(atStartUp.idle, nullptr) << "the view stands still until a left click";
    EXPECT_EQ(atStartUp.keyboard, nullptr);
    EXPECT_EQ(atStartUp.special, nullptr);
    EXPECT_EQ(atStartUp.motion, nullptr);
    EXPECT_EQ(atStartUp.passiveMotion, nullptr);
    EXPECT_EQ(atStartUp.menus, 0);
}

TEST_F(Viewer, StandsStillWithoutEvents)
{
    runMainLoop(300);
    EXPECT_EQ(framesShown, 0) << "frames drawn with nothing to show";
    EXPECT_EQ(eyeZ, 25.0);
}

// A user's clicks: the pointer moved over the window and the buttons pressed
// through XTest, from a connection of their own.
TEST_F(Viewer, LeftClickSetsTheCameraCirclingAndRightClickStopsIt)
{
    Display* user = XOpenDisplay(nullptr);
    ASSERT_NE(user, nullptr);
    int event = 0, error = 0, major = 0, minor = 0;
    ASSERT_TRUE(XTestQueryExtension(user, &event, &error, &major, &minor)) << "the X server has no XTest";

    const auto click = [&](unsigned button) {
        XTestFakeMotionEvent(user, -1, windowX + 250, windowY + 250, CurrentTime);
        XTestFakeButtonEvent(user, button, True, CurrentTime);
        XTestFakeButtonEvent(user, button, False, CurrentTime);
        XSync(user, False);
    };

    renderFrame();
    const RgbImage still = readFrame();
    framesShown          = 0;
    click(Button1);
    ASSERT_TRUE(runMainLoopUntil([] { return orbitAngle != 90.0; }))
        << "the left click did not reach the camera";
    // Frames, not a time: a loaded machine draws the sanitizer build slowly.
    EXPECT_TRUE(runMainLoopUntil([] { return framesShown > 2; }))
        << "the circling camera is drawn frame after frame (" << framesShown << " frames)";
    renderFrame();
    EXPECT_FALSE(readFrame().rgb == still.rgb) << "the view moved";

    click(Button3);
    ASSERT_TRUE(runMainLoopUntil([] { return registered.idle == nullptr; }))
        << "the right click did not stop the camera";
    const double angle = orbitAngle;
    framesShown        = 0;
    runMainLoop(200);
    EXPECT_EQ(orbitAngle, angle);
    EXPECT_EQ(framesShown, 0);
    XCloseDisplay(user);
}

// Each reshape owes two frames (see app.cpp); a viewer that kept redrawing
// after them would take a whole core for the same picture.
TEST_F(Viewer, AResizeDrawsTheTwoFramesOwedThenNone)
{
    Display* wm = XOpenDisplay(nullptr);
    ASSERT_NE(wm, nullptr);
    for (const auto& [width, height] : { std::pair{ 600, 400 }, std::pair{ 500, 500 } }) {
        framesShown = 0;
        XResizeWindow(wm, glXGetCurrentDrawable(), width, height);
        XSync(wm, False);
        ASSERT_TRUE(runMainLoopUntil(
            [&] { return viewportWidth() == width && viewportHeight() == height && framesShown >= 2; }));
        runMainLoop(300);
        EXPECT_EQ(framesShown, 2) << "frames drawn for the resize to " << width << " x " << height
                                  << ", counted until 300 ms after the second";
    }
    XCloseDisplay(wm);
}

// Past the depth of the matrix stacks, so one push without its pop shows.
TEST_F(Viewer, EveryFrameLeavesNoGlErrorAndTheMatrixStacksAsItFoundThem)
{
    ASSERT_EQ(glGetError(), GL_NO_ERROR) << "left by the start-up";
    GLint modelView = 0, projection = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &modelView);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &projection);
    for (int frame = 1; frame <= 40; ++frame) {
        registered.display();
        advanceOrbit();
        ASSERT_EQ(glGetError(), GL_NO_ERROR) << "frame " << frame;
        GLint depth = 0;
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
        ASSERT_EQ(depth, modelView) << "frame " << frame;
        glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth);
        ASSERT_EQ(depth, projection) << "frame " << frame;
    }
    EXPECT_EQ(framesShown, 40);
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (!GTEST_FLAG_GET(list_tests)) { // listing the tests at build time needs no display
        openViewerWindow(&argc, argv);
        atStartUp = registered;
        glutPositionWindow(windowX, windowY);
        runMainLoopUntil(
            [] { return glutGet(GLUT_WINDOW_X) == windowX && glutGet(GLUT_WINDOW_Y) == windowY; });
    }
    return RUN_ALL_TESTS();
}
