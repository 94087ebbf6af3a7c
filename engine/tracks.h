// Keyframe tracks: tangent set-up after loading and evaluation at a float frame.
// Scalar and vector tracks are Hermite splines with tension, continuity and bias
// tangents and per-key easing; rotation tracks compose axis-angle rotations onto
// the cumulative matrix of the previous key; hide tracks toggle at their keys.
#pragma once

#include "engine/scene.h"

void ComputeScalarTangents(ScalarTrack* track);
void ComputeVectorTangents(VectorTrack* track);
// Builds each rotation key's cumulative matrix and inverse from the key angles and
// axes (the first key's angle is expected to be 0).
void PrepareRotationKeys(RotationTrack* track);

void EvaluateScalarTrack(float frame, ScalarTrack* track);
void EvaluateVectorTrack(float frame, VectorTrack* track);
void EvaluateRotationTrack(float frame, RotationTrack* track);
void EvaluateHideTrack(float frame, HideTrack* track);

// Segment parameter u in [0, 1) after the ease-from of the previous key (e1) and
// the ease-to of the next key (e2).
float EaseParameter(float u, float easeFrom, float easeTo);

// Evaluates the node, its following siblings and all their descendants: hide,
// position, rotation and scale always; field of view, roll, colour, hotspot and
// falloff only while the node is visible. Morph tracks are never evaluated.
void EvaluateNodeTracks(Node* node, float frame);
