// SPDX-License-Identifier: MIT
// GLUT's solid sphere, cone and cube as the desktop's freeglut builds them:
// the same vertices and normals, worked out in the same float arithmetic,
// and the same triangles in the same order (its triangle strips, without
// the zero-area triangles a strip carries at the poles). No GL here.
#pragma once

#include "ff_pipeline.h"

#include <vector>

struct SolidMesh {
    std::vector<float> positions; // x, y, z per vertex
    std::vector<float> normals;   // x, y, z per vertex, unit length
    std::vector<unsigned> triangles;
    // Per triangle, its plane with the normal pointing out of the solid:
    // nx, ny, nz, d, so that n . p > d for a point p outside it.
    std::vector<float> outwardPlanes;
    // The same triangles and planes again, run by run of triangles facing
    // nearly one way, for ffDrawClusters.
    std::vector<unsigned> clusteredTriangles;
    std::vector<float> clusteredPlanes;
    std::vector<unsigned> clusteredVertices; // each run's corners, once each
    std::vector<FfCluster> clusters;
};

void tessellateSphere(double radius, int slices, int stacks, SolidMesh* mesh);
void tessellateCone(double base, double height, int slices, int stacks, SolidMesh* mesh);
void tessellateCube(double size, SolidMesh* mesh);

// Fills the mesh's outwardPlanes, given a point inside the (convex) solid.
void findOutwardPlanes(SolidMesh* mesh, const float inside[3]);

// Fills the mesh's runs from its triangles and outward planes.
void findClusters(SolidMesh* mesh);

enum class SolidShape { sphere, cone, cube };

// The solid glutSolidSphere(size, slices, stacks), glutSolidCone(size,
// height, slices, stacks) or glutSolidCube(size) draws, with its outward
// planes and runs. The scene draws the same few solids every frame, so each is made
// once and kept: a handful of meshes, the oldest given up past 32.
const SolidMesh& cachedSolid(SolidShape shape, double size, double height, int slices, int stacks);
