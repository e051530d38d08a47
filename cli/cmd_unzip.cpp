// cmd_unzip.cpp — `kestrel unzip ARCHIVE [-d DIR] [--floppy DIR]` and `kestrel test ARCHIVE`:
// UnZipFile's walk, reporting each failed entry with its reason, with a progress bar on a
// terminal and Ctrl-C cancelling.
#include <cstdio>

#include "cli/commands.h"
#include "cli/floppy.h"
#include "cli/interrupt.h"
#include "cli/paths.h"
#include "cli/unpack_report.h"
#include "exports/unpack_walk.h"
#include "platform/platform.h"

namespace kestrel::cli {

namespace {

struct UnpackArgs {
  std::string archive;
  std::string dest = ".";
  std::string floppy;
};

// False (with the message printed) on a usage error.
bool Parse(const char* command, Args args, bool takesDest, UnpackArgs& out) {
  std::string error;
  if (!TakeFloppyOption(args, out.floppy, error)) {
    std::fprintf(stderr, "%s: %s\n", command, error.c_str());
    return false;
  }
  for (size_t i = 0; i < args.size(); ++i) {
    if (takesDest && args[i] == "-d") {
      if (i + 1 >= args.size()) {
        std::fprintf(stderr, "%s: -d needs a directory\n", command);
        return false;
      }
      out.dest = args[++i];
    } else if (out.archive.empty() && !args[i].empty() && args[i][0] != '-') {
      out.archive = args[i];
    } else {
      std::fprintf(stderr, "%s: unexpected argument '%s'\n", command, args[i].c_str());
      return false;
    }
  }
  if (out.archive.empty()) {
    std::fprintf(stderr, "%s: no archive given\n", command);
    return false;
  }
  return true;
}

int Run(const char* command, const Args& args, exports::WalkMode mode) {
  UnpackArgs parsed;
  if (!Parse(command, args, mode == exports::WalkMode::Extract, parsed)) return 2;
  FloppyDrive floppy(parsed.floppy, nullptr);
  std::string error;
  if (!parsed.floppy.empty() && !floppy.Attach(error)) {
    std::fprintf(stderr, "%s: %s\n", command, error.c_str());
    return 2;
  }
  std::string source, dest;
  if (!ArgumentPath(parsed.archive, source, error) || !ArgumentPath(parsed.dest, dest, error)) {
    std::fprintf(stderr, "%s: %s\n", command, error.c_str());
    return 2;
  }
  CatchInterrupts();
  UnpackReport report(command, os::host::ErrorStreamIsTerminal());
  const exports::WalkSummary summary = exports::UnpackArchive(source, dest, mode, &report);
  const int status = report.Conclude(parsed.archive, summary);
  if (status == 0 && mode == exports::WalkMode::Test) {
    std::printf("%s: %llu entries OK\n", parsed.archive.c_str(),
                static_cast<unsigned long long>(report.entries()));
  }
  return status;
}

}  // namespace

int RunUnzip(const Args& args) { return Run("kestrel unzip", args, exports::WalkMode::Extract); }

int RunTest(const Args& args) { return Run("kestrel test", args, exports::WalkMode::Test); }

}  // namespace kestrel::cli
