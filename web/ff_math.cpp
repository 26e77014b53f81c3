// SPDX-License-Identifier: MIT
#include "ff_math.h"

#include <cmath>
#include <cstddef>

Mat4 identityMatrix()
{
    Mat4 r = {};
    r.m[0] = r.m[5] = r.m[10] = r.m[15] = 1.0f;
    return r;
}

Mat4 multiply(const Mat4& a, const Mat4& b)
{
    Mat4 r;
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k)
                sum += a.m[k * 4 + row] * b.m[col * 4 + k];
            r.m[col * 4 + row] = sum;
        }
    return r;
}

Vec4 transform(const Mat4& a, const Vec4& v)
{
    const float* m = a.m;
    return { m[0] * v.x + m[4] * v.y + m[8] * v.z + m[12] * v.w,
             m[1] * v.x + m[5] * v.y + m[9] * v.z + m[13] * v.w,
             m[2] * v.x + m[6] * v.y + m[10] * v.z + m[14] * v.w,
             m[3] * v.x + m[7] * v.y + m[11] * v.z + m[15] * v.w };
}

Mat4 translationMatrix(float x, float y, float z)
{
    Mat4 r  = identityMatrix();
    r.m[12] = x;
    r.m[13] = y;
    r.m[14] = z;
    return r;
}

Mat4 scalingMatrix(float x, float y, float z)
{
    Mat4 r  = identityMatrix();
    r.m[0]  = x;
    r.m[5]  = y;
    r.m[10] = z;
    return r;
}

Mat4 rotationMatrix(float degrees, float x, float y, float z)
{
    const float length = std::sqrt(x * x + y * y + z * z);
    if (length == 0.0f)
        return identityMatrix(); // GL leaves the matrix as it is
    x /= length;
    y /= length;
    z /= length;
    const float radians = degrees * static_cast<float>(M_PI / 180.0);
    const float s = std::sin(radians), c = std::cos(radians), t = 1.0f - c;

    Mat4 r  = identityMatrix();
    r.m[0]  = x * x * t + c;
    r.m[1]  = y * x * t + z * s;
    r.m[2]  = x * z * t - y * s;
    r.m[4]  = x * y * t - z * s;
    r.m[5]  = y * y * t + c;
    r.m[6]  = y * z * t + x * s;
    r.m[8]  = x * z * t + y * s;
    r.m[9]  = y * z * t - x * s;
    r.m[10] = z * z * t + c;
    return r;
}

Mat4 perspectiveMatrix(double fovyDegrees, double aspect, double zNear, double zFar)
{
    const double radians = fovyDegrees / 2.0 * M_PI / 180.0;
    const double deltaZ  = zFar - zNear;
    const double sine    = std::sin(radians);
    if (deltaZ == 0.0 || sine == 0.0 || aspect == 0.0)
        return identityMatrix(); // GLU multiplies nothing on
    const double cotangent = std::cos(radians) / sine;

    Mat4 r  = {};
    r.m[0]  = static_cast<float>(cotangent / aspect);
    r.m[5]  = static_cast<float>(cotangent);
    r.m[10] = static_cast<float>(-(zFar + zNear) / deltaZ);
    r.m[11] = -1.0f;
    r.m[14] = static_cast<float>(-2.0 * zNear * zFar / deltaZ);
    return r;
}

namespace {

void normalise(float v[3])
{
    const float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length == 0.0f)
        return;
    v[0] /= length;
    v[1] /= length;
    v[2] /= length;
}

void cross(const float a[3], const float b[3], float out[3])
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

} // namespace

// GLU works the axes out in float, then translates by the eye in double.
Mat4 lookAtMatrix(double eyeX, double eyeY, double eyeZ, double centerX, double centerY, double centerZ,
                  double upX, double upY, double upZ)
{
    float forward[3] = { static_cast<float>(centerX - eyeX), static_cast<float>(centerY - eyeY),
                         static_cast<float>(centerZ - eyeZ) };
    float up[3]      = { static_cast<float>(upX), static_cast<float>(upY), static_cast<float>(upZ) };
    normalise(forward);
    float side[3];
    cross(forward, up, side);
    normalise(side);
    cross(side, forward, up);

    Mat4 r = identityMatrix();
    for (int i = 0; i < 3; ++i) {
        r.m[i * 4 + 0] = side[i];
        r.m[i * 4 + 1] = up[i];
        r.m[i * 4 + 2] = -forward[i];
    }
    const Mat4 eye =
        translationMatrix(static_cast<float>(-eyeX), static_cast<float>(-eyeY), static_cast<float>(-eyeZ));
    return multiply(r, eye);
}

Mat3 normalMatrix(const Mat4& modelView)
{
    // a[row][col] of the upper 3 x 3.
    float a[3][3];
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            a[row][col] = modelView.m[col * 4 + row];

    // The inverse transpose is the cofactor matrix over the determinant.
    float cof[3][3];
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) {
            const int r1 = (row + 1) % 3, r2 = (row + 2) % 3, c1 = (col + 1) % 3, c2 = (col + 2) % 3;
            cof[row][col] = a[r1][c1] * a[r2][c2] - a[r1][c2] * a[r2][c1];
        }
    const float det = a[0][0] * cof[0][0] + a[0][1] * cof[0][1] + a[0][2] * cof[0][2];

    Mat3 n = {};
    if (det == 0.0f)
        return n;
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            n.m[row * 3 + col] = cof[row][col] / det;
    return n;
}

void transformNormal(const Mat3& n, const float in[3], float out[3])
{
    for (int row = 0; row < 3; ++row) {
        const float* m = &n.m[static_cast<size_t>(row) * 3];
        out[row]       = m[0] * in[0] + m[1] * in[1] + m[2] * in[2];
    }
}

// The model-view is affine: the eye is -R^-1 t for its upper 3 x 3 R and
// translation t, and R^-1 is the transpose of the normal matrix.
bool eyeInObjectSpace(const Mat4& modelView, float out[3])
{
    const Mat3 n = normalMatrix(modelView);
    if (n.m[0] == 0.0f && n.m[4] == 0.0f && n.m[8] == 0.0f)
        return false;
    const float* t = modelView.m + 12;
    for (int i = 0; i < 3; ++i)
        out[i] = -(n.m[0 * 3 + i] * t[0] + n.m[1 * 3 + i] * t[1] + n.m[2 * 3 + i] * t[2]);
    return true;
}
