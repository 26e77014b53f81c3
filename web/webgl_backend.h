// SPDX-License-Identifier: MIT
// The WebGL2 side of the layer: one context on the page's canvas, one pair
// of shaders (the lit colour times the texel), and the one call that draws:
// webglDrawFrame, at the swap. The rest only makes names or asks.
#pragma once

#include "ff_pipeline.h"

// Opens a WebGL2 context on the canvas (a CSS selector) and readies the
// shaders and buffers; false when the browser gives no WebGL2.
bool webglOpen(const char* canvas);

// A texture name; what it holds comes with a frame.
unsigned webglCreateTexture();
int webglMaxTextureSize();

// Uploads the frame's vertices and indices once, then carries out its
// commands in order.
void webglDrawFrame(const FfFrame& frame);

// The context's own error, as glGetError gives it.
unsigned webglError();
