// SPDX-License-Identifier: MIT
// The page's platform layer against the desktop's own GL, GLU and freeglut,
// measured under llvmpipe: the texels gluBuild2DMipmaps makes, the solids
// freeglut draws and the normal it leaves, the fixed-function lighting and
// transformations, and GLU's error texts.
#include "ff_pipeline.h"
#include "gl_harness.h"
#include "glu_core.h"
#include "glut_loop.h"
#include "glut_shapes.h"
#include "tga_image.h"

#include <GL/freeglut.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const int windowSide = 200;

// Level `level` of the bound texture as GL holds it.
MipLevel realLevel(int level, int components)
{
    MipLevel out{ 0, 0, {} };
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &out.width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &out.height);
    out.texels.resize(static_cast<size_t>(out.width) * out.height * components);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, level, components == 4 ? GL_RGBA : GL_RGB, GL_UNSIGNED_BYTE,
                  out.texels.data());
    return out;
}

// How many texels of two levels differ at all.
long differingTexels(const MipLevel& a, const MipLevel& b)
{
    long n = 0;
    for (size_t i = 0; i < a.texels.size() && i < b.texels.size(); ++i)
        n += a.texels[i] != b.texels[i];
    return n;
}

// Every level of GLU's texture for the picture against ours.
void expectSameMipmaps(const std::vector<unsigned char>& pixels, int width, int height, int components,
                       int alignment, const std::string& what)
{
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    const GLenum format = components == 4 ? GL_RGBA : GL_RGB;
    ASSERT_EQ(
        gluBuild2DMipmaps(GL_TEXTURE_2D, components, width, height, format, GL_UNSIGNED_BYTE, pixels.data()),
        0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);

    long rowBytes = static_cast<long>(width) * components;
    rowBytes += (alignment - rowBytes % alignment) % alignment;
    GLint maxSide = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
    const std::vector<MipLevel> ours =
        mipmapChain(pixels.data(), width, height, components, static_cast<int>(rowBytes), maxSide);
    for (size_t level = 0; level < ours.size(); ++level) {
        const MipLevel real = realLevel(static_cast<int>(level), components);
        ASSERT_EQ(ours[level].width, real.width) << what << ", level " << level;
        ASSERT_EQ(ours[level].height, real.height) << what << ", level " << level;
        EXPECT_EQ(differingTexels(ours[level], real), 0)
            << what << ", level " << level << " of " << real.width << " x " << real.height;
    }
    EXPECT_EQ(realLevel(static_cast<int>(ours.size()), components).width, 0)
        << what << ": GLU made more levels";
    glDeleteTextures(1, &texture);
}

TEST(GluMipmaps, TheSevenDefaultPicturesGetGlusTexelsAtEveryLevel)
{
    for (const char* name : { "Rear", "Left", "Right", "Forward", "skyme", "brick", "sign" }) {
        const std::string path              = std::string("data/") + name + ".tga";
        const std::optional<TgaImage> image = loadTgaImage(path.c_str());
        ASSERT_TRUE(image) << path;
        expectSameMipmaps(image->imageData, image->sizeX, image->sizeY, image->channels, 1, path);
    }
}

// Noise, so that every box filter weight shows in the texels.
std::vector<unsigned char> noise(int width, int height, int components, int rowBytes, unsigned seed)
{
    std::vector<unsigned char> pixels(static_cast<size_t>(rowBytes) * height);
    for (unsigned char& p : pixels) {
        seed = seed * 1103515245u + 12345u;
        p    = static_cast<unsigned char>(seed >> 16);
    }
    (void)width;
    (void)components;
    return pixels;
}

