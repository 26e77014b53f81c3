// SPDX-License-Identifier: MIT
// The GL 1.x and GLU calls the viewer makes, on the processor pipeline and
// WebGL2. Each takes the enums the viewer passes and reports any other as
// GL would, through glGetError.
#include "ff_pipeline.h"
#include "glu_core.h"
#include "web_layer.h"
#include "webgl_backend.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <utility>
#include <vector>

namespace {

bool setCap(GLenum cap, bool on)
{
    if (cap >= GL_LIGHT0 && cap < GL_LIGHT0 + ffMaxLights) {
        ffLightingState().lights[cap - GL_LIGHT0].enabled = on;
        return true;
    }
    switch (cap) {
    case GL_DEPTH_TEST:
        ffDepthTest(on);
        return true;
    case GL_LIGHTING:
        ffLightingState().enabled = on;
        return true;
    case GL_TEXTURE_2D:
        ffTexturing(on);
        return true;
    default:
        return false;
    }
}

void copy4(float* to, const GLfloat* from)
{
    for (int i = 0; i < 4; ++i)
        to[i] = from[i];
}

// The parameters the viewer sets; their values go to WebGL as they are,
// which reports a bad one through glGetError after the swap.
void setTextureParameter(GLenum target, GLenum name, GLint value)
{
    const bool known = name == GL_TEXTURE_MIN_FILTER || name == GL_TEXTURE_MAG_FILTER
                       || name == GL_TEXTURE_WRAP_S || name == GL_TEXTURE_WRAP_T;
    if (target != GL_TEXTURE_2D || !known) {
        ffSetError(GL_INVALID_ENUM);
        return;
    }
    ffTextureParameter(name, value);
}

} // namespace

extern "C" {

void glBegin(GLenum mode)
{
    if (mode == GL_POLYGON)
        ffBegin(FfPrimitive::polygon);
    else if (mode == GL_LINES)
        ffBegin(FfPrimitive::lines);
    else if (mode == GL_TRIANGLES)
        ffBegin(FfPrimitive::triangles);
    else
        ffSetError(GL_INVALID_ENUM);
}

void glEnd()
{
    ffEnd();
}

void glVertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    ffVertex(x, y, z);
}

void glVertex3fv(const GLfloat* v)
{
    ffVertex(v[0], v[1], v[2]);
}

void glTexCoord2fv(const GLfloat* v)
{
    ffTexCoord(v[0], v[1]);
}

void glEnable(GLenum cap)
{
    if (!setCap(cap, true))
        ffSetError(GL_INVALID_ENUM);
}

void glDisable(GLenum cap)
{
    if (!setCap(cap, false))
        ffSetError(GL_INVALID_ENUM);
}

void glShadeModel(GLenum mode)
{
    if (mode != GL_SMOOTH) // the scene shades smoothly; flat shading is not drawn here
        ffSetError(GL_INVALID_ENUM);
}

void glClear(GLbitfield mask)
{
    ffClear((mask & GL_COLOR_BUFFER_BIT) != 0, (mask & GL_DEPTH_BUFFER_BIT) != 0);
}

void glViewport(GLint x, GLint y, GLsizei width, GLsizei height)
{
    ffViewport(x, y, width, height);
}

void glLineWidth(GLfloat width)
{
    ffLineWidth(width);
}

void glMatrixMode(GLenum mode)
{
    if (mode == GL_MODELVIEW || mode == GL_PROJECTION)
        ffMatrixMode(mode == GL_PROJECTION ? FfMatrixStack::projection : FfMatrixStack::modelView);
    else
        ffSetError(GL_INVALID_ENUM);
}

void glLoadIdentity()
{
    ffLoadIdentity();
}

void glPushMatrix()
{
    ffPushMatrix();
}

void glPopMatrix()
{
    ffPopMatrix();
}

void glTranslatef(GLfloat x, GLfloat y, GLfloat z)
{
    ffMultMatrix(translationMatrix(x, y, z));
}

void glScalef(GLfloat x, GLfloat y, GLfloat z)
{
    ffMultMatrix(scalingMatrix(x, y, z));
}

void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z)
{
    ffMultMatrix(rotationMatrix(angle, x, y, z));
}

void glLightfv(GLenum light, GLenum name, const GLfloat* params)
{
    if (light < GL_LIGHT0 || light >= GL_LIGHT0 + ffMaxLights) {
        ffSetError(GL_INVALID_ENUM);
        return;
    }
    const int i = static_cast<int>(light - GL_LIGHT0);
    FfLight& l  = ffLightingState().lights[i];
    switch (name) {
    case GL_AMBIENT:
        copy4(l.ambient, params);
        break;
    case GL_DIFFUSE:
        copy4(l.diffuse, params);
        break;
    case GL_SPECULAR:
        copy4(l.specular, params);
        break;
    case GL_POSITION:
        ffLightPosition(i, params);
        break;
    default:
        ffSetError(GL_INVALID_ENUM);
    }
}

void glLightModelfv(GLenum name, const GLfloat* params)
{
    FfLighting& lighting = ffLightingState();
    if (name == GL_LIGHT_MODEL_AMBIENT)
        copy4(lighting.modelAmbient, params);
    else if (name == GL_LIGHT_MODEL_LOCAL_VIEWER)
        lighting.localViewer = params[0] != 0.0f;
    else
        ffSetError(GL_INVALID_ENUM);
}

