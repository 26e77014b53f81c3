// SPDX-License-Identifier: MIT
// The display pass: the whole scene, drawn anew every frame.
#pragma once

// GLUT display callback: drawFrame, then swap the buffers.
void display();

// One complete frame into the back buffer, without the swap, so a tool or a
// test can read the picture back before it is shown.
void drawFrame();

// The pictured enclosure and sign board, drawn first in every frame.
void drawTexturedSurfaces();

// Forgets the seven textures without deleting them, so the next frame makes
// them anew from their files. Only the benchmark calls it, to compare remaking
// the textures every frame with making them once.
void forgetSurfaceTextures();
