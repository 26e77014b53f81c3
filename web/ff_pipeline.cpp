// SPDX-License-Identifier: MIT
// Lighting follows GL 1.x's equation with the parts the scene can reach:
// emission, the light model's ambient and, for each enabled light, ambient,
// diffuse and specular, with no attenuation or spot (their defaults).
#include "ff_pipeline.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <map>
#include <utility>

namespace {

const int maxStackDepth         = 32; // Mesa's depth for both stacks
const size_t maxPixelStoreDepth = 16; // glPushClientAttrib's, as Mesa's

struct Stack {
    Mat4 matrices[maxStackDepth];
    int top;
};

// Per enabled light, the material's colours multiplied by the light's.
struct LightTerms {
    float position[4]; // eye space; for a positional light divided through by w, w then 1
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
    float unlit[4]; // emission and every ambient term; alpha is the diffuse alpha
};

// The whole of the layer's GL state: ffReset sets every field.
struct State {
    Stack modelView, projection;
    Stack* current;

    // Derived from the model-view and projection, remade when either changes.
    bool matricesDirty;
    Mat4 clipMatrix; // projection * model-view
    Mat3 normals;

    FfLighting lighting;
    bool lightingDirty;
    Terms terms;

    float normal[3];
    float texCoord[2];
    float lineWidth;
    int viewport[4];
    bool depthTest;

    bool texturing;
    unsigned boundTexture;
    // The names made and not deleted, each with the parameters WebGL holds.
    std::map<unsigned, std::map<unsigned, int>> textures;

    FfPixelStore pixelStore;
    std::vector<FfPixelStore> savedPixelStores;

    bool inside; // between ffBegin and ffEnd
    FfPrimitive primitive;
    std::vector<FfVertex> pending; // the vertices since ffBegin

