// SPDX-License-Identifier: MIT
// A tap, Space or Enter and the page's start/stop button toggle the camera
// through the viewer's mouse callback; the canvas's drawing buffer follows its
// CSS size times the device pixel ratio, so that it is crisp on any screen.
#include "page_input.h"
#include "web_layer.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glut.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <cmath>
#include <cstring>

// In page_library.js: calls tollmere_canvas_resized when the canvas's CSS
// size or the device pixel ratio changes, and offers full screen.
extern "C" void tollmere_watch_canvas();

namespace {

const char* const canvas = "#canvas";

// Past this a drawing buffer costs memory and fill for nothing a person sees
// (a 500 CSS pixel canvas at a ratio of 4).
const int largestSide = 2048;

void toggleCamera()
{
    pressMouseButton(idleCallbackSet() ? GLUT_RIGHT_BUTTON : GLUT_LEFT_BUTTON);
}

// The browser's compatibility mouse events of a touch are cancelled (so a tap
// is not also a left click), and so is the scrolling of a touch begun on the
// canvas; a tap toggles once the last finger lifts, however many touched.
EM_BOOL touchStart(int, const EmscriptenTouchEvent*, void*)
{
    return EM_TRUE;
}

EM_BOOL touchEnd(int, const EmscriptenTouchEvent* event, void*)
{
    for (int i = 0; i < event->numTouches; ++i)
        if (!event->touches[i].isChanged)
            return EM_TRUE; // a finger is still down
    toggleCamera();
    return EM_TRUE;
}

// Space or Enter on the focused canvas; a held key's repeats do nothing.
EM_BOOL keyDown(int, const EmscriptenKeyboardEvent* event, void*)
{
    if (std::strcmp(event->key, " ") != 0 && std::strcmp(event->key, "Enter") != 0)
        return EM_FALSE;
    if (!event->repeat)
        toggleCamera();
    return EM_TRUE; // Space would scroll the page
}

EM_BOOL buttonClick(int, const EmscriptenMouseEvent*, void*)
{
    toggleCamera();
    return EM_TRUE;
}

// The canvas's CSS width in device pixels, within what WebGL draws. The page's
// style keeps the canvas square, so one side serves for both.
int bufferSide()
{
    double width = 0, height = 0;
    emscripten_get_element_css_size(canvas, &width, &height);
    const long limit =
        std::min(largestSide, static_cast<int>(emscripten_webgl_get_parameter_d(GL_MAX_RENDERBUFFER_SIZE)));
    const long side = std::lround(width * emscripten_get_device_pixel_ratio());
    return static_cast<int>(std::clamp(side, 1L, limit));
}

} // namespace

void pageInputStart()
{
    emscripten_set_touchstart_callback(canvas, nullptr, EM_FALSE, touchStart);
    emscripten_set_touchend_callback(canvas, nullptr, EM_FALSE, touchEnd);
    emscripten_set_keydown_callback(canvas, nullptr, EM_FALSE, keyDown);
    emscripten_set_click_callback("#camera", nullptr, EM_FALSE, buttonClick);
    const int side = bufferSide();
    resizeWindow(side, side);
    tollmere_watch_canvas();
}

extern "C" EMSCRIPTEN_KEEPALIVE void tollmere_canvas_resized()
{
    const int side = bufferSide();
    resizeWindow(side, side);
}
