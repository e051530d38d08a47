// cmd_unzip.cpp — `kestrel unzip` and `kestrel test` on the reading interface: the selected
// entries unpacked into a directory, written to standard output (-p) or tested, with the
// password, overwrite and progress handling of read_report.
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "cli/archive_open.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/interrupt.h"
#include "cli/password_file.h"
#include "cli/password_prompt.h"
#include "cli/prompt.h"
#include "cli/read_report.h"
#include "cli/selection.h"
#include "cli/terminal_text.h"

namespace kestrel::cli {

int RunListWith(const UnzipOptions& options);

namespace {

// The password the options name, or asked on the terminal when an entry needs one. False
// (message printed) when the password file cannot be read.
bool SettlePassword(const char* command, UnzipOptions& options, const Selection& selection) {
  if (!options.passwordFile.empty()) {
    std::string password, error;
    if (!ReadPasswordFile(options.passwordFile, password, error)) {
      std::fprintf(stderr, "%s: %s\n", command, Printable(error).c_str());
      return false;
    }
    options.password = password;
  }
  if (!options.password && selection.anyEncrypted && ::isatty(STDIN_FILENO)) {
    std::string password;
    if (ReadPassword((options.archive + " password: ").c_str(), password)) options.password = password;
  }
  return true;
}

// Free bytes on the file system that dir (or, while it is missing, its nearest parent) is on;
// -1 when unknown.
int64_t FreeSpace(const std::string& dir) {
  std::error_code ec;
  std::filesystem::path at = std::filesystem::absolute(dir, ec);
  struct statvfs fs {};
  while (ec || ::statvfs(at.c_str(), &fs) != 0) {
    if (ec || !at.has_relative_path()) return -1;
    at = at.parent_path();
  }
  return int64_t(fs.f_bavail) * int64_t(fs.f_frsize);
}

// The declared size of what will be written against the free space: false (message printed)
// when it does not fit.
bool EnoughSpace(const char* command, const UnzipOptions& options, const Selection& selection) {
  uint64_t needed = 0;
  for (const kestrel_entry& entry : selection.entries) needed += entry.uncompressed_size;
  const int64_t free = FreeSpace(options.dest);
  if (free < 0 || needed <= uint64_t(free)) return true;
  std::fprintf(stderr,
               "%s: %s: the entries need %llu bytes, but only %lld are free "
               "(--no-space-check goes on anyway)\n",
               command, Printable(options.dest).c_str(), static_cast<unsigned long long>(needed),
               static_cast<long long>(free));
  return false;
}

// -p: the entries' data, one after the other, on standard output.
int Pipe(kestrel_reader* reader, const Selection& selection, ReadReport& report) {
  std::fflush(stdout);
  for (const kestrel_entry& entry : selection.entries) {
    if (entry.is_directory) continue;
    if (kestrel_reader_extract_to_fd(reader, entry.index, STDOUT_FILENO) == KESTREL_OK) continue;
    if (Interrupted()) return kExitInterrupted;
    report.Fail(Printable(kestrel_reader_error(reader)));
  }
  return report.failed() > 0 ? kExitWarning : kExitOk;
}

int Run(const char* command, UnzipOptions& options) {
  CatchInterrupts();
  FloppyDrive floppy(options.floppy, TerminalPrompt(PromptAnswer::Ask));
  Reader reader(nullptr, &kestrel_reader_close);
  bool damaged = false;
  const int opened = OpenArchive(command, options, floppy, reader, damaged);
  if (opened != kExitOk) return opened;
  const Selection selection = Select(reader.get(), options);
  const int unmatched = ReportUnmatched(command, selection);
  if (unmatched != kExitOk) return WithDamage(unmatched, damaged);
  if (!SettlePassword(command, options, selection)) return kExitUsage;
  if (options.password) kestrel_reader_set_password(reader.get(), options.password->c_str());
  kestrel_reader_set_special_modes(reader.get(), options.keepSpecialModes);
  kestrel_reader_set_threads(reader.get(), options.threads);

  uint64_t reported = 0;
  for (const kestrel_entry& entry : selection.entries) {
    reported += !(options.junkPaths && entry.is_directory && options.command == ReadCommand::Unzip);
  }
  ReadReport report(command, options, reported);
  kestrel_extract_options extract{};
  report.Attach(reader.get(), extract);
  if (options.pipe) return WithDamage(Pipe(reader.get(), selection, report), damaged);
  if (options.command == ReadCommand::Unzip && options.spaceCheck &&
      !EnoughSpace(command, options, selection)) {
    return kExitFailure;
  }

  std::vector<const char*> include, exclude;
  for (const std::string& p : options.include) include.push_back(p.c_str());
  for (const std::string& p : options.exclude) exclude.push_back(p.c_str());
  extract.include = include.data();
  extract.include_count = include.size();
  extract.exclude = exclude.data();
  extract.exclude_count = exclude.size();
  extract.junk_paths = options.junkPaths;
  extract.test_only = options.command == ReadCommand::Test;
  const int result = kestrel_reader_extract_all(reader.get(), options.dest.c_str(), &extract);
  // The damage was named when the archive was opened.
  const int status = report.Conclude(result == KESTREL_E_DAMAGED ? KESTREL_OK : result,
                                     kestrel_reader_error(reader.get()));
  if (status == kExitOk && !damaged && options.command == ReadCommand::Test && !options.quiet) {
    std::printf("%s: %llu entries OK\n", Printable(options.archive).c_str(),
                static_cast<unsigned long long>(selection.entries.size()));
  }
  return WithDamage(selection.unmatched.empty() || status != kExitOk ? status : kExitWarning, damaged);
}

int Dispatch(ReadCommand command, const Args& args) {
  UnzipOptions options;
  std::string error;
  const char* name = command == ReadCommand::Unzip ? "kestrel unzip" : "kestrel test";
  if (!ParseUnzipOptions(command, args, options, error)) {
    std::fprintf(stderr, "%s: %s (see %s --help)\n", name, error.c_str(), name);
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(ReadCommandHelp(command), stdout);
    return kExitOk;
  }
  switch (options.command) {
    case ReadCommand::List: return RunListWith(options);
    case ReadCommand::Test: return Run("kestrel test", options);
    case ReadCommand::Unzip: return Run("kestrel unzip", options);
  }
  return kExitUsage;
}

}  // namespace

int RunUnzip(const Args& args) { return Dispatch(ReadCommand::Unzip, args); }

int RunTest(const Args& args) { return Dispatch(ReadCommand::Test, args); }

}  // namespace kestrel::cli
