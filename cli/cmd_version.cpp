// cmd_version.cpp — `kestrel version`: the library's file version, as GetVersion returns it.
#include <cstdio>

#include "cli/commands.h"
#include "kestrel.h"

namespace kestrel::cli {

int RunVersion(const Args& args) {
  if (!args.empty()) {
    std::fprintf(stderr, "kestrel version: takes no arguments\n");
    return 2;
  }
  const char* version = KestrelGetVersion();
  if (*version == '\0') {
    std::fprintf(stderr, "kestrel version: the library has no version resource\n");
    return 1;
  }
  std::printf("%s\n", version);
  return 0;
}

}  // namespace kestrel::cli