TEST(GluMipmaps, OddSizesScaleUpAndDownAsGluScalesThem)
{
    struct Size {
        int width, height, components, alignment;
    };
    // Up (5 -> 4 down, 6 -> 8 up, 3 -> 4), down, exact halves, thin lines, a padded row.
    const Size sizes[] = { { 300, 212, 4, 1 }, { 5, 7, 3, 1 },  { 6, 3, 3, 4 },     { 1000, 667, 3, 1 },
                           { 1, 37, 4, 1 },    { 29, 1, 3, 1 }, { 513, 255, 3, 2 }, { 2, 2, 4, 1 } };
    unsigned seed      = 7;
    for (const Size& s : sizes) {
        long rowBytes = static_cast<long>(s.width) * s.components;
        rowBytes += (s.alignment - rowBytes % s.alignment) % s.alignment;
        const auto pixels = noise(s.width, s.height, s.components, static_cast<int>(rowBytes), seed++);
        expectSameMipmaps(pixels, s.width, s.height, s.components, s.alignment,
                          std::to_string(s.width) + " x " + std::to_string(s.height) + " x "
                              + std::to_string(s.components));
    }
}

TEST(GluErrors, TheTextsAreGlus)
{
    for (unsigned code : { 0u, 0x0500u, 0x0501u, 0x0502u, 0x0503u, 0x0504u, 0x0505u, 100900u, 100901u,
                           100902u, 100903u, 100904u }) {
        const char* real = reinterpret_cast<const char*>(gluErrorString(code));
        ASSERT_NE(real, nullptr) << code;
        ASSERT_NE(errorStringText(code), nullptr) << code;
        EXPECT_STREQ(errorStringText(code), real) << code;
    }
    EXPECT_EQ(errorStringText(12345), nullptr);
}

// A new texture's parameters are what the layer takes WebGL to hold, and
// so never sends: the desktop's GL starts with the same.
TEST(TextureParameters, StartAsTheDesktopsGl)
{
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    ffReset();
    ffAddTexture(1);
    for (GLenum name :
         { GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER, GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T }) {
        GLint real = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, name, &real);
        EXPECT_EQ(ffTextureParameterValue(1, name), real) << std::hex << name;
    }
    glDeleteTextures(1, &texture);
}

// The window's square, seen through a 90-degree perspective from the origin.
void squareView()
{
    glViewport(0, 0, windowSide, windowSide);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(90.0, 1.0, 0.1, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// The scene's projection and its two lights, given under the identity.
void sceneSetUp()
{
    const GLfloat ambient[]   = { 0.3f, 0.2f, 0.1f, 1.0f };
    const GLfloat diffuse[]   = { 0.3f, 0.2f, 0.2f, 1.0f };
    const GLfloat position1[] = { -20.0f, 5.0f, -8.0f, 1.0f };
    const GLfloat position2[] = { 5.0f, 5.0f, 10.0f, 1.0f };
    const GLfloat black[]     = { 0.0f, 0.0f, 0.0f, 1.0f };
    squareView();
    glEnable(GL_DEPTH_TEST);
    for (GLenum light : { GL_LIGHT0, GL_LIGHT1 }) {
        glLightfv(light, GL_AMBIENT, ambient);
        glLightfv(light, GL_DIFFUSE, diffuse);
    }
    glLightfv(GL_LIGHT0, GL_POSITION, position1);
    glLightfv(GL_LIGHT1, GL_POSITION, position2);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, black);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHT1);
}

std::vector<unsigned char> readWindow()
{
    std::vector<unsigned char> rgb(static_cast<size_t>(windowSide) * windowSide * 3);
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, windowSide, windowSide, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
}

long differingPixels(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b, long* lit)
{
    long n = 0;
    *lit   = 0;
    for (size_t i = 0; i < a.size(); i += 3) {
        n += a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2];
        *lit += b[i] != 0 || b[i + 1] != 0 || b[i + 2] != 0;
    }
    return n;
}

struct SolidCase {
    const char* name;
    SolidShape shape;
    double size, height;
    int slices, stacks;
};

void drawReal(const SolidCase& c)
{
    if (c.shape == SolidShape::sphere)
        glutSolidSphere(c.size, c.slices, c.stacks);
    else if (c.shape == SolidShape::cone)
        glutSolidCone(c.size, c.height, c.slices, c.stacks);
    else
        glutSolidCube(c.size);
}

// Through the page's cache of solids, as its GLUT draws them.
void drawOurs(const SolidCase& c)
{
    const SolidMesh& mesh = cachedSolid(c.shape, c.size, c.height, c.slices, c.stacks);
    glBegin(GL_TRIANGLES);
    for (unsigned i : mesh.triangles) {
        glNormal3fv(&mesh.normals[3 * i]);
        glVertex3fv(&mesh.positions[3 * i]);
    }
    glEnd();
}

