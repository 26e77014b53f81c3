// SPDX-License-Identifier: MIT
// The WebGL2 side of the layer: one context on the page's canvas, one pair
// of shaders (the lit colour times the texel), and a frame of batches drawn
// from one upload. Only the GL entry points call it.
#pragma once

#include "ff_pipeline.h"

// Opens a WebGL2 context on the canvas (a CSS selector) and readies the
// shaders and buffers; false when the browser gives no WebGL2.
bool webglOpen(const char* canvas);

void webglViewport(int x, int y, int width, int height);
void webglClear(bool colour, bool depth);

unsigned webglCreateTexture();
void webglDeleteTexture(unsigned texture);
void webglTextureLevel(unsigned texture, int level, int width, int height, int components,
                       const unsigned char* texels);
void webglTextureParameter(unsigned texture, unsigned name, int value);
int webglMaxTextureSize();

// Uploads the frame's vertices and indices once and draws each batch.
void webglDraw(const FfFrame& frame);

// The context's own error, as glGetError gives it.
unsigned webglError();