    FfFrame frame;
    unsigned error;
};

State state;

const Mat4& modelView()
{
    return state.modelView.matrices[state.modelView.top];
}

void setVec4(float* c, float r, float g, float b, float a)
{
    c[0] = r;
    c[1] = g;
    c[2] = b;
    c[3] = a;
}

void updateMatrices()
{
    if (!state.matricesDirty)
        return;
    const Mat4& mv      = modelView();
    state.clipMatrix    = multiply(state.projection.matrices[state.projection.top], mv);
    state.normals       = normalMatrix(mv);
    state.matricesDirty = false;
}

void computeTerms(const FfLighting& lighting, Terms& t)
{
    const FfMaterial& m = lighting.front;
    t.source            = &lighting;
    for (int c = 0; c < 3; ++c)
        t.unlit[c] = m.emission[c] + m.ambient[c] * lighting.modelAmbient[c];
    t.unlit[3]   = m.diffuse[3];
    t.lightCount = 0;
    for (const FfLight& light : lighting.lights) {
        if (!light.enabled)
            continue;
        LightTerms& l = t.lights[t.lightCount++];
        for (int k = 0; k < 3; ++k)
            l.position[k] =
                light.position[3] != 0.0f ? light.position[k] / light.position[3] : light.position[k];
        l.position[3] = light.position[3] != 0.0f ? 1.0f : 0.0f;
        l.hasSpecular = false;
        for (int c = 0; c < 3; ++c) {
            t.unlit[c] += m.ambient[c] * light.ambient[c];
            l.diffuse[c]  = m.diffuse[c] * light.diffuse[c];
            l.specular[c] = m.specular[c] * light.specular[c];
            l.hasSpecular = l.hasSpecular || l.specular[c] != 0.0f;
        }
    }
}

void updateLighting()
{
    if (!state.lightingDirty)
        return;
    computeTerms(state.lighting, state.terms);
    state.lightingDirty = false;
}

float dot3(const float* a, const float* b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// Row r of the column-major m times the point p (w 1), in transform's order:
// the solids' vertices need only some of the four rows.
float rowTimesPoint(const float* m, int r, const float* p)
{
    return m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2] + m[12 + r];
}

// The unit vector from the vertex to the light at p (w 0 or 1).
void towardLight(const float* p, const float eye[3], float vp[3])
{
    for (int k = 0; k < 3; ++k)
        vp[k] = p[3] != 0.0f ? p[k] - eye[k] : p[k];
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
    float c[3] = { t.unlit[0], t.unlit[1], t.unlit[2] };
    for (int i = 0; i < t.lightCount; ++i) {
        const LightTerms& l = t.lights[i];
        float vp[3];
        towardLight(l.position, eye, vp);
        const float nDotL = dot3(n, vp);
        if (nDotL <= 0.0f)
            continue;
        const float f = l.hasSpecular ? specularFactor(t, vp, eye, n) : 0.0f;
        for (int k = 0; k < 3; ++k)
            c[k] += nDotL * l.diffuse[k] + f * l.specular[k];
    }
    for (int k = 0; k < 3; ++k)
        out[k] = std::clamp(c[k], 0.0f, 1.0f);
    out[3] = std::clamp(t.unlit[3], 0.0f, 1.0f);
}

// c from 0 to 1 rounded to a byte half away from zero, as lround does (the
// sum is exact in double); NaN, from a normal with none, gives 0.
unsigned char toByte(float c)
{
    const double scaled = static_cast<double>(c * 255.0f);
    return scaled >= 0.0 ? static_cast<unsigned char>(static_cast<int>(std::min(scaled, 255.0) + 0.5)) : 0;
}

// A vertex through the model-view, the lighting and the projection.
FfVertex makeVertex(const float position[3], const float normal[3], const Vec4& clip)
{
    FfVertex v;
    v.position[0]   = clip.x;
    v.position[1]   = clip.y;
    v.position[2]   = clip.z;
    v.position[3]   = clip.w;
    float colour[4] = { 1.0f, 1.0f, 1.0f, 1.0f }; // GL's default current colour
    if (state.lighting.enabled) {
        const float* mv            = modelView().m;
        const float eyePosition[3] = { rowTimesPoint(mv, 0, position), rowTimesPoint(mv, 1, position),
                                       rowTimesPoint(mv, 2, position) };
        float eyeNormal[3];
        transformNormal(state.normals, normal, eyeNormal);
        shade(state.terms, eyePosition, eyeNormal, colour);
    }
    for (int k = 0; k < 4; ++k)
        v.colour[k] = toByte(colour[k]);
    v.texCoord[0] = state.texCoord[0];
    v.texCoord[1] = state.texCoord[1];
    return v;
}

// The draw command new indices go into: the last command while it is a
// draw with the same texture and depth test.
FfCommand& currentDraw()
{
    FfFrame& frame         = state.frame;
    const unsigned texture = state.texturing ? state.boundTexture : 0;
    if (frame.commands.empty() || frame.commands.back().kind != FfCommandKind::draw
        || frame.commands.back().texture != texture || frame.commands.back().depthTest != state.depthTest) {
        FfCommand draw{};
        draw.kind       = FfCommandKind::draw;
        draw.texture    = texture;
        draw.depthTest  = state.depthTest;
        draw.firstIndex = static_cast<unsigned>(frame.indices.size());
        frame.commands.push_back(draw);
    }
    return frame.commands.back();
}

FfCommand& addCommand(FfCommandKind kind)
{
    FfCommand command{};
    command.kind = kind;
    state.frame.commands.push_back(command);
    return state.frame.commands.back();
}

void emitFan(const std::vector<FfVertex>& corners)
{
    if (corners.size() < 3)
        return;
    FfCommand& draw     = currentDraw();
    FfFrame& frame      = state.frame;
    const unsigned base = static_cast<unsigned>(frame.vertices.size());
    frame.vertices.insert(frame.vertices.end(), corners.begin(), corners.end());
    for (unsigned i = 1; i + 1 < corners.size(); ++i)
        frame.indices.insert(frame.indices.end(), { base, base + i, base + i + 1 });
    draw.indexCount += 3 * static_cast<unsigned>(corners.size() - 2);
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
    const float vx = static_cast<float>(state.viewport[0]), vy = static_cast<float>(state.viewport[1]);
    const float vw = static_cast<float>(state.viewport[2]), vh = static_cast<float>(state.viewport[3]);
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
    const float half          = std::max(1.0f, std::round(state.lineWidth)) / 2.0f;
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

// A triangle's edges as lines: for pixel centre (x, y), dx[e] * (y - y0[e])
// - dy[e] * (x - x0[e]) is the distance from edge e, times its length, taken
// the way the corners turn.
struct Edges {
    float x0[3], y0[3], dx[3], dy[3], reach[3]; // reach: -margin times the length, squared
};

Edges edgesOf(const float* a, const float* b, const float* c, float margin)
{
    const float turn        = (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
    const float sign        = turn < 0.0f ? -1.0f : 1.0f;
    const float* corners[4] = { a, b, c, a };
    Edges edges;
    for (int e = 0; e < 3; ++e) {
        edges.x0[e]    = corners[e][0];
        edges.y0[e]    = corners[e][1];
        edges.dx[e]    = sign * (corners[e + 1][0] - corners[e][0]);
        edges.dy[e]    = sign * (corners[e + 1][1] - corners[e][1]);
        edges.reach[e] = margin * margin * (edges.dx[e] * edges.dx[e] + edges.dy[e] * edges.dy[e]);
    }
    return edges;
}

// Whether (x, y) lies inside the triangle grown by the margin on every side.
bool nearCentre(const Edges& edges, float x, float y)
{
    for (int e = 0; e < 3; ++e) {
        const float side = edges.dx[e] * (y - edges.y0[e]) - edges.dy[e] * (x - edges.x0[e]);
        if (side < 0.0f && side * side > edges.reach[e])
            return false;
    }
    return true;
}

bool coversPixelCentre(const float* window, const unsigned corner[3])
{
    // GL snaps a corner to at least a sixteenth of a pixel, which moves an
    // edge by at most 1/32 of the diagonal (0.044).
    const float margin = 0.0625f;
    const int fewest   = 16; // centres in the box worth testing one by one
    const float* a     = window + 2 * static_cast<size_t>(corner[0]);
    const float* b     = window + 2 * static_cast<size_t>(corner[1]);
    const float* c     = window + 2 * static_cast<size_t>(corner[2]);
    float first[2], last[2];
    for (int axis = 0; axis < 2; ++axis) {
        first[axis] = std::ceil(std::min(std::min(a[axis], b[axis]), c[axis]) - margin);
        last[axis]  = std::floor(std::max(std::max(a[axis], b[axis]), c[axis]) + margin);
        if (last[axis] < first[axis])
            return false;
    }
    if (!((last[0] - first[0] + 1) * (last[1] - first[1] + 1) <= fewest))
        return true; // large, or a corner behind the eye
    const Edges edges = edgesOf(a, b, c, margin);
    for (float y = first[1]; y <= last[1]; ++y)
        for (float x = first[0]; x <= last[0]; ++x)
            if (nearCentre(edges, x, y))
                return true;
    return false;
}

// Whether the eye lies inside the triangle's plane by more than rounding:
// a triangle seen edge-on is kept.
bool facesAway(const float* plane, const float eye[3])
{
    const float side  = plane[0] * eye[0] + plane[1] * eye[1] + plane[2] * eye[2] - plane[3];
    const float scale = std::fabs(plane[3]) + std::fabs(plane[0]) + std::fabs(plane[1]) + std::fabs(plane[2]);
    return side < -1e-4f * scale;
}

void resetLighting(FfLighting& lighting)
{
    lighting = {};
    for (int i = 0; i < ffMaxLights; ++i) {
        FfLight& light = lighting.lights[i];
        const float on = i == 0 ? 1.0f : 0.0f; // only light 0 starts white
        setVec4(light.ambient, 0, 0, 0, 1);
        setVec4(light.diffuse, on, on, on, 1);
        setVec4(light.specular, on, on, on, 1);
        setVec4(light.position, 0, 0, 1, 0);
    }
    setVec4(lighting.front.ambient, 0.2f, 0.2f, 0.2f, 1);
    setVec4(lighting.front.diffuse, 0.8f, 0.8f, 0.8f, 1);
    setVec4(lighting.front.specular, 0, 0, 0, 1);
    setVec4(lighting.front.emission, 0, 0, 0, 1);
    setVec4(lighting.modelAmbient, 0.2f, 0.2f, 0.2f, 1);
}

bool knownTexture(unsigned texture)
{
    return state.textures.count(texture) != 0;
}

// GL's texture parameters and the values a new texture starts with, which
// WebGL's start with too.
struct ParameterValue {
    unsigned parameter;
    int value;
};
const ParameterValue newTextureParameters[] = {
    { 0x2801, 0x2702 }, // GL_TEXTURE_MIN_FILTER: GL_NEAREST_MIPMAP_LINEAR
    { 0x2800, 0x2601 }, // GL_TEXTURE_MAG_FILTER: GL_LINEAR
    { 0x2802, 0x2901 }, // GL_TEXTURE_WRAP_S: GL_REPEAT
    { 0x2803, 0x2901 }, // GL_TEXTURE_WRAP_T: GL_REPEAT
};

} // namespace

void ffReset()
{
    state.modelView.top = state.projection.top = 0;
    state.modelView.matrices[0] = state.projection.matrices[0] = identityMatrix();
    state.current                                              = &state.modelView;
    state.matricesDirty                                        = true;

    resetLighting(state.lighting);
    state.lightingDirty = true;

    ffNormal(0, 0, 1);
    state.texCoord[0] = state.texCoord[1] = 0.0f;
    state.lineWidth                       = 1.0f;
    std::fill(state.viewport, state.viewport + 4, 0);
    state.depthTest = state.texturing = false;
    state.boundTexture                = 0;
    state.textures.clear();
    state.pixelStore = { 4, 4 };
    state.savedPixelStores.clear();
    state.inside = false;
    state.pending.clear();
    ffClearFrame();
    state.error = ffNoError;
}

void ffMatrixMode(FfMatrixStack stack)
{
    state.current = stack == FfMatrixStack::projection ? &state.projection : &state.modelView;
}

void ffLoadIdentity()
{
    state.current->matrices[state.current->top] = identityMatrix();
    state.matricesDirty                         = true;
}

void ffMultMatrix(const Mat4& m)
{
    Mat4& top           = state.current->matrices[state.current->top];
    top                 = multiply(top, m);
    state.matricesDirty = true;
}

void ffPushMatrix()
{
    Stack& stack = *state.current;
    if (stack.top + 1 >= maxStackDepth) {
        ffSetError(ffStackOverflow);
        return;
    }
    stack.matrices[stack.top + 1] = stack.matrices[stack.top];
    ++stack.top;
}

void ffPopMatrix()
{
    if (state.current->top == 0) {
        ffSetError(ffStackUnderflow);
        return;
    }
    --state.current->top;
    state.matricesDirty = true;
}

FfLighting& ffLightingState()
{
    state.lightingDirty = true;
    return state.lighting;
}

void ffLightPosition(int light, const float position[4])
{
    const Vec4 eye = transform(modelView(), { position[0], position[1], position[2], position[3] });
    setVec4(state.lighting.lights[light].position, eye.x, eye.y, eye.z, eye.w);
    state.lightingDirty = true;
}

void ffNormal(float x, float y, float z)
{
    state.normal[0] = x;
    state.normal[1] = y;
    state.normal[2] = z;
}

const float* ffCurrentNormal()
{
    return state.normal;
}

void ffTexCoord(float s, float t)
{
    state.texCoord[0] = s;
    state.texCoord[1] = t;
}

void ffLineWidth(float width)
{
    if (width <= 0.0f) {
        ffSetError(ffInvalidValue);
        return;
    }
    state.lineWidth = width;
}

// Recorded as well as kept: the frame's line quads are worked out for the
// viewport they are drawn in.
void ffViewport(int x, int y, int width, int height)
{
    if (width < 0 || height < 0) {
        ffSetError(ffInvalidValue);
        return;
    }
    const int rect[4] = { x, y, width, height };
    std::copy(rect, rect + 4, state.viewport);
    std::copy(rect, rect + 4, addCommand(FfCommandKind::viewport).rect);
}

void ffDepthTest(bool enabled)
{
    state.depthTest = enabled;
}

void ffClear(bool colour, bool depth)
{
    FfCommand& clear = addCommand(FfCommandKind::clear);
    clear.colour     = colour;
    clear.depth      = depth;
}

void ffTexturing(bool enabled)
{
    state.texturing = enabled;
}

void ffAddTexture(unsigned texture)
{
    if (texture == 0 || knownTexture(texture))
        return;
    std::map<unsigned, int>& held = state.textures[texture];
    for (const ParameterValue& p : newTextureParameters)
        held[p.parameter] = p.value;
}

void ffDeleteTexture(unsigned texture)
{
    if (texture == 0 || !knownTexture(texture))
        return;
    state.textures.erase(texture);
    addCommand(FfCommandKind::deleteTexture).texture = texture;
    if (state.boundTexture == texture)
        state.boundTexture = 0;
}

bool ffBindTexture(unsigned texture)
{
    if (texture != 0 && !knownTexture(texture))
        return false;
    state.boundTexture = texture;
    return true;
}

unsigned ffBoundTexture()
{
    return state.boundTexture;
}

std::vector<unsigned> ffTextureNames()
{
    std::vector<unsigned> names;
    for (const auto& texture : state.textures)
        names.push_back(texture.first);
    return names;
}

int ffTextureParameterValue(unsigned texture, unsigned parameter)
{
    const auto found = state.textures.find(texture);
    if (found == state.textures.end() || found->second.count(parameter) == 0)
        return -1;
    return found->second.at(parameter);
}

// The viewer sets its textures' parameters every frame: only a change is sent.
void ffTextureParameter(unsigned parameter, int value)
{
    if (state.boundTexture == 0) {
        ffSetError(ffInvalidOperation);
        return;
    }
    std::map<unsigned, int>& held = state.textures[state.boundTexture];
    const auto found              = held.find(parameter);
    if (found != held.end() && found->second == value)
        return;
    held[parameter]    = value;
    FfCommand& command = addCommand(FfCommandKind::textureParameter);
    command.texture    = state.boundTexture;
    command.parameter  = parameter;
    command.rect[0]    = value;
}

void ffTextureImage(int components, std::vector<MipLevel> levels)
{
    if (state.boundTexture == 0) {
        ffSetError(ffInvalidOperation);
        return;
    }
    addCommand(FfCommandKind::textureImage).image = static_cast<unsigned>(state.frame.images.size());
    state.frame.images.push_back({ state.boundTexture, components, std::move(levels) });
}

FfPixelStore& ffPixelStore()
{
    return state.pixelStore;
}

void ffPushPixelStore()
{
    if (state.savedPixelStores.size() >= maxPixelStoreDepth) {
        ffSetError(ffStackOverflow);
        return;
    }
    state.savedPixelStores.push_back(state.pixelStore);
}

void ffPopPixelStore()
{
    if (state.savedPixelStores.empty()) {
        ffSetError(ffStackUnderflow);
        return;
    }
    state.pixelStore = state.savedPixelStores.back();
    state.savedPixelStores.pop_back();
}

void ffBegin(FfPrimitive p)
{
    if (state.inside) {
        ffSetError(ffInvalidOperation);
        return;
    }
    state.inside    = true;
    state.primitive = p;
    state.pending.clear();
}

void ffVertex(float x, float y, float z)
{
    if (!state.inside)
        return; // GL ignores a vertex outside glBegin
    updateMatrices();
    updateLighting();
    const float position[3] = { x, y, z };
    const Vec4 clip         = transform(state.clipMatrix, { x, y, z, 1.0f });
    state.pending.push_back(makeVertex(position, state.normal, clip));
}

void ffEnd()
{
    if (!state.inside) {
        ffSetError(ffInvalidOperation);
        return;
    }
    state.inside                         = false;
    const std::vector<FfVertex>& pending = state.pending;
    switch (state.primitive) {
    case FfPrimitive::polygon:
        emitFan(pending);
        break;
    case FfPrimitive::lines: // separate pairs, not a strip
        for (size_t i = 0; i + 1 < pending.size(); i += 2)
            emitLine(pending[i], pending[i + 1]);
        break;
    case FfPrimitive::triangles:
        for (size_t i = 0; i + 2 < pending.size(); i += 3)
            emitFan({ pending[i], pending[i + 1], pending[i + 2] });
        break;
    }
    state.pending.clear();
}

namespace {

// A solid's vertices as ffDrawTriangles takes them, and what projects them
// to the window.
struct Projection {
    const float* positions;
    const float* normals;
    const float* m; // the clip matrix
    float halfWidth, halfHeight, x0, y0;
};

const unsigned none = ~0u;

std::vector<float> window;  // x, y per vertex, less half a pixel; NaN behind the eye
std::vector<unsigned> sent; // the vertex's place in the frame, or none

Projection startProjection(const float* positions, const float* normals, unsigned vertexCount)
{
    updateMatrices();
    updateLighting();
    window.resize(2 * static_cast<size_t>(vertexCount));
    sent.assign(vertexCount, none);
    const int* viewport    = state.viewport;
    const float halfWidth  = static_cast<float>(viewport[2]) / 2,
                halfHeight = static_cast<float>(viewport[3]) / 2;
    return { positions,
             normals,
             state.clipMatrix.m,
             halfWidth,
             halfHeight,
             static_cast<float>(viewport[0]) + halfWidth - 0.5f,
             static_cast<float>(viewport[1]) + halfHeight - 0.5f };
}

void project(const Projection& s, unsigned i)
{
    const float* p                         = s.positions + 3 * static_cast<size_t>(i);
    const float x                          = rowTimesPoint(s.m, 0, p);
    const float y                          = rowTimesPoint(s.m, 1, p);
    const float w                          = rowTimesPoint(s.m, 3, p);
    const bool ahead                       = w > 0.0f;
    window[2 * static_cast<size_t>(i)]     = ahead ? x / w * s.halfWidth + s.x0 : NAN;
    window[2 * static_cast<size_t>(i) + 1] = ahead ? y / w * s.halfHeight + s.y0 : NAN;
}

// The triangles of indices that can be seen go to the frame, lit.
void drawRun(const Projection& s, const unsigned* indices, unsigned indexCount, const float* outwardPlanes,
             const float eye[3], FfCommand& draw)
{
    FfFrame& frame = state.frame;
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
                const float* p = s.positions + 3 * static_cast<size_t>(v);
                frame.vertices.push_back(makeVertex(p, s.normals + 3 * static_cast<size_t>(v),
                                                    transform(state.clipMatrix, { p[0], p[1], p[2], 1.0f })));
            }
            frame.indices.push_back(sent[v]);
        }
        draw.indexCount += 3;
    }
}

