// SPDX-License-Identifier: MIT
// Start-up: the window, the one-time projection and lighting set-up, and the
// reshape callback.
#include "app.h"

#include "camera.h"
#include "scene.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <GL/glut.h>

// A 90 degree view with a fixed aspect of 1: a non-square window stretches the scene.
static void loadProjection()
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(90.0, 1.0, 0.1, 100.0);
}

void init()
{
    const GLfloat ambient[]        = { 0.3f, 0.2f, 0.1f, 1.0f };
    const GLfloat diffuse[]        = { 0.3f, 0.2f, 0.2f, 1.0f };
    const GLfloat specular[]       = { 1.0f, 0.0f, 1.0f, 1.0f };
    const GLfloat position1[]      = { -20.0f, 5.0f, -8.0f, 1.0f };
    const GLfloat position2[]      = { 5.0f, 5.0f, 10.0f, 1.0f };
    const GLfloat lmodel_ambient[] = { 0.0f, 0.0f, 0.0f, 1.0f };
    const GLfloat local_view[]     = { 0.0f };

    loadProjection();
    glEnable(GL_DEPTH_TEST);
    glShadeModel(GL_SMOOTH);

    // The model-view matrix is still the identity here, so both positions are
    // in eye space: the lights travel with the viewer.
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_SPECULAR, specular);
    glLightfv(GL_LIGHT0, GL_POSITION, position1);

    glLightfv(GL_LIGHT1, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT1, GL_SPECULAR, specular);
    glLightfv(GL_LIGHT1, GL_POSITION, position2);

    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, lmodel_ambient);
    glLightModelfv(GL_LIGHT_MODEL_LOCAL_VIEWER, local_view);

    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHT1);
}

// Mesa's software renderer takes up a new window size only at a buffer swap,
// so the frame drawn right after a resize can come out at the old size: a
// tiling window manager resizes the window before the first frame is shown.
// Every reshape is therefore followed by two frames, not one.
static bool frameOwedAfterReshape = false;

static void displayAfterReshape()
{
    display();
    if (frameOwedAfterReshape) {
        frameOwedAfterReshape = false;
        glutPostRedisplay(); // posted from a display callback, so it is not merged with this frame
    }
}

void reshape(int width, int height)
{
    glViewport(0, 0, width, height);
    loadProjection();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    frameOwedAfterReshape = true;
    glutPostRedisplay();
}

void openViewer(int* argc, char** argv)
{
    glutInit(argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_RGB | GLUT_DEPTH);
    glutInitWindowSize(500, 500);
    glutInitWindowPosition(0, 0);
    glutCreateWindow("Tollmere");
    glutReshapeFunc(reshape);
    glutDisplayFunc(displayAfterReshape);
    init();
    initCamera();
    glutMouseFunc(mouse); // no idle callback yet: the view stands still until a left click
}
