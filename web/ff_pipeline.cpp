// SPDX-License-Identifier: MIT
// Lighting follows GL 1.x's equation with the parts the scene can reach:
// emission, the light model's ambient and, for each enabled light, ambient,
// diffuse and specular, with no attenuation or spot (their defaults).
#include "ff_pipeline.h"

#include <algorithm>
#include <cmath>

namespace {

const int maxStackDepth = 32; // Mesa's depth for both stacks

struct Stack {
    Mat4 matrices[maxStackDepth];
    int top;
};

Stack modelViewStack, projectionStack;
Stack* currentStack = &modelViewStack;

// Derived from the model-view and projection, remade when either changes.
bool matricesDirty = true;
Mat4 clipMatrix; // projection * model-view
Mat3 normals;

FfLighting lighting;
bool lightingDirty = true;

// Per enabled light, the material's colours multiplied by the light's.
struct LightTerms {
    const FfLight* light;
    float diffuse[3];
    float specular[3];
    bool hasSpecular;
};

// What the lighting equation needs for each vertex, worked out once per
// change of the material or the lights.
struct Terms {
    const FfLighting* source;
    LightTerms lights[ffMaxLights];
    int lightCount;
    float scene[4]; // emission and every ambient term; alpha is the diffuse alpha
};
Terms terms;

float currentNormal[3]   = { 0.0f, 0.0f, 1.0f };
float currentTexCoord[2] = { 0.0f, 0.0f };
float lineWidth          = 1.0f;
int viewport[4]          = { 0, 0, 0, 0 };
bool texturing           = false;
unsigned boundTexture    = 0;
bool depthTest           = false;

bool inside = false;
FfPrimitive primitive;
std::vector<FfVertex> pending; // the vertices since ffBegin

FfFrame frame;
unsigned error = ffNoError;

void setColour(float* c, float r, float g, float b, float a)
{
    c[0] = r;
    c[1] = g;
    c[2] = b;
    c[3] = a;
}

void updateMatrices()
{
    if (!matricesDirty)
        return;
    const Mat4& mv = modelViewStack.matrices[modelViewStack.top];
    clipMatrix     = multiply(projectionStack.matrices[projectionStack.top], mv);
    normals        = normalMatrix(mv);
    matricesDirty  = false;
}

void computeTerms(const FfLighting& state, Terms& t)
{
    const FfMaterial& m = state.front;
    t.source            = &state;
    for (int c = 0; c < 3; ++c)
        t.scene[c] = m.emission[c] + m.ambient[c] * state.modelAmbient[c];
    t.scene[3]   = m.diffuse[3];
    t.lightCount = 0;
    for (const FfLight& light : state.lights) {
        if (!light.enabled)
            continue;
        LightTerms& l = t.lights[t.lightCount++];
        l.light       = &light;
        l.hasSpecular = false;
        for (int c = 0; c < 3; ++c) {
            t.scene[c] += m.ambient[c] * light.ambient[c];
            l.diffuse[c]  = m.diffuse[c] * light.diffuse[c];
            l.specular[c] = m.specular[c] * light.specular[c];
            l.hasSpecular = l.hasSpecular || l.specular[c] != 0.0f;
        }
    }
}

void updateLighting()
{
    if (!lightingDirty)
        return;
    computeTerms(lighting, terms);
    lightingDirty = false;
}

float dot3(const float* a, const float* b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// The unit vector from the vertex to the light.
void towardLight(const float* p, const float eye[3], float vp[3])
{
    for (int k = 0; k < 3; ++k)
        vp[k] = p[3] != 0.0f ? p[k] / p[3] - eye[k] : p[k];
    const float length = std::sqrt(dot3(vp, vp));
    if (length > 0.0f)
        for (int k = 0; k < 3; ++k)
            vp[k] /= length;
}

// The specular factor (n . h)^shininess, h halfway to the eye.
float specularFactor(const Terms& t, const float vp[3], const float eye[3], const float n[3])
{
    float h[3] = { vp[0], vp[1], vp[2] + 1.0f };
    if (t.source->localViewer) {
        const float toEye = std::sqrt(dot3(eye, eye));
        for (int k = 0; k < 3; ++k)
            h[k] = vp[k] - (toEye > 0.0f ? eye[k] / toEye : 0.0f);
    }
    const float hLength = std::sqrt(dot3(h, h));
    const float nDotH   = hLength > 0.0f ? dot3(n, h) / hLength : 0.0f;
    return nDotH > 0.0f ? std::pow(nDotH, t.source->front.shininess) : 0.0f;
}

// The lit colour, clamped to 0..1.
void shade(const Terms& t, const float eye[3], const float n[3], float out[4])
{
    float c[3] = { t.scene[0], t.scene[1], t.scene[2] };
    for (int i = 0; i < t.lightCount; ++i) {
        const LightTerms& l = t.lights[i];
        float vp[3];
        towardLight(l.light->position, eye, vp);
        const float nDotL = dot3(n, vp);
        if (nDotL <= 0.0f)
            continue;
        const float f = l.hasSpecular ? specularFactor(t, vp, eye, n) : 0.0f;
        for (int k = 0; k < 3; ++k)
            c[k] += nDotL * l.diffuse[k] + f * l.specular[k];
    }
    for (int k = 0; k < 3; ++k)
        out[k] = std::clamp(c[k], 0.0f, 1.0f);
    out[3] = std::clamp(t.scene[3], 0.0f, 1.0f);
}

unsigned char toByte(float c)
{
    return static_cast<unsigned char>(std::lround(c * 255.0f));
}

// A vertex through the model-view, the lighting and the projection.
FfVertex makeVertex(const float position[3], const float normal[3], const Vec4& clip)
{
    const Mat4& mv = modelViewStack.matrices[modelViewStack.top];
    const Vec4 object{ position[0], position[1], position[2], 1.0f };
    const Vec4 eye = transform(mv, object);

    FfVertex v;
    v.position[0]   = clip.x;
    v.position[1]   = clip.y;
    v.position[2]   = clip.z;
    v.position[3]   = clip.w;
    float colour[4] = { 1.0f, 1.0f, 1.0f, 1.0f }; // GL's default current colour
    if (lighting.enabled) {
        const float eyePosition[3] = { eye.x, eye.y, eye.z };
        float eyeNormal[3];
        transformNormal(normals, normal, eyeNormal);
        shade(terms, eyePosition, eyeNormal, colour);
    }
    for (int k = 0; k < 4; ++k)
        v.colour[k] = toByte(colour[k]);
    v.texCoord[0] = currentTexCoord[0];
    v.texCoord[1] = currentTexCoord[1];
    return v;
}

// The batch new indices go into: the last one while its state holds.
FfBatch& currentBatch()
{
    const unsigned texture = texturing ? boundTexture : 0;
    if (frame.batches.empty() || frame.batches.back().texture != texture
        || frame.batches.back().depthTest != depthTest) {
        const FfBatch batch{ static_cast<unsigned>(frame.indices.size()), 0, texture, depthTest };
        frame.batches.push_back(batch);
    }
    return frame.batches.back();
}

void emitFan(const std::vector<FfVertex>& corners)
{
    if (corners.size() < 3)
        return;
    FfBatch& batch      = currentBatch();
    const unsigned base = static_cast<unsigned>(frame.vertices.size());
    frame.vertices.insert(frame.vertices.end(), corners.begin(), corners.end());
    for (unsigned i = 1; i + 1 < corners.size(); ++i) {
        frame.indices.push_back(base);
        frame.indices.push_back(base + i);
        frame.indices.push_back(base + i + 1);
    }
    batch.indexCount += 3 * static_cast<unsigned>(corners.size() - 2);
}

FfVertex mix(const FfVertex& a, const FfVertex& b, float t)
{
    FfVertex v;
    for (int k = 0; k < 4; ++k) {
        v.position[k] = a.position[k] + t * (b.position[k] - a.position[k]);
        v.colour[k]   = static_cast<unsigned char>(
            std::lround(static_cast<float>(a.colour[k]) + t * static_cast<float>(b.colour[k] - a.colour[k])));
    }
    for (int k = 0; k < 2; ++k)
        v.texCoord[k] = a.texCoord[k] + t * (b.texCoord[k] - a.texCoord[k]);
    return v;
}

// Cuts the segment at the near plane; false when none of it is in front.
bool clipToNear(FfVertex& a, FfVertex& b)
{
    const float da = a.position[2] + a.position[3], db = b.position[2] + b.position[3];
    if (da < 0.0f && db < 0.0f)
        return false;
    if (da < 0.0f)
        a = mix(a, b, da / (da - db));
    else if (db < 0.0f)
        b = mix(b, a, db / (db - da));
    return a.position[3] > 0.0f && b.position[3] > 0.0f;
}

// GL's aliased wide line: every fragment of the thin line grows into a run
// of `width` fragments across the minor axis, so the line is a parallelogram
// whose ends lie along that axis.
void emitLine(FfVertex a, FfVertex b)
{
    if (!clipToNear(a, b))
        return;
    const float vx = static_cast<float>(viewport[0]), vy = static_cast<float>(viewport[1]);
    const float vw = static_cast<float>(viewport[2]), vh = static_cast<float>(viewport[3]);
    if (vw <= 0.0f || vh <= 0.0f)
        return;
    float win[2][3];
    const FfVertex* ends[2] = { &a, &b };
    for (int e = 0; e < 2; ++e) {
        const float* p = ends[e]->position;
        win[e][0]      = (p[0] / p[3] + 1.0f) * vw / 2.0f + vx;
        win[e][1]      = (p[1] / p[3] + 1.0f) * vh / 2.0f + vy;
        win[e][2]      = p[2] / p[3];
    }
    const bool xMajor         = std::fabs(win[1][0] - win[0][0]) >= std::fabs(win[1][1] - win[0][1]);
    const float half          = std::max(1.0f, std::round(lineWidth)) / 2.0f;
    const float offsets[4][2] = { { 0, -half }, { 0, half }, { 1, half }, { 1, -half } }; // end, offset

    std::vector<FfVertex> corners(4);
    for (int c = 0; c < 4; ++c) {
        const int e   = static_cast<int>(offsets[c][0]);
        FfVertex& v   = corners[c];
        v             = *ends[e];
        const float x = win[e][0] + (xMajor ? 0.0f : offsets[c][1]);
        const float y = win[e][1] + (xMajor ? offsets[c][1] : 0.0f);
        v.position[0] = (x - vx) * 2.0f / vw - 1.0f;
        v.position[1] = (y - vy) * 2.0f / vh - 1.0f;
        v.position[2] = win[e][2];
        v.position[3] = 1.0f;
    }
    emitFan(corners);
}

// False only when no pixel centre can lie inside the triangle: its box,
// widened by a margin, holds none. Window positions come shifted by half a
// pixel, so that the centres lie on whole numbers; a corner behind the eye
// (NaN) keeps the triangle, for the clipper to cut.
bool coversPixelCentre(const float* window, const unsigned corner[3])
{
    const float margin = 0.125f;
    const float* a     = window + 2 * static_cast<size_t>(corner[0]);
    const float* b     = window + 2 * static_cast<size_t>(corner[1]);
    const float* c     = window + 2 * static_cast<size_t>(corner[2]);
    for (int axis = 0; axis < 2; ++axis) {
        const float low  = std::min(std::min(a[axis], b[axis]), c[axis]) - margin;
        const float high = std::max(std::max(a[axis], b[axis]), c[axis]) + margin;
        if (std::floor(high) < std::ceil(low))
            return false;
    }
    return true;
}

// Whether the eye lies inside the triangle's plane by more than rounding:
// a triangle seen edge-on is kept.
bool facesAway(const float* plane, const float eye[3])
{
    const float side  = plane[0] * eye[0] + plane[1] * eye[1] + plane[2] * eye[2] - plane[3];
    const float scale = std::fabs(plane[3]) + std::fabs(plane[0]) + std::fabs(plane[1]) + std::fabs(plane[2]);
    return side < -1e-4f * scale;
}

} // namespace

void ffReset()
{
    modelViewStack.top = projectionStack.top = 0;
    modelViewStack.matrices[0] = projectionStack.matrices[0] = identityMatrix();
    currentStack                                             = &modelViewStack;
    matricesDirty                                            = true;

    lighting = {};
    for (int i = 0; i < ffMaxLights; ++i) {
        FfLight& light = lighting.lights[i];
        const float on = i == 0 ? 1.0f : 0.0f; // only light 0 starts white
        setColour(light.ambient, 0, 0, 0, 1);
        setColour(light.diffuse, on, on, on, 1);
        setColour(light.specular, on, on, on, 1);
        setColour(light.position, 0, 0, 1, 0);
    }
    setColour(lighting.front.ambient, 0.2f, 0.2f, 0.2f, 1);
    setColour(lighting.front.diffuse, 0.8f, 0.8f, 0.8f, 1);
    setColour(lighting.front.specular, 0, 0, 0, 1);
    setColour(lighting.front.emission, 0, 0, 0, 1);
    setColour(lighting.modelAmbient, 0.2f, 0.2f, 0.2f, 1);
    lightingDirty = true;

    currentNormal[0] = currentNormal[1] = 0.0f;
    currentNormal[2]                    = 1.0f;
    currentTexCoord[0] = currentTexCoord[1] = 0.0f;
    lineWidth                               = 1.0f;
    texturing = depthTest = false;
    boundTexture          = 0;
    inside                = false;
    pending.clear();
    ffClearFrame();
    error = ffNoError;
}

void ffLitColour(const FfLighting& state, const float eyePosition[3], const float eyeNormal[3], float out[4])
{
    Terms t;
    computeTerms(state, t);
    shade(t, eyePosition, eyeNormal, out);
}

void ffMatrixMode(bool projection)
{
    currentStack = projection ? &projectionStack : &modelViewStack;
}

void ffLoadIdentity()
{
    currentStack->matrices[currentStack->top] = identityMatrix();
    matricesDirty                             = true;
}

void ffMultMatrix(const Mat4& m)
{
    Mat4& top     = currentStack->matrices[currentStack->top];
    top           = multiply(top, m);
    matricesDirty = true;
}

void ffPushMatrix()
{
    if (currentStack->top + 1 >= maxStackDepth) {
        ffSetError(ffStackOverflow);
        return;
    }
    currentStack->matrices[currentStack->top + 1] = currentStack->matrices[currentStack->top];
    ++currentStack->top;
}

void ffPopMatrix()
{
    if (currentStack->top == 0) {
        ffSetError(ffStackUnderflow);
        return;
    }
    --currentStack->top;
    matricesDirty = true;
}

const Mat4& ffModelView()
{
    return modelViewStack.matrices[modelViewStack.top];
}

const Mat4& ffProjection()
{
    return projectionStack.matrices[projectionStack.top];
}

FfLighting& ffLightingState()
{
    lightingDirty = true;
    return lighting;
}

void ffLightPosition(int light, const float position[4])
{
    const Vec4 eye = transform(ffModelView(), { position[0], position[1], position[2], position[3] });
    setColour(lighting.lights[light].position, eye.x, eye.y, eye.z, eye.w);
    lightingDirty = true;
}

void ffLightingChanged()
{
    lightingDirty = true;
}

void ffNormal(float x, float y, float z)
{
    currentNormal[0] = x;
    currentNormal[1] = y;
    currentNormal[2] = z;
}

const float* ffCurrentNormal()
{
    return currentNormal;
}

void ffTexCoord(float s, float t)
{
    currentTexCoord[0] = s;
    currentTexCoord[1] = t;
}

void ffLineWidth(float width)
{
    if (width <= 0.0f) {
        ffSetError(ffInvalidValue);
        return;
    }
    lineWidth = width;
}

void ffViewport(int x, int y, int width, int height)
{
    if (width < 0 || height < 0) {
        ffSetError(ffInvalidValue);
        return;
    }
    viewport[0] = x;
    viewport[1] = y;
    viewport[2] = width;
    viewport[3] = height;
}

void ffTexturing(bool enabled, unsigned texture)
{
    texturing    = enabled;
    boundTexture = texture;
}

void ffDepthTest(bool enabled)
{
    depthTest = enabled;
}

void ffBegin(FfPrimitive p)
{
    if (inside) {
        ffSetError(ffInvalidOperation);
        return;
    }
    inside    = true;
    primitive = p;
    pending.clear();
}

void ffVertex(float x, float y, float z)
{
    if (!inside)
        return; // GL ignores a vertex outside glBegin
    updateMatrices();
    updateLighting();
    const float position[3] = { x, y, z };
    const Vec4 clip         = transform(clipMatrix, { x, y, z, 1.0f });
    pending.push_back(makeVertex(position, currentNormal, clip));
}

void ffEnd()
{
    if (!inside) {
        ffSetError(ffInvalidOperation);
        return;
    }
    inside = false;
    switch (primitive) {
    case FfPrimitive::polygon:
        emitFan(pending);
        break;
    case FfPrimitive::lines:
        for (size_t i = 0; i + 1 < pending.size(); i += 2)
            emitLine(pending[i], pending[i + 1]);
        break;
    case FfPrimitive::triangles:
        for (size_t i = 0; i + 2 < pending.size(); i += 3)
            emitFan({ pending[i], pending[i + 1], pending[i + 2] });
        break;
    }
    pending.clear();
}

bool ffInsideBegin()
{
    return inside;
}

// Most of a 120 x 120 sphere's triangles are far smaller than a pixel and
// cover no pixel centre, so they make no fragment: they are left out here,
// and the vertices only they use are neither lit nor sent. The test is on
// the bounding box, widened by more than any rasteriser's snapping, so what
// is drawn stays the same to the pixel.
void ffDrawTriangles(const float* positions, const float* normalsIn, unsigned vertexCount,
                     const unsigned* indices, unsigned indexCount, const float* outwardPlanes)
{
    updateMatrices();
    updateLighting();
    static std::vector<float> window;  // x, y per vertex, less half a pixel; NaN behind the eye
    static std::vector<unsigned> sent; // the vertex's place in the frame, or none
    const unsigned none = ~0u;
    window.resize(2 * static_cast<size_t>(vertexCount));
    sent.assign(vertexCount, none);
    const float* m         = clipMatrix.m;
    const float halfWidth  = static_cast<float>(viewport[2]) / 2,
                halfHeight = static_cast<float>(viewport[3]) / 2;
    const float x0         = static_cast<float>(viewport[0]) + halfWidth - 0.5f;
    const float y0         = static_cast<float>(viewport[1]) + halfHeight - 0.5f;
    for (unsigned i = 0; i < vertexCount; ++i) {
        const float* p                         = positions + 3 * static_cast<size_t>(i);
        const float x                          = m[0] * p[0] + m[4] * p[1] + m[8] * p[2] + m[12];
        const float y                          = m[1] * p[0] + m[5] * p[1] + m[9] * p[2] + m[13];
        const float w                          = m[3] * p[0] + m[7] * p[1] + m[11] * p[2] + m[15];
        const bool ahead                       = w > 0.0f;
        window[2 * static_cast<size_t>(i)]     = ahead ? x / w * halfWidth + x0 : NAN;
        window[2 * static_cast<size_t>(i) + 1] = ahead ? y / w * halfHeight + y0 : NAN;
    }

    float eye[3];
    if (outwardPlanes && !eyeInObjectSpace(modelViewStack.matrices[modelViewStack.top], eye))
        outwardPlanes = nullptr;

    FfBatch& batch = currentBatch();
    for (unsigned t = 0; t + 2 < indexCount; t += 3) {
        const unsigned* corner = indices + t;
        if (outwardPlanes && facesAway(outwardPlanes + 4 * static_cast<size_t>(t / 3), eye))
            continue;
        if (!coversPixelCentre(window.data(), corner))
            continue;
        for (int c = 0; c < 3; ++c) {
            const unsigned v = corner[c];
            if (sent[v] == none) {
                sent[v]        = static_cast<unsigned>(frame.vertices.size());
                const float* p = positions + 3 * static_cast<size_t>(v);
                frame.vertices.push_back(makeVertex(p, normalsIn + 3 * static_cast<size_t>(v),
                                                    transform(clipMatrix, { p[0], p[1], p[2], 1.0f })));
            }
            frame.indices.push_back(sent[v]);
        }
        batch.indexCount += 3;
    }
}

const FfFrame& ffFrame()
{
    return frame;
}

void ffClearFrame()
{
    frame.vertices.clear();
    frame.indices.clear();
    frame.batches.clear();
}

void ffSetError(unsigned e)
{
    if (error == ffNoError)
        error = e;
}

unsigned ffTakeError()
{
    const unsigned e = error;
    error            = ffNoError;
    return e;
}
