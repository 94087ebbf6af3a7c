// modplay: prints modules' facts (--info, --json), renders them to WAVE,
// FLAC, Ogg Vorbis or raw PCM (-o), or plays them live, one after another.
#include "tools/modplay/info.h"
#include "tools/modplay/live.h"
#include "tools/modplay/options.h"
#include "tools/modplay/playlist.h"
#include "tools/modplay/render.h"

int main(int argc, char** argv) {
  ModplayOptions options;
  if (auto status = ParseModplayOptions(argc, argv, &options)) return *status;
  if (options.shuffle) options.files = ShuffledOrder(options.files, options.seed);
  options.file = options.files.front();
  if (options.info) return PrintModuleInfo(options);
  if (!options.output.empty()) return options.files.size() > 1 ? RenderEach(options) : RenderModule(options);
  return ModplayLiveRun(options, options.setup);
}
