// sceneinfo: loads a 3D Studio scene through the engine and prints a canonical,
// diff-friendly summary of it (text or JSON), optionally posed at one frame.
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/read3ds.h"
#include "engine/render.h"
#include "stream/filelib.h"
#include "stream/stream.h"
#include "tools/sceneinfo/options.h"

namespace {

// Three decimals, with -0.000 printed as 0.000 so that dumps compare equal.
double Round3(double v) {
  if (!std::isfinite(v)) return v;
  double r = std::round(v * 1000.0) / 1000.0;
  return r == 0.0 ? 0.0 : r;
}

std::string Fixed(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.3f", Round3(v));
  return buf;
}

std::string Triple(const Vector& v) { return Fixed(v.x) + " " + Fixed(v.y) + " " + Fixed(v.z); }

nlohmann::ordered_json JsonNumber(double v) {
  if (!std::isfinite(v)) return nullptr;
  return Round3(v);
}

nlohmann::ordered_json JsonTriple(const Vector& v) { return {JsonNumber(v.x), JsonNumber(v.y), JsonNumber(v.z)}; }

// Texts and file names are bytes from the file; escape what a terminal or a
// JSON reader would trip over.
std::string Quoted(const char* s) {
  std::string out = "\"";
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s); *p; ++p) {
    if (*p == '"' || *p == '\\') {
      out += '\\';
      out += static_cast<char>(*p);
    } else if (*p < 0x20 || *p >= 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", *p);
      out += buf;
    } else {
      out += static_cast<char>(*p);
    }
  }
  return out + "\"";
}

// Bytes that are not valid UTF-8 are kept as Latin-1 characters in JSON.
std::string Utf8(const char* s) {
  std::string out;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s); *p; ++p) {
    if (*p < 0x80) {
      out += static_cast<char>(*p);
    } else {
      out += static_cast<char>(0xC0 | (*p >> 6));
      out += static_cast<char>(0x80 | (*p & 0x3F));
    }
  }
  return out;
}

const char* KindName(int kind) {
  switch (kind) {
    case nodeMesh: return "mesh";
    case nodeLight: return "light";
    case nodeLightTarget: return "light-target";
    case nodeSpotlight: return "spotlight";
    case nodeCamera: return "camera";
    case nodeCameraTarget: return "camera-target";
    default: return "unknown";
  }
}

struct TrackCounts {
  const char* name;
  int count;
};

std::vector<TrackCounts> KeyCounts(const Node* n) {
  return {{"position", n->position.keyCount}, {"rotation", n->rotation.keyCount},
          {"scale", n->scale.keyCount},       {"fov", n->fieldOfView.keyCount},
          {"roll", n->roll.keyCount},         {"colour", n->colour.keyCount},
          {"morph", n->morph.keyCount},       {"hotspot", n->hotspot.keyCount},
          {"falloff", n->falloff.keyCount},   {"hide", n->hide.keyCount}};
}

// Nodes in file order: each node was appended after everything read before it,
// so a walk that visits a node before its children and its children before its
// following siblings meets them in the order they were read.
std::vector<Node*> NodesInFileOrder(Scene* scene) {
  std::vector<Node*> nodes;
  for (int i = 0; i < scene->rootCount; ++i)
    VisitNodesParentFirst(scene->roots[i], [&nodes](Node* n) { nodes.push_back(n); });
  return nodes;
}

// The posed frame, gathered through the triangle sink.
struct FrameStats {
  long triangles = 0;
  Vector min{std::numeric_limits<float>::infinity(), std::numeric_limits<float>::infinity(),
             std::numeric_limits<float>::infinity()};
  Vector max{-std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
             -std::numeric_limits<float>::infinity()};
};
FrameStats frameStats;

int CountTriangle(Polygon* polygon) {
  ++frameStats.triangles;
  for (int i = 0; i < polygon->count && i < Polygon::maxVertices; ++i) {
    const PolygonVertex& v = polygon->vertices[i];
    frameStats.min = {std::fmin(frameStats.min.x, v.x), std::fmin(frameStats.min.y, v.y),
                      std::fmin(frameStats.min.z, v.z)};
    frameStats.max = {std::fmax(frameStats.max.x, v.x), std::fmax(frameStats.max.y, v.y),
                      std::fmax(frameStats.max.z, v.z)};
  }
  return 1;
}

// Opens a file for reading; on failure says why, as the system gives it.
bool OpenFile(TFile& file, const char* path, std::string& error) {
  struct stat info;
  const int why = stat(path, &info) != 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR : 0;
  file.SetName(path);
  if (why == 0 && file.Open(modeRead)) return true;
  error = std::string("cannot open ") + path + ": " + std::strerror(why ? why : errno);
  return false;
}

