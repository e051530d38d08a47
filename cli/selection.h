// selection.h — the entries that the names and patterns of unzip, test and list select.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/unzip_options.h"
#include "kestrel.h"

namespace kestrel::cli {

struct Selection {
  std::vector<kestrel_entry> entries;   // in directory order
  std::vector<std::string> unmatched;   // include patterns that matched no entry
  bool anyEncrypted = false;
};

// The entries matching one of options.include (every entry when there is none) and none of
// options.exclude.
Selection Select(kestrel_reader* reader, const UnzipOptions& options);

// Reports the unmatched patterns on stderr. Returns kExitNoMatch when patterns were given
// and none matched, else kExitOk.
int ReportUnmatched(const char* command, const Selection& selection);

}  // namespace kestrel::cli
