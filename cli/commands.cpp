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
      {"unzip", "ARCHIVE [-d DIR] [--floppy DIR]", "unpack an archive into DIR (default .)", RunUnzip},
      {"test", "ARCHIVE [--floppy DIR]", "check every entry's data and CRC", RunTest},
      {"version", "", "the library's version", RunVersion},
      {"iszip", "FILE", "yes (exit 0) if FILE is a zip archive, else no", RunIsZip},
      {"list", "[--component] ARCHIVE",
       "the entries, like unzip -lv (--component [--repair]: through the component)", RunList},
  };
  return table;
}

}  // namespace kestrel::cli
