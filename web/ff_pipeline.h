// SPDX-License-Identifier: MIT
// The fixed-function pipeline the scene needs, on the processor: both matrix
// stacks, per-vertex lighting as GL 1.x computes it, immediate mode, wide
// lines and the texture and pixel-store state. All of it is one state with
// one reset. What a frame asks of WebGL is recorded here as commands, in the
// order the program asked (clears, viewports, texture parameters, uploads and
// deletions, and batches of lit clip-space vertices), and drawn in one go at
// the swap. No GL here, so the tests build it natively.
#pragma once

#include "ff_math.h"
#include "glu_core.h"

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
enum class FfMatrixStack { modelView, projection };

// One vertex as the shaders take it: clip-space position, the lit colour
// (0..255 per channel) and the texture coordinates.
struct FfVertex {
    float position[4];
    unsigned char colour[4];
    float texCoord[2];
};

// A texture's levels as gluBuild2DMipmaps made them, level 0 first.
struct FfTextureImage {
    unsigned texture;
    int components; // 3 or 4
    std::vector<MipLevel> levels;
};

enum class FfCommandKind { clear, viewport, textureParameter, textureImage, deleteTexture, draw };

// One step of the frame. Which fields count depends on the kind:
//   clear             colour, depth
//   viewport          rect: x, y, width, height
//   textureParameter  texture, parameter (GL's enum), rect[0] the value
//   textureImage      image: its place in FfFrame::images
//   deleteTexture     texture
//   draw              texture (0 untextured), depthTest, firstIndex, indexCount
struct FfCommand {
    FfCommandKind kind;
    unsigned texture;
    unsigned parameter;
    int rect[4];
    unsigned image;
    bool colour, depth, depthTest;
    unsigned firstIndex, indexCount;
};

// Everything the frame asks of WebGL since the last swap.
struct FfFrame {
    std::vector<FfCommand> commands;
    std::vector<FfVertex> vertices;
    std::vector<unsigned> indices; // triangles
    std::vector<FfTextureImage> images;
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

// The pixel-store alignments, in bytes.
struct FfPixelStore {
    int unpackAlignment;
    int packAlignment;
};

// GL's start state: identity matrices, GL's default lights and material, no
// textures, an empty frame.
void ffReset();

// Matrices: the stack glMatrixMode chose.
void ffMatrixMode(FfMatrixStack stack);
void ffLoadIdentity();
void ffMultMatrix(const Mat4& m);
void ffPushMatrix();
void ffPopMatrix();

// Lighting state. Positions are taken through the current model-view.
FfLighting& ffLightingState(); // for parameters that need no transformation
void ffLightPosition(int light, const float position[4]);

// Per-vertex state and what the rasteriser needs.
void ffNormal(float x, float y, float z);
const float* ffCurrentNormal();
void ffTexCoord(float s, float t);
void ffLineWidth(float width);
void ffViewport(int x, int y, int width, int height);
void ffDepthTest(bool enabled);
void ffClear(bool colour, bool depth);

// Textures: names are made by WebGL at once; what is done to them waits for
// the swap with the rest of the frame.
void ffTexturing(bool enabled);
void ffAddTexture(unsigned texture);
void ffDeleteTexture(unsigned texture); // names never made are ignored, as GL ignores them
bool ffBindTexture(unsigned texture);   // false for a name never made
unsigned ffBoundTexture();
std::vector<unsigned> ffTextureNames();                            // made and not deleted
void ffTextureParameter(unsigned parameter, int value);            // on the bound texture
int ffTextureParameterValue(unsigned texture, unsigned parameter); // as WebGL holds it; -1 unknown
void ffTextureImage(int components, std::vector<MipLevel> levels);

// The alignments, and glPushClientAttrib's stack of them.
FfPixelStore& ffPixelStore();
void ffPushPixelStore();
void ffPopPixelStore();

// Immediate mode. A polygon is filled as a fan from its first vertex; a line
// of any width becomes a quad in window space, widened across its minor axis.
void ffBegin(FfPrimitive primitive);
void ffVertex(float x, float y, float z);
void ffEnd();

// A solid's triangles: positions and normals in object space, three indices
// per triangle. The current normal is left as it was, as GL's vertex arrays
// leave it. For a closed convex solid, outwardPlanes (four floats per
// triangle, or null) lets the triangles that face away from the eye be left
// out: nearer ones of the same solid cover every pixel they would.
void ffDrawTriangles(const float* positions, const float* normals, unsigned vertexCount,
                     const unsigned* indices, unsigned indexCount, const float* outwardPlanes = nullptr);

// A run of a closed convex solid's triangles whose outward normals point
// nearly one way, so that the whole run can be found facing away from the
// eye at once. In object space: its vertices lie within `radius` of
// `centre`, and each triangle's unit outward normal lies within the angle
// whose cosine and sine are spreadCos and spreadSin of the unit `axis`.
struct FfCluster {
    float centre[3];
    float radius;
    float axis[3];
    float spreadCos, spreadSin;
    unsigned firstIndex, indexCount;   // its triangles in the indices
    unsigned firstVertex, vertexCount; // its corners, once each, in the vertices
};

// ffDrawTriangles for a closed convex solid whose indices and outwardPlanes
// come run by run, with each run's corners listed in `vertices`: a run
// facing away is passed over without projecting a vertex; what is drawn is
// what ffDrawTriangles draws.
void ffDrawClusters(const float* positions, const float* normals, unsigned vertexCount,
                    const unsigned* indices, const float* outwardPlanes, const unsigned* vertices,
                    const FfCluster* clusters, unsigned clusterCount);

// What the frame has recorded since the last ffClearFrame.
const FfFrame& ffFrame();
void ffClearFrame();

// The first error since the last call, as glGetError reports it.
void ffSetError(unsigned error);
unsigned ffTakeError();