// Where the run's triangles all lie from the eye: -1 every one facing away
// and 1 every one facing it, each by more than facesAway's margin; 0 when
// they may differ. The bound is on n . (eye - p), over the run's normals n
// and points p, divided by the eye's distance.
int clusterSide(const FfCluster& c, const float eye[3])
{
    const float v[3]     = { eye[0] - c.centre[0], eye[1] - c.centre[1], eye[2] - c.centre[2] };
    const float distance = std::sqrt(dot3(v, v));
    if (!(distance > c.radius))
        return 0;
    const float cosine = dot3(c.axis, v) / distance;
    const float sine   = std::sqrt(std::max(0.0f, 1.0f - cosine * cosine));
    // facesAway's margin ten times over, and rounding's.
    const float margin = 1e-3f * (std::sqrt(dot3(c.centre, c.centre)) + c.radius + 2.0f) / distance + 1e-4f;
    const float most   = cosine * c.spreadCos + sine * c.spreadSin + c.radius / distance;
    const float least  = cosine * c.spreadCos - sine * c.spreadSin - c.radius / distance;
    if (cosine < 0.0f && most < -margin)
        return -1;
    return cosine > 0.0f && least > margin ? 1 : 0;
}

} // namespace

// Most of a 120 x 120 sphere's triangles are far smaller than a pixel and
// cover no pixel centre, so they make no fragment: they are left out here,
// and the vertices only they use are neither lit nor sent. The test is on
// the bounding box, widened by more than any rasteriser's snapping, so what
// is drawn stays the same to the pixel.
void ffDrawTriangles(const float* positions, const float* normalsIn, unsigned vertexCount,
                     const unsigned* indices, unsigned indexCount, const float* outwardPlanes)
{
    const Projection s = startProjection(positions, normalsIn, vertexCount);
    for (unsigned i = 0; i < vertexCount; ++i)
        project(s, i);
    float eye[3] = { 0, 0, 0 };
    if (outwardPlanes && !eyeInObjectSpace(modelView(), eye))
        outwardPlanes = nullptr;
    drawRun(s, indices, indexCount, outwardPlanes, eye, currentDraw());
}

