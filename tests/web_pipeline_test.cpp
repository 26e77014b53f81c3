// SPDX-License-Identifier: MIT
// The page's processor pipeline on its own: wide lines as GL rasterises
// them, polygons, the frame's commands, the triangles left out for covering
// no pixel centre, and GL's errors. A small rasteriser here samples pixel centres,
// as WebGL does.
#include "ff_pipeline.h"
#include "glut_shapes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <utility>

namespace {

const int side = 500;

// A fresh frame, seen through a 90-degree perspective from the origin when asked.
void startFrame(bool perspective = false)
{
    ffReset();
    ffViewport(0, 0, side, side);
    if (!perspective)
        return;
    ffMatrixMode(FfMatrixStack::projection);
    ffMultMatrix(perspectiveMatrix(90.0, 1.0, 0.1, 100.0));
    ffMatrixMode(FfMatrixStack::modelView);
}

enum class Culling { none, triangles, runs };

void drawSolid(const SolidMesh& mesh, Culling culling)
{
    const unsigned vertexCount = static_cast<unsigned>(mesh.positions.size() / 3);
    if (culling == Culling::runs)
        ffDrawClusters(mesh.positions.data(), mesh.normals.data(), vertexCount,
                       mesh.clusteredTriangles.data(), mesh.clusteredPlanes.data(),
                       mesh.clusteredVertices.data(), mesh.clusters.data(),
                       static_cast<unsigned>(mesh.clusters.size()));
    else
        ffDrawTriangles(mesh.positions.data(), mesh.normals.data(), vertexCount, mesh.triangles.data(),
                        static_cast<unsigned>(mesh.triangles.size()),
                        culling == Culling::triangles ? mesh.outwardPlanes.data() : nullptr);
}

// Window position of a frame vertex.
std::pair<float, float> windowOf(const FfVertex& v)
{
    return { (v.position[0] / v.position[3] + 1.0f) * side / 2,
             (v.position[1] / v.position[3] + 1.0f) * side / 2 };
}

float edge(std::pair<float, float> a, std::pair<float, float> b, float x, float y)
{
    return (b.first - a.first) * (y - a.second) - (b.second - a.second) * (x - a.first);
}

bool inside(std::pair<float, float> a, std::pair<float, float> b, std::pair<float, float> c, float x, float y)
{
    const float e0 = edge(a, b, x, y), e1 = edge(b, c, x, y), e2 = edge(c, a, x, y);
    return (e0 >= 0 && e1 >= 0 && e2 >= 0) || (e0 <= 0 && e1 <= 0 && e2 <= 0);
}

// The pixels whose centres the frame's triangles cover.
std::set<std::pair<int, int>> coveredPixels()
{
    std::set<std::pair<int, int>> pixels;
    const FfFrame& f = ffFrame();
    for (size_t t = 0; t + 2 < f.indices.size(); t += 3) {
        const auto a = windowOf(f.vertices[f.indices[t]]), b = windowOf(f.vertices[f.indices[t + 1]]),
                   c = windowOf(f.vertices[f.indices[t + 2]]);
        const int x0 = static_cast<int>(std::floor(std::min({ a.first, b.first, c.first })));
        const int x1 = static_cast<int>(std::ceil(std::max({ a.first, b.first, c.first })));
        const int y0 = static_cast<int>(std::floor(std::min({ a.second, b.second, c.second })));
        const int y1 = static_cast<int>(std::ceil(std::max({ a.second, b.second, c.second })));
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                if (inside(a, b, c, x + 0.5f, y + 0.5f))
                    pixels.insert({ x, y });
    }
    return pixels;
}

// A line in normalised device coordinates (the matrices stay the identity).
void drawLine(float width, float x0, float y0, float x1, float y1)
{
    ffLineWidth(width);
    ffBegin(FfPrimitive::lines);
    ffVertex(x0, y0, 0.0f);
    ffVertex(x1, y1, 0.0f);
    ffEnd();
}

// GL's aliased wide line: `width` fragments across the minor axis at every
// step along the major one, never more.
TEST(WideLines, AreTheirWidthAcrossTheMinorAxis)
{
    struct Case {
        const char* name;
        float width, x0, y0, x1, y1;
        bool xMajor;
    };
    // Ends off the pixel grid, so that no centre lies on an edge.
    const Case cases[] = {
        { "the sign posts: upright, 4", 4, 0.1013f, -0.8013f, 0.1013f, 0.6013f, false },
        { "the bell ropes: upright, 3", 3, -0.3013f, -0.2013f, -0.3013f, 0.4013f, false },
        { "level, 4", 4, -0.7013f, 0.2013f, 0.6013f, 0.2013f, true },
        { "steep, 3", 3, -0.1013f, -0.6013f, 0.1513f, 0.5013f, false },
        { "shallow, 4", 4, -0.6013f, -0.1013f, 0.5513f, 0.1513f, true },
        { "thin, 1", 1, -0.5013f, -0.5013f, 0.5013f, -0.3013f, true },
    };
    for (const Case& c : cases) {
        startFrame();
        drawLine(c.width, c.x0, c.y0, c.x1, c.y1);
        std::map<int, int> across; // fragments per step along the major axis
        for (const auto& [x, y] : coveredPixels())
            ++across[c.xMajor ? x : y];
        ASSERT_GT(across.size(), 50u) << c.name;
        for (const auto& [step, count] : across)
            EXPECT_EQ(count, static_cast<int>(c.width)) << c.name << ", at " << step;
    }
}

// Line ends lie along the minor axis: an upright line covers the rows
// between its ends and no more.
TEST(WideLines, EndWhereTheLineEnds)
{
    startFrame();
    drawLine(4, 0.1013f, -0.5013f, 0.1013f, 0.5013f);
    std::set<int> rows;
    for (const auto& pixel : coveredPixels())
        rows.insert(pixel.second);
    const float low = (-0.5013f + 1) * side / 2, high = (0.5013f + 1) * side / 2;
    EXPECT_EQ(*rows.begin(), static_cast<int>(std::ceil(low - 0.5f)));
    EXPECT_EQ(*rows.rbegin(), static_cast<int>(std::floor(high - 0.5f)));
}

TEST(WideLines, AreCutAtTheNearPlane)
{
    startFrame(true);
    ffLineWidth(3);
    ffBegin(FfPrimitive::lines);
    ffVertex(0.5f, -1.0f, -5.0f);
    ffVertex(0.5f, -1.0f, 5.0f); // behind the eye
    ffEnd();
    const FfFrame& f = ffFrame();
    ASSERT_EQ(f.vertices.size(), 4u);
    float nearest = 1.0f;
    for (const FfVertex& v : f.vertices) {
        EXPECT_EQ(v.position[3], 1.0f);
        EXPECT_GE(v.position[2], -1.0f - 1e-5f);
        nearest = std::min(nearest, v.position[2]);
    }
    EXPECT_NEAR(nearest, -1.0f, 1e-5f) << "the quad reaches the near plane";

    startFrame(true);
    ffBegin(FfPrimitive::lines);
    ffVertex(0.0f, 0.0f, 1.0f);
    ffVertex(1.0f, 0.0f, 2.0f); // wholly behind
    ffEnd();
    EXPECT_TRUE(ffFrame().vertices.empty());
}

// GL_LINES takes its vertices in pairs: four make two lines, not a strip of three.
TEST(WideLines, TakeTheirVerticesInPairs)
{
    const float ends[4][2] = {
        { -0.7013f, -0.5013f }, { -0.1013f, -0.5013f }, { 0.2013f, 0.4013f }, { 0.6013f, 0.4013f }
    };
    std::set<std::pair<int, int>> apart;
    for (int pair = 0; pair < 4; pair += 2) {
        startFrame();
        drawLine(3, ends[pair][0], ends[pair][1], ends[pair + 1][0], ends[pair + 1][1]);
        const auto pixels = coveredPixels();
        apart.insert(pixels.begin(), pixels.end());
    }
    startFrame();
    ffLineWidth(3);
    ffBegin(FfPrimitive::lines);
    for (const auto& end : ends)
        ffVertex(end[0], end[1], 0.0f);
    ffEnd();
    EXPECT_EQ(coveredPixels(), apart);
}

// GL_POLYGON as a fan from its first corner, the scene's crossed quads too.
TEST(Polygons, AreFannedFromTheirFirstCorner)
{
    startFrame();
    ffBegin(FfPrimitive::polygon);
    for (int i = 0; i < 5; ++i)
        ffVertex(std::cos(i * 1.2566f) * 0.5f, std::sin(i * 1.2566f) * 0.5f, 0.0f);
    ffEnd();
    const std::vector<unsigned> fan = { 0, 1, 2, 0, 2, 3, 0, 3, 4 };
    EXPECT_EQ(ffFrame().indices, fan);

    ffBegin(FfPrimitive::polygon); // two corners: nothing to fill
    ffVertex(0, 0, 0);
    ffVertex(1, 0, 0);
    ffEnd();
    EXPECT_EQ(ffFrame().indices.size(), 9u);
}

void triangle(float x)
{
    ffBegin(FfPrimitive::polygon);
    ffVertex(x, 0, 0);
    ffVertex(x + 0.1f, 0, 0);
    ffVertex(x, 0.1f, 0);
    ffEnd();
}

// The frame keeps the program's order: a texture's parameter set between
// two draws with it applies to the second only; one set to the value WebGL
// holds already is not sent (the viewer sets them every frame). Draws merge where only the matrices, the
// material or the lighting change: lit colours and transformed positions travel with the vertices.
TEST(Frame, RecordsEveryStepInTheProgramsOrder)
{
    const unsigned minFilter = 0x2801, nearestMipmapLinear = 0x2702, linear = 0x2601;
    startFrame();
    ffAddTexture(5);
    ffAddTexture(6);
    ffDepthTest(true);
    ffTexturing(true);
    ffBindTexture(5);
    triangle(0.0f);
    ffBindTexture(5);
    ffLightingState().front.ambient[0] = 0.9f;
    ffMultMatrix(translationMatrix(0.1f, 0, 0));
    triangle(0.1f);
    ffTextureParameter(minFilter, nearestMipmapLinear); // GL's default: no change
    ffTextureParameter(minFilter, linear);
    ffTextureParameter(minFilter, linear);
    triangle(0.15f);
    ffBindTexture(6);
    ffTextureImage(3, { MipLevel{ 1, 1, { 9, 8, 7 } } });
    triangle(0.2f);
    ffTexturing(false);
    triangle(0.3f);
    ffLightingState().enabled = true;
    triangle(0.4f);
    ffDepthTest(false);
    triangle(0.5f);
    ffClear(true, false);
    ffDeleteTexture(5);
    ffDeleteTexture(99); // never made: nothing to do

    using K = FfCommandKind;
    struct Step {
        K kind;
        unsigned texture, indexCount;
        bool depthTest;
    };
    const Step steps[] = { { K::viewport, 0, 0, false },
                           { K::draw, 5, 6, true },
                           { K::textureParameter, 5, 0, false },
                           { K::draw, 5, 3, true },
                           { K::textureImage, 0, 0, false },
                           { K::draw, 6, 3, true },
                           { K::draw, 0, 6, true },
                           { K::draw, 0, 3, false },
                           { K::clear, 0, 0, false },
                           { K::deleteTexture, 5, 0, false } };
    const FfFrame& f   = ffFrame();
    ASSERT_EQ(f.commands.size(), std::size(steps));
    unsigned first = 0;
    for (size_t i = 0; i < f.commands.size(); ++i) {
        const FfCommand& c = f.commands[i];
        EXPECT_EQ(c.kind, steps[i].kind) << i;
        if (c.kind == K::draw) {
            EXPECT_EQ(c.texture, steps[i].texture) << i;
            EXPECT_EQ(c.indexCount, steps[i].indexCount) << i;
            EXPECT_EQ(c.firstIndex, first) << i;
            EXPECT_EQ(c.depthTest, steps[i].depthTest) << i;
            first += c.indexCount;
        } else if (c.kind != K::textureImage) {
            EXPECT_EQ(c.texture, steps[i].texture) << i;
        }
    }
    EXPECT_EQ(f.commands[2].parameter, minFilter);
    EXPECT_EQ(f.commands[2].rect[0], static_cast<int>(linear));
    ASSERT_EQ(f.images.size(), 1u);
    EXPECT_EQ(f.images[0].texture, 6u);
    EXPECT_EQ(f.commands[8].colour && !f.commands[8].depth, true);
    EXPECT_EQ(ffTextureNames(), std::vector<unsigned>{ 6 });
    EXPECT_EQ(ffBoundTexture(), 6u);
}

// Leaving out the triangles that cover no pixel centre changes no pixel.
TEST(Culling, KeepsEveryTriangleThatCoversAPixelCentre)
{
    std::mt19937 random(21);
    std::uniform_real_distribution<float> place(-0.9f, 0.9f), size(-0.0016f, 0.0016f);
    std::vector<float> positions, normals;
    std::vector<unsigned> indices;
    for (unsigned t = 0; t < 20000; ++t) {
        const float x = place(random), y = place(random);
        for (int c = 0; c < 3; ++c) {
            positions.insert(positions.end(), { x + size(random), y + size(random), 0.0f });
            normals.insert(normals.end(), { 0.0f, 0.0f, 1.0f });
            indices.push_back(3 * t + static_cast<unsigned>(c));
        }
    }
    startFrame();
    ffBegin(FfPrimitive::triangles);
    for (size_t i = 0; i < positions.size(); i += 3)
        ffVertex(positions[i], positions[i + 1], positions[i + 2]);
    ffEnd();
    const std::set<std::pair<int, int>> all = coveredPixels();
    const size_t allTriangles               = ffFrame().indices.size() / 3;

    startFrame();
    ffDrawTriangles(positions.data(), normals.data(), static_cast<unsigned>(positions.size() / 3),
                    indices.data(), static_cast<unsigned>(indices.size()));
    EXPECT_EQ(coveredPixels(), all);
    EXPECT_LT(ffFrame().indices.size() / 3, allTriangles / 4) << "most of these triangles cover no centre";
    EXPECT_LT(ffFrame().vertices.size(), positions.size() / 3 / 2) << "their vertices are not sent";
}

TEST(Culling, KeepsAnySolidThatReachesBehindTheEye)
{
    SolidMesh sphere;
    tessellateSphere(1.0, 40, 30, &sphere);
    startFrame(true); // the eye at the sphere's centre
    drawSolid(sphere, Culling::none);
    EXPECT_GT(ffFrame().indices.size(), sphere.triangles.size() / 2);
}

// Closed convex solids drawn without the triangles facing away, one by one
// or run by run, cover the same pixels, seen from near and far, scaled and
// turned as the scene does; the runs keep exactly the triangles kept one by one.
TEST(Culling, TrianglesFacingAwayHideNothingOfAConvexSolid)
{
    SolidMesh sphere, cone, cube;
    tessellateSphere(1.1, 40, 30, &sphere);
    tessellateCone(1.0, 0.9, 40, 10, &cone);
    tessellateCube(1.0, &cube);
    const float centre[3] = { 0, 0, 0 }, coneInside[3] = { 0, 0, 0.2f };
    findOutwardPlanes(&sphere, centre);
    findOutwardPlanes(&cone, coneInside);
    findOutwardPlanes(&cube, centre);
    for (SolidMesh* mesh : { &sphere, &cone, &cube })
        findClusters(mesh);
    struct View {
        float distance, turn, scale[3];
    };
    const View views[] = {
        { 3, 30, { 1, 1, 1 } }, { 12, 200, { 1, 1, 1 } }, { 9, 95, { 6, 3, 6 } }, { 1.6f, 140, { 1, 1, 1 } }
    };
    for (const SolidMesh* mesh : { &sphere, &cone, &cube })
        for (const View& v : views) {
            std::set<std::pair<int, int>> pixels[3];
            size_t triangles[3] = { 0, 0, 0 };
            for (Culling culling : { Culling::none, Culling::triangles, Culling::runs }) {
                const int k = static_cast<int>(culling);
                startFrame(true);
                ffMultMatrix(translationMatrix(0.3f, -0.2f, -v.distance));
                ffMultMatrix(rotationMatrix(v.turn, -2, 1, 0.5f));
                ffMultMatrix(scalingMatrix(v.scale[0], v.scale[1], v.scale[2]));
                drawSolid(*mesh, culling);
                pixels[k]    = coveredPixels();
                triangles[k] = ffFrame().indices.size() / 3;
            }
            EXPECT_EQ(pixels[1], pixels[0]) << "seen from " << v.distance;
            EXPECT_EQ(pixels[2], pixels[0]) << "seen from " << v.distance;
            EXPECT_EQ(triangles[2], triangles[1]) << "seen from " << v.distance;
            // Seen from its apex a cone faces away only with its base.
            EXPECT_LT(triangles[1], mesh == &sphere ? triangles[0] * 2 / 3 : triangles[0])
                << "seen from " << v.distance;
        }
}

// Each triangle, with its plane, lies in exactly one run, inside the run's
// sphere and normals' cone, and with its corners in the run's list: a run
// passed over as facing away hides nothing else.
TEST(Culling, RunsHoldEachTriangleOnceWithinTheirBounds)
{
    SolidMesh meshes[4];
    tessellateSphere(1.1, 120, 120, &meshes[0]);
    tessellateCone(1.1, 0.9, 120, 120, &meshes[1]);
    tessellateSphere(1.0, 7, 5, &meshes[2]);
    tessellateCube(1.0, &meshes[3]);
    for (SolidMesh& mesh : meshes) {
        const float inside[3] = { 0, 0, &mesh == &meshes[1] ? 0.2f : 0 };
        findOutwardPlanes(&mesh, inside);
        findClusters(&mesh);
        using Row = std::vector<float>; // a triangle's corners, then its plane
        std::multiset<Row> whole, inRuns;
        for (size_t t = 0; t < mesh.triangles.size() / 3; ++t)
            whole.insert({ static_cast<float>(mesh.triangles[3 * t]),
                           static_cast<float>(mesh.triangles[3 * t + 1]),
                           static_cast<float>(mesh.triangles[3 * t + 2]), mesh.outwardPlanes[4 * t],
                           mesh.outwardPlanes[4 * t + 1], mesh.outwardPlanes[4 * t + 2],
                           mesh.outwardPlanes[4 * t + 3] });
        for (const FfCluster& c : mesh.clusters) {
            const std::set<unsigned> corners(mesh.clusteredVertices.begin() + c.firstVertex,
                                             mesh.clusteredVertices.begin() + c.firstVertex + c.vertexCount);
            for (unsigned i = c.firstIndex; i < c.firstIndex + c.indexCount; i += 3) {
                const unsigned* corner = &mesh.clusteredTriangles[i];
                const float* plane     = &mesh.clusteredPlanes[4 * (i / 3)];
                inRuns.insert({ static_cast<float>(corner[0]), static_cast<float>(corner[1]),
                                static_cast<float>(corner[2]), plane[0], plane[1], plane[2], plane[3] });
                const float length =
                    std::sqrt(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]);
                EXPECT_GE((plane[0] * c.axis[0] + plane[1] * c.axis[1] + plane[2] * c.axis[2]) / length,
                          c.spreadCos - 1e-6f);
                for (int k = 0; k < 3; ++k) {
                    EXPECT_EQ(corners.count(corner[k]), 1u);
                    const float* p = &mesh.positions[3 * size_t{ corner[k] }];
                    EXPECT_LE(std::hypot(p[0] - c.centre[0], p[1] - c.centre[1], p[2] - c.centre[2]),
                              c.radius);
                }
            }
        }
        EXPECT_EQ(inRuns, whole);
        EXPECT_GT(mesh.clusters.size(), &mesh == &meshes[3] ? 5u : 20u) << "narrow runs, to be passed over";
    }
}

