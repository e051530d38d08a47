// commands.cpp — the table of subcommands.
#include "cli/commands.h"

namespace kestrel::cli {

const std::vector<Command>& Commands() {
  static const std::vector<Command> table = {};
  return table;
}

}  // namespace kestrel::cli
