// SPDX-License-Identifier: MIT
// What the viewer's window shows, read back as pictures: shared by the
// snapshot tool and the picture regression tests, so both see the same.
#pragma once

#include "rgb_image.h"

#include <GL/gl.h>

#include <string>
#include <vector>

const int viewSize = 500; // the viewer's window, in pixels each way

// The viewer's own start-up (openViewer) and its first reshape, waiting
// for the window to map. False, with the reason in *error, when it did not
// come out at 500 x 500 (a window manager may have resized it).
bool openViewerForCapture(int* argc, char** argv, std::string* error);

// The back buffer of the current viewport, read once drawing has finished.
RgbImage readFrame();

// Texture objects alive now: every name up to highestName that glIsTexture knows.
std::vector<GLuint> liveTextureNames(GLuint highestName = 4096);
int liveTextureCount(GLuint highestName = 4096);

// Replays the viewer from its start view: initCamera, then the frame after
// each orbit step is drawn and shown as the idle callback and the display
// callback would. Returns the frames after each count in `steps` (ascending),
// each read from the back buffer before it is swapped. If given, progress is
// called after each frame with the frames drawn and the frames in all.
std::vector<RgbImage> captureViews(const std::vector<int>& steps,
                                   void (*progress)(int done, int total) = nullptr);
