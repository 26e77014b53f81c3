// SPDX-License-Identifier: MIT
#include "gl_harness.h"

#include "scene.h"

#include <GL/freeglut.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

// Mesa unloads its driver at exit, so the driver's own allocations would show
// as leaks from an unknown module. Tests that draw check memory errors, not leaks.
extern "C" const char* __asan_default_options()
{
    return "detect_leaks=0";
}

void openViewerWindow(int* argc, char** argv)
{
    std::string error;
    if (!openViewerForCapture(argc, argv, &error)) {
        std::fprintf(stderr, "tests: %s\n", error.c_str());
        std::exit(1);
    }
}

void renderFrame()
{
    drawFrame();
    glFinish();
}

int viewportWidth()
{
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    return vp[2];
}

int viewportHeight()
{
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    return vp[3];
}

Rgb pixelAt(int x, int y)
{
    unsigned char p[3] = { 0, 0, 0 };
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, viewportHeight() - 1 - y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, p);
    return { p[0], p[1], p[2] };
}

void pumpEvents(int times)
{
    for (int i = 0; i < times; ++i) {
        glutMainLoopEvent();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void resizeWindow(int width, int height)
{
    glutReshapeWindow(width, height);
    for (int i = 0; i < 200 && (viewportWidth() != width || viewportHeight() != height); ++i)
        pumpEvents();
}
