// Cursors over the chunk tree of a 3D Studio file held in memory, with
// bounds-checked field reads, and the optional load trace. Shared by the editor
// and keyframer readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>
#include <type_traits>

#include "engine/math3d.h"

#ifndef ENGINE_VERBOSE
#define ENGINE_VERBOSE 0
#endif

// The load trace: off unless the build defines ENGINE_VERBOSE=1.
inline constexpr bool verbose = ENGINE_VERBOSE != 0;

#define SCENE_TRACE(...)                    \
  do {                                      \
    if constexpr (verbose) {                \
      std::printf(__VA_ARGS__);             \
    }                                       \
  } while (0)

struct ChunkReader {
  const std::uint8_t* data;
  std::uint32_t size;
  std::uint32_t position;  // offset of the next chunk header
  std::int32_t borrowed;   // 0 when the reader owns data
};

struct Chunk {
  ChunkReader* reader;
  const std::uint8_t* data;  // first byte after the 6-byte header
  std::uint32_t length;      // data length: the stored length minus 6
  std::uint32_t position;    // read offset inside data
  std::uint16_t id;
};

enum class ChunkStatus {
  ok,
  end,        // fewer than 6 bytes left: no further chunk
  malformed,  // a stored length below 6 or past the end of the reader
};

inline bool HasMore(const ChunkReader& reader) { return reader.position != reader.size; }

// Reads the header at the reader's position. A chunk must lie wholly inside the
// reader: a stored length that runs past its parent is refused, never followed.
inline ChunkStatus NextChunk(ChunkReader& reader, Chunk& chunk) {
  const std::uint32_t left = reader.size - reader.position;
  if (left <= 5) return ChunkStatus::end;
  const std::uint8_t* p = reader.data + reader.position;
  const std::uint32_t length = static_cast<std::uint32_t>(p[2]) | static_cast<std::uint32_t>(p[3]) << 8 |
                               static_cast<std::uint32_t>(p[4]) << 16 | static_cast<std::uint32_t>(p[5]) << 24;
  if (length < 6 || length > left) return ChunkStatus::malformed;
  chunk.reader = &reader;
  chunk.id = static_cast<std::uint16_t>(p[0] | p[1] << 8);
  chunk.data = p + 6;
  chunk.length = length - 6;
  chunk.position = 0;
  reader.position += length;
  return ChunkStatus::ok;
}

// A borrowed reader over the chunk's data from its current position to its end.
inline ChunkReader SubReader(const Chunk& chunk) {
  return {chunk.data + chunk.position, chunk.length - chunk.position, 0, 1};
}

inline std::uint32_t Remaining(const Chunk& chunk) { return chunk.length - chunk.position; }

inline bool ReadBytes(Chunk& chunk, void* out, std::uint32_t n) {
  if (n > Remaining(chunk)) return false;
  std::memcpy(out, chunk.data + chunk.position, n);
  chunk.position += n;
  return true;
}

inline bool SkipBytes(Chunk& chunk, std::uint32_t n) {
  if (n > Remaining(chunk)) return false;
  chunk.position += n;
  return true;
}

inline bool ReadU8(Chunk& chunk, std::uint8_t& v) { return ReadBytes(chunk, &v, 1); }

inline bool ReadU16(Chunk& chunk, std::uint16_t& v) {
  std::uint8_t b[2];
  if (!ReadBytes(chunk, b, 2)) return false;
  v = static_cast<std::uint16_t>(b[0] | b[1] << 8);
  return true;
}

inline bool ReadI16(Chunk& chunk, std::int16_t& v) {
  std::uint16_t u;
  if (!ReadU16(chunk, u)) return false;
  v = static_cast<std::int16_t>(u);
  return true;
}

inline bool ReadU32(Chunk& chunk, std::uint32_t& v) {
  std::uint8_t b[4];
  if (!ReadBytes(chunk, b, 4)) return false;
  v = static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
      static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
  return true;
}

inline bool ReadFloat(Chunk& chunk, float& v) {
  std::uint32_t bits;
  if (!ReadU32(chunk, bits)) return false;
  std::memcpy(&v, &bits, 4);
  return true;
}

inline bool ReadVector(Chunk& chunk, Vector& v) {
  return ReadFloat(chunk, v.x) && ReadFloat(chunk, v.y) && ReadFloat(chunk, v.z);
}

// A NUL-terminated string into a field of fieldSize bytes, cut to fieldSize - 1
// characters. The position moves past the NUL; a string without one runs to the
// end of the data.
inline void ReadString(Chunk& chunk, char* field, std::size_t fieldSize) {
  const std::uint8_t* start = chunk.data + chunk.position;
  const std::uint32_t left = Remaining(chunk);
  std::uint32_t n = 0;
  while (n < left && start[n] != 0) ++n;
  const std::size_t kept = n < fieldSize - 1 ? n : fieldSize - 1;
  std::memcpy(field, start, kept);
  std::memset(field + kept, 0, fieldSize - kept);
  chunk.position += n < left ? n + 1 : n;
}

