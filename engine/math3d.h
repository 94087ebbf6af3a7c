// Vectors, 4x4 matrices and quaternions of the scene engine. Matrices are stored
// row by row and used with row vectors (p' = p x M); the translation sits in the
// fourth row, so A x B applies A first, then B.
#pragma once

struct Vector {
  float x, y, z;
};

struct Matrix {
  float m[16];  // element index = 4 * row + column
};

struct Quaternion {
  float w, x, y, z;
};

Matrix MatrixIdentity();
Matrix MatrixZero();
// C = A x B.
Matrix MatrixMultiply(const Matrix& a, const Matrix& b);
// (p.x, p.y, p.z, 1) x M, first three results.
Vector TransformPoint(const Vector& p, const Matrix& m);

// w = cos(angle / 2), (x, y, z) = axis * sin(angle / 2); the axis is used as given.
Quaternion AxisAngleToQuaternion(float angle, const Vector& axis);
// Rotation matrix of a quaternion. Applied to row vectors it turns points about the
// axis by the negative angle in the right-hand sense.
Matrix QuaternionToMatrix(const Quaternion& q);
// The rotation R(axis, angle) used by the tracks and the renderer.
Matrix AxisAngleMatrix(const Vector& axis, float angle);

Vector Add(const Vector& a, const Vector& b);
Vector Subtract(const Vector& a, const Vector& b);
Vector Scale(const Vector& a, float s);
float Dot(const Vector& a, const Vector& b);
Vector Cross(const Vector& a, const Vector& b);
float Length(const Vector& a);
// Divides each component by the length. A zero (or non-finite) length gives
// (0, 0, 0) rather than NaN.
Vector Normalize(const Vector& a);

// Fourth row of a matrix as a point.
inline Vector MatrixTranslation(const Matrix& m) { return {m.m[12], m.m[13], m.m[14]}; }
