// archive_open.cpp — the reader handle opened with the command's settings and its messages.
#include "cli/archive_open.h"

#include <cstdio>

#include "cli/exit_status.h"
#include "cli/interrupt.h"
#include "cli/terminal_text.h"

namespace kestrel::cli {

namespace {

// Where the archive is: a drive path on the floppy ("A:\x.m01") or, with --floppy, the
// archive's file name on the disk in the drive; otherwise the native path as typed.
std::string ArchivePath(const UnzipOptions& options, const FloppyDrive& floppy) {
  const std::string& a = options.archive;
  if (options.floppy.empty()) return a;
  std::string name = a;
  if (a.size() >= 2 && (a[0] == 'A' || a[0] == 'a') && a[1] == ':') {
    name.clear();
    for (char c : a.substr(2)) name += c == '\\' ? '/' : c;
    if (!name.empty() && name[0] == '/') name.erase(0, 1);
    return floppy.Folder() + "/" + name;
  }
  return floppy.OnDisk(a);
}

int AskDisk(void* floppy, int disk) {
  return static_cast<FloppyDrive*>(floppy)->InsertDisk(disk) ? 0 : 1;
}

int DirectorySource(const UnzipOptions& options) {
  if (options.repair) return KESTREL_DIRECTORY_REPAIR;
  return options.component ? KESTREL_DIRECTORY_COMPONENT : KESTREL_DIRECTORY_WALKER;
}

}  // namespace

int OpenArchive(const char* command, const UnzipOptions& options, FloppyDrive& floppy,
                Reader& reader, bool& damaged) {
  damaged = false;
  std::string error;
  if (!options.floppy.empty() && !floppy.Attach(error)) {
    std::fprintf(stderr, "%s: %s\n", command, error.c_str());
    return kExitUsage;
  }
  reader.reset(kestrel_reader_new());
  if (!reader) {
    std::fprintf(stderr, "%s: out of memory\n", command);
    return kExitFailure;
  }
  if (options.codePage != 0 &&
      kestrel_reader_set_code_page(reader.get(), options.codePage) != KESTREL_OK) {
    std::fprintf(stderr, "%s: %s\n", command, kestrel_reader_error(reader.get()));
    return kExitUsage;
  }
  kestrel_reader_set_directory_source(reader.get(), DirectorySource(options));
  // Ctrl-C during a long repair scan; the report's own callback takes over after opening.
  kestrel_reader_set_progress(
      reader.get(), [](void*, const char*, uint64_t, uint64_t) { return Interrupted() ? 1 : 0; },
      nullptr);
  if (!options.floppy.empty()) {
    kestrel_reader* r = reader.get();
    if (!floppy.Bind([r](const std::string& folder) {
          return kestrel_reader_set_floppy_dir(r, folder.c_str()) == KESTREL_OK;
        })) {
      std::fprintf(stderr, "%s: --floppy: %s\n", command, kestrel_reader_error(r));
      return kExitUsage;
    }
    kestrel_reader_set_disk_callback(r, &AskDisk, &floppy);
  }
  const int result = kestrel_reader_open(reader.get(), ArchivePath(options, floppy).c_str());
  if (result != KESTREL_OK) {
    std::fprintf(stderr, "%s: %s\n", command, Printable(kestrel_reader_error(reader.get())).c_str());
    switch (result) {
      case KESTREL_E_NOT_FOUND: return kExitNotFound;
      case KESTREL_E_NOT_ZIP:
      case KESTREL_E_FORMAT: return kExitNotZip;
      case KESTREL_E_CANCELLED: return Interrupted() ? kExitInterrupted : kExitFailure;
      default: return kExitFailure;
    }
  }
  kestrel_directory_status status{};
  kestrel_reader_directory_status(reader.get(), &status);
  const std::string shown = Printable(options.archive);
  if (status.damaged) {
    damaged = true;
    std::fprintf(stderr,
                 "%s: %s: central directory damaged after entry %llu of %llu "
                 "(--repair looks for the others)\n",
                 command, shown.c_str(), static_cast<unsigned long long>(status.entries_read),
                 static_cast<unsigned long long>(status.entries_declared));
  }
  if (status.repaired) {
    std::fprintf(stderr, "%s: %s: directory rebuilt from the local headers (%llu entries found)\n",
                 command, shown.c_str(), static_cast<unsigned long long>(status.entries_read));
  }
  return kExitOk;
}

int WithDamage(int status, bool damaged) {
  const bool done = status == kExitOk || status == kExitWarning || status == kExitNoMatch;
  return damaged && done ? kExitNotZip : status;
}

}  // namespace kestrel::cli
