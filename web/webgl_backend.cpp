// SPDX-License-Identifier: MIT
// WebGL is reached through emscripten's emscripten_gl* names: this layer
// defines the plain gl* names itself.
#include "webgl_backend.h"

#include <emscripten/html5.h>
#include <webgl/webgl1.h>
#include <webgl/webgl2.h>

#include <cstddef>
#include <cstdio>

namespace {

const char* const vertexShader = R"(#version 300 es
in vec4 position;
in vec4 colour;
in vec2 texCoord;
out vec4 litColour;
out vec2 surfaceCoord;
void main()
{
    gl_Position  = position;
    litColour    = colour;
    surfaceCoord = texCoord;
}
)";

// GL's modulate: the texel times the lit colour, alpha too.
const char* const fragmentShader = R"(#version 300 es
precision highp float;
uniform bool textured;
uniform sampler2D picture;
in vec4 litColour;
in vec2 surfaceCoord;
out vec4 fragment;
void main()
{
    fragment = textured ? texture(picture, surfaceCoord) * litColour : litColour;
}
)";

// The context's names, made once by webglOpen.
struct Backend {
    GLuint program, vertexBuffer, indexBuffer, vertexArray;
    GLint textured;
};

Backend backend;

GLuint compile(GLenum kind, const char* source)
{
    const GLuint shader = emscripten_glCreateShader(kind);
    emscripten_glShaderSource(shader, 1, &source, nullptr);
    emscripten_glCompileShader(shader);
    GLint ok = 0;
    emscripten_glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = "";
        emscripten_glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        std::fprintf(stderr, "tollmere: a shader does not compile: %s\n", log);
    }
    return shader;
}

void setUpAttributes()
{
    const GLsizei stride = sizeof(FfVertex);
    const GLint position = emscripten_glGetAttribLocation(backend.program, "position");
    const GLint colour   = emscripten_glGetAttribLocation(backend.program, "colour");
    const GLint texCoord = emscripten_glGetAttribLocation(backend.program, "texCoord");
    emscripten_glEnableVertexAttribArray(position);
    emscripten_glVertexAttribPointer(position, 4, GL_FLOAT, GL_FALSE, stride,
                                     reinterpret_cast<const void*>(offsetof(FfVertex, position)));
    emscripten_glEnableVertexAttribArray(colour);
    emscripten_glVertexAttribPointer(colour, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                                     reinterpret_cast<const void*>(offsetof(FfVertex, colour)));
    emscripten_glEnableVertexAttribArray(texCoord);
    emscripten_glVertexAttribPointer(texCoord, 2, GL_FLOAT, GL_FALSE, stride,
                                     reinterpret_cast<const void*>(offsetof(FfVertex, texCoord)));
}

void clear(const FfCommand& command)
{
    // The depth buffer clears only with depth writes on, whatever the test.
    emscripten_glDepthMask(GL_TRUE);
    emscripten_glClear((command.colour ? GL_COLOR_BUFFER_BIT : 0u)
                       | (command.depth ? GL_DEPTH_BUFFER_BIT : 0u));
}

void upload(const FfTextureImage& image)
{
    const GLenum format = image.components == 4 ? GL_RGBA : GL_RGB;
    emscripten_glBindTexture(GL_TEXTURE_2D, image.texture);
    for (size_t level = 0; level < image.levels.size(); ++level) {
        const MipLevel& l = image.levels[level];
        emscripten_glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), static_cast<GLint>(format), l.width,
                                l.height, 0, format, GL_UNSIGNED_BYTE, l.texels.data());
    }
}

void draw(const FfCommand& command)
{
    (command.depthTest ? emscripten_glEnable : emscripten_glDisable)(GL_DEPTH_TEST);
    emscripten_glUniform1i(backend.textured, command.texture != 0);
    if (command.texture != 0)
        emscripten_glBindTexture(GL_TEXTURE_2D, command.texture);
    emscripten_glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(command.indexCount), GL_UNSIGNED_INT,
                              reinterpret_cast<const void*>(command.firstIndex * sizeof(unsigned)));
}

} // namespace

bool webglOpen(const char* canvas)
{
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.alpha                 = false; // the RGBA pictures would let the page show through
    attributes.depth                 = true;
    attributes.stencil               = false;
    attributes.antialias             = false;
    attributes.preserveDrawingBuffer = false;
    attributes.majorVersion          = 2;
    attributes.minorVersion          = 0;
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_create_context(canvas, &attributes);
    if (context <= 0 || emscripten_webgl_make_context_current(context) != EMSCRIPTEN_RESULT_SUCCESS)
        return false;

    Backend& b = backend;
    b.program  = emscripten_glCreateProgram();
    emscripten_glAttachShader(b.program, compile(GL_VERTEX_SHADER, vertexShader));
    emscripten_glAttachShader(b.program, compile(GL_FRAGMENT_SHADER, fragmentShader));
    emscripten_glLinkProgram(b.program);
    emscripten_glUseProgram(b.program);
    b.textured = emscripten_glGetUniformLocation(b.program, "textured");
    emscripten_glUniform1i(emscripten_glGetUniformLocation(b.program, "picture"), 0);

    emscripten_glGenVertexArrays(1, &b.vertexArray);
    emscripten_glBindVertexArray(b.vertexArray);
    emscripten_glGenBuffers(1, &b.vertexBuffer);
    emscripten_glGenBuffers(1, &b.indexBuffer);
    emscripten_glBindBuffer(GL_ARRAY_BUFFER, b.vertexBuffer);
    emscripten_glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, b.indexBuffer);
    setUpAttributes();
    emscripten_glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    emscripten_glDepthFunc(GL_LESS);
    return true;
}

unsigned webglCreateTexture()
{
    GLuint texture = 0;
    emscripten_glGenTextures(1, &texture);
    return texture;
}

int webglMaxTextureSize()
{
    GLint size = 0;
    emscripten_glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    return size;
}

void webglDrawFrame(const FfFrame& frame)
{
    if (!frame.indices.empty()) {
        emscripten_glBufferData(GL_ARRAY_BUFFER,
                                static_cast<GLsizeiptr>(frame.vertices.size() * sizeof(FfVertex)),
                                frame.vertices.data(), GL_STREAM_DRAW);
        emscripten_glBufferData(GL_ELEMENT_ARRAY_BUFFER,
                                static_cast<GLsizeiptr>(frame.indices.size() * sizeof(unsigned)),
                                frame.indices.data(), GL_STREAM_DRAW);
    }
    for (const FfCommand& command : frame.commands)
        switch (command.kind) {
        case FfCommandKind::clear:
            clear(command);
            break;
        case FfCommandKind::viewport:
            emscripten_glViewport(command.rect[0], command.rect[1], command.rect[2], command.rect[3]);
            break;
        case FfCommandKind::textureParameter:
            emscripten_glBindTexture(GL_TEXTURE_2D, command.texture);
            emscripten_glTexParameteri(GL_TEXTURE_2D, command.parameter, command.rect[0]);
            break;
        case FfCommandKind::textureImage:
            upload(frame.images[command.image]);
            break;
        case FfCommandKind::deleteTexture:
            emscripten_glDeleteTextures(1, &command.texture);
            break;
        case FfCommandKind::draw:
            draw(command);
            break;
        }
}

unsigned webglError()
{
    return emscripten_glGetError();
}
