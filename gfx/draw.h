// Polygon drawing: the frame's polygon list filled by the scene engine's sink, and
// its projection, near-plane clipping and drawing as accelerator triangles.
#pragma once

#include <cstdint>

#include "engine/polygon.h"
#include "gfx/texture.h"
#include "platform/glide/glide.h"

// 16384 polygons a frame; beyond that the collector refuses.
inline constexpr int maxPolygons = 16384;
// Clipping a polygon of at most Polygon::maxVertices (8) against one plane adds at
// most one vertex.
inline constexpr int maxClipVertices = Polygon::maxVertices + 1;
static_assert(maxClipVertices == 9);

extern Polygon polygonList[maxPolygons];
extern int polygonCount;

extern GrVertex clipVertices[maxClipVertices];
extern int clipVertexCount;

extern float tanHalfFov, nearW, projScaleX, projScaleY, projCenterX, projCenterY;

// Gives every clip vertex z 1.0, ooz 0.0 and alpha 255.0 (done at initialisation).
void ResetClipVertices();

// The TriangleSink: 1 to go on, 0 when the list is full.
int CollectPolygon(Polygon* polygon);
void DrawPolygonList(Polygon* list, int count, Texture* textureTable, float fieldOfView,
                     int fadeLevel);
// Append one clip vertex: a vertex at z >= 1, or the near-plane point between a and b.
void ProjectVertex(const PolygonVertex* vertex);
void EmitNearIntersection(const PolygonVertex* a, const PolygonVertex* b, float f);
// Only the projection step of DrawPolygonList (the constants above), for callers
// that project without drawing.
void SetProjection(float fieldOfView);
