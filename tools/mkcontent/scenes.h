// The eight generated scenes, each a scenewriter description, and helpers the
// scene files share.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tools/mkcontent/scenekit.h"

namespace content {

scenewriter::Scene BuildIntro();            // frames 0-299
scenewriter::Scene BuildMainScene();        // frames 0-1599
scenewriter::Scene BuildMountainWorld();    // frames 0-899
scenewriter::Scene BuildMountainHut();      // frames 0-599
scenewriter::Scene BuildPlanetPart1();      // frames 0-99
scenewriter::Scene BuildPlanetPart2();      // frames 0-172
scenewriter::Scene BuildPlanetPart3();      // frames 0-179
scenewriter::Scene BuildStonehedgeFire();   // frames 0-599

// Face groups chosen per face: pick (face centre, unit face normal) returns an
// index into materials.
using FaceGroups = std::vector<std::pair<std::string, std::vector<std::uint16_t>>>;
FaceGroups SplitFaces(const Geometry& geometry, const std::vector<std::string>& materials,
                      const std::function<int(Vec3 centre, Vec3 normal)>& pick);

// A self-lit dome around the scene with a sky picture (256 x 128) on it.
void AddSky(scenewriter::Scene& scene, const std::string& material, Vec3 centre, float radius, float rimAngle);
// A self-lit sphere seen from inside, for space backgrounds (256 x 256 picture).
void AddStarSphere(scenewriter::Scene& scene, const std::string& material, float radius);

// A tiny mesh node that stays hidden: a parent whose children move together.
scenewriter::Node& AddPivot(scenewriter::Scene& scene, const std::string& name, const std::string& material,
                            Vec3 place, int hierarchy = -1);

}  // namespace content
