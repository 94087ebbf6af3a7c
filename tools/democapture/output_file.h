// Output files of the capture: checked before the first frame, written under a
// temporary name beside the final one and renamed into place only when complete,
// so that a failed or stopped capture leaves nothing half-written and never
// replaces what was there.
#pragma once

#include <string>
#include <vector>

// "<folder>/.<name>.partial-<pid>": in the same folder, so the rename is atomic.
std::string PartialName(const std::string& path);

// Empty when a file may be created at path: its folder exists and is writable,
// and it is none of the inputs. Else what is wrong.
std::string CheckWritable(const std::string& path, const std::vector<std::string>& inputs);

// Lower-case extension of the name without its dot ("" when it has none).
std::string ExtensionOf(const std::string& path);
// The path without its extension.
std::string StemOf(const std::string& path);
