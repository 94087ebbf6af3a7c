// Tangent set-up and evaluation of keyframe tracks.
#include "engine/tracks.h"

#include <cmath>

namespace {

// Component arithmetic shared by the one-float and three-float splines.
inline float Plus(float a, float b) { return a + b; }
inline Vector Plus(const Vector& a, const Vector& b) { return Add(a, b); }
inline float Minus(float a, float b) { return a - b; }
inline Vector Minus(const Vector& a, const Vector& b) { return Subtract(a, b); }
inline float Times(float a, float s) { return a * s; }
inline Vector Times(const Vector& a, float s) { return Scale(a, s); }
template <class V>
V Zero() {
  return V{};
}

// End-key tangent of an open track from the key itself (k), its neighbour (k1)
// and the key beyond (k2), all given as values and frames.
template <class V>
V EndTangent(float tension, const V& p0, const V& p1, const V& p2, std::int32_t t0, std::int32_t t1,
             std::int32_t t2) {
  const double whole = static_cast<double>(t2) - t0;
  // Keys sharing one frame have no spacing to weigh by; take the middle.
  const double ratio = whole != 0.0 ? (static_cast<double>(t1) - t0) / (2.0 * whole) : 0.25;
  const V d20 = Minus(p2, p0);
  const V d10 = Minus(p1, p0);
  const float a = static_cast<float>(0.25 - ratio);
  V sum = Plus(Plus(Times(d20, a), Times(Minus(d10, Times(d20, 0.5f)), static_cast<float>(0.5 * 3.0))),
               Times(d20, 0.5f));
  return Times(sum, 1.0f - tension);
}

template <class K>
void ComputeTangents(Track<K, decltype(K::value)>* track) {
  using V = decltype(K::value);
  const int count = track->keyCount;
  K* keys = track->keys;
  if (count < 2 || !keys) return;
  const bool closed = (track->flags & 2) != 0;
  if (closed && count == 2) {
    // A closed loop of two keys has no third key to shape its tangents: flat.
    keys[0].in = keys[0].out = keys[1].in = keys[1].out = Zero<V>();
    return;
  }
  if (!closed) {
    if (count == 2) {
      const V d = Minus(keys[1].value, keys[0].value);
      keys[0].out = keys[0].in = keys[1].out = keys[1].in = d;
    } else {
      keys[0].in = Zero<V>();
      keys[0].out = EndTangent(keys[0].spline.tension, keys[0].value, keys[1].value, keys[2].value,
                               keys[0].frame, keys[1].frame, keys[2].frame);
      const int l = count - 1;
      keys[l].out = Zero<V>();
      // The last key measures from its own end: (L, L-1, L-2) with the signs of
      // the differences turned around.
      const double whole = static_cast<double>(keys[l].frame) - keys[l - 2].frame;
      const double ratio =
          whole != 0.0 ? (static_cast<double>(keys[l].frame) - keys[l - 1].frame) / (2.0 * whole) : 0.25;
      const V dL2 = Minus(keys[l].value, keys[l - 2].value);
      const V dL1 = Minus(keys[l].value, keys[l - 1].value);
      V sum = Plus(Plus(Times(dL2, static_cast<float>(0.25 - ratio)),
                        Times(Minus(dL1, Times(dL2, 0.5f)), static_cast<float>(0.5 * 3.0))),
                   Times(dL2, 0.5f));
      keys[l].in = Times(sum, 1.0f - keys[l].spline.tension);
    }
  }
  if (count < 3) return;
  const int firstKey = closed ? 0 : 1;
  const int lastKey = closed ? count - 1 : count - 2;
  for (int k = firstKey; k <= lastKey; ++k) {
    int p = k - 1, n = k + 1;
    float tp = 0.0f, tn = 0.0f;
    if (closed && k == 0) {
      p = count - 2;
      tp = static_cast<float>(keys[count - 2].frame) + static_cast<float>(keys[0].frame) -
           static_cast<float>(keys[count - 1].frame);
    } else {
      tp = static_cast<float>(keys[p].frame);
    }
    if (closed && k == count - 1) {
      n = 1;
      tn = static_cast<float>(keys[k].frame) + static_cast<float>(keys[1].frame) -
           static_cast<float>(keys[0].frame);
    } else {
      tn = static_cast<float>(keys[n].frame);
    }
    const K& key = keys[k];
    const float tk = static_cast<float>(key.frame);
    const V dp = Minus(key.value, keys[p].value);
    const V dn = Minus(keys[n].value, key.value);
    const float span = tn - tp;
    const float tension = key.spline.tension;
    const float c = key.spline.continuity;
    const float b = key.spline.bias;
    const float ac = std::fabs(c);
    // Neighbours sharing one frame give no spacing; weigh both sides alike.
    const float fp = span != 0.0f ? (tk - tp) / span : 0.5f;
    const float fn = span != 0.0f ? (tn - tk) / span : 0.5f;
    keys[k].in = Times(Plus(Times(dp, (1.0f + c) * (1.0f + b)), Times(dn, (1.0f - c) * (1.0f - b))),
                       (1.0f - tension) * (fp + ac - fp * ac));
    keys[k].out = Times(Plus(Times(dp, (1.0f - c) * (1.0f + b)), Times(dn, (1.0f + c) * (1.0f - b))),
                        (1.0f - tension) * (fn + ac - fn * ac));
  }
}

struct Hermite {
  float h1, h2, h3, h4;
};

Hermite HermiteWeights(float u) {
  const float u2 = u * u, u3 = u2 * u;
  return {2.0f * u3 - 3.0f * u2 + 1.0f, 3.0f * u2 - 2.0f * u3, u3 - 2.0f * u2 + u, u3 - u2};
}

// Moves f into (first, last] by whole periods, as repeated subtraction and
// addition would, but without looping once per period on huge frame numbers.
// Returns false when f cannot be placed (not finite, or beyond float precision).
bool WrapIntoRange(float& f, float first, float last, float period) {
  if (!std::isfinite(f)) return false;
  if (f > last) f -= std::ceil((f - last) / period) * period;
  if (f <= first) f += std::ceil((first - f) / period) * period;
  // Rounding of the steps above can leave f one period off.
  for (int i = 0; i < 4 && f > last; ++i) f -= period;
  for (int i = 0; i < 4 && f <= first; ++i) f += period;
  return f > first && f <= last;
}

// A key index folded into 1 ... count - 1, with its frame shifted by whole periods.
struct Resolved {
  int index;
  float frame;
};

template <class K>
Resolved Fold(int index, const K* keys, int count, float period) {
  int shifts = 0;
  while (index < 1) {
    index += count - 1;
    --shifts;
  }
  while (index > count - 1) {
    index -= count - 1;
    ++shifts;
  }
  return {index, static_cast<float>(keys[index].frame) + static_cast<float>(shifts) * period};
}

template <class K>
void EvaluateSpline(float f, Track<K, decltype(K::value)>* track) {
  const int count = track->keyCount;
  const K* keys = track->keys;
  if (count <= 0 || !keys) return;
  if (count == 1) {
    track->value = keys[0].value;
    return;
  }
  const float first = static_cast<float>(keys[0].frame);
  const float last = static_cast<float>(keys[count - 1].frame);
  const float period = last - first;
  const int mode = track->flags & trackModeMask;
  if (mode == trackRepeat) {
    // A track without a period cannot repeat; it stands still at its first key.
    if (!(period > 0.0f) || !WrapIntoRange(f, first, last, period)) {
      track->value = keys[0].value;
      return;
    }
  } else {
    if (f >= last) {
      track->value = keys[count - 1].value;
      return;
    }
    if (!(f > first)) {  // also catches NaN
      track->value = keys[0].value;
      return;
    }
  }
  int n = 0;
  while (n < count - 1 && static_cast<float>(keys[n].frame) < f) ++n;
  if (static_cast<float>(keys[n].frame) == f) {
    track->value = keys[n].value;
    return;
  }
  int p = n - 1;
  float tp = static_cast<float>(keys[p].frame);
  float tn = static_cast<float>(keys[n].frame);
  if (mode != 0) {
    const Resolved rp = Fold(p, keys, count, period);
    const Resolved rn = Fold(n, keys, count, period);
    p = rp.index;
    tp = rp.frame;
    n = rn.index;
    tn = rn.frame;
  }
  const float span = tn - tp;
  float u = span != 0.0f ? (f - tp) / span : 0.0f;
  u = EaseParameter(u, keys[p].spline.easeFrom, keys[n].spline.easeTo);
  const Hermite h = HermiteWeights(u);
  track->value = Plus(Plus(Times(keys[p].value, h.h1), Times(keys[n].value, h.h2)),
                      Plus(Times(keys[p].out, h.h3), Times(keys[n].in, h.h4)));
}

}  // namespace

