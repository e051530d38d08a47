// zip_file.h — the packing request behind the exported ZipFile: its result and, for a
// failure, the message kestrel_last_error gives.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "writer/zip_types.h"

namespace kestrel::exports {

struct ZipFileOutcome {
  int32_t result = 0;        // what ZipFile returns: files packed, or -1
  bool splitFailed = false;  // the floppy split of an A: archive did not complete
  std::string failure;       // why the result is -1 (ANSI text), empty otherwise
  // Files seen but not packed, with their reasons; and whether nothing at all was found to
  // pack (no archive is written then, an existing one stays).
  std::vector<writer::PassedOverFile> passedOver;
  bool nothingToPack = false;
};

// The text kestrel_last_error gives for an outcome: the failure, or the count and the first
// few passed-over files, or that there was nothing to pack; empty for a clean run.
std::string OutcomeMessage(const ZipFileOutcome& outcome);

// ZipFile's whole operation. Never throws. An empty or blank source is refused (-1) before
// anything is touched; an explicit drive root ("C:\") is a source like any other.
ZipFileOutcome PackSource(const std::string& source, const std::string& zipName, int32_t packLevel,
                          bool recurse);

}  // namespace kestrel::exports
