// SPDX-License-Identifier: MIT
// Where the page meets the layer: the page's hooks, which the page's GLUT
// calls and page.cpp defines, and the calls the layer offers the page.
// Neither side reaches further into the other.
#pragma once

// Once the viewer's start-up is done, before the first frame.
void pageStart();
// The viewer set an idle callback (the camera circles) or cleared it.
void pageIdleSet(bool set);
// A frame made its idle call (one orbit step).
void pageIdleCalled();
// The viewer ended inside a frame (exit, as for a picture it cannot read,
// or an uncaught error): called once, when the next frame finds it so.
void pageEnded();

// Every texture deleted with the next frame, so that the viewer's own make
// them anew; and how many live.
void deleteEveryTexture();
unsigned liveTextureCount();

// For the page's other ways in (page_input.cpp): a press and release of a
// GLUT mouse button at the window's centre, through the viewer's mouse
// callback; whether an idle callback is set (the camera circles); the window
// taking a new size in device pixels, with GLUT's reshape once the frame
// loop runs.
void pressMouseButton(int button);
bool idleCallbackSet();
void resizeWindow(int width, int height);
