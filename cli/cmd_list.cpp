// cmd_list.cpp — `kestrel list [--component [--repair]] ARCHIVE`: the archive's directory in
// the layout of `unzip -lv`, through the reader's walker or, with --component, through the
// zip component (which also shows comments and can rebuild a lost directory).
#include <cstdio>

#include "cli/commands.h"
#include "cli/list_component.h"
#include "cli/list_format.h"
#include "cli/paths.h"
#include "reader/zip_walker.h"

namespace kestrel::cli {

namespace {

int ListWithWalker(const std::string& drivePath) {
  reader::ZipDirEntry entry;
  int32_t result = reader::FirstZipEntry(drivePath, entry);
  if (result == -1) {
    std::fprintf(stderr, "kestrel list: %s: not a zip archive, or it cannot be read\n",
                 ForTerminal(drivePath).c_str());
    return 1;
  }
  std::printf("Archive:  %s\n", ForTerminal(drivePath).c_str());
  ListTable table(stdout);
  table.Header();
  // -2 (an end record with no room for a directory before it) is an empty archive.
  while (result == 0) {
    ListRow row;
    row.size = entry.uncompressedSize;
    row.packed = entry.compressedSize;
    row.method = entry.method;
    row.flags = entry.flags;
    row.dateTime = entry.dateTime;
    row.crc32 = entry.crc32;
    const bool storedUtf8 = HoldsStoredUtf8(entry.nameProblem, entry.flags);
    row.name = ListedName(entry.name, storedUtf8, ForTerminal);
    table.Row(row);
    result = reader::NextZipEntry(entry);
  }
  table.Totals();
  return 0;
}

}  // namespace

int RunList(const Args& args) {
  bool component = false, repair = false;
  std::string archive;
  for (const std::string& arg : args) {
    if (arg == "--component") {
      component = true;
    } else if (arg == "--repair") {
      repair = true;
    } else if ((arg.rfind("-", 0) == 0 && arg.size() > 1) || !archive.empty()) {
      archive.clear();
      break;
    } else {
      archive = arg;
    }
  }
  if (archive.empty() || (repair && !component)) {
    std::fprintf(stderr, "usage: kestrel list [--component [--repair]] ARCHIVE\n");
    return 2;
  }
  std::string drivePath, error;
  if (!ToDrivePath(archive, drivePath, error)) {
    std::fprintf(stderr, "kestrel list: %s\n", error.c_str());
    return 1;
  }
  if (component) return ListWithComponent(drivePath, repair, ForTerminal, stdout, stderr);
  return ListWithWalker(drivePath);
}

}  // namespace kestrel::cli