void glMaterialfv(GLenum face, GLenum name, const GLfloat* params)
{
    if (face != GL_FRONT && face != GL_FRONT_AND_BACK) { // back faces are lit with the front material
        ffSetError(GL_INVALID_ENUM);
        return;
    }
    FfMaterial& m = ffLightingState().front;
    switch (name) {
    case GL_AMBIENT:
        copy4(m.ambient, params);
        break;
    case GL_DIFFUSE:
        copy4(m.diffuse, params);
        break;
    case GL_AMBIENT_AND_DIFFUSE:
        copy4(m.ambient, params);
        copy4(m.diffuse, params);
        break;
    case GL_SPECULAR:
        copy4(m.specular, params);
        break;
    case GL_EMISSION:
        copy4(m.emission, params);
        break;
    case GL_SHININESS:
        m.shininess = params[0];
        break;
    default:
        ffSetError(GL_INVALID_ENUM);
    }
}

void glGenTextures(GLsizei n, GLuint* names)
{
    for (GLsizei i = 0; i < n; ++i) {
        names[i] = webglCreateTexture();
        ffAddTexture(names[i]);
    }
}

void glDeleteTextures(GLsizei n, const GLuint* names)
{
    for (GLsizei i = 0; i < n; ++i)
        ffDeleteTexture(names[i]);
}

void glBindTexture(GLenum target, GLuint texture)
{
    if (target != GL_TEXTURE_2D)
        ffSetError(GL_INVALID_ENUM);
    else if (!ffBindTexture(texture)) // only names glGenTextures made
        ffSetError(GL_INVALID_OPERATION);
}

void glTexParameterf(GLenum target, GLenum name, GLfloat value)
{
    setTextureParameter(target, name, static_cast<GLint>(value));
}

void glTexParameteri(GLenum target, GLenum name, GLint value)
{
    setTextureParameter(target, name, value);
}

void glPixelStorei(GLenum name, GLint value)
{
    if (value != 1 && value != 2 && value != 4 && value != 8) {
        ffSetError(GL_INVALID_VALUE);
        return;
    }
    if (name == GL_UNPACK_ALIGNMENT)
        ffPixelStore().unpackAlignment = value;
    else if (name == GL_PACK_ALIGNMENT)
        ffPixelStore().packAlignment = value;
    else
        ffSetError(GL_INVALID_ENUM);
}

// The pixel-store alignments are the only client state the layer has.
void glPushClientAttrib(GLbitfield)
{
    ffPushPixelStore();
}

void glPopClientAttrib()
{
    ffPopPixelStore();
}

void glGetIntegerv(GLenum name, GLint* value)
{
    switch (name) {
    case GL_MAX_TEXTURE_SIZE:
        *value = webglMaxTextureSize();
        break;
    case GL_UNPACK_ALIGNMENT:
        *value = ffPixelStore().unpackAlignment;
        break;
    case GL_PACK_ALIGNMENT:
        *value = ffPixelStore().packAlignment;
        break;
    case GL_TEXTURE_BINDING_2D:
        *value = static_cast<GLint>(ffBoundTexture());
        break;
    default:
        ffSetError(GL_INVALID_ENUM);
    }
}

void glGetFloatv(GLenum name, GLfloat* value)
{
    if (name != GL_CURRENT_NORMAL) {
        ffSetError(GL_INVALID_ENUM);
        return;
    }
    for (int i = 0; i < 3; ++i)
        value[i] = ffCurrentNormal()[i];
}

GLenum glGetError()
{
    const unsigned own = ffTakeError();
    return own != ffNoError ? own : webglError();
}

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar)
{
    ffMultMatrix(perspectiveMatrix(fovy, aspect, zNear, zFar));
}

void gluLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centerX, GLdouble centerY,
               GLdouble centerZ, GLdouble upX, GLdouble upY, GLdouble upZ)
{
    ffMultMatrix(lookAtMatrix(eyeX, eyeY, eyeZ, centerX, centerY, centerZ, upX, upY, upZ));
}

GLint gluBuild2DMipmaps(GLenum target, GLint, GLsizei width, GLsizei height, GLenum format, GLenum type,
                        const void* data)
{
    if (width < 1 || height < 1)
        return GLU_INVALID_VALUE;
    if (target != GL_TEXTURE_2D || (format != GL_RGB && format != GL_RGBA) || type != GL_UNSIGNED_BYTE)
        return GLU_INVALID_ENUM;
    if (ffBoundTexture() == 0)
        return GLU_INVALID_OPERATION;
    const int components = format == GL_RGBA ? 4 : 3;
    const int alignment  = ffPixelStore().unpackAlignment;
    long rowBytes        = static_cast<long>(width) * components;
    rowBytes += (alignment - rowBytes % alignment) % alignment;
    ffTextureImage(components, mipmapChain(static_cast<const unsigned char*>(data), width, height, components,
                                           static_cast<int>(rowBytes), webglMaxTextureSize()));
    return 0;
}

const GLubyte* gluErrorString(GLenum error)
{
    return reinterpret_cast<const GLubyte*>(errorStringText(error));
}

} // extern "C"

void deleteEveryTexture()
{
    for (unsigned name : ffTextureNames())
        ffDeleteTexture(name);
}

unsigned liveTextureCount()
{
    return static_cast<unsigned>(ffTextureNames().size());
}
