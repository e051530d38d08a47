// exit_status.h — the kestrel command's exit statuses, the same for every subcommand, so
// scripts can tell a partial result from a failure and a failure from a usage error.
#pragma once

namespace kestrel::cli {

enum ExitStatus : int {
  kExitOk = 0,           // everything asked for was done
  kExitWarning = 1,      // done, but some files or entries failed (each named on stderr)
  kExitUsage = 2,        // unknown option, missing value, contradicting options
  kExitNotZip = 3,       // not a zip archive, or its central directory is damaged
  kExitFailure = 4,      // the work could not be done (the system's reason on stderr)
  kExitNotFound = 9,     // the archive does not exist
  kExitNoMatch = 11,     // no entry matched the names or patterns given
  kExitNothingToDo = 12, // no file to pack: nothing written, an old archive untouched
  kExitInterrupted = 130 // Ctrl-C
};

}  // namespace kestrel::cli
