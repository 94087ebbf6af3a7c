// Runs one of the project's programs through the shell and collects what it said.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace testprogram {

struct Outcome {
  int code = -1;       // exit code; -1 when the program did not exit by itself
  std::string output;  // standard output and standard error together
};

inline Outcome Run(const std::string& program, const std::string& arguments) {
  Outcome outcome;
  FILE* pipe = popen(("'" + program + "' " + arguments + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return outcome;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) outcome.output.append(buffer, n);
  const int status = pclose(pipe);
  outcome.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

}  // namespace testprogram
