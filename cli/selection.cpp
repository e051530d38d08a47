// selection.cpp — matching entry names against the command's patterns.
#include "cli/selection.h"

#include <cstdio>

#include "cli/exit_status.h"
#include "cli/terminal_text.h"

namespace kestrel::cli {

namespace {

bool MatchesAny(const std::vector<std::string>& patterns, const char* name, std::vector<bool>* hits) {
  bool any = false;
  for (size_t i = 0; i < patterns.size(); ++i) {
    if (kestrel_pattern_match(patterns[i].c_str(), name)) {
      any = true;
      if (hits != nullptr) (*hits)[i] = true;
    }
  }
  return any;
}

}  // namespace

Selection Select(kestrel_reader* reader, const UnzipOptions& options) {
  Selection selection;
  std::vector<bool> hits(options.include.size(), false);
  kestrel_reader_rewind(reader);
  kestrel_entry entry;
  while (kestrel_reader_next(reader, &entry) == KESTREL_OK) {
    if (!options.include.empty() && !MatchesAny(options.include, entry.name, &hits)) continue;
    if (MatchesAny(options.exclude, entry.name, nullptr)) continue;
    selection.anyEncrypted = selection.anyEncrypted || entry.encrypted;
    selection.entries.push_back(entry);
  }
  for (size_t i = 0; i < hits.size(); ++i) {
    if (!hits[i]) selection.unmatched.push_back(options.include[i]);
  }
  return selection;
}

int ReportUnmatched(const char* command, const Selection& selection) {
  for (const std::string& pattern : selection.unmatched) {
    std::fprintf(stderr, "%s: no entry matches '%s'\n", command, Printable(pattern).c_str());
  }
  return !selection.unmatched.empty() && selection.entries.empty() ? kExitNoMatch : kExitOk;
}

}  // namespace kestrel::cli
