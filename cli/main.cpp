// main.cpp — the kestrel command: dispatches to the subcommand named by the first argument.
#include <cstdio>
#include <cstring>

#include "cli/commands.h"

namespace {

void PrintHelp(FILE* out) {
  std::fprintf(out, "usage: kestrel COMMAND [ARGS]\n\ncommands:\n");
  for (const auto& command : kestrel::cli::Commands()) {
    std::fprintf(out, "  %-8s %-28s %s\n", command.name, command.usage, command.summary);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    PrintHelp(argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  for (const auto& command : kestrel::cli::Commands()) {
    if (std::strcmp(argv[1], command.name) == 0) {
      return command.run(kestrel::cli::Args(argv + 2, argv + argc));
    }
  }
  std::fprintf(stderr, "kestrel: unknown command '%s' (see kestrel --help)\n", argv[1]);
  return 2;
}
