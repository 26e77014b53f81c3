// SPDX-License-Identifier: MIT
#include "glut_shapes.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// sin and cos at n steps round a circle (half a circle when asked), the
// direction following the sign of n; the last entry closes the circle.
void circleTable(int n, bool halfCircle, std::vector<float>* sint, std::vector<float>* cost)
{
    const int size = std::abs(n);
    const float angle =
        (halfCircle ? 1.0f : 2.0f) * static_cast<float>(M_PI) / static_cast<float>(n == 0 ? 1 : n);
    sint->assign(static_cast<size_t>(size) + 1, 0.0f);
    cost->assign(static_cast<size_t>(size) + 1, 0.0f);
    (*cost)[0] = 1.0f;
    for (int i = 1; i < size; ++i) {
        (*sint)[i] = static_cast<float>(std::sin(static_cast<double>(angle * static_cast<float>(i))));
        (*cost)[i] = static_cast<float>(std::cos(static_cast<double>(angle * static_cast<float>(i))));
    }
    if (halfCircle) {
        (*sint)[size] = 0.0f;
        (*cost)[size] = -1.0f;
    } else {
        (*sint)[size] = (*sint)[0];
        (*cost)[size] = (*cost)[0];
    }
}

void addVertex(SolidMesh* mesh, float x, float y, float z, float nx, float ny, float nz)
{
    mesh->positions.insert(mesh->positions.end(), { x, y, z });
    mesh->normals.insert(mesh->normals.end(), { nx, ny, nz });
}

// One triangle strip as triangles, every other one turned so that all face
// the same way; a triangle with two equal corners covers nothing and is left out.
void addStrip(SolidMesh* mesh, const std::vector<unsigned>& strip)
{
    for (size_t i = 0; i + 2 < strip.size(); ++i) {
        const unsigned a = strip[i], b = strip[i + 1], c = strip[i + 2];
        if (a == b || b == c || a == c)
            continue;
        if (i % 2 == 0)
            mesh->triangles.insert(mesh->triangles.end(), { a, b, c });
        else
            mesh->triangles.insert(mesh->triangles.end(), { b, a, c });
    }
}

void clearMesh(SolidMesh* mesh)
{
    mesh->positions.clear();
    mesh->normals.clear();
    mesh->triangles.clear();
}

} // namespace

// The poles lie on the z axis; stacks run from +z down, slices clockwise
// seen from +z.
void tessellateSphere(double radiusIn, int slices, int stacks, SolidMesh* mesh)
{
    clearMesh(mesh);
    if (slices <= 0 || stacks < 2)
        return;
    const float radius = static_cast<float>(radiusIn);
    std::vector<float> sint1, cost1, sint2, cost2;
    circleTable(-slices, false, &sint1, &cost1);
    circleTable(stacks, true, &sint2, &cost2);

    addVertex(mesh, 0.0f, 0.0f, radius, 0.0f, 0.0f, 1.0f);
    for (int i = 1; i < stacks; ++i)
        for (int j = 0; j < slices; ++j) {
            const float x = cost1[j] * sint2[i], y = sint1[j] * sint2[i], z = cost2[i];
            addVertex(mesh, x * radius, y * radius, z * radius, x, y, z);
        }
    addVertex(mesh, 0.0f, 0.0f, -radius, 0.0f, 0.0f, -1.0f);

    const unsigned n      = static_cast<unsigned>(slices);
    const unsigned bottom = static_cast<unsigned>(mesh->positions.size() / 3 - 1);
    std::vector<unsigned> strip;
    for (unsigned j = 0; j <= n; ++j) // the top stack, round to the first slice again
        strip.insert(strip.end(), { j % n + 1, 0 });
    addStrip(mesh, strip);
    for (unsigned i = 0; i + 2 < static_cast<unsigned>(stacks); ++i) {
        const unsigned offset = 1 + i * n;
        strip.clear();
        for (unsigned j = 0; j <= n; ++j)
            strip.insert(strip.end(), { offset + j % n + n, offset + j % n });
        addStrip(mesh, strip);
    }
    const unsigned offset = 1 + (static_cast<unsigned>(stacks) - 2) * n;
    strip.clear();
    for (unsigned j = 0; j <= n; ++j)
        strip.insert(strip.end(), { bottom, offset + j % n });
    addStrip(mesh, strip);
}

