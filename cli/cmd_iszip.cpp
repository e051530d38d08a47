// cmd_iszip.cpp — `kestrel iszip FILE`: "yes" (exit 0) when the library's isZip takes FILE
// for a zip archive, "no" (exit 1) otherwise.
#include <cstdio>

#include "cli/commands.h"
#include "cli/paths.h"
#include "kestrel.h"

namespace kestrel::cli {

int RunIsZip(const Args& args) {
  if (args.size() != 1 || args[0].empty()) {
    std::fprintf(stderr, "usage: kestrel iszip FILE\n");
    return 2;
  }
  std::string drivePath, error;
  if (!ToDrivePath(args[0], drivePath, error)) {
    std::fprintf(stderr, "kestrel iszip: %s\n", error.c_str());
    return 2;
  }
  const bool yes = isZip(drivePath.c_str()) != 0;
  std::printf("%s\n", yes ? "yes" : "no");
  return yes ? 0 : 1;
}

}  // namespace kestrel::cli
