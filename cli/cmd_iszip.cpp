// cmd_iszip.cpp — `kestrel iszip FILE`: "yes" (exit 0) when the library reads FILE as a zip
// archive, "no" (exit 1) otherwise.
#include <cstdio>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "kestrel.h"

namespace kestrel::cli {

int RunIsZip(const Args& args) {
  if (args.size() == 1 && args[0] == "--help") {
    std::printf("usage: kestrel iszip FILE\nPrints yes (exit 0) when FILE is a zip archive, "
                "else no (exit 1).\n");
    return kExitOk;
  }
  if (args.size() != 1 || args[0].empty()) {
    std::fprintf(stderr, "usage: kestrel iszip FILE\n");
    return kExitUsage;
  }
  kestrel_reader* reader = kestrel_reader_new();
  const bool yes = reader != nullptr && kestrel_reader_open(reader, args[0].c_str()) == KESTREL_OK;
  kestrel_reader_close(reader);
  std::printf("%s\n", yes ? "yes" : "no");
  return yes ? kExitOk : kExitWarning;
}

}  // namespace kestrel::cli
