// commands.cpp — the table of subcommands.
#include "cli/commands.h"

namespace kestrel::cli {

int RunVersion(const Args& args);
int RunIsZip(const Args& args);
int RunList(const Args& args);
int RunUnzip(const Args& args);
int RunTest(const Args& args);
int RunZip(const Args& args);

const std::vector<Command>& Commands() {
  static const std::vector<Command> table = {
      {"zip", "[OPTIONS] ARCHIVE SOURCE...",
       "pack or update ARCHIVE (kestrel zip --help lists the options)", RunZip},
      {"unzip", "ARCHIVE [NAME|PATTERN...] [-x PATTERN...] [-d DIR] [-j] [-p] [-o|-n] [-P PW]",
       "unpack the archive (or the entries named) into DIR (default .)", RunUnzip},
      {"test", "ARCHIVE [NAME|PATTERN...] [-x PATTERN...] [-P PW]",
       "check the entries' data and CRCs", RunTest},
      {"list", "ARCHIVE [NAME|PATTERN...] [-1] | --component [--repair] ARCHIVE",
       "the entries like unzip -lv, and the comment (-1: names only)", RunList},
      {"iszip", "FILE", "yes (exit 0) if FILE is a zip archive, else no (exit 1)", RunIsZip},
      {"version", "", "the library's file version", RunVersion},
  };
  return table;
}

}  // namespace kestrel::cli