// A triangle whose plane passes through the eye, or nearly, is seen edge-on:
// GL draws it as a line of pixels along the horizon, so it is kept. The
// viewport's odd height puts the horizon on a row of pixel centres.
TEST(Culling, KeepsATriangleSeenEdgeOn)
{
    const float positions[] = { -1, 0, -1, 1, 0, -1, 0, 0, -3 }, normals[] = { 0, 1, 0, 0, 1, 0, 0, 1, 0 };
    const unsigned indices[] = { 0, 1, 2 };
    const float upward[]     = { 0, 1, 0, 0 }; // its outward side is y > 0
    struct Eye {
        float height; // above the triangle's plane
        bool kept;
    };
    for (const Eye& eye : { Eye{ 2e-6f, true }, Eye{ 0, true }, Eye{ -0.5f, false } }) {
        startFrame(true);
        ffViewport(0, 0, side, side - 1);
        ffMultMatrix(translationMatrix(0, -eye.height, 0));
        ffDrawTriangles(positions, normals, 3, indices, 3, upward);
        EXPECT_EQ(ffFrame().indices.size(), eye.kept ? 3u : 0u) << "the eye " << eye.height << " above";
    }
}

TEST(Errors, AreReportedOnceAsGlReportsThem)
{
    startFrame();
    for (int i = 0; i < 31; ++i)
        ffPushMatrix();
    EXPECT_EQ(ffTakeError(), ffNoError) << "32 matrices fit";
    ffPushMatrix();
    ffPushMatrix();
    EXPECT_EQ(ffTakeError(), ffStackOverflow);
    EXPECT_EQ(ffTakeError(), ffNoError) << "taken once";

    startFrame();
    ffMatrixMode(FfMatrixStack::projection);
    ffPopMatrix();
    EXPECT_EQ(ffTakeError(), ffStackUnderflow);
    ffBegin(FfPrimitive::lines);
    ffBegin(FfPrimitive::lines);
    EXPECT_EQ(ffTakeError(), ffInvalidOperation);
    ffEnd();
    ffEnd();
    EXPECT_EQ(ffTakeError(), ffInvalidOperation);
    ffLineWidth(0.0f);
    EXPECT_EQ(ffTakeError(), ffInvalidValue);
    ffTextureParameter(0x2801, 0x2601);
    EXPECT_EQ(ffTakeError(), ffInvalidOperation) << "no texture bound";
    EXPECT_FALSE(ffBindTexture(7)) << "a name never made";
    ffPopPixelStore();
    EXPECT_EQ(ffTakeError(), ffStackUnderflow);
}

