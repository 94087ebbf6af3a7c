// The modules of one modplay command as a list: their order (as given, or
// shuffled), the output each gets when several are rendered into a folder,
// and the render of each in turn.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/modplay/audiowriter.h"
#include "tools/modplay/options.h"

// The files in a random order: the same order for the same seed; a fresh one
// each run without.
std::vector<std::string> ShuffledOrder(std::vector<std::string> files, std::optional<std::uint64_t> seed);

// folder/NAME.EXT for an input folder/…/NAME.ANY (the input's last extension
// replaced by the container's).
std::string OutputNameFor(const std::string& folder, const std::string& input, AudioContainer container);

// Renders every file of options.files into the folder options.output; a file
// that fails is reported and the others still rendered. Returns 0 when all
// were written, else 1.
int RenderEach(const ModplayOptions& options);
