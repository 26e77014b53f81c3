// SPDX-License-Identifier: MIT
// The orbiting camera: its look-at state, the idle step that moves it and
// the mouse buttons that start and stop it.
#pragma once

// Look-at values read by the display pass each frame (world units).
extern double eyeX, eyeY, eyeZ;
extern double centerX, centerY, centerZ;
extern double upX, upY, upZ;

extern double orbitAngle;  // radians
extern double orbitRadius; // distance of the eye from the Y axis
extern double angleStep;   // radians added per idle call

void initCamera();

// The arithmetic of one orbit step, without GLUT, so it can run without a display.
void advanceOrbit();

// GLUT idle callback: advanceOrbit, then ask for a redraw.
void orbitStep();

// GLUT mouse callback: left press starts the orbit, middle or right press stops it.
void mouse(int button, int state, int x, int y);
