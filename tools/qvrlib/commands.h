// The three things qvrlib does. Each returns the process exit status and
// prints its own messages.
#pragma once

#include <string>

namespace qvrlib {

// Packs every regular file below dir into the archive (never one of them).
int Create(const std::string& archive, const std::string& dir);
// Prints name, offset and size of each member; warns (and fails) for
// members that lie past the end of the file.
int List(const std::string& archive);
// One member to out: "" its file name, "-" standard output.
int ExtractMember(const std::string& archive, const std::string& member, const std::string& out);
// Every member into folders below dir, as its path names them.
int ExtractAll(const std::string& archive, const std::string& dir);

}  // namespace qvrlib
