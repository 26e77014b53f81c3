// The display pass: the whole scene, drawn anew every frame.
#pragma once

// GLUT display callback: drawFrame, then swap the buffers.
void display();

// One complete frame into the back buffer, without the swap, so a tool or a
// test can read the picture back before it is shown.
void drawFrame();

// The pictured enclosure and sign board, drawn first in every frame.
void drawTexturedSurfaces();