// What the model-view is when a light's position is given decides where
// the light stays: the scene gives its lights under the identity.
TEST(Lights, KeepThePositionTheModelViewGaveThem)
{
    startFrame();
    const float position[4] = { -20.0f, 5.0f, -8.0f, 1.0f };
    ffLightPosition(0, position);
    ffMultMatrix(translationMatrix(100.0f, 0.0f, 0.0f)); // later changes move nothing
    EXPECT_EQ(ffLightingState().lights[0].position[0], -20.0f);

    startFrame();
    ffMultMatrix(rotationMatrix(90.0f, 0.0f, 1.0f, 0.0f));
    ffLightPosition(1, position);
    const float* p = ffLightingState().lights[1].position;
    EXPECT_NEAR(p[0], -8.0f, 1e-4f);
    EXPECT_NEAR(p[2], 20.0f, 1e-4f);
    EXPECT_EQ(p[3], 1.0f);

    // A normal that is not a number lights nothing, and its colour is still bytes.
    ffLightingState().enabled           = true;
    ffLightingState().lights[1].enabled = true;
    ffNormal(NAN, 0.0f, 0.0f);
    ffBegin(FfPrimitive::triangles);
    for (int i = 0; i < 3; ++i)
        ffVertex(0.1f * static_cast<float>(i), 0.2f * static_cast<float>(i * i), -1.0f);
    ffEnd();
    ASSERT_EQ(ffFrame().vertices.size(), 3u);
    const unsigned char* colour = ffFrame().vertices[0].colour;
    EXPECT_EQ(std::vector<int>(colour, colour + 4), std::vector<int>({ 0, 0, 0, 255 }));
}

} // namespace