void ComputeScalarTangents(ScalarTrack* track) { ComputeTangents<ScalarKey>(track); }
void ComputeVectorTangents(VectorTrack* track) { ComputeTangents<VectorKey>(track); }

void PrepareRotationKeys(RotationTrack* track) {
  Matrix m = MatrixIdentity();
  Matrix n = MatrixIdentity();
  for (int k = 0; k < track->keyCount; ++k) {
    RotationKey& key = track->keys[k];
    m = MatrixMultiply(m, AxisAngleMatrix(key.axis, key.angle));
    n = MatrixMultiply(AxisAngleMatrix(key.axis, -key.angle), n);
    key.matrix = m;
    key.inverse = n;
  }
}

float EaseParameter(float u, float easeFrom, float easeTo) {
  float e1 = easeFrom, e2 = easeTo;
  const float s = e1 + e2;
  if (s == 0.0f) return u;
  if (s > 1.0f) {
    e1 /= s;
    e2 /= s;
  }
  const float k = static_cast<float>(1.0 / (2.0 - e1 - e2));
  if (u < e1) return u * u * (k / e1);
  if (u >= 1.0f - e2) return 1.0f - (1.0f - u) * (1.0f - u) * (k / e2);
  return k * static_cast<float>(2.0 * u - e1);
}