// Why the last load failed, for tools that show it to a person. The innermost
// failure is kept: a reason first, then the chunk it was found in.
struct SceneReadFailure {
  const std::uint8_t* fileStart;  // offsets are counted from here
  const char* reason;             // null until a check gives one
  std::uint16_t chunkId;
  std::uint32_t chunkOffset;
  bool haveChunk;
  char text[320];  // a reason that quotes a name from the file
};
extern thread_local SceneReadFailure sceneReadFailure;

// Records a reason (unless an inner one was recorded) and returns false.
inline bool Fail(const char* reason) {
  if (!sceneReadFailure.reason) sceneReadFailure.reason = reason;
  return false;
}

// Records the reason `before "name" after` (unless an inner one was recorded) and
// returns false. Bytes of the name that are not printable are shown as \xNN.
bool FailQuoting(const char* before, const char* name, const char* after);

// Records the chunk a failure happened in (unless an inner one was recorded).
inline bool FailIn(const Chunk& chunk, const char* reason = nullptr) {
  if (reason) Fail(reason);
  if (!sceneReadFailure.haveChunk) {
    sceneReadFailure.haveChunk = true;
    sceneReadFailure.chunkId = chunk.id;
    sceneReadFailure.chunkOffset = static_cast<std::uint32_t>(chunk.data - 6 - sceneReadFailure.fileStart);
  }
  return false;
}

// A chunk header that does not fit its parent.
inline bool FailMalformed(const ChunkReader& reader) {
  Fail("a chunk's length is below 6 or runs past the end of its parent");
  if (!sceneReadFailure.haveChunk) {
    sceneReadFailure.haveChunk = true;
    const std::uint8_t* p = reader.data + reader.position;
    // A header cut short may not even hold its two id bytes.
    const std::uint32_t left = reader.size - reader.position;
    sceneReadFailure.chunkId = static_cast<std::uint16_t>(left >= 2 ? p[0] | p[1] << 8 : left == 1 ? p[0] : 0);
    sceneReadFailure.chunkOffset = static_cast<std::uint32_t>(p - sceneReadFailure.fileStart);
  }
  return false;
}

// ---- Walking sub-chunks ------------------------------------------------------

// What fewer than 6 bytes after the last sub-chunk mean: most chunk lists end
// there quietly, the lists inside lights and cameras refuse them.
enum class Trailing { ends, refused };

// Calls read(sub) for each sub-chunk after the chunk's own fields, in order. A
// header that does not fit, or a handler that fails, stops the walk; the failure
// records the chunk it happened in.
template <class Read>
bool ForEachSubChunk(const Chunk& chunk, Read&& read, Trailing trailing = Trailing::ends) {
  ChunkReader reader = SubReader(chunk);
  Chunk sub;
  while (HasMore(reader)) {
    const ChunkStatus status = NextChunk(reader, sub);
    if (status == ChunkStatus::end && trailing == Trailing::ends) break;
    if (status != ChunkStatus::ok) return FailMalformed(reader);
    if (!read(sub)) return FailIn(sub);
  }
  return true;
}

// One row of a dispatch table: a chunk id and the handler that reads it into the
// record being filled.
template <class Target>
struct ChunkHandler {
  std::uint16_t id;
  bool (*read)(Target& target, Chunk& chunk);
};

// Names the chunk whose list is walked, for the trace of unknown ids.
struct ChunkContext {
  int indent;
  const char* name;
};

// Dispatches each sub-chunk by id: a handler of the table reads it, an id of
// `skipped` is passed over silently, any other id is traced as unknown.
template <class Target>
bool DispatchSubChunks(const Chunk& chunk, Target& target,
                       std::span<const ChunkHandler<std::type_identity_t<Target>>> handlers, ChunkContext where,
                       std::span<const std::uint16_t> skipped = {}, Trailing trailing = Trailing::ends) {
  return ForEachSubChunk(
      chunk,
      [&](Chunk& sub) {
        for (const ChunkHandler<Target>& row : handlers)
          if (row.id == sub.id) return row.read(target, sub);
        for (std::uint16_t id : skipped)
          if (id == sub.id) return true;
        SCENE_TRACE("%*sUnknown chunk ID 0x%X in %s found!\n", where.indent, "", sub.id, where.name);
        return true;
      },
      trailing);
}

// ---- Section readers ---------------------------------------------------------

struct Scene;
// Reads a material chunk (0xAFFF) and appends the material to the scene.
bool ReadMaterial(Scene* scene, Chunk& chunk);
// Reads the keyframer section (chunk 0xB000) into the scene's node tree.
bool ReadKeyframer(Scene* scene, Chunk& chunk);
