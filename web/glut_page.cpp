// SPDX-License-Identifier: MIT
// GLUT for a page: the window is the page's canvas, and the event
// loop is the browser's animation frames. Each frame makes exactly one idle
// call, then draws if a redisplay was posted, as the desktop's GLUT does
// between two swaps. The solids are tessellated as freeglut does them.
#include "ff_pipeline.h"
#include "glut_shapes.h"
#include "page_input.h"
#include "web_layer.h"
#include "webgl_backend.h"

#include <GL/glut.h>
#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

// In page_library.js: the browser APIs C++ cannot reach.
extern "C" void tollmere_set_title(const char* title);
extern "C" void tollmere_mark_ended();

namespace {

const char* const canvas = "#canvas";

void (*displayCallback)()                 = nullptr;
void (*reshapeCallback)(int, int)         = nullptr;
void (*mouseCallback)(int, int, int, int) = nullptr;
void (*idleCallback)()                    = nullptr;

int windowWidth = 300, windowHeight = 300; // GLUT's default size
bool redisplayPosted = false;

// Set on entering a frame and cleared on leaving it: a frame that never
// came back was ended by exit inside it (a picture that cannot be read).
bool insideFrame = false;
bool ended       = false;

unsigned framesShown = 0, idleCalls = 0, glErrors = 0, frameCalls = 0;

// While nothing is to be drawn (no idle callback, no redisplay posted) the
// browser's frame loop is paused, so that a standing camera costs nothing;
// either of them resumes it. Reshapes wait for the loop to have begun.
bool framesPaused = false;
bool looping      = false;

void resumeFrames()
{
    if (!framesPaused || ended)
        return;
    framesPaused = false;
    emscripten_resume_main_loop();
}

// Asking for errors waits for the browser's GPU process to finish every frame
// drawn so far, so the page asks once a second of frames (or when a test
// asks). GL keeps an error until it is asked for, so none goes uncounted;
// glErrors counts the checks that found one.
const unsigned framesBetweenErrorChecks = 60;
unsigned framesSinceErrorCheck          = 0;

void checkErrors()
{
    if (framesSinceErrorCheck == 0)
        return;
    framesSinceErrorCheck = 0;
    if (glGetError() != GL_NO_ERROR)
        ++glErrors;
}

// The scene draws the same few solids every frame, so each is tessellated
// once and kept: a handful of meshes, the oldest given up past the limit.
enum class Shape { sphere, cone, cube };

struct CachedSolid {
    Shape shape;
    double a, b; // radius, or base and height, or size
    int slices, stacks;
    SolidMesh mesh;
};

std::vector<CachedSolid> solids;
const size_t maxCachedSolids = 32;

const SolidMesh& solidMesh(Shape shape, double a, double b, int slices, int stacks)
{
    for (const CachedSolid& s : solids)
        if (s.shape == shape && s.a == a && s.b == b && s.slices == slices && s.stacks == stacks)
            return s.mesh;
    if (solids.size() >= maxCachedSolids)
        solids.erase(solids.begin());
    solids.push_back({ shape, a, b, slices, stacks, {} });
    SolidMesh& mesh = solids.back().mesh;
    // A point inside each solid, for the sides its triangles face.
    const float centre[3] = { 0.0f, 0.0f, shape == Shape::cone ? static_cast<float>(b) / 4 : 0.0f };
    if (shape == Shape::sphere)
        tessellateSphere(a, slices, stacks, &mesh);
    else if (shape == Shape::cone)
        tessellateCone(a, b, slices, stacks, &mesh);
    else
        tessellateCube(a, &mesh);
    findOutwardPlanes(&mesh, centre);
    return mesh;
}

void drawSolid(const SolidMesh& solid)
{
    ffDrawTriangles(solid.positions.data(), solid.normals.data(),
                    static_cast<unsigned>(solid.positions.size() / 3), solid.triangles.data(),
                    static_cast<unsigned>(solid.triangles.size()), solid.outwardPlanes.data());
}

void endPage()
{
    ended = true;
    emscripten_cancel_main_loop();
    tollmere_mark_ended();
}

void frame()
{
    ++frameCalls;
    if (ended)
        return;
    if (insideFrame) {
        endPage();
        return;
    }
    if (framesSinceErrorCheck >= framesBetweenErrorChecks)
        checkErrors();
    insideFrame = true;
    if (idleCallback) {
        ++idleCalls;
        idleCallback();
    }
    if (redisplayPosted && displayCallback) {
        redisplayPosted = false;
        displayCallback();
    }
    ++framesSinceErrorCheck;
    insideFrame = false;
    if (!idleCallback && !redisplayPosted) {
        framesPaused = true;
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
    const int button = glutButton(event->button);
    if (ended || !mouseCallback || button < 0)
        return EM_FALSE;
    const int state = type == EMSCRIPTEN_EVENT_MOUSEDOWN ? GLUT_DOWN : GLUT_UP;
    mouseCallback(button, state, static_cast<int>(event->targetX), static_cast<int>(event->targetY));
    return EM_TRUE;
}

} // namespace

extern "C" {

void glutInit(int*, char**)
{
}

void glutInitDisplayMode(unsigned int)
{
} // WebGL2 gives double-buffered RGB with depth, as asked

void glutInitWindowSize(int width, int height)
{
    windowWidth  = width;
    windowHeight = height;
}

void glutInitWindowPosition(int, int)
{
} // the canvas stands where the page puts it

int glutCreateWindow(const char* title)
{
    tollmere_set_title(title);
    emscripten_set_canvas_element_size(canvas, windowWidth, windowHeight);
    if (!webglOpen(canvas)) {
        std::fprintf(stderr, "tollmere: this browser gives the page no WebGL2, which it needs to draw\n");
        std::exit(1);
    }
    resetGlState();
    emscripten_set_mousedown_callback(canvas, nullptr, EM_TRUE, mouseEvent);
    emscripten_set_mouseup_callback(canvas, nullptr, EM_TRUE, mouseEvent);
    return 1;
}

void glutDisplayFunc(void (*callback)())
{
    displayCallback = callback;
}

void glutReshapeFunc(void (*callback)(int, int))
{
    reshapeCallback = callback;
}

void glutMouseFunc(void (*callback)(int, int, int, int))
{
    mouseCallback = callback;
}

void glutIdleFunc(void (*callback)())
{
    idleCallback = callback;
    pageCameraCircles(callback != nullptr);
    if (callback)
        resumeFrames();
}

void glutPostRedisplay()
{
    redisplayPosted = true;
    resumeFrames();
}

// The browser shows the canvas when the animation frame returns; the swap
// only hands it the frame's batches.
void glutSwapBuffers()
{
    flushFrame();
    ++framesShown;
}

// GLUT's first reshape and redisplay come before the first frame; the loop
// then runs on the browser's animation frames and never returns.
void glutMainLoop()
{
    pageBeforeFirstFrame();
    pageInputStart();
    looping = true;
    if (reshapeCallback)
        reshapeCallback(windowWidth, windowHeight);
    else
        glViewport(0, 0, windowWidth, windowHeight);
    redisplayPosted = true;
    emscripten_set_main_loop(frame, 0, 1);
}

void glutSolidSphere(GLdouble radius, GLint slices, GLint stacks)
{
    drawSolid(solidMesh(Shape::sphere, radius, 0.0, slices, stacks));
}

void glutSolidCone(GLdouble base, GLdouble height, GLint slices, GLint stacks)
{
    drawSolid(solidMesh(Shape::cone, base, height, slices, stacks));
}

void glutSolidCube(GLdouble size)
{
    drawSolid(solidMesh(Shape::cube, size, 0.0, 0, 0));
}

EMSCRIPTEN_KEEPALIVE unsigned tollmere_frames_shown()
{
    return framesShown;
}

// Calls of the frame callback, drawn or not: flat while the loop is paused.
EMSCRIPTEN_KEEPALIVE unsigned tollmere_frame_calls()
{
    return frameCalls;
}

EMSCRIPTEN_KEEPALIVE unsigned tollmere_gl_errors()
{
    checkErrors();
    return glErrors;
}

} // extern "C"

unsigned glutIdleCalls()
{
    return idleCalls;
}

// The page's other ways in, and its canvas's size (page_input.cpp).
void pagePressButton(int button)
{
    if (ended || !mouseCallback)
        return;
    mouseCallback(button, GLUT_DOWN, windowWidth / 2, windowHeight / 2);
    mouseCallback(button, GLUT_UP, windowWidth / 2, windowHeight / 2);
}

bool pageIdleCallbackSet()
{
    return idleCallback != nullptr;
}

void pageResizeWindow(int width, int height)
{
    if (ended || (width == windowWidth && height == windowHeight))
        return;
    windowWidth  = width;
    windowHeight = height;
    emscripten_set_canvas_element_size(canvas, width, height);
    if (!looping)
        return;
    if (reshapeCallback)
        reshapeCallback(width, height);
    else
        glViewport(0, 0, width, height);
    glutPostRedisplay();
}
