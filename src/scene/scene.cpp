// SPDX-License-Identifier: MIT
// The display pass and the untextured objects of the scene: three planters,
// five bells, the slanted posts of the bell frame, the diagonal beam and the
// sign posts. All geometry is in world units, +Y up, sent in immediate mode.
//
// Materials set here are never saved by glPushMatrix: each lasts until the
// next one, across objects and across frames. The hand-built polygons carry
// no normals of their own and are lit with the normal the last solid left.
#include "scene.h"

#include "camera.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <GL/glut.h>

namespace {

struct Bell {
    GLfloat bottom[3]; // rope bottom, also the body's centre
    GLfloat top[3];    // rope top
    GLfloat radius;    // body
    GLfloat mouth[3];  // centre of the cone's base
    GLfloat mouthRadius;
};

// clang-format off
const Bell bells[5] = {
    { { -10.0f, -1.5f, -3.0f }, { -10.0f, 2.5f, -3.0f }, 1.1f, { -10.0f, -2.5f, -3.0f }, 1.1f },
    { { 0.0f, -1.9f, 0.0f },    { 0.0f, 1.0f, 0.0f },    0.7f, { 0.1f, -2.585f, 0.0f },  0.8f },
    { { -2.0f, -0.1f, 0.0f },   { -2.0f, 2.5f, 0.0f },   0.8f, { -1.95f, -0.85f, 0.0f }, 0.9f },
    { { -4.0f, 1.8f, 0.0f },    { -4.0f, 5.0f, 0.0f },   0.9f, { -3.95f, 0.9785f, 0.0f }, 1.0f },
    { { -6.0f, 3.6f, 0.0f },    { -6.0f, 7.0f, 0.0f },   1.0f, { -6.0f, 2.8f, 0.0f },    1.1f },
};
// clang-format on

const GLfloat mat_ambient_bell[] = { 0.0f, 0.6f, 1.0f, 1.0f };
const GLfloat mat_ambient_post[] = { 0.37f, 0.25f, 0.17f, 1.0f };

const int roundDetail = 120; // slices and stacks of the bell bodies and mouths

void drawBlock(const GLfloat* material, GLfloat x, GLfloat y, GLfloat z, GLfloat sx, GLfloat sy, GLfloat sz)
{
    glMaterialfv(GL_FRONT, GL_AMBIENT, material);
    // clang-format off
    glPushMatrix();
        glTranslatef(x, y, z);
        glScalef(sx, sy, sz);
        glutSolidCube(1.0);
    glPopMatrix();
    // clang-format on
}

void drawPlanters()
{
    const GLfloat mat_ambient_base[]  = { 0.45f, 0.25f, 0.17f, 1.0f };
    const GLfloat mat_ambient_grass[] = { 0.0f, 0.5f, 0.0f, 1.0f };
    const GLfloat centres[3][2]       = { { 11.5f, -0.5f }, { -9.8f, 3.0f }, { -9.8f, -9.0f } }; // x, z

    // cppcheck-suppress constVariableReference ; c is a reference to a const row already (cppcheck 2.17)
    for (const auto& c : centres) {
        drawBlock(mat_ambient_base, c[0], -13.0f, c[1], 6.0f, 3.0f, 6.0f);
        drawBlock(mat_ambient_grass, c[0], -11.0f, c[1], 4.5f, 0.5f, 5.0f);
    }
}

void drawBellBody(const Bell& bell)
{
    // clang-format off
    glPushMatrix();
        glMaterialfv(GL_FRONT, GL_AMBIENT, mat_ambient_bell);
        glLineWidth(3.0f);
        glBegin(GL_LINES);
            glVertex3fv(bell.bottom);
            glVertex3fv(bell.top);
        glEnd();
        glTranslatef(bell.bottom[0], bell.bottom[1], bell.bottom[2]);
        glutSolidSphere(bell.radius, roundDetail, roundDetail);
    glPopMatrix();
    // clang-format on
}

// Bell 1's mouth sets no material of its own: it relies on the bell material
// its body has just left in force.
void drawBellMouth(const Bell& bell, bool setMaterial)
{
    // clang-format off
    glPushMatrix();
        if (setMaterial)
            glMaterialfv(GL_FRONT, GL_AMBIENT, mat_ambient_bell);
        glTranslatef(bell.mouth[0], bell.mouth[1], bell.mouth[2]);
        glRotatef(95.0f, -2.0f, 0.0f, 0.0f); // cone apex up, leaning 5 degrees toward -Z
        glutSolidCone(bell.mouthRadius, 0.9, roundDetail, roundDetail);
    glPopMatrix();
    // clang-format on
}

void drawPolygon(const GLfloat (*corners)[3], int count)
{
    glBegin(GL_POLYGON);
    for (int i = 0; i < count; ++i)
        glVertex3fv(corners[i]);
    glEnd();
}

// Two posts, each a leaning bar of four faces. A1 to A3 are issued as crossed
// (bow-tie) quads, which is how the frame has always looked.
void drawSlantedPosts()
{
    // clang-format off
    const GLfloat posts[8][4][3] = {
        { { -10.5f, 4, -3 }, { -10.5f, 4, -4 }, { -10.5f, -12, 4 }, { -10.5f, -12, 3 } },
        { { -10.5f, 4, -3 }, { -9, 4, -3 },     { -10.5f, -12, 4 }, { -9, -12, 4 } },
        { { -9, 4, -3 },     { -9, 4, -4 },     { -9, -12, 4 },     { -9, -12, 3 } },
        { { -10.5f, -12, 4 }, { -9, -12, 4 },   { -9, 4, -4 },      { -10.5f, 4, -4 } },
        { { -9, 12, -1 },     { -9, 11, 0 },     { -9, -13, -9 },     { -9, -12, -10 } },
        { { -10.5f, 12, -1 }, { -9, 12, -1 },    { -9, -12, -10 },    { -10.5f, -12, -10 } },
        { { -10.5f, 12, -1 }, { -10.5f, 11, 0 }, { -10.5f, -13, -9 }, { -10.5f, -12, -10 } },
        { { -10.5f, 11, 0 },  { -9, 11, 0 },     { -9, -12, -10 },    { -10.5f, -12, -10 } },
    };

    glPushMatrix();
        glMaterialfv(GL_FRONT, GL_AMBIENT, mat_ambient_post);
        for (const auto& post : posts)
            drawPolygon(post, 4);
    glPopMatrix();
    // clang-format on
}

// A flat bar one unit thick (z from 0 to -1), from the lower right to a
// pointed tip at the upper left; bells 2 to 5 hang from it.
void drawBeam()
{
    const GLfloat frontFace[4][3] = { { 12, -13, 0 }, { 13, -12, 0 }, { -11, 14, 0 }, { -12, 13, 0 } };
    const GLfloat frontTip[3][3]  = { { -11, 14, 0 }, { -12, 13, 0 }, { -12, 15, 0 } };
    const GLfloat upperSide[4][3] = { { 13, -12, 0 }, { 13, -12, -1 }, { -12, 15, -1 }, { -12, 15, 0 } };
    const GLfloat backFace[4][3]  = { { 12, -13, -1 }, { 13, -12, -1 }, { -11, 14, -1 }, { -12, 13, -1 } };
    const GLfloat backTip[3][3]   = { { -11, 14, -1 }, { -12, 13, -1 }, { -12, 15, -1 } };
    const GLfloat lowerSide[4][3] = { { -12, 13, -1 }, { -12, 13, 0 }, { 13, -12, 0 }, { 13, -12, -1 } };

    // clang-format off
    glPushMatrix();
        glMaterialfv(GL_FRONT, GL_AMBIENT, mat_ambient_post);
        drawPolygon(frontFace, 4);
        drawPolygon(frontTip, 3);
        drawPolygon(upperSide, 4);
        drawPolygon(backFace, 4);
        drawPolygon(backTip, 3);
        drawPolygon(lowerSide, 4);
    glPopMatrix();
    // clang-format on
}

// The posts run up the sign board's two upright edges, from the floor to two
// units above the board. Leaves the line width at 4 until the next frame's
// first bell sets 3.
void drawSignPosts()
{
    const GLfloat mat_ambient_sign[] = { 0.2f, 0.0f, 0.9f, 1.0f };

    // clang-format off
    glPushMatrix();
        glMaterialfv(GL_FRONT, GL_AMBIENT, mat_ambient_sign);
        glLineWidth(4.0f);
        glBegin(GL_LINES);
            glVertex3f(57.0f, -20.0f, 30.0f);
            glVertex3f(57.0f, 2.0f, 30.0f);
        glEnd();
        glBegin(GL_LINES);
            glVertex3f(50.0f, 2.0f, 37.0f);
            glVertex3f(50.0f, -20.0f, 37.0f);
        glEnd();
    glPopMatrix();
    // clang-format on
}

} // namespace

void drawFrame()
{
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(eyeX, eyeY, eyeZ, centerX, centerY, centerZ, upX, upY, upZ);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT); // the clear colour stays the default black

    drawTexturedSurfaces();
    drawPlanters();

    drawBellBody(bells[0]);
    drawBellMouth(bells[0], false);
    drawSlantedPosts();
    for (int i = 1; i < 5; ++i) {
        drawBellBody(bells[i]);
        drawBellMouth(bells[i], true);
    }

    drawBeam();
    drawSignPosts();
}

void display()
{
    drawFrame();
    glutSwapBuffers();
}
