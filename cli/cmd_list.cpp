// cmd_list.cpp — `kestrel list ARCHIVE [PATTERN...]`: the archive's directory in the layout of
// `unzip -lv` (or names only with -1), and its comment, through the reading interface; with
// --component the directory as the archive engine reads it, entry comments included.
#include <cstdio>
#include <ctime>

#include "cli/archive_open.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/list_format.h"
#include "cli/mode_text.h"
#include "cli/prompt.h"
#include "cli/selection.h"
#include "cli/terminal_text.h"

namespace kestrel::cli {

namespace {

constexpr const char* kCommand = "kestrel list";

// The DOS date and time an entry's time came from (the listing's date and time columns).
uint32_t DosDateTime(int64_t unixSeconds) {
  const std::time_t t = std::time_t(unixSeconds);
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr || local.tm_year < 80) return (1 << 5 | 1) << 16;
  const uint32_t date = uint32_t(local.tm_year - 80) << 9 | uint32_t(local.tm_mon + 1) << 5 | uint32_t(local.tm_mday);
  const uint32_t time = uint32_t(local.tm_hour) << 11 | uint32_t(local.tm_min) << 5 | uint32_t(local.tm_sec / 2);
  return date << 16 | time;
}

}  // namespace

int RunListWith(const UnzipOptions& options) {
  FloppyDrive floppy(options.floppy, TerminalPrompt(PromptAnswer::Ask));
  Reader reader(nullptr, &kestrel_reader_close);
  bool damaged = false;
  const int opened = OpenArchive(kCommand, options, floppy, reader, damaged);
  if (opened != kExitOk) return opened;
  const Selection selection = Select(reader.get(), options);
  const int unmatched = ReportUnmatched(kCommand, selection);
  if (unmatched != kExitOk) return WithDamage(unmatched, damaged);
  const int listed = selection.unmatched.empty() ? kExitOk : kExitWarning;
  if (options.namesOnly) {
    for (const kestrel_entry& entry : selection.entries) std::printf("%s\n", Printable(entry.name).c_str());
    return WithDamage(listed, damaged);
  }
  std::printf("Archive:  %s\n", Printable(options.archive).c_str());
  const char* comment = "";
  kestrel_reader_comment(reader.get(), &comment);
  if (*comment != '\0') std::printf("%s\n", PrintableLines(comment).c_str());
  ListTable table(stdout, options.verbose);
  table.Header();
  for (const kestrel_entry& entry : selection.entries) {
    ListRow row;
    row.size = entry.uncompressed_size;
    row.packed = entry.compressed_size;
    row.method = entry.method;
    row.flags = entry.flags;
    row.dateTime = DosDateTime(entry.mtime);
    row.crc32 = entry.crc32;
    row.name = Printable(entry.name);
    row.mode = ModeText(entry.unix_mode, entry.dos_attributes, entry.is_directory != 0);
    table.Row(row);
    if (options.component && *entry.comment != '\0') {
      std::printf("          %s\n", Printable(entry.comment).c_str());
    }
  }
  table.Totals();
  return WithDamage(listed, damaged);
}

int RunList(const Args& args) {
  UnzipOptions options;
  std::string error;
  if (!ParseUnzipOptions(ReadCommand::List, args, options, error)) {
    std::fprintf(stderr, "%s: %s (see %s --help)\n", kCommand, error.c_str(), kCommand);
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(ReadCommandHelp(ReadCommand::List), stdout);
    return kExitOk;
  }
  return RunListWith(options);
}

}  // namespace kestrel::cli
