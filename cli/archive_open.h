// archive_open.h — opening the archive of list, test and unzip: the reader handle with the
// command's settings, the archive on the --floppy drive (a spanned set read disk by disk), and
// the one message and exit status each subcommand gives for a missing file, a non-archive or
// a damaged directory.
#pragma once

#include <memory>
#include <string>

#include "cli/floppy.h"
#include "cli/unzip_options.h"
#include "kestrel.h"

namespace kestrel::cli {

using Reader = std::unique_ptr<kestrel_reader, decltype(&kestrel_reader_close)>;

// Opens options.archive into reader: on floppy's drive when --floppy is given (floppy is
// attached here and must outlive the reader), through the repair scan or the component as
// asked.
// Returns kExitOk, or prints "COMMAND: PATH: reason" on stderr and returns the status:
// kExitNotFound, kExitNotZip, kExitUsage (a code page the system cannot convert),
// kExitFailure (also for a disk that cannot be had) or kExitInterrupted. A damaged directory is named
// on stderr ("... central directory damaged after entry N of M") and sets damaged; a
// directory the repair scan had to rebuild is named too.
int OpenArchive(const char* command, const UnzipOptions& options, FloppyDrive& floppy,
                Reader& reader, bool& damaged);

// The exit status of a reading command whose work ended with status: a damaged directory
// turns success and partial success into kExitNotZip.
int WithDamage(int status, bool damaged);

}  // namespace kestrel::cli
