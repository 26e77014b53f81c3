// SPDX-License-Identifier: MIT
// The matrix arithmetic of the fixed-function pipeline and of GLU's camera
// helpers, in single precision as the desktop GL keeps its matrices. No GL
// here, so the tests build it natively.
#pragma once

// Column-major, as GL stores it: m[column * 4 + row].
struct Mat4 {
    float m[16];
};

struct Vec4 {
    float x, y, z, w;
};

// The upper 3 x 3 inverse transpose, row-major: how normals go to eye space.
struct Mat3 {
    float m[9];
};

Mat4 identityMatrix();
Mat4 multiply(const Mat4& a, const Mat4& b); // a * b: b is applied first
Vec4 transform(const Mat4& a, const Vec4& v);

// The matrices glTranslate, glScale and glRotate (degrees, any axis length)
// multiply onto the current one.
Mat4 translationMatrix(float x, float y, float z);
Mat4 scalingMatrix(float x, float y, float z);
Mat4 rotationMatrix(float degrees, float x, float y, float z);

// gluPerspective's and gluLookAt's matrices, worked in GLU's own precision.
Mat4 perspectiveMatrix(double fovyDegrees, double aspect, double zNear, double zFar);
Mat4 lookAtMatrix(double eyeX, double eyeY, double eyeZ, double centerX, double centerY, double centerZ,
                  double upX, double upY, double upZ);

// Not renormalised: a scaled model-view shortens or lengthens the normals it
// carries, as GL does with GL_NORMALIZE off. A singular matrix gives zeros.
Mat3 normalMatrix(const Mat4& modelView);
void transformNormal(const Mat3& n, const float in[3], float out[3]);

// Where the eye (the eye-space origin) is in the model-view's object space;
// false for a singular matrix.
bool eyeInObjectSpace(const Mat4& modelView, float out[3]);
