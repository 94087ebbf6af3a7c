// sceneview's options, declared once for parsing and for --help.
#include "tools/sceneview/options.h"

#include <cmath>

#include "tools/common/cli.h"

namespace {

CLI::Validator FrameNumber() {
  return CLI::Validator(
      [](std::string& value) {
        try {
          std::size_t used = 0;
          const float f = std::stof(value, &used);
          if (used != value.size() || !std::isfinite(f) || f < 0.0f) return std::string("not a frame number 0 or above");
        } catch (const std::exception&) {
          return std::string("not a frame number 0 or above");
        }
        return std::string();
      },
      "", "FRAME");
}

}  // namespace

std::optional<int> ParseSceneviewOptions(int argc, char** argv, SceneviewOptions* o) {
  CLI::App app{"Shows a 3D Studio scene (a file, or a member of an archive in the format of\n"
               "demo.dat) in a window and plays its keyframer animation; a scene without a\n"
               "camera or a keyframer is framed by a camera and a light of the viewer's own.\n"
               "Keys: space pause, left/right step a frame, up/down or mouse drag orbit,\n"
               "wheel zoom, Home restart, S screenshot, q or Escape quit.",
               "sceneview"};
  toolcli::Setup(app);
  app.add_option("FILE", o->file, "the 3D Studio file, or the archive holding it")
      ->type_name("")
      ->required()
      ->check(toolcli::NonEmpty());
  app.add_option("MEMBER", o->member, "the scene's member name in the archive (3ds\\NAME.3DS)")
      ->type_name("")
      ->check(toolcli::NonEmpty());
  auto* frame = app.add_option("--frame", o->frame, "write one picture of frame F instead of opening a window (needs -o)")
                    ->type_name("F")
                    ->check(FrameNumber());
  auto* output = app.add_option("-o,--output", o->output, "the PNG picture --frame writes")
                     ->type_name("FILE")
                     ->check(toolcli::NonEmpty());
  auto* fps = app.add_option("--fps", o->fps, "playing speed in frames per second, 1..1000 (default 25)")
                  ->type_name("N")
                  ->check(toolcli::Range(1.0, 1000.0));
  app.add_flag("--own-camera", o->ownCamera, "view through the viewer's own orbiting camera even when\nthe file animates one");
  frame->needs(output);
  output->needs(frame);
  fps->excludes(frame);
  if (auto status = toolcli::Parse(app, argc, argv)) return status;
  o->oneFrame = frame->count() > 0;
  return std::nullopt;
}
