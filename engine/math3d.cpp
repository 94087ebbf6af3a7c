// Matrix, vector and quaternion arithmetic for the scene engine.
#include "engine/math3d.h"

#include <cmath>

Matrix MatrixIdentity() {
  Matrix r = MatrixZero();
  r.m[0] = r.m[5] = r.m[10] = r.m[15] = 1.0f;
  return r;
}

Matrix MatrixZero() {
  Matrix r;
  for (float& v : r.m) v = 0.0f;
  return r;
}

Matrix MatrixMultiply(const Matrix& a, const Matrix& b) {
  Matrix c;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      float sum = 0.0f;
      for (int k = 0; k < 4; ++k) sum += a.m[4 * i + k] * b.m[4 * k + j];
      c.m[4 * i + j] = sum;
    }
  }
  return c;
}

Vector TransformPoint(const Vector& p, const Matrix& m) {
  return {p.x * m.m[0] + p.y * m.m[4] + p.z * m.m[8] + m.m[12],
          p.x * m.m[1] + p.y * m.m[5] + p.z * m.m[9] + m.m[13],
          p.x * m.m[2] + p.y * m.m[6] + p.z * m.m[10] + m.m[14]};
}

Quaternion AxisAngleToQuaternion(float angle, const Vector& axis) {
  const double half = angle * 0.5;
  const float s = static_cast<float>(std::sin(half));
  return {static_cast<float>(std::cos(half)), axis.x * s, axis.y * s, axis.z * s};
}

Matrix QuaternionToMatrix(const Quaternion& q) {
  // Scaling every component by sqrt(2) puts the factor 2 into each product.
  const float k = 1.4142136f;
  const float w = q.w * k, x = q.x * k, y = q.y * k, z = q.z * k;
  Matrix r;
  r.m[0] = 1.0f - y * y - z * z;
  r.m[1] = x * y - w * z;
  r.m[2] = x * z + w * y;
  r.m[3] = 0.0f;
  r.m[4] = x * y + w * z;
  r.m[5] = 1.0f - x * x - z * z;
  r.m[6] = y * z - w * x;
  r.m[7] = 0.0f;
  r.m[8] = x * z - w * y;
  r.m[9] = y * z + w * x;
  r.m[10] = 1.0f - x * x - y * y;
  r.m[11] = 0.0f;
  r.m[12] = r.m[13] = r.m[14] = 0.0f;
  r.m[15] = 1.0f;
  return r;
}

Matrix AxisAngleMatrix(const Vector& axis, float angle) {
  return QuaternionToMatrix(AxisAngleToQuaternion(angle, axis));
}

Vector Add(const Vector& a, const Vector& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vector Subtract(const Vector& a, const Vector& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vector Scale(const Vector& a, float s) { return {a.x * s, a.y * s, a.z * s}; }
float Dot(const Vector& a, const Vector& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

Vector Cross(const Vector& a, const Vector& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float Length(const Vector& a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }

Vector Normalize(const Vector& a) {
  const float length = Length(a);
  // A degenerate face or an unused vertex has no direction; keep it at zero.
  if (!(length > 0.0f) || !std::isfinite(length)) return {0.0f, 0.0f, 0.0f};
  return {a.x / length, a.y / length, a.z / length};
}
