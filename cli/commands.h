// commands.h — the kestrel command's subcommands; each lives in its own cmd_<name>.cpp.
#pragma once

#include <string>
#include <vector>

namespace kestrel::cli {

using Args = std::vector<std::string>;  // the arguments after the subcommand's name

struct Command {
  const char* name;
  const char* usage;    // one line: arguments
  const char* summary;  // one line: what it does
  int (*run)(const Args& args);
};

// The table of subcommands, in the order --help lists them.
const std::vector<Command>& Commands();

}  // namespace kestrel::cli
