// The facts --info prints. Samples are those that hold data (an XM reserves 16
// per instrument); channels are both those the header declares and the
// highest the patterns use; a song that never ends is said to loop for ever.
#include "tools/modplay/info.h"

#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>

#include "sound/errors.h"
#include "sound/gmprender.h"
#include "sound/module.h"
#include "tools/modplay/printable.h"
#include "tools/modplay/probe.h"

namespace {

unsigned SamplesWithData(const Module& module) {
  unsigned count = 0;
  for (std::uint32_t i = 0; module.samples != nullptr && i < module.numSamples; ++i) {
    if (module.samples[i] != nullptr && module.samples[i]->length > 0) ++count;
  }
  return count;
}

nlohmann::json Facts(const Module& module, const ModuleHeaderFacts& header, double seconds) {
  const bool endless = seconds >= gmpMaxSongSeconds;
  nlohmann::json facts = {
      {"kind", ModuleKindName(module.kind)},
      {"kind_id", module.kind},
      {"name", PrintableName(module.name, sizeof module.name)},
      {"channels", header.declaredChannels},
      {"channels_used", module.numChannels},
      {"orders", module.songLength},
      {"patterns", module.numPatterns},
      {"instruments", module.numInstruments},
      {"samples", SamplesWithData(module)},
      {"loops_forever", endless},
  };
  facts["duration"] = endless ? nlohmann::json(nullptr)
                              : nlohmann::json(static_cast<double>(static_cast<long long>(seconds * 1000 + 0.5)) / 1000);
  return facts;
}

void PrintText(const nlohmann::json& facts, const Module& module) {
  std::printf("kind:        %s\n", facts["kind"].get<std::string>().c_str());
  std::printf("name:        %s\n", PrintableName(module.name, sizeof module.name).c_str());
  std::printf("channels:    %u (highest used: %u)\n", facts["channels"].get<unsigned>(),
              facts["channels_used"].get<unsigned>());
  std::printf("orders:      %u\n", facts["orders"].get<unsigned>());
  std::printf("patterns:    %u\n", facts["patterns"].get<unsigned>());
  std::printf("instruments: %u\n", facts["instruments"].get<unsigned>());
  std::printf("samples:     %u\n", facts["samples"].get<unsigned>());
  if (facts["loops_forever"].get<bool>()) {
    std::printf("duration:    loops for ever\n");
  } else {
    std::printf("duration:    %.3f s\n", facts["duration"].get<double>());
  }
}

int Fail(const std::string& file, const std::string& reason) {
  std::fprintf(stderr, "modplay: %s: %s\n", file.c_str(), reason.c_str());
  return 1;
}

std::string Dump(const nlohmann::json& value) {
  // Names come from the file; bytes that are not UTF-8 are replaced.
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// The facts of one file into *facts (text printed at once unless json); on
// failure the message is printed and *facts holds the file and the error.
int Describe(const std::string& file, bool json, nlohmann::json* facts) {
  const auto failed = [&](const std::string& reason) {
    *facts = {{"file", file}, {"error", reason}};
    return Fail(file, reason);
  };
  ModuleHeaderFacts header;
  if (std::string reason; !ProbeModule(file, &header, reason)) return failed(reason);
  Module* module = nullptr;
  if (int e = gmpLoadAnyModule(file.c_str(), nullptr, 0, &module); e != errOK) return failed(SoundErrorMessage(e));
  double seconds = 0;
  const int e = gmpSongDuration(module, &seconds);
  if (e == errOK) {
    *facts = Facts(*module, header, seconds);
    (*facts)["file"] = file;
    if (!json) PrintText(*facts, *module);
  }
  ModuleFree(module, nullptr);
  return e == errOK ? 0 : failed(SoundErrorMessage(e));
}

}  // namespace

int PrintModuleInfo(const ModplayOptions& o) {
  const bool several = o.files.size() > 1;
  int status = 0;
  nlohmann::json all = nlohmann::json::array();
  for (std::size_t i = 0; i < o.files.size(); ++i) {
    const std::string& file = o.files[i];
    if (several && !o.json) std::printf("%sfile:        %s\n", i > 0 ? "\n" : "", file.c_str());
    std::fflush(stdout);
    nlohmann::json facts;
    if (Describe(file, o.json, &facts) != 0) status = 1;
    if (o.json && (several || !facts.contains("error"))) all.push_back(facts);
  }
  // One module: one object, as before; several: one array, failures included.
  if (o.json && !all.empty()) std::printf("%s\n", Dump(several ? all : all.front()).c_str());
  return status;
}
