// The default content as a whole: the members of "demo.dat" (eight scenes,
// their textures, the four pictures and the fallback texture) and the bytes of
// "music.s3m". Everything is generated from code and fixed seeds, so two runs
// give the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace content {

struct SceneAsset {
  std::string name;       // "intro", "mainscene", ...
  int lastFrame = 0;      // last animation frame the timeline plays
  std::size_t triangles = 0;
  std::vector<std::uint8_t> bytes;  // the 3D Studio file

  std::string MemberName() const { return "3ds\\" + name + ".3DS"; }
};

// The eight scenes in the start-up's slot order.
std::vector<SceneAsset> BuildScenes();

// Archive member names of the pictures.
inline constexpr const char* logoMember = "textures\\brind.pcx";
inline constexpr const char* bumpBackgroundMember = "textures\\bump\\scroller\\background.pcx";
inline constexpr const char* lightSpotMember = "textures\\bump\\256.pcx";
inline constexpr const char* scrollTextMember = "textures\\bump\\scroller\\text1024.pcx";
inline constexpr const char* plasmaMember = "textures\\plasm.pcx";

// One member of "demo.dat": its path (backslashes) and bytes.
struct Member {
  std::string name;
  std::vector<std::uint8_t> data;
};

// Every member of "demo.dat".
std::vector<Member> BuildArchiveMembers();
// The whole of "demo.dat" laid out in memory; false with a message on failure.
bool BuildArchive(std::vector<std::uint8_t>& bytes, std::string& error);

// The bytes of "music.s3m".
std::vector<std::uint8_t> BuildMusic();

// Writes OUTDIR/demo.dat and OUTDIR/music.s3m (the directory is created when
// missing). False with a message on failure; a failed write leaves no partial
// file under either name.
bool WriteContent(const std::string& directory, std::string& error);

}  // namespace content
