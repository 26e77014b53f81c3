// SPDX-License-Identifier: MIT
// The camera circles the Y axis at a fixed radius, looking at the origin.
#include "camera.h"

#include <GL/glut.h>

#include <cmath>

double eyeX, eyeY, eyeZ;
double centerX, centerY, centerZ;
double upX, upY, upZ;

double orbitAngle;
double orbitRadius;
double angleStep;

// The orbit's own value of pi: the step and the wrap both use it, so the
// wrap lands a little short of a full turn.
static const double orbitPi = 3.14156;

void initCamera()
{
    orbitAngle  = 90.0; // radians; it only counts from the first step on
    orbitRadius = 25.0;
    angleStep   = 4.0 * orbitPi / 360.0;

    eyeX    = 0.0;
    eyeY    = 0.0;
    eyeZ    = orbitRadius;
    centerX = 0.0;
    centerY = 0.0;
    centerZ = 0.0;
    upX     = 0.0;
    upY     = 1.0;
    upZ     = 0.0;
}

void advanceOrbit()
{
    orbitAngle += angleStep;
    if (orbitAngle > 2.0 * orbitPi)
        orbitAngle -= 2.0 * orbitPi; // once per call: the start angle of 90 takes 14 calls to wrap

    eyeX = std::cos(orbitAngle) * orbitRadius;
    eyeY = 0.0;
    eyeZ = std::sin(orbitAngle) * orbitRadius;
    upX  = 0.0;
    upY  = 1.0;
    upZ  = 0.0;
}

void orbitStep()
{
    advanceOrbit();
    glutPostRedisplay();
}

void mouse(int button, int state, int /*x*/, int /*y*/)
{
    if (state != GLUT_DOWN)
        return;
    if (button == GLUT_LEFT_BUTTON)
        glutIdleFunc(orbitStep);
    else if (button == GLUT_MIDDLE_BUTTON || button == GLUT_RIGHT_BUTTON)
        glutIdleFunc(nullptr);
}
