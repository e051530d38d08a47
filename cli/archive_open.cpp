// archive_open.cpp — the reader handle opened with the command's settings and its messages.
#include "cli/archive_open.h"

#include <cstdio>

#include "cli/exit_status.h"
#include "cli/terminal_text.h"

namespace kestrel::cli {

int OpenArchive(const char* command, const std::string& path, const OpenSettings& settings,
                Reader& reader) {
  reader.reset(kestrel_reader_new());
  if (!reader) {
    std::fprintf(stderr, "%s: out of memory\n", command);
    return kExitFailure;
  }
  if (settings.codePage != 0 &&
      kestrel_reader_set_code_page(reader.get(), settings.codePage) != KESTREL_OK) {
    std::fprintf(stderr, "%s: %s\n", command, kestrel_reader_error(reader.get()));
    return kExitUsage;
  }
  if (settings.password != nullptr) kestrel_reader_set_password(reader.get(), settings.password->c_str());
  const int result = kestrel_reader_open(reader.get(), path.c_str());
  if (result == KESTREL_OK) return kExitOk;
  std::fprintf(stderr, "%s: %s\n", command, Printable(kestrel_reader_error(reader.get())).c_str());
  switch (result) {
    case KESTREL_E_NOT_FOUND: return kExitNotFound;
    case KESTREL_E_NOT_ZIP:
    case KESTREL_E_FORMAT: return kExitNotZip;
    default: return kExitFailure;
  }
}

}  // namespace kestrel::cli
