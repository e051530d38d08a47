// zip_options.cpp — parsing the command line of kestrel zip.
#include "cli/zip_options.h"

#include <cctype>
#include <cstring>

#include "cli/code_page_option.h"
#include "cli/thread_option.h"

namespace kestrel::cli {

namespace {

// Single-letter flags that take no value and may be combined ("-rq9").
bool ApplyFlag(char c, ZipOptions& o) {
  if (c >= '0' && c <= '9') {
    o.level = c - '0';
    return true;
  }
  switch (c) {
    case 'r': o.recurse = true; return true;
    case 'j': o.junkPaths = true; return true;
    case 'D': o.noDirEntries = true; return true;
    case 'y': o.storeSymlinks = true; return true;
    case 'q': o.verbosity = ZipVerbosity::Quiet; return true;
    case 'v': o.verbosity = ZipVerbosity::Verbose; return true;
    case 'u': o.update = ZipUpdate::Newer; return true;
    case 'f': o.update = ZipUpdate::Freshen; return true;
    case 'd': o.deleteMode = true; return true;
    case '@': o.namesFromStdin = true; return true;
    case 'z': o.commentFromStdin = true; return true;
    case 'e': o.askPassword = true; return true;
    case 'h': o.help = true; return true;
    default: return false;
  }
}

bool IsOption(const std::string& a) { return a.size() > 1 && a[0] == '-'; }

// Checks what single options cannot tell: an archive, and no contradictions.
bool Consistent(ZipOptions& o, std::string& error) {
  if (o.help) return true;
  if (o.archive.empty()) {
    error = "no archive given (see kestrel zip --help)";
    return false;
  }
  const int passwords = int(o.askPassword) + int(o.passwordOnCommandLine) +
                        int(!o.passwordFile.empty());
  if (passwords > 1) {
    error = "give the password one way only: -e, -P or --password-file";
    return false;
  }
  if (o.splitSize != 0 && o.span) {
    error = "--split and --span cannot be used together";
    return false;
  }
  if (o.span && o.floppy.empty()) {
    error = "--span writes to the floppy drive: give it with --floppy DIR";
    return false;
  }
  if (o.commentFromStdin && (o.commentGiven || o.namesFromStdin)) {
    error = o.commentGiven ? "-z and --comment cannot be used together"
                           : "-z and -@ cannot both read standard input";
    return false;
  }
  if (o.deleteMode && (o.namesFromStdin || o.sources.empty())) {
    error = "-d needs the patterns of the entries to delete after the archive";
    return false;
  }
  return true;
}

}  // namespace

bool ParseSize(const std::string& text, uint32_t& bytes) {
  size_t digits = 0;
  while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
  if (digits == 0 || digits > 10) return false;
  uint64_t unit = 1;
  const std::string suffix = text.substr(digits);
  if (suffix == "k" || suffix == "K") {
    unit = 1024;
  } else if (suffix == "m" || suffix == "M") {
    unit = 1024 * 1024;
  } else if (!suffix.empty()) {
    return false;
  }
  const uint64_t value = std::stoull(text.substr(0, digits)) * unit;
  if (value == 0 || value > INT32_MAX) return false;
  bytes = static_cast<uint32_t>(value);
  return true;
}

bool ParseZipOptions(const std::vector<std::string>& args, ZipOptions& o, std::string& error) {
  std::vector<std::string>* list = nullptr;  // -x or -i collecting patterns
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (optionsEnded || !IsOption(a)) {
      if (list != nullptr) {
        list->push_back(a);
      } else if (o.archive.empty()) {
        o.archive = a;
      } else {
        o.sources.push_back(a);
      }
      continue;
    }
    list = nullptr;
    // Value options: "--name VALUE".
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) {
        error = a + " needs a value";
        return false;
      }
      out = args[++i];
      return true;
    };
    std::string size;
    if (a == "--") {
      optionsEnded = true;
    } else if (a == "-x" || a == "--exclude") {
      list = &o.exclude;
    } else if (a == "-i" || a == "--include") {
      list = &o.include;
    } else if (a == "--help") {
      o.help = true;
    } else if (a == "--overwrite") {
      o.overwrite = true;
    } else if (a == "--password") {
      o.askPassword = true;
    } else if (a == "--symlinks") {
      o.storeSymlinks = true;
    } else if (a == "--span") {
      o.span = true;
    } else if (a == "--yes" || a == "--no") {
      o.answer = a == "--yes" ? ZipPromptAnswer::Yes : ZipPromptAnswer::No;
    } else if (a == "--quiet" || a == "--verbose") {
      o.verbosity = a == "--quiet" ? ZipVerbosity::Quiet : ZipVerbosity::Verbose;
    } else if (a == "-P") {
      if (!value(o.password)) return false;
      o.passwordOnCommandLine = true;
    } else if (a == "--password-file") {
      if (!value(o.passwordFile)) return false;
    } else if (a == "--comment") {
      if (!value(o.comment)) return false;
      o.commentGiven = true;
    } else if (a == "--floppy") {
      if (!value(o.floppy)) return false;
    } else if (a == "--code-page") {
      std::string page;
      if (!value(page)) return false;
      if (!ParseCodePage(page, o.codePage)) {
        error = a + " needs a code page number, not '" + page + "'";
        return false;
      }
    } else if (a == "-T" || a == "--threads") {
      std::string count;
      if (!value(count)) return false;
      if (!ParseThreads(count, 1, o.threads)) {
        error = a + " needs a number of threads from 1 to 256, not '" + count + "'";
        return false;
      }
    } else if (a == "-s" || a == "--split") {
      if (!value(size)) return false;
      if (!ParseSize(size, o.splitSize)) {
        error = a + " needs a size in bytes (k or m for KiB or MiB), not '" + size + "'";
        return false;
      }
    } else if (a[1] != '-') {
      for (size_t c = 1; c < a.size(); ++c) {
        if (!ApplyFlag(a[c], o)) {
          error = "unknown option '-" + std::string(1, a[c]) + "' (see kestrel zip --help)";
          return false;
        }
      }
    } else {
      error = "unknown option '" + a + "' (see kestrel zip --help)";
      return false;
    }
    if ((list == &o.exclude || list == &o.include) && i + 1 >= args.size()) {
      error = a + " needs at least one pattern";
      return false;
    }
  }
  return Consistent(o, error);
}

