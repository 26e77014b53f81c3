// SPDX-License-Identifier: MIT
// The application shell: the window, the one-time GL set-up and the reshape
// callback.
#pragma once

// glutInit with the command line, the 500 x 500 "Tollmere" window, init, the
// camera and every callback: all of start-up but the event loop.
void openViewer(int* argc, char** argv);

// Projection, depth test and the two lights; call once, after the window exists.
// Leaves the matrix mode at GL_PROJECTION.
void init();

// GLUT reshape callback (width and height in pixels).
void reshape(int width, int height);
