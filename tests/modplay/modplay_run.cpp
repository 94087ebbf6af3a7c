#include "tests/modplay/modplay_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

namespace modplaytest {
namespace {

std::string ReadAll(int fd) {
  std::string text;
  char buf[4096];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) text.append(buf, static_cast<std::size_t>(n));
  return text;
}

}  // namespace

ToolRun Modplay(const std::vector<std::string>& args, const std::string& stdoutFile,
                const std::vector<std::string>& env) {
  ToolRun run;
  TempDir capture;
  const std::string out = stdoutFile.empty() ? capture.File("stdout") : stdoutFile;
  const std::string err = capture.File("stderr");
  std::vector<char*> argv;
  std::string program = MODPLAY_PATH;
  argv.push_back(program.data());
  std::vector<std::string> copies = args;
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<std::string> environment = env;
  for (char** e = environ; *e != nullptr; ++e) environment.emplace_back(*e);
  std::vector<char*> envp;
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  if (stdoutFile.empty()) {
    const int fd = open(out.c_str(), O_RDONLY);
    run.output = ReadAll(fd);
    close(fd);
  }
  const int fd = open(err.c_str(), O_RDONLY);
  run.errors = ReadAll(fd);
  close(fd);
  return run;
}

std::vector<std::uint8_t> Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t Le32(const std::vector<std::uint8_t>& v, std::size_t at) {
  return v[at] | v[at + 1] << 8 | v[at + 2] << 16 | static_cast<std::uint32_t>(v[at + 3]) << 24;
}

std::uint16_t Le16(const std::vector<std::uint8_t>& v, std::size_t at) {
  return static_cast<std::uint16_t>(v[at] | v[at + 1] << 8);
}

s3m::Song ShortSong(int channels, int used, int rows) {
  s3m::Song song("test tune", channels);
  song.orders = {0};
  std::vector<std::uint8_t> wave(256);
  for (std::size_t i = 0; i < wave.size(); ++i) wave[i] = static_cast<std::uint8_t>(i < 128 ? 64 : 192);
  song.AddInstrument("square", wave).SetLoop(0, 256);
  for (int c = 0; c < used; ++c) song.Pattern(0).At(0, c) = s3m::Cell::Play(s3m::Note(4, c), 1, 48);
  if (rows < 64) song.Pattern(0).At(rows - 1, 0).Effect('C', 0);
  return song;
}

s3m::Song EndlessSong() {
  s3m::Song song = ShortSong();
  song.speed = 255;
  song.tempo = 32;
  song.orders = {0, 0, 0};
  return song;
}

}  // namespace modplaytest
