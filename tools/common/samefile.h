// Whether two names lead to the same file, so that a tool never writes its
// output over one of its inputs.
#pragma once

#include <string>

namespace toolio {

// True when both names exist and, links followed, are the same file (same
// device and inode). A name that does not exist is never the same file.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace toolio
