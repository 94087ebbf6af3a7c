// Spline tangents, easing, repeat and clamping, rotation composition and hide
// toggles of keyframe tracks.
#include "engine/tracks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr float pi = 3.14159265358979f;

ScalarKey SKey(int frame, float value) {
  ScalarKey k{};
  k.frame = frame;
  k.value = value;
  return k;
}

// A track over keys owned by the test.
template <class K, class V>
Track<K, V> Over(std::vector<K>& keys, int flags = 0) {
  Track<K, V> t{};
  t.flags = flags;
  t.keyCount = static_cast<int>(keys.size());
  t.keys = keys.data();
  return t;
}

float EvalScalar(std::vector<ScalarKey>& keys, int flags, float frame) {
  ScalarTrack t = Over<ScalarKey, float>(keys, flags);
  ComputeScalarTangents(&t);
  EvaluateScalarTrack(frame, &t);
  return t.value;
}

TEST(ScalarTrack, TwoKeysGiveHalfwayValue) {
  std::vector<ScalarKey> keys{SKey(0, 0.0f), SKey(10, 10.0f)};
  ScalarTrack t = Over<ScalarKey, float>(keys);
  ComputeScalarTangents(&t);
  EXPECT_FLOAT_EQ(keys[0].out, 10.0f);
  EXPECT_FLOAT_EQ(keys[1].in, 10.0f);
  EvaluateScalarTrack(5.0f, &t);
  EXPECT_FLOAT_EQ(t.value, 5.0f);
  EvaluateScalarTrack(2.5f, &t);
  EXPECT_NEAR(t.value, 2.5f, 1e-5f);  // equal tangents make the spline linear
}

TEST(ScalarTrack, ClampsOutsideTheKeyRange) {
  std::vector<ScalarKey> keys{SKey(5, 1.0f), SKey(10, 3.0f), SKey(20, -4.0f)};
  EXPECT_FLOAT_EQ(EvalScalar(keys, 0, -100.0f), 1.0f);
  EXPECT_FLOAT_EQ(EvalScalar(keys, 0, 5.0f), 1.0f);
  EXPECT_FLOAT_EQ(EvalScalar(keys, 0, 20.0f), -4.0f);
  EXPECT_FLOAT_EQ(EvalScalar(keys, 0, 1e9f), -4.0f);
  EXPECT_FLOAT_EQ(EvalScalar(keys, 0, 10.0f), 3.0f);  // exact key hit
}

TEST(ScalarTrack, OneKeyOrNoKeys) {
  std::vector<ScalarKey> one{SKey(7, 42.0f)};
  EXPECT_FLOAT_EQ(EvalScalar(one, 0, 0.0f), 42.0f);
  EXPECT_FLOAT_EQ(EvalScalar(one, 2, 100.0f), 42.0f);
  ScalarTrack empty{};
  empty.value = 9.0f;
  EvaluateScalarTrack(3.0f, &empty);
  EXPECT_FLOAT_EQ(empty.value, 9.0f);  // left unchanged
}

TEST(ScalarTrack, OpenTangentsOfThreeKeys) {
  std::vector<ScalarKey> keys{SKey(0, 0.0f), SKey(10, 10.0f), SKey(20, 0.0f)};
  ScalarTrack t = Over<ScalarKey, float>(keys);
  ComputeScalarTangents(&t);
  EXPECT_FLOAT_EQ(keys[0].in, 0.0f);
  EXPECT_FLOAT_EQ(keys[0].out, 15.0f);
  EXPECT_FLOAT_EQ(keys[1].in, 0.0f);
  EXPECT_FLOAT_EQ(keys[1].out, 0.0f);
  EXPECT_FLOAT_EQ(keys[2].in, -15.0f);
  EXPECT_FLOAT_EQ(keys[2].out, 0.0f);
  // Halfway along the first segment: h1 = h2 = 0.5, h3 = 0.125, h4 = -0.125.
  EvaluateScalarTrack(5.0f, &t);
  EXPECT_FLOAT_EQ(t.value, 0.5f * 10.0f + 0.125f * 15.0f);
}

TEST(ScalarTrack, TensionContinuityBiasShapeInteriorTangents) {
  std::vector<ScalarKey> keys{SKey(0, 0.0f), SKey(10, 10.0f), SKey(20, 0.0f)};
  keys[1].spline.continuity = 0.5f;
  ScalarTrack t = Over<ScalarKey, float>(keys);
  ComputeScalarTangents(&t);
  EXPECT_FLOAT_EQ(keys[1].in, 7.5f);
  EXPECT_FLOAT_EQ(keys[1].out, -7.5f);

  keys[1].spline = {};
  keys[1].spline.tension = 0.5f;
  keys[1].spline.bias = 1.0f;
  keys[0].value = 0.0f;
  keys[2].value = 30.0f;  // dp = 10, dn = 20
  ComputeScalarTangents(&t);
  // (1 - 0.5) * [(1)(2) * 10 + (1)(0) * 20] * 0.5
  EXPECT_FLOAT_EQ(keys[1].in, 5.0f);
  EXPECT_FLOAT_EQ(keys[1].out, 5.0f);
}

