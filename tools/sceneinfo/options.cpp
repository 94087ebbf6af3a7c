// sceneinfo's options, declared once for parsing and for --help.
#include "tools/sceneinfo/options.h"

#include <cmath>

#include "tools/common/cli.h"

namespace {

// Any finite frame number: a frame before the scene's start is a question the
// summary answers ("not drawn"), not a usage error.
CLI::Validator FiniteFrame() {
  return CLI::Validator(
      [](std::string& value) {
        try {
          std::size_t used = 0;
          const double f = std::stod(value, &used);
          if (used == value.size() && std::isfinite(f)) return std::string();
        } catch (const std::exception&) {
        }
        return "not a frame number: \"" + value + "\"";
      },
      "", "FRAME");
}

}  // namespace

std::optional<int> ParseSceneinfoOptions(int argc, char** argv, SceneinfoOptions* o) {
  CLI::App app{"Loads a 3D Studio scene (a file, or a member of an archive in the format of\n"
               "demo.dat) and prints its meshes, materials, lights, cameras, frame count and\n"
               "node tree with the key count of every track.",
               "sceneinfo"};
  toolcli::Setup(app);
  app.add_option("FILE", o->file, "the 3D Studio file, or the archive holding it")
      ->type_name("")
      ->required()
      ->check(toolcli::NonEmpty());
  app.add_option("MEMBER", o->member, "the scene's member name in the archive (3ds\\NAME.3DS)")
      ->type_name("")
      ->check(toolcli::NonEmpty());
  app.add_flag("--json", o->json, "print the summary as one JSON object");
  auto* frame = app.add_option("--frame", o->frame,
                               "also pose the scene at frame F and print the field of view, the\n"
                               "number of triangles and their eye-space bounding box")
                    ->type_name("F")
                    ->check(FiniteFrame());
  if (auto status = toolcli::Parse(app, argc, argv)) return status;
  o->posed = frame->count() > 0;
  return std::nullopt;
}
