// SPDX-License-Identifier: MIT
// GLUT's state and its frame, without the browser: the viewer's callbacks,
// the window's size, the posted redisplay, and what one frame does (one idle
// call, then a display if one was posted, as the desktop's GLUT does between
// two swaps). glut_page.cpp runs it on the browser's animation frames; the
// tests run it natively.
#pragma once

struct GlutLoop {
    void (*display)();
    void (*reshape)(int, int);
    void (*mouse)(int, int, int, int);
    void (*idle)();
    void (*beforeIdle)(); // the page's count of orbit steps
    int width, height;
    bool redisplayPosted;
    bool insideFrame; // a frame that never came back was ended by exit inside it
    bool ended;
    unsigned framesShown;
    unsigned glErrors; // the page's checks that found one
};

GlutLoop& loopState();
void resetLoop(); // GLUT's start: no callbacks, a 300 x 300 window

// The first reshape (a viewport over the whole window when the program has
// no reshape callback) and the first frame, which GLUT draws unasked.
void startLoop();

// One frame; false once the loop has ended.
bool runLoopFrame();