void EvaluateScalarTrack(float frame, ScalarTrack* track) { EvaluateSpline<ScalarKey>(frame, track); }
void EvaluateVectorTrack(float frame, VectorTrack* track) { EvaluateSpline<VectorKey>(frame, track); }

void EvaluateRotationTrack(float frame, RotationTrack* track) {
  const int count = track->keyCount;
  const RotationKey* keys = track->keys;
  if (count <= 0 || !keys) return;
  auto take = [track](const RotationKey& key) {
    track->value.rotation = key.matrix;
    track->value.inverse = key.inverse;
  };
  if (count == 1) {
    take(keys[0]);
    return;
  }
  float f = frame;
  const float first = static_cast<float>(keys[0].frame);
  const float last = static_cast<float>(keys[count - 1].frame);
  const float period = last - first;
  if ((track->flags & trackModeMask) == trackRepeat) {
    if (!(period > 0.0f) || !WrapIntoRange(f, first, last, period)) {
      take(keys[0]);
      return;
    }
  } else {
    if (f >= last) {
      take(keys[count - 1]);
      return;
    }
    if (!(f > first)) {
      take(keys[0]);
      return;
    }
  }
  int i = 0;
  while (i < count - 1 && static_cast<float>(keys[i].frame) < f) ++i;
  if (static_cast<float>(keys[i].frame) == f) {
    take(keys[i]);
    return;
  }

  const bool closed = (track->flags & 2) != 0;
  // Keys i-2 .. i+1 with their frames; an open track has none outside its range.
  auto resolve = [&](int index, Resolved& out) {
    if (closed) {
      out = Fold(index, keys, count, period);
      return true;
    }
    if (index < 0 || index > count - 1) return false;
    out = {index, static_cast<float>(keys[index].frame)};
    return true;
  };
  Resolved r0{}, r1{}, r2{}, r3{};
  const bool has0 = resolve(i - 2, r0);
  resolve(i - 1, r1);
  resolve(i, r2);
  const bool has3 = resolve(i + 1, r3);
  const RotationKey& k1 = keys[r1.index];
  const RotationKey& k2 = keys[r2.index];

  const float span = r2.frame - r1.frame;
  float u = span != 0.0f ? (f - r1.frame) / span : 0.0f;
  u = EaseParameter(u, k1.spline.easeFrom, k2.spline.easeTo);
  const Hermite h = HermiteWeights(u);

  const float a2 = h.h2 * k2.angle;
  Matrix r;
  Matrix q;
  if (!has0) {
    r = MatrixMultiply(k1.matrix, AxisAngleMatrix(k2.axis, a2));
    q = MatrixMultiply(AxisAngleMatrix(k2.axis, -a2), k1.inverse);
  } else {
    const float g = (1.0f - k1.spline.tension) * (1.0f + k1.spline.continuity) * (1.0f + k1.spline.bias);
    const float whole = r2.frame - r0.frame;
    const float ratio = whole != 0.0f ? (r1.frame - r0.frame) / whole : 0.0f;
    const float alpha = g * k1.angle * ratio * h.h3;
    r = MatrixMultiply(MatrixMultiply(k1.matrix, AxisAngleMatrix(k1.axis, alpha)), AxisAngleMatrix(k2.axis, a2));
    q = MatrixMultiply(MatrixMultiply(AxisAngleMatrix(k2.axis, -a2), AxisAngleMatrix(k1.axis, -alpha)),
                       k1.inverse);
  }
  if (has3) {
    const RotationKey& k3 = keys[r3.index];
    const float g = (1.0f - k2.spline.tension) * (1.0f + k2.spline.continuity) * (1.0f - k2.spline.bias);
    const float whole = r3.frame - r1.frame;
    const float ratio = whole != 0.0f ? (r3.frame - r2.frame) / whole : 0.0f;
    const float beta = g * k3.angle * ratio * h.h4;
    r = MatrixMultiply(r, AxisAngleMatrix(k3.axis, beta));
    q = MatrixMultiply(AxisAngleMatrix(k3.axis, -beta), q);
  }
  track->value.rotation = r;
  track->value.inverse = q;
}