Scene* Load(const SceneinfoOptions& options, std::string& error) {
  const char* path = options.file.c_str();
  TFile file;
  if (!OpenFile(file, path, error)) return nullptr;
  if (options.member.empty()) {
    Scene* scene = ReadSceneStream(&file);
    if (!scene) error = options.file + ": not a readable 3D Studio scene: " + SceneReadError();
    return scene;
  }
  const char* member = options.member.c_str();
  TFileLib lib(&file);
  if (lib.Error()) {
    error = options.file + ": not a valid archive";
    return nullptr;
  }
  if (!lib.Find(member)) {
    error = options.file + ": no member " + options.member;
    return nullptr;
  }
  Scene* scene = ReadSceneFile(&lib, member);
  if (!scene) error = options.file + ": " + options.member + ": not a readable 3D Studio scene: " + SceneReadError();
  return scene;
}

// What both output forms print: the nodes in file order with their indices, the
// vertex sum of every mesh and the posed frame.
struct Summary {
  std::vector<Node*> nodes;
  std::map<const Node*, int> index;
  std::vector<Vector> sums;
  bool posed = false;
  float frame = 0.0f;
  bool drawn = false;
  const char* notDrawnReason = nullptr;
  float fov = 0.0f;
};

Summary Summarise(Scene* scene, const SceneinfoOptions& options) {
  Summary summary;
  summary.nodes = NodesInFileOrder(scene);
  for (std::size_t i = 0; i < summary.nodes.size(); ++i) summary.index[summary.nodes[i]] = static_cast<int>(i);
  summary.posed = options.posed;
  summary.frame = options.frame;
  if (options.posed) {
    float written = std::numeric_limits<float>::quiet_NaN();
    const FrameOutcome outcome = DrawSceneFrame(scene, CountTriangle, options.frame, &written);
    summary.drawn = outcome == FrameOutcome::drawn;
    if (!summary.drawn) summary.notDrawnReason = FrameOutcomeText(outcome);
    summary.fov = written;
  }
  for (int i = 0; i < scene->meshCount; ++i) {
    const Mesh& m = scene->meshes[i];
    double x = 0, y = 0, z = 0;
    for (int v = 0; v < m.vertexCount; ++v) {
      x += m.vertices[v].x;
      y += m.vertices[v].y;
      z += m.vertices[v].z;
    }
    summary.sums.push_back({static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)});
  }
  return summary;
}

using Json = nlohmann::ordered_json;

Json JsonRecords(const Scene* scene, const Summary& summary) {
  Json out;
  out["frames"] = scene->frameCount;
  out["meshes"] = Json::array();
  for (int i = 0; i < scene->meshCount; ++i) {
    const Mesh& m = scene->meshes[i];
    out["meshes"].push_back({{"name", Utf8(m.name)},
                             {"vertices", m.vertexCount},
                             {"faces", m.faceCount},
                             {"texcoords", m.texCoordCount},
                             {"vertex_sum", JsonTriple(summary.sums[i])}});
  }
  out["materials"] = Json::array();
  for (int i = 0; i < scene->materialCount; ++i) {
    const Material& m = *scene->materials[i];
    out["materials"].push_back({{"name", Utf8(m.name)},
                                {"flags", m.flags},
                                {"texture", Utf8(m.textureFile)},
                                {"ambient", JsonTriple(m.ambient)},
                                {"diffuse", JsonTriple(m.diffuse)},
                                {"specular", JsonTriple(m.specular)},
                                {"self_illumination", JsonNumber(m.selfIllumination)}});
  }
  out["lights"] = Json::array();
  for (int i = 0; i < scene->lightCount; ++i) {
    const Light& l = scene->lights[i];
    out["lights"].push_back({{"name", Utf8(l.name)},
                             {"position", JsonTriple(l.position)},
                             {"spot", l.isSpot != 0},
                             {"colour", JsonTriple(l.colour)}});
  }
  out["cameras"] = Json::array();
  for (int i = 0; i < scene->cameraCount; ++i) {
    const Camera& c = scene->cameras[i];
    out["cameras"].push_back({{"name", Utf8(c.name)},
                              {"position", JsonTriple(c.position)},
                              {"target", JsonTriple(c.target)},
                              {"bank", JsonNumber(c.bank)},
                              {"lens", JsonNumber(c.lens)},
                              {"near", JsonNumber(c.nearRange)},
                              {"far", JsonNumber(c.farRange)}});
  }
  return out;
}

