// The presentation's options, through the tools' command-line layer, with the
// presentation's own wording for a missing value and a stray argument.
#include "driver/options.h"

#include <cmath>

#include "tools/common/cli.h"

namespace {

CLI::Validator TimeScale() {
  return CLI::Validator(
      [](std::string& value) {
        try {
          std::size_t used = 0;
          const double scale = std::stod(value, &used);
          if (used == value.size() && scale > 0.0 && scale <= 1000.0) return std::string();
        } catch (const std::exception&) {
        }
        return "takes a number above 0, up to 1000, not \"" + value + "\"";
      },
      "", "N");
}

// The first argument the parser left over, as "unknown option X" before "--" and
// "unexpected argument X" after it (the program takes no names).
std::string StrayArgument(const CLI::App& app) {
  bool optionsEnded = false;
  for (const std::string& arg : app.remaining()) {
    if (arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      return "unknown option " + arg;
    } else {
      return "unexpected argument " + arg;
    }
  }
  return "unexpected argument";
}

std::optional<std::string> Reword(const CLI::App& app, const CLI::ParseError& error) {
  if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) return StrayArgument(app);
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
    // CLI11 says "--time-scale: 1 required N missing".
    const std::string what = error.what();
    const std::string option = what.substr(0, what.find(':'));
    if (option == "--time-scale") return "--time-scale needs a value: a number above 0, up to 1000";
    if (option == "--data") return "--data needs a value: a folder";
  }
  return std::nullopt;
}

}  // namespace

std::optional<int> ParseDemoOptions(int argc, char** argv, DemoOptions* o) {
  CLI::App app{"Plays the presentation in a window with sound; any key ends it. Without a\n"
               "display it says so and ends: democapture renders it to a video.",
               "demo"};
  toolcli::Setup(app);
  app.add_flag("--fullscreen", o->fullscreen, "the accelerator's output covers the whole screen");
  auto* scale = app.add_option("--time-scale", o->timeScale, "the clock runs N times as fast (above 0, up to 1000)")
                    ->type_name("N")
                    ->check(TimeScale());
  app.add_option("--data", o->dataDir, "folder holding demo.dat and music.s3m (default: the current\none, else the installed content)")
      ->type_name("DIR")
      ->check(toolcli::NonEmpty());
  app.footer("-- ends the options; the program takes no names.");
  const auto reword = [&app](const CLI::ParseError& error) { return Reword(app, error); };
  if (auto status = toolcli::Parse(app, argc, argv, reword)) return status;
  o->scaled = scale->count() > 0;
  return std::nullopt;
}
