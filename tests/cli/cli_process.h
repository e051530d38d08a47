// cli_process.h — runs the kestrel command as a real process and keeps its standard output
// and exit status.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
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

}  // namespace kestrel::clitest