// Each solid seen from two sides, near enough to fill much of the window:
// ours through the desktop's GL next to freeglut's, pixel for pixel.
TEST(GlutSolids, OursDrawTheSamePixelsAsFreeglut)
{
    const GLfloat mat_ambient_bell[] = { 0.0f, 0.6f, 1.0f, 1.0f };

    using S                 = SolidShape;
    const SolidCase cases[] = {
        { "the bells' sphere", S::sphere, 1.1, 0, 120, 120 },
        { "a coarse sphere", S::sphere, 1.0, 0, 7, 5 },
        { "the bells' cone", S::cone, 1.1, 0.9, 120, 120 },
        { "a taller cone", S::cone, 1.1, 1.6, 120, 120 },
        { "a coarse cone", S::cone, 1.0, 1.5, 9, 3 },
        { "the planters' cube", S::cube, 1.0, 0, 0, 0 },
        { "a larger cube", S::cube, 2.5, 0, 0, 0 },
    };
    for (const SolidCase& c : cases)
        for (float turn : { 30.0f, 200.0f }) {
            std::vector<unsigned char> pictures[2];
            for (int ours = 0; ours < 2; ++ours) {
                sceneSetUp();
                glMaterialfv(GL_FRONT, GL_AMBIENT, mat_ambient_bell);
                glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
                glTranslatef(0.0f, 0.0f, -3.0f);
                glRotatef(turn, 1.0f, 0.7f, 0.2f);
                glScalef(1.0f, 0.8f, 1.2f);
                (ours ? drawOurs : drawReal)(c);
                pictures[ours] = readWindow();
            }
            long lit = 0;
            EXPECT_EQ(differingPixels(pictures[0], pictures[1], &lit), 0) << c.name << ", turned " << turn;
            EXPECT_GT(lit, windowSide * windowSide / 40) << c.name << ": too little of it in view";
        }
}

// The scene's hand-built polygons carry no normals and rely on this: what
// freeglut leaves behind is the normal as it was before the solid.
TEST(GlutSolids, FreeglutLeavesTheCurrentNormalAsItWas)
{
    const GLfloat before[3] = { 0.3f, -0.4f, 0.5f };
    for (SolidShape shape : { SolidShape::sphere, SolidShape::cone, SolidShape::cube }) {
        glNormal3fv(before);
        drawReal({ "", shape, 1.0, 1.0, 12, 8 });
        GLfloat after[4] = { 0, 0, 0, 0 };
        glGetFloatv(GL_CURRENT_NORMAL, after);
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(after[k], before[k]) << "shape " << static_cast<int>(shape) << ", component " << k;
    }
    ffReset();
    ffNormal(before[0], before[1], before[2]);
    SolidMesh mesh;
    tessellateSphere(1.0, 12, 8, &mesh);
    ffDrawTriangles(mesh.positions.data(), mesh.normals.data(),
                    static_cast<unsigned>(mesh.positions.size() / 3), mesh.triangles.data(),
                    static_cast<unsigned>(mesh.triangles.size()));
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(ffCurrentNormal()[k], before[k]);
}

// GLUT draws a window's first frame unasked: freeglut when the window is
// first shown, the page's GLUT in its first frame. A frame that never comes
// back (the viewer's exit inside it) ends the page's loop.
TEST(GlutLoop, DrawsTheFirstFrameUnaskedAndEndsWithAFrameThatNeverReturns)
{
    static int realFrames = 0, ourFrames = 0;
    const int window = glutGetWindow();
    glutCreateWindow("first frame");
    glutDisplayFunc([] { ++realFrames; });
    pumpEvents(10);
    glutDestroyWindow(glutGetWindow());
    glutSetWindow(window);
    EXPECT_GE(realFrames, 1) << "freeglut";

    resetLoop();
    loopState().display = [] { ++ourFrames; };
    startLoop();
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(runLoopFrame());
    EXPECT_EQ(ourFrames, 1) << "the first frame, and no other unasked";

    loopState().display         = [] { throw 1; };
    loopState().redisplayPosted = true;
    EXPECT_THROW(runLoopFrame(), int);
    EXPECT_FALSE(runLoopFrame());
    EXPECT_TRUE(loopState().ended);
}