void EvaluateHideTrack(float frame, HideTrack* track) {
  const int count = track->keyCount;
  const HideKey* keys = track->keys;
  if (count <= 0 || !keys) {
    track->value = 0;
    return;
  }
  float f = frame;
  if (count == 1) {
    track->value = f >= static_cast<float>(keys[0].frame) ? 1 : 0;
    return;
  }
  const float first = static_cast<float>(keys[0].frame);
  const float last = static_cast<float>(keys[count - 1].frame);
  // The hide track repeats with the last key's frame number as its period; a
  // period that is not positive cannot repeat, and the frame is taken as it is.
  if ((track->flags & trackModeMask) == trackRepeat && last > 0.0f && std::isfinite(f)) {
    if (first > f) f += std::ceil((first - f) / last) * last;
    if (f >= last) f = std::fmod(f, last);
  }
  int passed = 0;
  while (passed < count && static_cast<float>(keys[passed].frame) <= f) ++passed;
  track->value = passed & 1;
}

void EvaluateNodeTracks(Node* node, float frame) {
  VisitNodesParentFirst(node, [frame](Node* n) {
    EvaluateHideTrack(frame, &n->hide);
    EvaluateVectorTrack(frame, &n->position);
    EvaluateRotationTrack(frame, &n->rotation);
    EvaluateVectorTrack(frame, &n->scale);
    if (n->hide.value == 0) {
      EvaluateScalarTrack(frame, &n->fieldOfView);
      EvaluateScalarTrack(frame, &n->roll);
      EvaluateVectorTrack(frame, &n->colour);
      EvaluateScalarTrack(frame, &n->hotspot);
      EvaluateScalarTrack(frame, &n->falloff);
    }
  });
}
