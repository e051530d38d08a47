// unzip_options.h — the command lines of `kestrel unzip`, `test` and `list`, which share an
// archive, name patterns and the reading options, and each subcommand's --help text.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace kestrel::cli {

enum class ReadCommand { Unzip, Test, List };

struct UnzipOptions {
  ReadCommand command = ReadCommand::Unzip;  // unzip's -t and -l switch to test and list
  std::string archive;
  std::vector<std::string> include;  // NAME|PATTERN... after the archive
  std::vector<std::string> exclude;  // -x PATTERN...
  std::string dest = ".";            // -d
  bool junkPaths = false;            // -j
  bool keepSpecialModes = false;     // -K: setuid, setgid and sticky bits too
  bool pipe = false;                 // -p: data to standard output
  bool quiet = false;                // -q
  bool verbose = false;              // -v
  bool namesOnly = false;            // list -1 / --names
  enum class Overwrite { Default, Always, Never } overwrite = Overwrite::Default;  // -o / -n
  std::optional<std::string> password;  // -P
  std::string passwordFile;             // --password-file
  int codePage = 0;                     // --code-page
  std::string floppy;                   // --floppy
  bool spaceCheck = true;               // --no-space-check turns it off
  bool repair = false;                  // --repair: entries found by the repair scan
  bool component = false;               // list --component: the archive engine's reading
  int threads = 0;                      // -T / --threads; 0: one per processor
  bool help = false;
};

// Parses args for command. False, with a one-line message in error, on a usage error.
bool ParseUnzipOptions(ReadCommand command, const Args& args, UnzipOptions& options,
                       std::string& error);

// The full --help text of a reading subcommand.
const char* ReadCommandHelp(ReadCommand command);

}  // namespace kestrel::cli