Json JsonNodes(const Summary& summary) {
  Json nodes = Json::array();
  for (const Node* n : summary.nodes) {
    Json keys = Json::object();
    for (const TrackCounts& t : KeyCounts(n)) keys[t.name] = t.count;
    nodes.push_back({{"name", Utf8(n->name)},
                     {"kind", KindName(n->kind)},
                     {"parent", n->parent ? Json(summary.index.at(n->parent)) : Json(nullptr)},
                     {"keys", keys}});
  }
  return nodes;
}

Json JsonPose(const Summary& summary) {
  Json pose = {{"frame", JsonNumber(summary.frame)}, {"drawn", summary.drawn}};
  pose["fov"] = summary.drawn ? JsonNumber(summary.fov) : Json(nullptr);
  pose["reason"] = summary.drawn ? Json(nullptr) : Json(summary.notDrawnReason);
  pose["triangles"] = frameStats.triangles;
  if (frameStats.triangles > 0) {
    pose["bbox"] = {{"min", JsonTriple(frameStats.min)}, {"max", JsonTriple(frameStats.max)}};
  } else {
    pose["bbox"] = nullptr;
  }
  return pose;
}

void PrintJson(const Scene* scene, const Summary& summary) {
  Json out = JsonRecords(scene, summary);
  out["nodes"] = JsonNodes(summary);
  if (summary.posed) out["pose"] = JsonPose(summary);
  std::puts(out.dump(2).c_str());
}

void PrintTextRecords(const Scene* scene, const Summary& summary) {
  std::printf("frames %d\n", scene->frameCount);
  for (int i = 0; i < scene->meshCount; ++i) {
    const Mesh& m = scene->meshes[i];
    std::printf("mesh %s vertices %d faces %d texcoords %d sum %s\n", Quoted(m.name).c_str(), m.vertexCount,
                m.faceCount, m.texCoordCount, Triple(summary.sums[i]).c_str());
  }
  for (int i = 0; i < scene->materialCount; ++i) {
    const Material& m = *scene->materials[i];
    std::printf("material %s flags 0x%02X texture %s\n", Quoted(m.name).c_str(), static_cast<unsigned>(m.flags),
                (m.flags & materialTextured) ? Quoted(m.textureFile).c_str() : "-");
  }
  for (int i = 0; i < scene->lightCount; ++i) {
    const Light& l = scene->lights[i];
    std::printf("light %s position %s spot %d colour %s\n", Quoted(l.name).c_str(), Triple(l.position).c_str(),
                l.isSpot, Triple(l.colour).c_str());
  }
  for (int i = 0; i < scene->cameraCount; ++i) {
    const Camera& c = scene->cameras[i];
    std::printf("camera %s position %s target %s bank %s lens %s\n", Quoted(c.name).c_str(),
                Triple(c.position).c_str(), Triple(c.target).c_str(), Fixed(c.bank).c_str(), Fixed(c.lens).c_str());
  }
}

void PrintTextNodes(const Summary& summary) {
  for (std::size_t i = 0; i < summary.nodes.size(); ++i) {
    const Node* n = summary.nodes[i];
    std::printf("node %zu %s kind %s parent ", i, Quoted(n->name).c_str(), KindName(n->kind));
    if (n->parent) {
      std::printf("%d", summary.index.at(n->parent));
    } else {
      std::printf("-");
    }
    std::printf(" keys");
    for (const TrackCounts& t : KeyCounts(n)) std::printf(" %s %d", t.name, t.count);
    std::printf("\n");
  }
}

void PrintTextPose(const Summary& summary) {
  std::printf("pose frame %s", Fixed(summary.frame).c_str());
  if (!summary.drawn) {
    std::printf(" not drawn\nreason: %s\n", summary.notDrawnReason);
    return;
  }
  std::printf(" fov %s triangles %ld", Fixed(summary.fov).c_str(), frameStats.triangles);
  if (frameStats.triangles > 0)
    std::printf(" bbox %s %s", Triple(frameStats.min).c_str(), Triple(frameStats.max).c_str());
  std::printf("\n");
}

void PrintText(const Scene* scene, const Summary& summary) {
  PrintTextRecords(scene, summary);
  PrintTextNodes(summary);
  if (summary.posed) PrintTextPose(summary);
}

}  // namespace

int main(int argc, char** argv) {
  SceneinfoOptions options;
  if (auto status = ParseSceneinfoOptions(argc, argv, &options)) return *status;

  std::string error;
  Scene* scene = Load(options, error);
  if (!scene) {
    std::fprintf(stderr, "sceneinfo: %s\n", error.c_str());
    return 1;
  }
  const Summary summary = Summarise(scene, options);
  if (options.json) {
    PrintJson(scene, summary);
  } else {
    PrintText(scene, summary);
  }
  FreeScene(scene);
  return 0;
}
