// Polygon drawing: collect, project, clip at the near plane, draw as fans.
#include "gfx/draw.h"

#include <algorithm>
#include <cmath>

#include "gfx/device.h"

Polygon polygonList[maxPolygons];
int polygonCount = 0;

GrVertex clipVertices[maxClipVertices];
int clipVertexCount = 0;

float tanHalfFov = 0, nearW = 0, projScaleX = 0, projScaleY = 0, projCenterX = 0, projCenterY = 0;

namespace {

// Components outside 0 to 255 would index past the channel tables.
inline int ColorIndex(float v) {
  if (!(v > 0.0f)) return 0;
  if (v >= 255.0f) return 255;
  return static_cast<int>(v);
}

inline float Clamp255(float v) { return v > 0.0f ? (v < 255.0f ? v : 255.0f) : 0.0f; }

// Writes the next clip vertex from an eye-space point and its w. Never more than
// maxClipVertices: the loop below emits at most count + 1.
void EmitVertex(float x, float y, float r, float g, float b, float s, float t, float w) {
  if (clipVertexCount >= maxClipVertices) return;
  GrVertex& out = clipVertices[clipVertexCount];
  out.x = std::trunc(x * w * projScaleX + projCenterX) * 0.0625f;
  out.y = std::trunc(y * w * projScaleY + projCenterY) * 0.0625f;
  out.r = Clamp255(r);
  out.g = Clamp255(g);
  out.b = Clamp255(b);
  out.oow = w;
  out.tmuvtx[0].oow = w;
  out.tmuvtx[0].sow = s * w;
  out.tmuvtx[0].tow = t * w;
  ++clipVertexCount;
}

}  // namespace

void ResetClipVertices() {
  for (GrVertex& v : clipVertices) {
    v.z = 1.0f;
    v.ooz = 0.0f;
    v.a = 255.0f;
  }
}

int CollectPolygon(Polygon* p) {
  if (!p || !(p->flags & polygonEmit)) return 1;
  if (polygonCount >= maxPolygons) return 0;
  const int count = std::clamp(p->count, 0, Polygon::maxVertices);
  float sum = 0.0f;
  for (int i = 0; i < count; ++i) sum += p->vertices[i].z;
  // A polygon without vertices has no mean depth; it is kept but never drawn.
  p->depth = count > 0 ? sum / static_cast<float>(count) : 0.0f;
  polygonList[polygonCount++] = *p;
  return 1;
}

void ProjectVertex(const PolygonVertex* v) {
  const float w = 1.0f / (v->z + tanHalfFov);
  EmitVertex(v->x, v->y, v->r, v->g, v->b, v->s, v->t, w);
}

void EmitNearIntersection(const PolygonVertex* a, const PolygonVertex* b, float f) {
  const float g = 1.0f - f;
  EmitVertex(f * a->x + g * b->x, f * a->y + g * b->y, f * a->r + g * b->r, f * a->g + g * b->g,
             f * a->b + g * b->b, f * a->s + g * b->s, f * a->t + g * b->t, nearW);
}

void SetProjection(float fieldOfView) {
  tanHalfFov = static_cast<float>(std::tan(fieldOfView * 0.0027777777777777775 * 3.14159265359));
  nearW = 1.0f / (tanHalfFov + 1.0f);
  projScaleX = static_cast<float>(viewWidth) * 0.5f / tanHalfFov * 16.0f;
  projScaleY = static_cast<float>(viewHeight) * 0.5f / tanHalfFov * 16.0f *
               (viewHeight != 0 ? static_cast<float>(viewWidth) / static_cast<float>(viewHeight) : 0.0f);
  projCenterX = (static_cast<float>(screenWidth) * 0.5f - 0.5f) * 16.0f;
  projCenterY = (static_cast<float>(screenHeight) * 0.5f - 0.5f) * 16.0f;
}

