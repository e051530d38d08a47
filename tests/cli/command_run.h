// command_run.h — runs the kestrel command as a real process with standard input closed and
// keeps its standard output, standard error and exit status apart.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

#include "tests/exports/unpack_fixture.h"

namespace kestrel::testing {

struct CommandRun {
  int status = -1;
  std::string out, err;
};

// arguments go through the shell; standard error is kept in a file in scratch for the while.
inline CommandRun Kestrel(const std::string& arguments, const fs::path& scratch) {
  CommandRun run;
  const fs::path errFile = scratch / "stderr.txt";
  const std::string command =
      std::string(KESTREL_CLI_PATH) + " " + arguments + " 2>" + Quoted(errFile) + " </dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 4096> buffer{};
  while (std::fgets(buffer.data(), int(buffer.size()), pipe) != nullptr) run.out += buffer.data();
  const int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.err = ReadBytes(errFile);
  fs::remove(errFile);
  return run;
}

}  // namespace kestrel::testing
