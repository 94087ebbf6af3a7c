// Chunk writing for 3D Studio scene files, and the scene description laid out
// as the chunks the engine reads.
#include "tools/scenewriter/scenewriter.h"

#include <cstdio>
#include <cstring>

namespace scenewriter {

void ChunkWriter::Begin(std::uint16_t id) {
  open.push_back(bytes.size());
  U16(id);
  U32(0);  // patched by End
}

void ChunkWriter::End() {
  if (open.empty()) return;
  const std::size_t start = open.back();
  open.pop_back();
  const std::uint32_t length = static_cast<std::uint32_t>(bytes.size() - start);
  for (int i = 0; i < 4; ++i) bytes[start + 2 + i] = static_cast<std::uint8_t>(length >> (8 * i));
}

void ChunkWriter::U8(std::uint8_t v) { bytes.push_back(v); }

void ChunkWriter::U16(std::uint16_t v) {
  bytes.push_back(static_cast<std::uint8_t>(v));
  bytes.push_back(static_cast<std::uint8_t>(v >> 8));
}

void ChunkWriter::U32(std::uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void ChunkWriter::F32(float v) {
  std::uint32_t bits;
  std::memcpy(&bits, &v, 4);
  U32(bits);
}

void ChunkWriter::Vec(float x, float y, float z) {
  F32(x);
  F32(y);
  F32(z);
}

void ChunkWriter::Str(const std::string& s) {
  bytes.insert(bytes.end(), s.begin(), s.end());
  bytes.push_back(0);
}

void ChunkWriter::Raw(const std::vector<std::uint8_t>& data) { bytes.insert(bytes.end(), data.begin(), data.end()); }

void ChunkWriter::Chunk(std::uint16_t id, const std::vector<std::uint8_t>& data,
                        std::optional<std::uint32_t> storedLength) {
  U16(id);
  U32(storedLength ? *storedLength : static_cast<std::uint32_t>(data.size() + 6));
  Raw(data);
}

namespace {

void WriteColour(ChunkWriter& w, std::uint16_t id, const Colour& c) {
  w.Begin(id);
  if (c.asBytes) {
    w.Begin(0x0011);
    w.U8(static_cast<std::uint8_t>(c.r));
    w.U8(static_cast<std::uint8_t>(c.g));
    w.U8(static_cast<std::uint8_t>(c.b));
    w.End();
  } else {
    w.Begin(0x0010);
    w.Vec(c.r, c.g, c.b);
    w.End();
  }
  w.End();
}

void WriteMap(ChunkWriter& w, std::uint16_t id, const TextureMap& map) {
  w.Begin(id);
  w.Begin(0x0030);
  w.I16(map.percentage);
  w.End();
  w.Begin(0xA300);
  w.Str(map.file);
  w.End();
  if (map.uScale) {
    w.Begin(0xA354);
    w.F32(*map.uScale);
    w.End();
  }
  if (map.vScale) {
    w.Begin(0xA356);
    w.F32(*map.vScale);
    w.End();
  }
  w.End();
}

void WriteSpline(ChunkWriter& w, const Spline& s) {
  std::uint16_t word = 0;
  const float fields[5] = {s.tension, s.continuity, s.bias, s.easeTo, s.easeFrom};
  for (int i = 0; i < 5; ++i)
    if (fields[i] != 0.0f) word |= static_cast<std::uint16_t>(1u << i);
  for (const auto& [bit, value] : s.unknown) {
    (void)value;
    if (bit >= 5 && bit < 16) word |= static_cast<std::uint16_t>(1u << bit);
  }
  w.U16(word);
  for (int bit = 0; bit < 16; ++bit) {
    if (!(word & (1u << bit))) continue;
    if (bit < 5) {
      w.F32(fields[bit]);
    } else {
      for (const auto& [b, value] : s.unknown) {
        if (b == bit) {
          w.F32(value);
          break;
        }
      }
    }
  }
}

template <class K, class Values>
void WriteTrack(ChunkWriter& w, std::uint16_t id, const Track<K>& track, Values values) {
  w.Begin(id);
  w.U16(track.flags);
  for (int i = 0; i < 8; ++i) w.U8(0);
  w.U32(static_cast<std::uint32_t>(track.keys.size()));
  for (const K& key : track.keys) {
    w.I32(key.frame);
    WriteSpline(w, key.spline);
    values(key);
  }
  w.End();
}

}  // namespace

void WriteMaterial(ChunkWriter& w, const Material& m) {
  w.Begin(0xAFFF);
  w.Begin(0xA000);
  w.Str(m.name);
  w.End();
  if (m.ambient) WriteColour(w, 0xA010, *m.ambient);
  if (m.diffuse) WriteColour(w, 0xA020, *m.diffuse);
  if (m.specular) WriteColour(w, 0xA030, *m.specular);
  if (m.twoSided) {
    w.Begin(0xA081);
    w.End();
  }
  if (m.selfIllumination) {
    w.Begin(0xA084);
    w.Begin(0x0030);
    w.I16(*m.selfIllumination);
    w.End();
    w.End();
  }
  if (m.shading) {
    w.Begin(0xA100);
    w.U16(*m.shading);
    w.End();
  }
  if (m.texture) WriteMap(w, 0xA200, *m.texture);
  if (m.bumpMap) WriteMap(w, 0xA230, *m.bumpMap);
  w.End();
}

void WriteMesh(ChunkWriter& w, const Mesh& mesh) {
  w.Begin(0x4000);
  w.Str(mesh.name);
  w.Begin(0x4100);
  w.Begin(0x4110);
  w.U16(static_cast<std::uint16_t>(mesh.vertices.size()));
  for (const Vec3& v : mesh.vertices) w.Vec(v.x, v.y, v.z);
  w.End();
  if (!mesh.texCoords.empty()) {
    w.Begin(0x4140);
    w.U16(static_cast<std::uint16_t>(mesh.texCoords.size()));
    for (const auto& [u, v] : mesh.texCoords) {
      w.F32(u);
      w.F32(v);
    }
    w.End();
  }
  if (mesh.axes) {
    w.Begin(0x4160);
    const Axes& a = *mesh.axes;
    w.Vec(a.x.x, a.x.y, a.x.z);
    w.Vec(a.y.x, a.y.y, a.y.z);
    w.Vec(a.z.x, a.z.y, a.z.z);
    w.Vec(a.origin.x, a.origin.y, a.origin.z);
    w.End();
  }
  w.Begin(0x4120);
  w.U16(static_cast<std::uint16_t>(mesh.faces.size()));
  for (const Face& f : mesh.faces) {
    w.U16(f.a);
    w.U16(f.b);
    w.U16(f.c);
    w.U16(f.flags);
  }
  for (const MaterialGroup& g : mesh.groups) {
    w.Begin(0x4130);
    w.Str(g.material);
    w.U16(static_cast<std::uint16_t>(g.faces.size()));
    for (std::uint16_t face : g.faces) w.U16(face);
    w.End();
  }
  if (mesh.smoothingGroups) {
    w.Begin(0x4150);
    for (std::size_t i = 0; i < mesh.faces.size(); ++i) w.U32(1);
    w.End();
  }
  w.End();
  w.End();
  w.End();
}

void WriteLight(ChunkWriter& w, const Light& light) {
  w.Begin(0x4000);
  w.Str(light.name);
  w.Begin(0x4600);
  w.Vec(light.position.x, light.position.y, light.position.z);
  if (light.colour) {
    if (light.colour->asBytes) {
      w.Begin(0x0011);
      w.U8(static_cast<std::uint8_t>(light.colour->r));
      w.U8(static_cast<std::uint8_t>(light.colour->g));
      w.U8(static_cast<std::uint8_t>(light.colour->b));
    } else {
      w.Begin(0x0010);
      w.Vec(light.colour->r, light.colour->g, light.colour->b);
    }
    w.End();
  }
  if (light.spot) {
    w.Begin(0x4610);
    w.Vec(light.spotTarget.x, light.spotTarget.y, light.spotTarget.z);
    w.F32(light.hotspot);
    w.F32(light.falloff);
    w.End();
  }
  if (light.off) {
    w.Begin(0x4620);
    w.End();
  }
  w.End();
  w.End();
}

void WriteCamera(ChunkWriter& w, const Camera& camera) {
  w.Begin(0x4000);
  w.Str(camera.name);
  w.Begin(0x4700);
  w.Vec(camera.position.x, camera.position.y, camera.position.z);
  w.Vec(camera.target.x, camera.target.y, camera.target.z);
  w.F32(camera.bank);
  w.F32(camera.lens);
  if (camera.ranges) {
    w.Begin(0x4720);
    w.F32(camera.ranges->first);
    w.F32(camera.ranges->second);
    w.End();
  }
  w.End();
  w.End();
}

void WriteNode(ChunkWriter& w, const Node& node) {
  w.Begin(static_cast<std::uint16_t>(node.kind));
  if (node.id) {
    w.Begin(0xB030);
    w.I16(*node.id);
    w.End();
  }
  w.Begin(0xB010);
  w.Str(node.name);
  w.U16(node.flags1);
  w.U16(node.flags2);
  w.I16(node.hierarchy);
  w.End();
  if (node.instance) {
    w.Begin(0xB011);
    w.Str(*node.instance);
    w.End();
  }
  if (node.pivot) {
    w.Begin(0xB013);
    w.Vec(node.pivot->x, node.pivot->y, node.pivot->z);
    w.End();
  }
  auto vector = [&w](const VectorKey& k) { w.Vec(k.value.x, k.value.y, k.value.z); };
  auto scalar = [&w](const ScalarKey& k) { w.F32(k.value); };
  if (node.position) WriteTrack(w, 0xB020, *node.position, vector);
  if (node.rotation)
    WriteTrack(w, 0xB021, *node.rotation, [&w](const RotationKey& k) {
      w.F32(k.angle);
      w.Vec(k.axis.x, k.axis.y, k.axis.z);
    });
  if (node.scale) WriteTrack(w, 0xB022, *node.scale, vector);
  if (node.fieldOfView) WriteTrack(w, 0xB023, *node.fieldOfView, scalar);
  if (node.roll) WriteTrack(w, 0xB024, *node.roll, scalar);
  if (node.colour) WriteTrack(w, 0xB025, *node.colour, vector);
  if (node.morph) WriteTrack(w, 0xB026, *node.morph, [&w](const MorphKey& k) { w.Str(k.target); });
  if (node.hotspot) WriteTrack(w, 0xB027, *node.hotspot, scalar);
  if (node.falloff) WriteTrack(w, 0xB028, *node.falloff, scalar);
  if (node.hide) {
    // Hide keys carry only their frame and an empty flag word.
    w.Begin(0xB029);
    w.U16(node.hide->flags);
    for (int i = 0; i < 8; ++i) w.U8(0);
    w.U32(static_cast<std::uint32_t>(node.hide->keys.size()));
    for (const HideKey& k : node.hide->keys) {
      w.I32(k.frame);
      w.U16(0);
    }
    w.End();
  }
  w.End();
}

void WriteKeyframer(ChunkWriter& w, const Keyframer& kf) {
  w.Begin(0xB000);
  w.Begin(0xB00A);
  w.U16(kf.revision);
  w.Str(kf.fileName);
  w.U32(kf.frameCount);
  w.End();
  w.Begin(0xB008);
  w.U32(0);
  w.U32(kf.frameCount);
  w.End();
  for (const Node& node : kf.nodes) WriteNode(w, node);
  w.End();
}

std::vector<std::uint8_t> Write(const Scene& scene) {
  ChunkWriter w;
  w.Begin(0x4D4D);
  w.Begin(0x0002);
  w.U32(scene.version);
  w.End();
  w.Begin(0x3D3D);
  w.Begin(0x3D3E);
  w.U32(3);
  w.End();
  for (const Material& m : scene.materials) WriteMaterial(w, m);
  w.Begin(0x0100);  // master scale
  w.F32(1.0f);
  w.End();
  for (const Mesh& m : scene.meshes) WriteMesh(w, m);
  for (const Light& l : scene.lights) WriteLight(w, l);
  for (const Camera& c : scene.cameras) WriteCamera(w, c);
  w.End();
  if (scene.keyframer) WriteKeyframer(w, *scene.keyframer);
  w.End();
  return w.Take();
}

bool SaveFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && written;
}

}  // namespace scenewriter
