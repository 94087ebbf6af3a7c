// Gathers the generated scenes, textures, pictures and music and writes them.
#include "tools/mkcontent/content.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "tools/archivewriter/archivewriter.h"
#include "tools/mkcontent/images.h"
#include "tools/mkcontent/pictures.h"
#include "tools/mkcontent/textures.h"

#include "tools/mkcontent/music.h"

namespace content {
namespace {

bool WriteAtomically(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes, std::string& error) {
  std::filesystem::path temporary = path;
  temporary += ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) {
      error = "cannot create " + temporary.string();
      return false;
    }
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      error = "cannot write " + temporary.string();
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temporary, path, ec);
  if (ec) {
    error = "cannot rename " + temporary.string() + " to " + path.string() + ": " + ec.message();
    std::filesystem::remove(temporary, ec);
    return false;
  }
  return true;
}

std::vector<archivewriter::Member> ToArchive(std::vector<Member> members) {
  std::vector<archivewriter::Member> out;
  for (Member& m : members) out.push_back({std::move(m.name), std::move(m.data)});
  return out;
}

}  // namespace

std::vector<Member> BuildArchiveMembers() {
  std::vector<Member> members;
  for (SceneAsset& s : BuildScenes()) members.push_back({s.MemberName(), std::move(s.bytes)});
  for (TextureAsset& t : BuildTextures()) members.push_back({t.MemberName(), std::move(t.bytes)});
  members.push_back({plasmaMember, EncodePcx(MakePlasma())});
  members.push_back({logoMember, EncodePcx(MakeLogo())});
  members.push_back({bumpBackgroundMember, EncodePcx(MakeBumpBackground())});
  members.push_back({lightSpotMember, EncodePcx(MakeLightSpot())});
  members.push_back({scrollTextMember, EncodePcx(MakeScrollText())});
  return members;
}

bool BuildArchive(std::vector<std::uint8_t>& bytes, std::string& error) {
  return archivewriter::Build(ToArchive(BuildArchiveMembers()), bytes, error);
}

std::vector<std::uint8_t> BuildMusic() {
  return ComposeSoundtrack();
}

bool WriteContent(const std::string& directory, std::string& error) {
  const std::filesystem::path dir(directory);
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    error = "cannot create directory " + directory + ": " + ec.message();
    return false;
  }
  if (!archivewriter::WriteFile(ToArchive(BuildArchiveMembers()), (dir / "demo.dat").string(), error)) return false;
  const std::vector<std::uint8_t> music = BuildMusic();
  if (music.empty()) {
    error = "the soundtrack came out empty";
    return false;
  }
  return WriteAtomically(dir / "music.s3m", music, error);
}

}  // namespace content
