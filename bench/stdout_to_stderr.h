// Points standard output at standard error for as long as it lives. A benchmark's
// standard output belongs to its report (--benchmark_format=json must stay valid
// JSON), while the accelerator prints its banner to standard output when the
// device starts: the benchmarks start the device inside one of these.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <iostream>

class StdoutToStderr {
public:
  StdoutToStderr() {
    Flush();
    saved_ = dup(STDOUT_FILENO);
    if (saved_ >= 0) dup2(STDERR_FILENO, STDOUT_FILENO);
  }
  ~StdoutToStderr() {
    Flush();
    if (saved_ < 0) return;
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
  }
  StdoutToStderr(const StdoutToStderr&) = delete;
  StdoutToStderr& operator=(const StdoutToStderr&) = delete;

private:
  static void Flush() {
    std::cout.flush();
    std::fflush(stdout);
  }
  int saved_ = -1;
};