// The base, of radius `base`, lies in z = 0 facing -z; the apex is at z = height.
void tessellateCone(double baseIn, double heightIn, int slices, int stacks, SolidMesh* mesh)
{
    clearMesh(mesh);
    if (slices <= 0 || stacks < 1)
        return;
    const float base = static_cast<float>(baseIn), height = static_cast<float>(heightIn);
    const float zStep  = height / static_cast<float>(stacks);
    const float rStep  = base / static_cast<float>(stacks);
    const double slant = std::sqrt(static_cast<double>(height * height + base * base));
    const float cosn   = static_cast<float>(height / slant);
    const float sinn   = static_cast<float>(base / slant);
    std::vector<float> sint, cost;
    circleTable(-slices, false, &sint, &cost);

    float z = 0.0f, r = base;
    addVertex(mesh, 0.0f, 0.0f, z, 0.0f, 0.0f, -1.0f);
    for (int j = 0; j < slices; ++j) // the base's rim, with the base's normal
        addVertex(mesh, cost[j] * r, sint[j] * r, z, 0.0f, 0.0f, -1.0f);
    for (int i = 0; i < stacks + 1; ++i) {
        for (int j = 0; j < slices; ++j)
            addVertex(mesh, cost[j] * r, sint[j] * r, z, cost[j] * cosn, sint[j] * cosn, sinn);
        z += zStep;
        r -= rStep;
    }

    const unsigned n = static_cast<unsigned>(slices);
    std::vector<unsigned> strip;
    for (unsigned j = 0; j <= n; ++j)
        strip.insert(strip.end(), { 0, j % n + 1 });
    addStrip(mesh, strip);
    for (unsigned i = 0; i < static_cast<unsigned>(stacks); ++i) {
        const unsigned offset = 1 + (i + 1) * n;
        strip.clear();
        for (unsigned j = 0; j <= n; ++j)
            strip.insert(strip.end(), { offset + j % n, offset + j % n + n });
        addStrip(mesh, strip);
    }
}

// Six faces, each its own four corners with the face's normal, each split
// into two triangles from its first corner.
void tessellateCube(double sizeIn, SolidMesh* mesh)
{
    // clang-format off
    static const float corners[8][3] = {
        {  .5f,  .5f,  .5f }, { -.5f,  .5f,  .5f }, { -.5f, -.5f,  .5f }, {  .5f, -.5f,  .5f },
        {  .5f, -.5f, -.5f }, {  .5f,  .5f, -.5f }, { -.5f,  .5f, -.5f }, { -.5f, -.5f, -.5f },
    };
    static const float faceNormals[6][3] = {
        { 0, 0, 1 }, { 1, 0, 0 }, { 0, 1, 0 }, { -1, 0, 0 }, { 0, -1, 0 }, { 0, 0, -1 },
    };
    static const int faces[6][4] = {
        { 0, 1, 2, 3 }, { 0, 3, 4, 5 }, { 0, 5, 6, 1 }, { 1, 6, 7, 2 }, { 7, 4, 3, 2 }, { 4, 7, 6, 5 },
    };
    // clang-format on

    clearMesh(mesh);
    const float size = static_cast<float>(sizeIn);
    for (int f = 0; f < 6; ++f) {
        const float* n = faceNormals[f];
        for (int c = 0; c < 4; ++c) {
            const float* p = corners[faces[f][c]];
            addVertex(mesh, size * p[0], size * p[1], size * p[2], n[0], n[1], n[2]);
        }
        const unsigned first = static_cast<unsigned>(4 * f);
        mesh->triangles.insert(mesh->triangles.end(),
                               { first, first + 1, first + 2, first, first + 2, first + 3 });
    }
}

