// Reading 3D Studio scene files: the editor section (meshes, materials, lights,
// cameras) and the keyframer section (node tree and tracks) into a Scene.
#pragma once

#include <cstdint>
#include <string>

#include "engine/scene.h"

class TFileLib;
class TStream;

// Reads the member path of the open archive (`archive`, stream/archive.h).
// Returns a complete scene, or null after freeing everything it built.
Scene* ReadSceneFile(const char* path);
// The same over a given archive.
Scene* ReadSceneFile(TFileLib* lib, const char* path);
// Reads the whole of an open stream (Size, then one Read) and loads it.
Scene* ReadSceneStream(TStream* stream);
// Loads a scene from bytes already in memory; the bytes are not kept.
Scene* ReadSceneMemory(const void* data, std::uint32_t size);

// Why the last load on this thread returned null, with the chunk where it was
// found ("the face list holds fewer faces than its count (chunk 0x4120 at
// offset 812)"); empty after a successful load. For tools that show it.
std::string SceneReadError();