// One lit triangle through the desktop's GL, read back in feedback mode, and
// through the page's pipeline: the same colours and window positions.
struct LightingCase {
    const char* name;
    float shift[3];
    float turn, axis[3];
    float scale[3];
    float normal[3];
    float ambient[4], diffuse[4], specular[4], emission[4];
    float shininess;
    bool localViewer;
    bool lightsAfterLookAt; // the lights' positions go through a gluLookAt
    float modelAmbient[4];  // the light model's
};

struct SeenVertex {
    float window[3]; // x, y in pixels, depth 0..1
    float colour[4]; // 0..1
};

const float corners[3][3]          = { { -0.6f, -0.5f, 0.2f }, { 0.7f, -0.4f, -0.1f }, { 0.1f, 0.6f, 0.0f } };
const GLfloat lightAmbient[]       = { 0.3f, 0.2f, 0.1f, 1.0f };
const GLfloat lightDiffuse[]       = { 0.3f, 0.2f, 0.2f, 1.0f };
const GLfloat lightSpecular[]      = { 1.0f, 0.0f, 1.0f, 1.0f };
const GLfloat lightPositions[2][4] = { { -20.0f, 5.0f, -8.0f, 1.0f }, { 5.0f, 5.0f, 10.0f, 1.0f } };
const double lookAt[9]             = { 8.0, 3.0, 20.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0 };

std::vector<SeenVertex> throughDesktop(const LightingCase& c)
{
    const GLfloat viewer[] = { c.localViewer ? 1.0f : 0.0f };
    squareView();
    if (c.lightsAfterLookAt)
        gluLookAt(lookAt[0], lookAt[1], lookAt[2], lookAt[3], lookAt[4], lookAt[5], lookAt[6], lookAt[7],
                  lookAt[8]);
    for (int i = 0; i < 2; ++i) {
        const GLenum light = GL_LIGHT0 + static_cast<GLenum>(i);
        glLightfv(light, GL_AMBIENT, lightAmbient);
        glLightfv(light, GL_DIFFUSE, lightDiffuse);
        glLightfv(light, GL_SPECULAR, lightSpecular);
        glLightfv(light, GL_POSITION, lightPositions[i]);
        glEnable(light);
    }
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, c.modelAmbient);
    glLightModelfv(GL_LIGHT_MODEL_LOCAL_VIEWER, viewer);
    glEnable(GL_LIGHTING);
    glMaterialfv(GL_FRONT, GL_AMBIENT, c.ambient);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, c.diffuse);
    glMaterialfv(GL_FRONT, GL_SPECULAR, c.specular);
    glMaterialfv(GL_FRONT, GL_EMISSION, c.emission);
    glMaterialf(GL_FRONT, GL_SHININESS, c.shininess);
    glTranslatef(c.shift[0], c.shift[1], c.shift[2]);
    glRotatef(c.turn, c.axis[0], c.axis[1], c.axis[2]);
    glScalef(c.scale[0], c.scale[1], c.scale[2]);

    GLfloat feedback[64];
    glFeedbackBuffer(64, GL_3D_COLOR, feedback);
    glRenderMode(GL_FEEDBACK);
    glNormal3fv(c.normal);
    glBegin(GL_TRIANGLES);
    for (const auto& corner : corners)
        glVertex3fv(corner);
    glEnd();
    const GLint values = glRenderMode(GL_RENDER);
    std::vector<SeenVertex> seen;
    if (values != 2 + 3 * 7 || feedback[0] != GL_POLYGON_TOKEN || feedback[1] != 3.0f)
        return seen;
    for (int v = 0; v < 3; ++v) {
        const GLfloat* f = feedback + 2 + 7 * v;
        seen.push_back({ { f[0], f[1], f[2] }, { f[3], f[4], f[5], f[6] } });
    }
    return seen;
}