void findOutwardPlanes(SolidMesh* mesh, const float inside[3])
{
    mesh->outwardPlanes.clear();
    const std::vector<float>& p = mesh->positions;
    for (size_t t = 0; t + 2 < mesh->triangles.size(); t += 3) {
        const float* a   = &p[3 * static_cast<size_t>(mesh->triangles[t])];
        const float* b   = &p[3 * static_cast<size_t>(mesh->triangles[t + 1])];
        const float* c   = &p[3 * static_cast<size_t>(mesh->triangles[t + 2])];
        const float u[3] = { b[0] - a[0], b[1] - a[1], b[2] - a[2] };
        const float v[3] = { c[0] - a[0], c[1] - a[1], c[2] - a[2] };
        float n[3] = { u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0] };
        float d    = n[0] * a[0] + n[1] * a[1] + n[2] * a[2];
        if (n[0] * inside[0] + n[1] * inside[1] + n[2] * inside[2] > d) {
            for (float& k : n)
                k = -k;
            d = -d;
        }
        mesh->outwardPlanes.insert(mesh->outwardPlanes.end(), { n[0], n[1], n[2], d });
    }
}

namespace {

// Runs are cells of a cube round the unit normals: this many to a face's side.
const int cellsPerSide = 8;

// The cell a triangle's outward normal points into; the last for a triangle
// with no area.
int cellOf(const float* plane)
{
    const float a[3] = { std::fabs(plane[0]), std::fabs(plane[1]), std::fabs(plane[2]) };
    const int major  = a[0] >= a[1] && a[0] >= a[2] ? 0 : a[1] >= a[2] ? 1 : 2;
    if (a[major] == 0.0f)
        return 6 * cellsPerSide * cellsPerSide;
    const int face = 2 * major + (plane[major] < 0.0f ? 1 : 0);
    int cell[2];
    for (int k = 0; k < 2; ++k) {
        const float u = plane[(major + 1 + k) % 3] / a[major]; // -1..1
        cell[k]       = std::min(cellsPerSide - 1, static_cast<int>((u + 1.0f) / 2.0f * cellsPerSide));
    }
    return (face * cellsPerSide + cell[0]) * cellsPerSide + cell[1];
}

// The run's bounding sphere and the cone round its normals, in double
// precision and widened a little for float rounding.
FfCluster boundRun(const SolidMesh& mesh, unsigned first, unsigned count)
{
    double low[3] = { HUGE_VAL, HUGE_VAL, HUGE_VAL }, high[3] = { -HUGE_VAL, -HUGE_VAL, -HUGE_VAL };
    double axis[3] = { 0, 0, 0 };
    for (unsigned i = first; i < first + count; ++i) {
        const float* p = &mesh.positions[3 * static_cast<size_t>(mesh.clusteredTriangles[i])];
        for (int k = 0; k < 3; ++k) {
            low[k]  = std::min(low[k], static_cast<double>(p[k]));
            high[k] = std::max(high[k], static_cast<double>(p[k]));
        }
    }
    auto unitNormal = [&](unsigned triangle, double n[3]) {
        const float* plane = &mesh.clusteredPlanes[4 * static_cast<size_t>(triangle)];
        const double length =
            std::sqrt(static_cast<double>(plane[0]) * plane[0] + static_cast<double>(plane[1]) * plane[1]
                      + static_cast<double>(plane[2]) * plane[2]);
        for (int k = 0; k < 3; ++k)
            n[k] = length > 0.0 ? plane[k] / length : 0.0;
    };
    for (unsigned t = first / 3; t < (first + count) / 3; ++t) {
        double n[3];
        unitNormal(t, n);
        for (int k = 0; k < 3; ++k)
            axis[k] += n[k];
    }
    const double axisLength = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
    double spreadCos        = axisLength > 0.0 ? 1.0 : -1.0; // no axis: never passed over
    for (unsigned t = first / 3; axisLength > 0.0 && t < (first + count) / 3; ++t) {
        double n[3];
        unitNormal(t, n);
        spreadCos =
            std::min(spreadCos, (n[0] * axis[0] + n[1] * axis[1] + n[2] * axis[2]) / axisLength - 1e-6);
    }
    spreadCos = std::max(spreadCos, -1.0);
    FfCluster c{};
    double radius = 0.0;
    for (int k = 0; k < 3; ++k) {
        c.centre[k] = static_cast<float>((low[k] + high[k]) / 2);
        c.axis[k]   = axisLength > 0.0 ? static_cast<float>(axis[k] / axisLength) : 0.0f;
        radius += (high[k] - low[k]) * (high[k] - low[k]) / 4;
    }
    c.radius     = static_cast<float>(std::sqrt(radius) * (1 + 1e-5) + 1e-6);
    c.spreadCos  = static_cast<float>(spreadCos);
    c.spreadSin  = static_cast<float>(std::sqrt(1.0 - spreadCos * spreadCos) + 1e-6);
    c.firstIndex = first;
    c.indexCount = count;
    return c;
}

struct CachedSolid {
    SolidShape shape;
    double size; // the radius, the base's radius or the edge
    double height;
    int slices, stacks;
    SolidMesh mesh;
};

std::vector<CachedSolid> solids;
const size_t maxCachedSolids = 32;

} // namespace

