// modplay's options, declared once for parsing and for --help.
#include "tools/modplay/options.h"

#include <filesystem>

#include "tools/common/cli.h"

namespace {

// Checks that need more than one option at a time.
void CheckCombinations(const ModplayOptions& o) {
  if (o.eightBit && !o.output.empty() && OutputContainer(o) == AudioContainer::ogg) {
    throw CLI::ValidationError("--8bit", "Ogg Vorbis keeps no sample width; write .wav or .flac for 8-bit output");
  }
  if (o.files.size() > 1 && !o.output.empty() && !std::filesystem::is_directory(o.output)) {
    throw CLI::ValidationError("--output", "with several modules -o names a folder, which " + o.output + " is not");
  }
}

void AddOutputOptions(CLI::App& app, ModplayOptions* o, CLI::Option* output) {
  app.add_option("--format", o->format,
                 "wav, flac, ogg (Vorbis) or raw PCM, also the extension of each output in a\n"
                 "folder (default: by the output's name, raw for -o -, else wav)")
      ->type_name("wav|flac|ogg|raw")
      ->check(CLI::IsMember({"wav", "flac", "ogg", "raw"}))
      ->needs(output);
  app.add_option("--rate", o->rate, "mixing rate in Hz, 8000..192000 (default 44100)")
      ->type_name("HZ")
      ->check(toolcli::Range(8000u, 192000u));
  app.add_flag("--mono", o->mono, "mono output (default stereo)");
  app.add_flag("--8bit", o->eightBit, "8-bit output (default 16-bit; not for Ogg Vorbis)");
  app.add_flag("--interpolate", o->interpolate, "interpolating (high quality) mixing");
  app.add_option("--filter", o->filter, "output filter: 0 off, 1 light, 2 strong, 3 automatic (default)")
      ->type_name("N")
      ->check(toolcli::Range(0, 3));
}

void AddListOptions(CLI::App& app, ModplayOptions* o) {
  app.add_option("--loop", o->loop, "play each module N more times; -1 for ever (a render then writes\nan hour)")
      ->type_name("N")
      ->check(toolcli::Range(-1, 1000000));
  auto* shuffle = app.add_flag("--shuffle", o->shuffle, "play (or render, or describe) the modules in a random order");
  app.add_option("--seed", o->seed, "with --shuffle: the same order for the same number")->type_name("N")->needs(shuffle);
}

}  // namespace

std::optional<int> ParseModplayOptions(int argc, char** argv, ModplayOptions* o) {
  CLI::App app{"Plays modules (MOD, S3M, XM or IT) live, one after another, prints their facts,\n"
               "or renders them to WAVE, FLAC or Ogg Vorbis files or raw PCM.",
               "modplay"};
  toolcli::Setup(app);
  app.add_option("FILE", o->files, "the modules")->type_name("")->required()->check(toolcli::NonEmpty());
  auto* info = app.add_flag("--info", o->info,
                            "print kind, name, channels, orders, patterns, instruments, samples and\nduration (not with -o or --setup)");
  app.add_flag("--json", o->json, "with --info: the same as JSON (an array for several modules)")->needs(info);
  auto* output = app.add_option("-o,--output", o->output,
                                "render to this file instead of playing; - for standard output; a\nfolder for several modules")
                     ->type_name("FILE")
                     ->check(toolcli::NonEmpty());
  AddOutputOptions(app, o, output);
  AddListOptions(app, o);
  app.add_flag("--quiet", o->quiet, "no progress bar, status line or closing summary");
  auto* setup = app.add_flag("--setup", o->setup, "live play: show the sound set-up dialog first (needs a display; not\nwith -o)");
  app.add_flag("--verbose", o->verbose, "live play: also show the audio back end's own messages");
  info->excludes(output)->excludes(setup);
  setup->excludes(output);
  app.footer("Keys while playing: space pause, left/right previous/next order, n/p next/previous\n"
             "module, +/- volume, q quit. -- ends the options.");
  app.final_callback([o] { CheckCombinations(*o); });
  const std::optional<int> status = toolcli::Parse(app, argc, argv);
  if (!o->files.empty()) o->file = o->files.front();
  return status;
}

namespace {

bool EndsWith(const std::string& name, const std::string& suffix) {
  if (name.size() < suffix.size()) return false;
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    const char c = name[name.size() - suffix.size() + i];
    if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != suffix[i]) return false;
  }
  return true;
}

AudioContainer ContainerNamed(const std::string& format) {
  if (format == "flac") return AudioContainer::flac;
  if (format == "ogg") return AudioContainer::ogg;
  if (format == "raw") return AudioContainer::raw;
  return AudioContainer::wav;
}

}  // namespace

AudioContainer OutputContainer(const ModplayOptions& o) {
  if (!o.format.empty()) return ContainerNamed(o.format);
  if (o.files.size() > 1) return AudioContainer::wav;
  const std::string& name = o.output;
  if (name == "-" || EndsWith(name, ".raw") || EndsWith(name, ".pcm")) return AudioContainer::raw;
  if (EndsWith(name, ".flac")) return AudioContainer::flac;
  if (EndsWith(name, ".ogg") || EndsWith(name, ".oga")) return AudioContainer::ogg;
  return AudioContainer::wav;
}