void ffDrawClusters(const float* positions, const float* normals, unsigned vertexCount,
                    const unsigned* indices, const float* outwardPlanes, const unsigned* vertices,
                    const FfCluster* clusters, unsigned clusterCount)
{
    const Projection s = startProjection(positions, normals, vertexCount);
    float eye[3]       = { 0, 0, 0 };
    const bool culling = eyeInObjectSpace(modelView(), eye);
    FfCommand& draw    = currentDraw();
    for (unsigned i = 0; i < clusterCount; ++i) {
        const FfCluster& c = clusters[i];
        const int side     = culling ? clusterSide(c, eye) : 0;
        if (side < 0)
            continue;
        for (unsigned v = c.firstVertex; v < c.firstVertex + c.vertexCount; ++v)
            project(s, vertices[v]);
        drawRun(s, indices + c.firstIndex, c.indexCount,
                culling && side == 0 ? outwardPlanes + 4 * static_cast<size_t>(c.firstIndex / 3) : nullptr,
                eye, draw);
    }
}

const FfFrame& ffFrame()
{
    return state.frame;
}

void ffClearFrame()
{
    state.frame.commands.clear();
    state.frame.vertices.clear();
    state.frame.indices.clear();
    state.frame.images.clear();
}

void ffSetError(unsigned e)
{
    if (state.error == ffNoError)
        state.error = e;
}

unsigned ffTakeError()
{
    const unsigned e = state.error;
    state.error      = ffNoError;
    return e;
}
