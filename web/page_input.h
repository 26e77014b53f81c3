// SPDX-License-Identifier: MIT
// The page's ways in besides the mouse (a tap, Space or Enter on the canvas,
// the start/stop button) and the canvas's size, which follows the page's
// layout and the screen's pixel density. Each way in presses a mouse button
// through the viewer's own mouse callback, so the camera's logic stays in
// src/: the left button when the camera stands, the right when it circles.
#pragma once

// Called by the page's start, before GLUT's first reshape: the canvas takes
// its size, and the page's other ways in are listened to.
void pageInputStart();
