// archive_open.h — opening an archive for list, test and unzip: the reader handle, and the
// one message and exit status each subcommand gives for a missing file or a non-archive.
#pragma once

#include <memory>
#include <string>

#include "kestrel.h"

namespace kestrel::cli {

using Reader = std::unique_ptr<kestrel_reader, decltype(&kestrel_reader_close)>;

struct OpenSettings {
  int codePage = 0;          // for names not marked UTF-8; 0: the library's default
  const std::string* password = nullptr;
};

// Opens path (a native path, as typed) into reader. Returns kExitOk, or prints
// "COMMAND: PATH: reason" on stderr and returns the status: kExitNotFound, kExitNotZip (also for a
// damaged directory),
// kExitUsage (a code page the system cannot convert) or kExitFailure.
int OpenArchive(const char* command, const std::string& path, const OpenSettings& settings,
                Reader& reader);

}  // namespace kestrel::cli