void findClusters(SolidMesh* mesh)
{
    const size_t triangleCount = mesh->triangles.size() / 3;
    std::vector<std::vector<unsigned>> cells(6 * cellsPerSide * cellsPerSide + 1);
    for (size_t t = 0; t < triangleCount; ++t)
        cells[static_cast<size_t>(cellOf(&mesh->outwardPlanes[4 * t]))].push_back(static_cast<unsigned>(t));
    mesh->clusteredTriangles.clear();
    mesh->clusteredPlanes.clear();
    mesh->clusteredVertices.clear();
    mesh->clusters.clear();
    for (const std::vector<unsigned>& cell : cells) {
        if (cell.empty())
            continue;
        const unsigned first = static_cast<unsigned>(mesh->clusteredTriangles.size());
        for (unsigned t : cell) {
            mesh->clusteredTriangles.insert(mesh->clusteredTriangles.end(), &mesh->triangles[3 * size_t{ t }],
                                            &mesh->triangles[3 * size_t{ t }] + 3);
            mesh->clusteredPlanes.insert(mesh->clusteredPlanes.end(), &mesh->outwardPlanes[4 * size_t{ t }],
                                         &mesh->outwardPlanes[4 * size_t{ t }] + 4);
        }
        const unsigned count = static_cast<unsigned>(mesh->clusteredTriangles.size()) - first;
        FfCluster cluster    = boundRun(*mesh, first, count);
        std::vector<unsigned> corners(mesh->clusteredTriangles.begin() + first,
                                      mesh->clusteredTriangles.end());
        std::sort(corners.begin(), corners.end());
        corners.erase(std::unique(corners.begin(), corners.end()), corners.end());
        cluster.firstVertex = static_cast<unsigned>(mesh->clusteredVertices.size());
        cluster.vertexCount = static_cast<unsigned>(corners.size());
        mesh->clusteredVertices.insert(mesh->clusteredVertices.end(), corners.begin(), corners.end());
        mesh->clusters.push_back(cluster);
    }
}

const SolidMesh& cachedSolid(SolidShape shape, double size, double height, int slices, int stacks)
{
    for (const CachedSolid& s : solids)
        if (s.shape == shape && s.size == size && s.height == height && s.slices == slices
            && s.stacks == stacks)
            return s.mesh;
    if (solids.size() >= maxCachedSolids)
        solids.erase(solids.begin());
    solids.push_back({ shape, size, height, slices, stacks, {} });
    SolidMesh& mesh = solids.back().mesh;
    // A point inside each solid, for the sides its triangles face.
    const float centre[3] = { 0.0f, 0.0f, shape == SolidShape::cone ? static_cast<float>(height) / 4 : 0.0f };
    if (shape == SolidShape::sphere)
        tessellateSphere(size, slices, stacks, &mesh);
    else if (shape == SolidShape::cone)
        tessellateCone(size, height, slices, stacks, &mesh);
    else
        tessellateCube(size, &mesh);
    findOutwardPlanes(&mesh, centre);
    findClusters(&mesh);
    return mesh;
}
