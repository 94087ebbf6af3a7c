// The material chunk of the 3D editor section: name, colours, shading, sides,
// self-illumination and the texture map whose file name the renderer uses.
#include <cstdlib>
#include <cstring>

#include "engine/chunks.h"
#include "engine/scene.h"

namespace {

// ---- Colours ----------------------------------------------------------------

struct ColourValues {
  bool haveFloat = false, haveBytes = false;
  Vector fromFloat{}, fromBytes{};
};

bool ReadFloatColour(ColourValues& values, Chunk& chunk) {
  if (chunk.length != 12) return Fail("a colour chunk has the wrong size");
  ReadVector(chunk, values.fromFloat);
  values.haveFloat = true;
  return true;
}

bool ReadByteColour(ColourValues& values, Chunk& chunk) {
  if (chunk.length != 3) return Fail("a colour chunk has the wrong size");
  values.fromBytes = {static_cast<float>(chunk.data[0]), static_cast<float>(chunk.data[1]),
                      static_cast<float>(chunk.data[2])};
  values.haveBytes = true;
  return true;
}

constexpr ChunkHandler<ColourValues> colourHandlers[] = {
    {0x0010, ReadFloatColour},
    {0x0011, ReadByteColour},
};

// Reads a material colour: floats (0 to 1) win over bytes (0 to 255); a colour
// with neither fails. Other sub-chunks are passed over without a trace.
bool ReadColour(Chunk& chunk, Vector& colour) {
  ColourValues values;
  const bool ok = ForEachSubChunk(chunk, [&values](Chunk& sub) {
    for (const auto& row : colourHandlers)
      if (row.id == sub.id) return row.read(values, sub);
    return true;
  });
  if (!ok) return false;
  if (values.haveFloat) {
    colour = values.fromFloat;
  } else if (values.haveBytes) {
    colour = values.fromBytes;
  } else {
    return Fail("a material colour has neither float nor byte values");
  }
  return true;
}

// ---- Texture maps -----------------------------------------------------------

struct TextureMapInfo {
  std::int16_t percentage;
  char fileName[textureFileSize];
  std::uint16_t tiling;
  float blur;
  float uScale, vScale, uOffset, vOffset, rotation;
  Vector colour1, colour2, redTint, greenTint, blueTint;
};

bool CutShort() { return Fail("a texture map field is cut short"); }

bool ReadMapPercentage(TextureMapInfo& map, Chunk& chunk) { return ReadI16(chunk, map.percentage) || CutShort(); }

bool ReadMapFileName(TextureMapInfo& map, Chunk& chunk) {
  ReadString(chunk, map.fileName, sizeof map.fileName);
  return true;
}

bool ReadMapTiling(TextureMapInfo& map, Chunk& chunk) { return ReadU16(chunk, map.tiling) || CutShort(); }

template <float TextureMapInfo::*field>
bool ReadMapFloat(TextureMapInfo& map, Chunk& chunk) {
  return ReadFloat(chunk, map.*field) || CutShort();
}

// A map colour is three floats in some files and three bytes (0 to 255, the
// scale of the defaults) in others; a chunk of any other size is passed over.
template <Vector TextureMapInfo::*field>
bool ReadMapColour(TextureMapInfo& map, Chunk& chunk) {
  if (chunk.length >= 12) return ReadVector(chunk, map.*field);
  if (chunk.length == 3)
    map.*field = {static_cast<float>(chunk.data[0]), static_cast<float>(chunk.data[1]),
                  static_cast<float>(chunk.data[2])};
  return true;
}

constexpr ChunkHandler<TextureMapInfo> textureMapHandlers[] = {
    {0x0030, ReadMapPercentage},
    {0xA300, ReadMapFileName},
    {0xA351, ReadMapTiling},
    {0xA353, ReadMapFloat<&TextureMapInfo::blur>},
    {0xA354, ReadMapFloat<&TextureMapInfo::uScale>},
    {0xA356, ReadMapFloat<&TextureMapInfo::vScale>},
    {0xA358, ReadMapFloat<&TextureMapInfo::uOffset>},
    {0xA35A, ReadMapFloat<&TextureMapInfo::vOffset>},
    {0xA35C, ReadMapFloat<&TextureMapInfo::rotation>},
    {0xA360, ReadMapColour<&TextureMapInfo::colour1>},
    {0xA362, ReadMapColour<&TextureMapInfo::colour2>},
    {0xA364, ReadMapColour<&TextureMapInfo::redTint>},
    {0xA366, ReadMapColour<&TextureMapInfo::greenTint>},
    {0xA368, ReadMapColour<&TextureMapInfo::blueTint>},
};

// Every map and mask has this layout; only the texture map's file name is used.
// Unknown sub-chunks are passed over without a trace.
bool ReadTextureMap(Chunk& chunk, TextureMapInfo& map) {
  map = {};
  map.uScale = map.vScale = 1.0f;
  map.colour2 = {255.0f, 255.0f, 255.0f};
  map.redTint = {255.0f, 0.0f, 0.0f};
  map.greenTint = {0.0f, 255.0f, 0.0f};
  map.blueTint = {0.0f, 0.0f, 255.0f};
  return ForEachSubChunk(chunk, [&map](Chunk& sub) {
    for (const auto& row : textureMapHandlers)
      if (row.id == sub.id) return row.read(map, sub);
    return true;
  });
}

// ---- Material fields --------------------------------------------------------

bool ReadMaterialName(Material& material, Chunk& chunk) {
  const std::uint32_t n = chunk.length < sceneNameSize - 1 ? chunk.length : sceneNameSize - 1;
  std::memcpy(material.name, chunk.data, n);
  material.name[n] = 0;
  SCENE_TRACE("  Material: \"%s\"\n", material.name);
  return true;
}

bool ReadAmbient(Material& material, Chunk& chunk) { return ReadColour(chunk, material.ambient); }
bool ReadDiffuse(Material& material, Chunk& chunk) { return ReadColour(chunk, material.diffuse); }
bool ReadSpecular(Material& material, Chunk& chunk) { return ReadColour(chunk, material.specular); }

bool ReadTwoSided(Material& material, Chunk&) {
  material.flags |= materialTwoSided;
  return true;
}

bool ReadSelfIlluminationPercent(Material& material, Chunk& chunk) {
  std::int16_t percent;
  if (!ReadI16(chunk, percent)) return false;
  material.selfIllumination = static_cast<float>(percent) * 0.01f;
  return true;
}

constexpr ChunkHandler<Material> selfIlluminationHandlers[] = {{0x0030, ReadSelfIlluminationPercent}};

bool ReadSelfIllumination(Material& material, Chunk& chunk) {
  return DispatchSubChunks(chunk, material, selfIlluminationHandlers, {6, "self illuminating chunk"});
}

bool ReadShading(Material& material, Chunk& chunk) {
  std::uint16_t v;
  if (chunk.length != 2 || !ReadU16(chunk, v) || v < 1 || v > 4)
    return Fail("a material's shading value is not 1 to 4");
  material.flags = (material.flags & ~materialShadingMask) | (v - 1);
  return true;
}

bool ReadMaterialTexture(Material& material, Chunk& chunk) {
  TextureMapInfo map;
  if (!ReadTextureMap(chunk, map)) return false;
  std::memcpy(material.textureFile, map.fileName, textureFileSize);
  material.flags |= materialTextured;
  SCENE_TRACE("    texture filename: \"%s\"\n", material.textureFile);
  return true;
}

// The other maps and masks are read like the texture map and dropped.
bool ReadUnusedMap(Material&, Chunk& chunk) {
  TextureMapInfo scratch;
  return ReadTextureMap(chunk, scratch);
}

constexpr ChunkHandler<Material> materialHandlers[] = {
    {0xA000, ReadMaterialName},    {0xA010, ReadAmbient},          {0xA020, ReadDiffuse},
    {0xA030, ReadSpecular},        {0xA081, ReadTwoSided},         {0xA084, ReadSelfIllumination},
    {0xA100, ReadShading},         {0xA200, ReadMaterialTexture},  {0xA204, ReadUnusedMap},
    {0xA210, ReadUnusedMap},       {0xA220, ReadUnusedMap},        {0xA230, ReadUnusedMap},
    {0xA33A, ReadUnusedMap},       {0xA33C, ReadUnusedMap},        {0xA33D, ReadUnusedMap},
    {0xA33E, ReadUnusedMap},       {0xA340, ReadUnusedMap},        {0xA342, ReadUnusedMap},
    {0xA344, ReadUnusedMap},       {0xA346, ReadUnusedMap},        {0xA348, ReadUnusedMap},
    {0xA34A, ReadUnusedMap},       {0xA34C, ReadUnusedMap},
};

// Transparency, reflection, wire and other settings the renderer has no use for.
constexpr std::uint16_t materialSkipped[] = {0xA040, 0xA041, 0xA050, 0xA052, 0xA053, 0xA083, 0xA085, 0xA087,
                                             0xA088, 0xA08A, 0xA08C, 0xA08E, 0xA240, 0xA250, 0xA310};

}  // namespace

bool ReadMaterial(Scene* scene, Chunk& chunk) {
  if (scene->materialCount >= maxMaterials) return Fail("more than 256 materials");
  auto* material = static_cast<Material*>(std::calloc(1, sizeof(Material)));
  if (!material) return false;
  material->flags = materialCreated;
  material->textureIndex = 0;
  if (!DispatchSubChunks(chunk, *material, materialHandlers, {4, "Material chunk"}, materialSkipped)) {
    std::free(material);
    return false;
  }
  scene->materials[scene->materialCount++] = material;
  return true;
}