std::vector<SeenVertex> throughPage(const LightingCase& c)
{
    ffReset();
    ffViewport(0, 0, windowSide, windowSide);
    ffMatrixMode(FfMatrixStack::projection);
    ffMultMatrix(perspectiveMatrix(90.0, 1.0, 0.1, 100.0));
    ffMatrixMode(FfMatrixStack::modelView);
    if (c.lightsAfterLookAt)
        ffMultMatrix(lookAtMatrix(lookAt[0], lookAt[1], lookAt[2], lookAt[3], lookAt[4], lookAt[5], lookAt[6],
                                  lookAt[7], lookAt[8]));
    FfLighting& lighting = ffLightingState();
    for (int i = 0; i < 2; ++i) {
        FfLight& light = lighting.lights[i];
        std::copy(lightAmbient, lightAmbient + 4, light.ambient);
        std::copy(lightDiffuse, lightDiffuse + 4, light.diffuse);
        std::copy(lightSpecular, lightSpecular + 4, light.specular);
        light.enabled = true;
        ffLightPosition(i, lightPositions[i]);
    }
    std::copy(c.modelAmbient, c.modelAmbient + 4, lighting.modelAmbient);
    lighting.localViewer = c.localViewer;
    lighting.enabled     = true;
    std::copy(c.ambient, c.ambient + 4, lighting.front.ambient);
    std::copy(c.diffuse, c.diffuse + 4, lighting.front.diffuse);
    std::copy(c.specular, c.specular + 4, lighting.front.specular);
    std::copy(c.emission, c.emission + 4, lighting.front.emission);
    lighting.front.shininess = c.shininess;
    ffMultMatrix(translationMatrix(c.shift[0], c.shift[1], c.shift[2]));
    ffMultMatrix(rotationMatrix(c.turn, c.axis[0], c.axis[1], c.axis[2]));
    ffMultMatrix(scalingMatrix(c.scale[0], c.scale[1], c.scale[2]));

    ffNormal(c.normal[0], c.normal[1], c.normal[2]);
    ffBegin(FfPrimitive::triangles);
    for (const auto& corner : corners)
        ffVertex(corner[0], corner[1], corner[2]);
    ffEnd();
    std::vector<SeenVertex> seen;
    for (const FfVertex& v : ffFrame().vertices) {
        const float* p = v.position;
        SeenVertex s{ { (p[0] / p[3] + 1.0f) * windowSide / 2, (p[1] / p[3] + 1.0f) * windowSide / 2,
                        (p[2] / p[3] + 1.0f) / 2 },
                      {} };
        for (int k = 0; k < 4; ++k)
            s.colour[k] = v.colour[k] / 255.0f;
        seen.push_back(s);
    }
    return seen;
}

