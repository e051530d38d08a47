// commands.cpp — the table of subcommands.
#include "cli/commands.h"

namespace kestrel::cli {

int RunVersion(const Args& args);

const std::vector<Command>& Commands() {
  static const std::vector<Command> table = {
      {"version", "", "the library's version", RunVersion},
  };
  return table;
}

}  // namespace kestrel::cli