const char* ZipHelpText() {
  return "usage: kestrel zip [OPTIONS] ARCHIVE [SOURCE...]\n"
         "       kestrel zip -d ARCHIVE PATTERN...\n"
         "\n"
         "Packs files and directories into ARCHIVE, storing each name as given (src/x.c).\n"
         "An existing archive is updated: new files are added, entries whose file is newer are\n"
         "replaced, everything else is kept as it is.\n"
         "\n"
         "  -r                  recurse into directories\n"
         "  -j                  junk the paths: store file names only\n"
         "  -D                  no entries for directories\n"
         "  -y, --symlinks      store symbolic links as links instead of following them\n"
         "  -x PATTERN...       leave out names matching a pattern (* crosses '/')\n"
         "  -i PATTERN...       add only names matching a pattern\n"
         "  -@                  read the names to add from standard input, one a line\n"
         "  -0 .. -9            store only (0) .. compress best (9); default 6\n"
         "  -u                  update: add new files, replace newer ones (the default)\n"
         "  -f                  freshen: only replace entries whose file is newer\n"
         "  -d                  delete the entries matching the PATTERNs\n"
         "  --overwrite         replace the archive by a new one instead of updating it\n"
         "  -z                  read the archive comment from standard input\n"
         "  --comment TEXT      set the archive comment\n"
         "  -e, --password      encrypt, asking for the password on the terminal\n"
         "  --password-file F   encrypt with the first line of file F\n"
         "  -P PASSWORD         encrypt with PASSWORD (other users can see it: avoid)\n"
         "  -T, --threads N     read and compress on N threads (default: one per core;\n"
         "                      the archive is the same with any N)\n"
         "  -s, --split SIZE    write a new archive as block files of SIZE bytes (k, m:\n"
         "                      KiB, MiB)\n"
         "  --span              write a new archive across the disks of --floppy\n"
         "  --code-page N       store non-ASCII names in code page N where it holds them\n"
         "                      (936 for old Chinese Windows tools); default UTF-8\n"
         "  --floppy DIR        DIR is the floppy drive A: (DIR/1, DIR/2 ... are the disks)\n"
         "  --yes, --no         answer the library's questions in advance\n"
         "  -q, --quiet         no progress bar\n"
         "  -v, --verbose       one line per file with its compression ratio, and per entry\n"
         "                      deleted\n"
         "  -h, --help          this text\n"
         "\n"
         "Exit status: 0 done, 1 some files were passed over (named on stderr), 2 usage,\n"
         "3 ARCHIVE is not a zip archive, 4 failure (the system's reason on stderr), 12 nothing\n"
         "to do (no archive written), 130 interrupted.\n";
}

}  // namespace kestrel::cli
