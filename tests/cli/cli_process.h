// cli_process.h — runs the kestrel command (or a shell line) as a real process and keeps its
// standard output, exit status and, for shell lines, its standard error.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace kestrel::clitest {

struct Outcome {
  int status = -1;
  std::string out;
};

// arguments are passed through the shell; standard error is dropped.
inline Outcome RunKestrel(const std::string& arguments) {
  Outcome outcome;
  const std::string command = std::string(KESTREL_CLI_PATH) + " " + arguments + " 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return outcome;
  std::array<char, 256> buffer{};
  size_t got = 0;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
    outcome.out.append(buffer.data(), got);
  }
  const int raw = pclose(pipe);
  outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return outcome;
}

struct Ran {
  int status = -1;
  std::string out, err;
};

// Runs a shell command line in dir, with input on its standard input; keeps both streams.
inline Ran RunIn(const std::filesystem::path& dir, const std::string& line,
                 const std::string& input = "") {
  Ran run;
  std::ofstream(dir / ".in", std::ios::binary) << input;
  const std::string command =
      "cd '" + dir.string() + "' && (" + line + ") < .in 2> .err; s=$?; rm -f .in; exit $s";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 4096> buffer{};
  size_t got = 0;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.out.append(buffer.data(), got);
  const int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  std::ifstream err(dir / ".err", std::ios::binary);
  run.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
  err.close();
  std::filesystem::remove(dir / ".err");
  return run;
}

}  // namespace kestrel::clitest
