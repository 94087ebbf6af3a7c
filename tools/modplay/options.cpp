// modplay's options, declared once for parsing and for --help.
#include "tools/modplay/options.h"

#include "tools/common/cli.h"

std::optional<int> ParseModplayOptions(int argc, char** argv, ModplayOptions* o) {
  CLI::App app{"Plays a module (MOD, S3M, XM or IT) live, prints its facts, or renders it to a\n"
               "WAVE file or raw PCM, played once to its end.",
               "modplay"};
  toolcli::Setup(app);
  app.add_option("FILE", o->file, "the module")->type_name("")->required()->check(toolcli::NonEmpty());
  auto* info = app.add_flag("--info", o->info,
                            "print kind, name, channels, orders, patterns, instruments, samples and\nduration (not with -o or --setup)");
  app.add_flag("--json", o->json, "with --info: the same as one JSON object")->needs(info);
  auto* output = app.add_option("-o,--output", o->output, "render to this file instead of playing; - for standard output")
                     ->type_name("FILE")
                     ->check(toolcli::NonEmpty());
  app.add_option("--format", o->format, "wav or raw (default: raw for -o - and names ending .raw or .pcm, else wav)")
      ->type_name("wav|raw")
      ->check(CLI::IsMember({"wav", "raw"}))
      ->needs(output);
  app.add_option("--rate", o->rate, "mixing rate in Hz, 8000..192000 (default 44100)")
      ->type_name("HZ")
      ->check(CLI::Range(8000u, 192000u));
  app.add_flag("--mono", o->mono, "mono output (default stereo)");
  app.add_flag("--8bit", o->eightBit, "8-bit output (default 16-bit)");
  app.add_flag("--interpolate", o->interpolate, "interpolating (high quality) mixing");
  app.add_option("--filter", o->filter, "output filter: 0 off, 1 light, 2 strong, 3 automatic (default)")
      ->type_name("N")
      ->check(CLI::Range(0, 3));
  app.add_flag("--quiet", o->quiet, "no progress bar, status line or closing summary");
  auto* setup = app.add_flag("--setup", o->setup, "live play: show the sound set-up dialog first (needs a display; not\nwith -o)");
  app.add_flag("--verbose", o->verbose, "live play: also show the audio back end's own messages");
  info->excludes(output)->excludes(setup);
  setup->excludes(output);
  return toolcli::Parse(app, argc, argv);
}

bool WantsRawPcm(const ModplayOptions& o) {
  if (!o.format.empty()) return o.format == "raw";
  const auto endsWith = [&](const char* suffix) {
    const std::string s = suffix;
    return o.output.size() >= s.size() && o.output.compare(o.output.size() - s.size(), s.size(), s) == 0;
  };
  return o.output == "-" || endsWith(".raw") || endsWith(".pcm");
}