TEST(FixedFunction, LightsAndTransformsAsTheDesktopsGl)
{
    // clang-format off
    const LightingCase cases[] = {
        { "the bell material, facing the viewer", { 0, 0, -4 }, 0, { 0, 1, 0 }, { 1, 1, 1 }, { 0, 0, 1 },
          { 0, 0.6f, 1, 1 }, { 0.8f, 0.8f, 0.8f, 1 }, { 0, 0, 0, 1 }, { 0, 0, 0, 1 }, 0, false, false, { 0, 0, 0, 1 } },
        { "a glScalef(6, 3, 6) box's top: a shortened normal", { 1, -2, -6 }, 0, { 0, 1, 0 }, { 6, 3, 6 }, { 0, 1, 0 },
          { 0.45f, 0.25f, 0.17f, 1 }, { 0.8f, 0.8f, 0.8f, 1 }, { 0, 0, 0, 1 }, { 0, 0, 0, 1 }, 0, false, false, { 0, 0, 0, 1 } },
        { "a scale below one lengthens the normal", { 0, 0, -2 }, 30, { 1, 1, 0 }, { 0.4f, 0.5f, 0.3f }, { 0, 0.6f, 0.8f },
          { 0.2f, 0.2f, 0.2f, 1 }, { 0.8f, 0.8f, 0.8f, 1 }, { 0, 0, 0, 1 }, { 0, 0, 0, 1 }, 0, false, false, { 0, 0, 0, 1 } },
        { "white emission saturates", { 0, 0, -3 }, 10, { 0, 0, 1 }, { 1, 1, 1 }, { 0, 0, 1 },
          { 1, 1, 1, 1 }, { 0.8f, 0.8f, 0.8f, 1 }, { 0, 0, 0, 1 }, { 1, 1, 1, 1 }, 0, false, false, { 0, 0, 0, 1 } },
        { "the bells' mouth turn, 95 degrees about -x", { -2, 1, -5 }, 95, { -2, 0, 0 }, { 1, 1, 1 }, { 0.3f, 0.2f, 0.9f },
          { 0, 0.6f, 1, 1 }, { 0.8f, 0.8f, 0.8f, 1 }, { 0, 0, 0, 1 }, { 0, 0, 0, 1 }, 0, false, false, { 0, 0, 0, 1 } },
        { "facing away from both lights: ambient only", { 0, 0, -4 }, 0, { 0, 1, 0 }, { 1, 1, 1 }, { 0, -1, 0 },
          { 0.37f, 0.25f, 0.17f, 1 }, { 0.8f, 0.8f, 0.8f, 0.5f }, { 0, 0, 0, 1 }, { 0, 0, 0, 1 }, 0, false, false, { 0, 0, 0, 1 } },
        { "specular, infinite viewer", { 0, 0, -3 }, 20, { 0, 1, 0 }, { 1, 1, 1 }, { 0.2f, 0.3f, 1 },
          { 0.1f, 0.1f, 0.1f, 1 }, { 0.5f, 0.5f, 0.5f, 1 }, { 1, 1, 1, 1 }, { 0, 0, 0, 1 }, 8, false, false, { 0, 0, 0, 1 } },
        { "specular, local viewer", { 0, 0, -3 }, 20, { 0, 1, 0 }, { 1, 1, 1 }, { 0.2f, 0.3f, 1 },
          { 0.1f, 0.1f, 0.1f, 1 }, { 0.5f, 0.5f, 0.5f, 1 }, { 1, 1, 1, 1 }, { 0, 0, 0, 1 }, 8, true, false, { 0, 0, 0, 1 } },
        { "lights given through a look-at", { 0, 0, 0 }, 0, { 0, 1, 0 }, { 1, 1, 1 }, { 0, 0, 1 },
          { 0, 0.5f, 0, 1 }, { 0.8f, 0.8f, 0.8f, 1 }, { 0, 0, 0, 1 }, { 0, 0, 0, 1 }, 0, false, true, { 0, 0, 0, 1 } },
        { "the light model's ambient, a material of other colours", { 0, 0, -4 }, 15, { 1, 0, 0 }, { 1, 1, 1 }, { 0, 0, 1 },
          { 0.5f, 0.2f, 0.9f, 1 }, { 0.3f, 0.7f, 0.1f, 1 }, { 0, 0, 0, 1 }, { 0, 0, 0, 1 }, 0, false, false, { 0.2f, 0.3f, 0.4f, 1 } },
    };
    // clang-format on
    for (const LightingCase& c : cases) {
        const std::vector<SeenVertex> real = throughDesktop(c), ours = throughPage(c);
        ASSERT_EQ(real.size(), 3u) << c.name << ": the desktop's feedback";
        ASSERT_EQ(ours.size(), 3u) << c.name;
        for (int v = 0; v < 3; ++v) {
            for (int k = 0; k < 3; ++k)
                EXPECT_NEAR(ours[v].window[k], real[v].window[k], k < 2 ? 0.01 : 1e-5)
                    << c.name << ", vertex " << v << ", window axis " << k;
            for (int k = 0; k < 4; ++k) // as the desktop's GL rounds it into its framebuffer
                EXPECT_EQ(std::lround(ours[v].colour[k] * 255), std::lround(real[v].colour[k] * 255))
                    << c.name << ", vertex " << v << ", channel " << k;
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (!GTEST_FLAG_GET(list_tests)) {
        glutInit(&argc, argv);
        // Double-buffered as the viewer is: Mesa 25 puts a single-buffered window's
        // image to the X server as the process ends, after the window is gone.
        glutInitDisplayMode(GLUT_DOUBLE | GLUT_RGB | GLUT_DEPTH);
        glutInitWindowSize(windowSide, windowSide);
        glutCreateWindow("web_desktop_test");
        glutDisplayFunc([] {});
        pumpEvents(5);
    }
    return RUN_ALL_TESTS();
}
