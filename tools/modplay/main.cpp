// modplay: prints a module's facts (--info, --json), renders it to a WAVE
// file or raw PCM (-o), or plays it live.
#include "tools/modplay/info.h"
#include "tools/modplay/live.h"
#include "tools/modplay/options.h"
#include "tools/modplay/render.h"

int main(int argc, char** argv) {
  ModplayOptions options;
  if (auto status = ParseModplayOptions(argc, argv, &options)) return *status;
  if (options.info) return PrintModuleInfo(options);
  if (!options.output.empty()) return RenderModule(options);
  return ModplayLiveRun(options, options.setup);
}