void DrawPolygonList(Polygon* list, int count, Texture* textureTable, float fieldOfView,
                     int fadeLevel) {
  grTexMipMapMode(GR_TMU0, GR_MIPMAP_NEAREST_DITHER, FXTRUE);
  grTexCombine(GR_TMU0, GR_COMBINE_FUNCTION_LOCAL, GR_COMBINE_FACTOR_ZERO, GR_COMBINE_FUNCTION_LOCAL,
               GR_COMBINE_FACTOR_ZERO, FXFALSE, FXFALSE);
  grDitherMode(ditherEnabled ? GR_DITHER_4x4 : GR_DITHER_DISABLE);
  grChromakeyMode(GR_CHROMAKEY_DISABLE);
  grTexFilterMode(GR_TMU0, GR_TEXTUREFILTER_BILINEAR, GR_TEXTUREFILTER_BILINEAR);
  grDepthBufferMode(GR_DEPTHBUFFER_WBUFFER);
  grDepthBufferFunction(GR_CMP_LESS);
  grDepthMask(FXTRUE);
  grTexClampMode(GR_TMU0, GR_TEXTURECLAMP_WRAP, GR_TEXTURECLAMP_WRAP);

  SetProjection(fieldOfView);
  grClipWindow(static_cast<FxU32>((screenWidth - viewWidth) / 2),
               static_cast<FxU32>((screenHeight - viewHeight) / 2),
               static_cast<FxU32>((screenWidth + viewWidth) / 2),
               static_cast<FxU32>((screenHeight + viewHeight) / 2));
  grGammaCorrectionValue(static_cast<float>(fadeLevel) * (1.0f / 255.0f) * 1.5f);

  if (!list) return;
  for (int i = 0; i < count; ++i) {
    const Polygon& p = list[i];
    if (p.count <= 0 || !(p.flags & polygonEmit)) continue;
    const int n = std::min(p.count, Polygon::maxVertices);

    clipVertexCount = 0;
    const PolygonVertex* prev = &p.vertices[n - 1];
    for (int j = 0; j < n; ++j) {
      const PolygonVertex* cur = &p.vertices[j];
      // Only evaluated for an edge that crosses the plane, so the divisor is not 0.
      auto crossing = [&] { return 1.0f - (1.0f - prev->z) / (cur->z - prev->z); };
      if (prev->z < 1.0f && cur->z >= 1.0f) {
        EmitNearIntersection(prev, cur, crossing());
      } else if (prev->z >= 1.0f) {
        ProjectVertex(prev);
        if (cur->z < 1.0f) EmitNearIntersection(prev, cur, crossing());
      }
      prev = cur;
    }
    if (clipVertexCount == 0) continue;

    const int mode = p.flags & polygonShadingMask;
    const bool flat = (mode & 3) == 0;
    if (flat) {
      const PolygonVertex& v0 = p.vertices[0];
      grConstantColorValue(alphaShift[255] | redShift[ColorIndex(v0.r)] |
                           greenShift[ColorIndex(v0.g)] | blueShift[ColorIndex(v0.b)]);
    }
    const GrCombineLocal_t local = flat ? GR_COMBINE_LOCAL_CONSTANT : GR_COMBINE_LOCAL_ITERATED;
    if (mode & polygonTextured)
      grColorCombine(GR_COMBINE_FUNCTION_SCALE_OTHER, GR_COMBINE_FACTOR_LOCAL, local,
                     GR_COMBINE_OTHER_TEXTURE, FXFALSE);
    else
      grColorCombine(GR_COMBINE_FUNCTION_LOCAL, GR_COMBINE_FACTOR_ZERO, local,
                     GR_COMBINE_OTHER_CONSTANT, FXFALSE);

    if ((p.flags & polygonTextured) && textureTable && p.texture >= 0 && p.texture < maxTextures) {
      Texture& t = textureTable[p.texture];
      grTexSource(GR_TMU0, t.startAddress, GR_MIPMAPLEVELMASK_BOTH, t.Descriptor());
    }
    grCullMode((p.flags & polygonTwoSided) ? GR_CULL_DISABLE : GR_CULL_NEGATIVE);

    const GrVertex* c = clipVertices;
    if (clipVertexCount >= 3) {
      for (int j = 1; j <= clipVertexCount - 2; ++j) guDrawTriangleWithClip(&c[0], &c[j], &c[j + 1]);
    } else if (clipVertexCount == 2) {
      guDrawTriangleWithClip(&c[0], &c[1], &c[0]);
    } else {
      guDrawTriangleWithClip(&c[0], &c[0], &c[0]);
    }
  }
}
