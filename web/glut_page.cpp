// SPDX-License-Identifier: MIT
// GLUT for a page: the window is the page's canvas, and the event loop is
// the browser's animation frames, each running one of GLUT's frames
// (glut_loop.cpp). The solids are tessellated as freeglut does them.
#include "ff_pipeline.h"
#include "glut_loop.h"
#include "glut_shapes.h"
#include "web_layer.h"
#include "webgl_backend.h"

#include <GL/glut.h>
#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include <cstdio>
#include <cstdlib>

// In page_library.js: the browser APIs C++ cannot reach.
extern "C" void tollmere_set_title(const char* title);

namespace {

const char* const canvas = "#canvas";

// While nothing is to be drawn (no idle callback, no redisplay posted) the
// browser's frame loop is paused, so that a standing camera costs nothing;
// either of them resumes it.
struct PageLoop {
    bool running; // the frame loop has begun: reshapes go to the viewer
    bool paused;
    unsigned frameCalls; // drawn or not: flat while paused
};
PageLoop pageLoop;

void resumeFrames()
{
    if (!pageLoop.paused || loopState().ended)
        return;
    pageLoop.paused = false;
    emscripten_resume_main_loop();
}

void drawSolid(const SolidMesh& solid)
{
    ffDrawClusters(solid.positions.data(), solid.normals.data(),
                   static_cast<unsigned>(solid.positions.size() / 3), solid.clusteredTriangles.data(),
                   solid.clusteredPlanes.data(), solid.clusteredVertices.data(), solid.clusters.data(),
                   static_cast<unsigned>(solid.clusters.size()));
}

void frame()
{
    ++pageLoop.frameCalls;
    if (!runLoopFrame()) {
        emscripten_cancel_main_loop();
        pageEnded();
        return;
    }
    if (!loopState().idle && !loopState().redisplayPosted) {
        pageLoop.paused = true;
        emscripten_pause_main_loop();
    }
}

int glutButton(unsigned short domButton)
{
    switch (domButton) {
    case 0:
        return GLUT_LEFT_BUTTON;
    case 1:
        return GLUT_MIDDLE_BUTTON;
    case 2:
        return GLUT_RIGHT_BUTTON;
    default:
        return -1;
    }
}

EM_BOOL mouseEvent(int type, const EmscriptenMouseEvent* event, void*)
{
    const GlutLoop& loop = loopState();
    const int button     = glutButton(event->button);
    if (loop.ended || !loop.mouse || button < 0)
        return EM_FALSE;
    const int state = type == EMSCRIPTEN_EVENT_MOUSEDOWN ? GLUT_DOWN : GLUT_UP;
    loop.mouse(button, state, static_cast<int>(event->targetX), static_cast<int>(event->targetY));
    return EM_TRUE;
}

} // namespace

extern "C" {

void glutInit(int*, char**)
{
    resetLoop();
}

void glutInitDisplayMode(unsigned int)
{
} // WebGL2 gives double-buffered RGB with depth, as asked

void glutInitWindowSize(int width, int height)
{
    loopState().width  = width;
    loopState().height = height;
}

void glutInitWindowPosition(int, int)
{
} // the canvas stands where the page puts it

int glutCreateWindow(const char* title)
{
    tollmere_set_title(title);
    emscripten_set_canvas_element_size(canvas, loopState().width, loopState().height);
    if (!webglOpen(canvas)) {
        std::fprintf(stderr, "tollmere: this browser gives the page no WebGL2, which it needs to draw\n");
        std::exit(1);
    }
    ffReset();
    emscripten_set_mousedown_callback(canvas, nullptr, EM_TRUE, mouseEvent);
    emscripten_set_mouseup_callback(canvas, nullptr, EM_TRUE, mouseEvent);
    return 1;
}

void glutDisplayFunc(void (*callback)())
{
    loopState().display = callback;
}

void glutReshapeFunc(void (*callback)(int, int))
{
    loopState().reshape = callback;
}

void glutMouseFunc(void (*callback)(int, int, int, int))
{
    loopState().mouse = callback;
}

void glutIdleFunc(void (*callback)())
{
    loopState().idle = callback;
    pageIdleSet(callback != nullptr);
    if (callback)
        resumeFrames();
}

void glutPostRedisplay()
{
    loopState().redisplayPosted = true;
    resumeFrames();
}

// The one place that draws: everything the frame recorded goes to WebGL
// here, and the browser shows the canvas when the animation frame returns.
void glutSwapBuffers()
{
    webglDrawFrame(ffFrame());
    ffClearFrame();
    ++loopState().framesShown;
}

// GLUT's first reshape and redisplay come before the first frame; the loop
// then runs on the browser's animation frames and never returns.
void glutMainLoop()
{
    pageStart();
    loopState().beforeIdle = pageIdleCalled;
    pageLoop.running       = true;
    startLoop();
    emscripten_set_main_loop(frame, 0, 1);
}

void glutSolidSphere(GLdouble radius, GLint slices, GLint stacks)
{
    drawSolid(cachedSolid(SolidShape::sphere, radius, 0.0, slices, stacks));
}

void glutSolidCone(GLdouble base, GLdouble height, GLint slices, GLint stacks)
{
    drawSolid(cachedSolid(SolidShape::cone, base, height, slices, stacks));
}

void glutSolidCube(GLdouble size)
{
    drawSolid(cachedSolid(SolidShape::cube, size, 0.0, 0, 0));
}

EMSCRIPTEN_KEEPALIVE unsigned tollmere_frames_shown()
{
    return loopState().framesShown;
}

// Calls of the frame callback, drawn or not: flat while the loop is paused.
EMSCRIPTEN_KEEPALIVE unsigned tollmere_frame_calls()
{
    return pageLoop.frameCalls;
}

// Asked only here, by the page's checks: asking waits for the browser's GPU
// process to finish every frame drawn so far, which took a fifth of the
// page's time when the frames asked once a second. GL keeps an error until
// it is asked for, so none goes uncounted.
EMSCRIPTEN_KEEPALIVE unsigned tollmere_gl_errors()
{
    if (glGetError() != GL_NO_ERROR)
        ++loopState().glErrors;
    return loopState().glErrors;
}

} // extern "C"

// For the page's other ways in, and its canvas's size (web_layer.h).
void pressMouseButton(int button)
{
    const GlutLoop& loop = loopState();
    if (loop.ended || !loop.mouse)
        return;
    loop.mouse(button, GLUT_DOWN, loop.width / 2, loop.height / 2);
    loop.mouse(button, GLUT_UP, loop.width / 2, loop.height / 2);
}

bool idleCallbackSet()
{
    return loopState().idle != nullptr;
}

void resizeWindow(int width, int height)
{
    GlutLoop& loop = loopState();
    if (loop.ended || (width == loop.width && height == loop.height))
        return;
    loop.width  = width;
    loop.height = height;
    emscripten_set_canvas_element_size(canvas, width, height);
    if (!pageLoop.running)
        return;
    if (loop.reshape)
        loop.reshape(width, height);
    else
        glViewport(0, 0, width, height);
    glutPostRedisplay();
}
