// SPDX-License-Identifier: MIT
// A real GLUT window for tests that draw, and helpers to read back what a
// person would see in it.
#pragma once

#include "frame_capture.h"
#include "image_compare.h"

// The viewer's own start-up, without the event loop, and the first reshape.
// Call once per process, from main.
void openViewerWindow(int* argc, char** argv);

// Draw one frame into the back buffer and wait for it to finish.
void renderFrame();

// Pixel at window coordinates, with (0, 0) the top-left corner as in a screenshot.
Rgb pixelAt(int x, int y);

// Width and height of the GL viewport in pixels.
int viewportWidth();
int viewportHeight();

// Lets pending window-system events (resizes, idle calls) run.
void pumpEvents(int times = 1);

// Resizes the window and waits until the reshape has run.
void resizeWindow(int width, int height);
