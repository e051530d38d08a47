// main.cpp — the kestrel command: dispatches to the subcommand named by the first argument;
// --help lists them all, --version names the command's and the library's versions.
#include <cstdio>
#include <cstring>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "kestrel.h"

namespace {

void PrintHelp(FILE* out) {
  std::fprintf(out, "usage: kestrel COMMAND [ARGS]     (kestrel COMMAND --help for details)\n\n"
                    "commands:\n");
  for (const auto& command : kestrel::cli::Commands()) {
    std::fprintf(out, "  %-8s %s\n  %-8s   %s\n", command.name, command.usage, "", command.summary);
  }
  std::fprintf(out, "\n  --version  the command's and the library's versions\n");
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kestrel::cli;
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    PrintHelp(argc < 2 ? stderr : stdout);
    return argc < 2 ? kExitUsage : kExitOk;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("kestrel %s (library interface %s, file version %s)\n", KESTREL_VERSION_STRING,
                kestrel_version(), KestrelGetVersion());
    return kExitOk;
  }
  for (const auto& command : Commands()) {
    if (std::strcmp(argv[1], command.name) == 0) {
      return command.run(Args(argv + 2, argv + argc));
    }
  }
  std::fprintf(stderr, "kestrel: unknown command '%s' (see kestrel --help)\n", argv[1]);
  return kExitUsage;
}