TEST(ScalarTrack, RepeatWrapsIntoTheKeyRange) {
  std::vector<ScalarKey> keys{SKey(0, 0.0f), SKey(5, 8.0f), SKey(10, 0.0f)};
  EXPECT_FLOAT_EQ(EvalScalar(keys, 2, 25.0f), EvalScalar(keys, 2, 5.0f));
  EXPECT_FLOAT_EQ(EvalScalar(keys, 2, 25.0f), 8.0f);
  EXPECT_FLOAT_EQ(EvalScalar(keys, 2, 27.0f), EvalScalar(keys, 2, 7.0f));
  EXPECT_FLOAT_EQ(EvalScalar(keys, 2, -3.0f), EvalScalar(keys, 2, 7.0f));
  // Frame 0 is taken as frame 10, the end of the previous period.
  EXPECT_FLOAT_EQ(EvalScalar(keys, 2, 0.0f), EvalScalar(keys, 2, 10.0f));
  // Without repeat, past the end holds the last key.
  EXPECT_FLOAT_EQ(EvalScalar(keys, 0, 27.0f), 0.0f);
}

TEST(ScalarTrack, RepeatOnHugeFramesTerminates) {
  std::vector<ScalarKey> keys{SKey(0, 0.0f), SKey(5, 8.0f), SKey(10, 0.0f)};
  const float v = EvalScalar(keys, 2, 3.0e12f);
  EXPECT_TRUE(std::isfinite(v));
  EXPECT_FLOAT_EQ(EvalScalar(keys, 2, std::numeric_limits<float>::infinity()), 0.0f);
  EXPECT_FLOAT_EQ(EvalScalar(keys, 0, std::nanf("")), 0.0f);
}

TEST(ScalarTrack, ZeroPeriodRepeatEvaluatesAsFirstKey) {
  std::vector<ScalarKey> keys{SKey(4, 1.0f), SKey(4, 2.0f), SKey(4, 3.0f)};
  EXPECT_FLOAT_EQ(EvalScalar(keys, 2, 100.0f), 1.0f);
  EXPECT_FLOAT_EQ(EvalScalar(keys, 2, -100.0f), 1.0f);
}

TEST(ScalarTrack, ClosedTwoKeyTrackHasFlatTangents) {
  std::vector<ScalarKey> keys{SKey(0, 0.0f), SKey(10, 10.0f)};
  keys[0].in = keys[0].out = keys[1].in = keys[1].out = 123.0f;  // stale values
  ScalarTrack t = Over<ScalarKey, float>(keys, 3);
  ComputeScalarTangents(&t);
  EXPECT_EQ(keys[0].out, 0.0f);
  EXPECT_EQ(keys[1].in, 0.0f);
}

TEST(ScalarTrack, ClosedTangentsUseTheOtherEnd) {
  // A loop 0 -> 10 -> 0 over frames 0, 10, 20: key 0's neighbours are key 1
  // and key 1 again one period earlier (frame -10).
  std::vector<ScalarKey> keys{SKey(0, 0.0f), SKey(10, 10.0f), SKey(20, 0.0f)};
  ScalarTrack t = Over<ScalarKey, float>(keys, 2);
  ComputeScalarTangents(&t);
  EXPECT_FLOAT_EQ(keys[0].in, 0.5f * ((0.0f - 10.0f) + (10.0f - 0.0f)));
  EXPECT_FLOAT_EQ(keys[2].out, 0.5f * ((0.0f - 10.0f) + (10.0f - 0.0f)));
  EXPECT_FLOAT_EQ(keys[1].in, 0.0f);
}

TEST(Easing, BothEasesOfHalf) {
  EXPECT_FLOAT_EQ(EaseParameter(0.25f, 0.5f, 0.5f), 0.125f);
  EXPECT_FLOAT_EQ(EaseParameter(0.75f, 0.5f, 0.5f), 0.875f);
  EXPECT_FLOAT_EQ(EaseParameter(0.3f, 0.0f, 0.0f), 0.3f);
}

TEST(Easing, EaseAppliedBetweenKeys) {
  std::vector<ScalarKey> keys{SKey(0, 0.0f), SKey(10, 10.0f)};
  keys[0].spline.easeFrom = 0.5f;
  keys[1].spline.easeTo = 0.5f;
  // u = 0.25 becomes 0.125; the spline is linear with these tangents.
  EXPECT_NEAR(EvalScalar(keys, 0, 2.5f), 1.25f, 1e-5f);
}

RotationKey RKey(int frame, float angle, Vector axis) {
  RotationKey k{};
  k.frame = frame;
  k.angle = angle;
  k.axis = axis;
  return k;
}

TEST(RotationTrack, OneKeyIsIdentity) {
  std::vector<RotationKey> keys{RKey(0, 0.0f, {0, 0, 1})};
  RotationTrack t = Over<RotationKey, RotationValue>(keys);
  PrepareRotationKeys(&t);
  EvaluateRotationTrack(12.0f, &t);
  const Matrix id = MatrixIdentity();
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(t.value.rotation.m[i], id.m[i]);
}

