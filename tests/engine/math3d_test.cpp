// Matrix conventions: row vectors, translation in the fourth row, and the
// rotation sense of the quaternion-built matrices.
#include "engine/math3d.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr float pi = 3.14159265358979f;

void ExpectVector(const Vector& v, float x, float y, float z, float eps = 1e-5f) {
  EXPECT_NEAR(v.x, x, eps);
  EXPECT_NEAR(v.y, y, eps);
  EXPECT_NEAR(v.z, z, eps);
}

Matrix Sample() {
  Matrix m;
  for (int i = 0; i < 16; ++i) m.m[i] = static_cast<float>(i * 3 - 7) * 0.5f;
  return m;
}

TEST(Math3d, RotationAboutZTurnsXToMinusY) {
  const Vector p = TransformPoint({1, 0, 0}, AxisAngleMatrix({0, 0, 1}, pi / 2));
  ExpectVector(p, 0, -1, 0);
}

TEST(Math3d, IdentityOnEitherSideKeepsMatrix) {
  const Matrix a = Sample();
  const Matrix left = MatrixMultiply(MatrixIdentity(), a);
  const Matrix right = MatrixMultiply(a, MatrixIdentity());
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(left.m[i], a.m[i]);
    EXPECT_EQ(right.m[i], a.m[i]);
  }
}

TEST(Math3d, ProductAppliesLeftMatrixFirst) {
  Matrix t = MatrixIdentity();
  t.m[12] = 1;  // translate x by 1
  const Matrix r = AxisAngleMatrix({0, 0, 1}, pi / 2);
  // Translate, then rotate: (1,0,0) -> (2,0,0) -> (0,-2,0).
  ExpectVector(TransformPoint({1, 0, 0}, MatrixMultiply(t, r)), 0, -2, 0);
  // Rotate, then translate: (1,0,0) -> (0,-1,0) -> (1,-1,0).
  ExpectVector(TransformPoint({1, 0, 0}, MatrixMultiply(r, t)), 1, -1, 0);
}

TEST(Math3d, FourthRowTranslates) {
  Matrix m = MatrixIdentity();
  m.m[12] = 5;
  m.m[13] = 6;
  m.m[14] = 7;
  ExpectVector(TransformPoint({1, 2, 3}, m), 6, 8, 10, 0);
}

TEST(Math3d, CrossAndNormalize) {
  ExpectVector(Cross({1, 0, 0}, {0, 1, 0}), 0, 0, 1, 0);
  ExpectVector(Normalize({3, 0, 4}), 0.6f, 0, 0.8f);
  ExpectVector(Normalize({0, 0, 0}), 0, 0, 0, 0);
  const Vector n = Normalize({std::nanf(""), 1, 1});
  EXPECT_FALSE(std::isnan(n.x) || std::isnan(n.y) || std::isnan(n.z));
}

}  // namespace
