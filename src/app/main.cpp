// SPDX-License-Identifier: MIT
// Tollmere: a small 3-D viewer of one fixed scene. A left click sets the
// camera circling the scene; a middle or right click stops it.
#include "app.h"

#include <GL/glut.h>

int main(int argc, char** argv)
{
    openViewer(&argc, argv);
    glutMainLoop();
    return 0;
}