TEST(RotationTrack, KeysAccumulateAndInterpolate) {
  std::vector<RotationKey> keys{RKey(0, 0.0f, {0, 0, 1}), RKey(10, pi / 2, {0, 0, 1}), RKey(20, pi / 2, {0, 0, 1})};
  RotationTrack t = Over<RotationKey, RotationValue>(keys);
  PrepareRotationKeys(&t);
  // Key 2 is a half turn in all.
  Vector p = TransformPoint({1, 0, 0}, keys[2].matrix);
  EXPECT_NEAR(p.x, -1.0f, 1e-5f);
  EXPECT_NEAR(p.y, 0.0f, 1e-5f);

  EvaluateRotationTrack(10.0f, &t);
  p = TransformPoint({1, 0, 0}, t.value.rotation);
  EXPECT_NEAR(p.y, -1.0f, 1e-5f);

  // Halfway through the first segment there is no key before key 0, so the
  // rotation is the first key's matrix times a quarter of key 1's angle ... plus
  // the part of key 2 weighted by h4 (negative at u = 0.5).
  EvaluateRotationTrack(5.0f, &t);
  const float h4 = 0.125f - 0.25f;
  const float expected = pi / 2 * 0.5f + pi / 2 * 0.5f * h4;  // beta = angle2 * (10/20) * h4
  p = TransformPoint({1, 0, 0}, t.value.rotation);
  EXPECT_NEAR(p.x, std::cos(expected), 1e-5f);
  EXPECT_NEAR(p.y, -std::sin(expected), 1e-5f);
  const Matrix back = MatrixMultiply(t.value.rotation, t.value.inverse);
  const Matrix id = MatrixIdentity();
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(back.m[i], id.m[i], 1e-5f);
}

int Hidden(std::vector<HideKey>& keys, int flags, float frame) {
  HideTrack t = Over<HideKey, std::int32_t>(keys, flags);
  EvaluateHideTrack(frame, &t);
  return t.value;
}

TEST(HideTrack, KeysToggleVisibility) {
  std::vector<HideKey> keys{{10}, {20}};
  EXPECT_EQ(Hidden(keys, 0, 0.0f), 0);
  EXPECT_EQ(Hidden(keys, 0, 9.9f), 0);
  EXPECT_EQ(Hidden(keys, 0, 10.0f), 1);
  EXPECT_EQ(Hidden(keys, 0, 19.5f), 1);
  EXPECT_EQ(Hidden(keys, 0, 20.0f), 0);
  EXPECT_EQ(Hidden(keys, 0, 500.0f), 0);
  std::vector<HideKey> one{{3}};
  EXPECT_EQ(Hidden(one, 0, 2.0f), 0);
  EXPECT_EQ(Hidden(one, 0, 3.0f), 1);
  HideTrack none{};
  none.value = 1;
  EvaluateHideTrack(5.0f, &none);
  EXPECT_EQ(none.value, 0);
}

TEST(HideTrack, RepeatUsesLastFrameAsPeriod) {
  std::vector<HideKey> keys{{0}, {5}, {10}};
  // Period 10: frame 13 is frame 3 (one key passed: hidden).
  EXPECT_EQ(Hidden(keys, 2, 13.0f), 1);
  EXPECT_EQ(Hidden(keys, 2, 17.0f), 0);
  EXPECT_EQ(Hidden(keys, 2, 4.0e12f), Hidden(keys, 2, 4.0e12f));  // terminates
  // A wrapped frame may fall before the first key: nothing has passed yet.
  std::vector<HideKey> late{{10}, {15}, {20}};
  EXPECT_EQ(Hidden(late, 2, 25.0f), 0);  // 25 is 5
  EXPECT_EQ(Hidden(late, 2, 32.0f), 1);  // 32 is 12
  EXPECT_EQ(Hidden(late, 2, 37.0f), 0);  // 37 is 17
  EXPECT_EQ(Hidden(late, 2, 3.0f), 0);   // 3 is 23, then 3
  std::vector<HideKey> zero{{0}, {0}};
  EXPECT_EQ(Hidden(zero, 2, 5.0f), 0);  // no period: two keys passed
}

TEST(NodeTracks, HiddenNodeKeepsItsLastCameraValues) {
  Node node{};
  std::vector<ScalarKey> fov{SKey(0, 40.0f), SKey(10, 60.0f)};
  std::vector<HideKey> hide{{10}};
  node.fieldOfView = Over<ScalarKey, float>(fov);
  node.hide = Over<HideKey, std::int32_t>(hide);
  ComputeScalarTangents(&node.fieldOfView);
  EvaluateNodeTracks(&node, 5.0f);
  EXPECT_FLOAT_EQ(node.fieldOfView.value, 50.0f);
  EvaluateNodeTracks(&node, 12.0f);
  EXPECT_EQ(node.hide.value, 1);
  EXPECT_FLOAT_EQ(node.fieldOfView.value, 50.0f);
}

}  // namespace
