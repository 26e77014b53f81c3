// SPDX-License-Identifier: MIT
// The fixed-function pipeline the scene needs, on the processor: both matrix
// stacks, per-vertex lighting as GL 1.x computes it, immediate mode and wide
// lines. Vertices leave here lit and in clip space, gathered for the whole
// frame into one vertex array and one index array, cut into batches only
// where the texture or the depth test changes; the WebGL side uploads them
// once and draws each batch. No GL here, so the tests build it natively.
#pragma once

#include "ff_math.h"

#include <vector>

// GL's error codes, as glGetError gives them.
enum : unsigned {
    ffNoError          = 0,
    ffInvalidEnum      = 0x0500,
    ffInvalidValue     = 0x0501,
    ffInvalidOperation = 0x0502,
    ffStackOverflow    = 0x0503,
    ffStackUnderflow   = 0x0504,
};

enum class FfPrimitive { polygon, lines, triangles };

// One vertex as the shaders take it: clip-space position, the lit colour
// (0..255 per channel) and the texture coordinates.
struct FfVertex {
    float position[4];
    unsigned char colour[4];
    float texCoord[2];
};

// A run of the frame's indices drawn with one texture and depth setting.
struct FfBatch {
    unsigned firstIndex;
    unsigned indexCount;
    unsigned texture; // 0 when untextured
    bool depthTest;
};

struct FfFrame {
    std::vector<FfVertex> vertices;
    std::vector<unsigned> indices; // triangles
    std::vector<FfBatch> batches;
};

const int ffMaxLights = 8;

struct FfLight {
    float ambient[4];
    float diffuse[4];
    float specular[4];
    float position[4]; // eye space, as the model-view made it when it was given
    bool enabled;
};

struct FfMaterial {
    float ambient[4];
    float diffuse[4];
    float specular[4];
    float emission[4];
    float shininess;
};

struct FfLighting {
    bool enabled;
    FfLight lights[ffMaxLights];
    FfMaterial front;
    float modelAmbient[4];
    bool localViewer;
};

// GL's start state: identity matrices, GL's default lights and material.
void ffReset();

// The colour GL's lighting equation gives a vertex at eyePosition with the
// (not renormalised) eyeNormal, clamped to 0..1.
void ffLitColour(const FfLighting& state, const float eyePosition[3], const float eyeNormal[3], float out[4]);

// Matrices: the stack glMatrixMode chose.
void ffMatrixMode(bool projection);
void ffLoadIdentity();
void ffMultMatrix(const Mat4& m);
void ffPushMatrix();
void ffPopMatrix();
const Mat4& ffModelView();
const Mat4& ffProjection();

// Lighting state. Positions are taken through the current model-view.
FfLighting& ffLightingState(); // for parameters that need no transformation
void ffLightPosition(int light, const float position[4]);
void ffLightingChanged(); // after a change through ffLightingState

// Per-vertex state and what the rasteriser needs.
void ffNormal(float x, float y, float z);
const float* ffCurrentNormal();
void ffTexCoord(float s, float t);
void ffLineWidth(float width);
void ffViewport(int x, int y, int width, int height);
void ffTexturing(bool enabled, unsigned boundTexture);
void ffDepthTest(bool enabled);

// Immediate mode. A polygon is filled as a fan from its first vertex; a line
// of any width becomes a quad in window space, widened across its minor axis.
void ffBegin(FfPrimitive primitive);
void ffVertex(float x, float y, float z);
void ffEnd();
bool ffInsideBegin();

// A solid's triangles: positions and normals in object space, three indices
// per triangle. The current normal is left as it was, as GL's vertex arrays
// leave it. For a closed convex solid, outwardPlanes (four floats per
// triangle, or null) lets the triangles that face away from the eye be left
// out: nearer ones of the same solid cover every pixel they would.
void ffDrawTriangles(const float* positions, const float* normals, unsigned vertexCount,
                     const unsigned* indices, unsigned indexCount, const float* outwardPlanes = nullptr);

// What has been drawn since the last ffClearFrame.
const FfFrame& ffFrame();
void ffClearFrame();

// The first error since the last call, as glGetError reports it.
void ffSetError(unsigned error);
unsigned ffTakeError();
