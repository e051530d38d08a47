// unzip_options.cpp — parsing the reading subcommands' options, in the manner of unzip:
// options may stand anywhere, "-x" takes every following word up to the next option.
#include "cli/unzip_options.h"

#include "cli/code_page_option.h"
#include "cli/thread_option.h"

namespace kestrel::cli {

namespace {

bool Allowed(ReadCommand command, const std::string& option) {
  if (option == "-q" || option == "-v" || option == "-x" || option == "-P" ||
      option == "--password-file" || option == "--code-page" || option == "--floppy" ||
      option == "--repair") {
    return true;
  }
  switch (command) {
    case ReadCommand::Unzip:
      return option == "-d" || option == "-j" || option == "-K" || option == "-p" ||
             option == "-o" || option == "-n" || option == "-t" || option == "-l" ||
             option == "--no-space-check" || option == "-T" || option == "--threads";
    case ReadCommand::List: return option == "-1" || option == "--names" || option == "--component";
    case ReadCommand::Test: return option == "-T" || option == "--threads";
  }
  return false;
}

}  // namespace

bool ParseUnzipOptions(ReadCommand command, const Args& args, UnzipOptions& options,
                       std::string& error) {
  options.command = command;
  bool excluding = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      return true;
    }
    const bool option = arg.size() > 1 && arg[0] == '-';
    if (!option) {
      if (options.archive.empty()) {
        options.archive = arg;
      } else {
        (excluding ? options.exclude : options.include).push_back(arg);
      }
      continue;
    }
    if (!Allowed(command, arg)) {
      error = "unknown option '" + arg + "'";
      return false;
    }
    excluding = arg == "-x";
    if (arg == "-d" || arg == "-P" || arg == "--password-file" || arg == "--code-page" ||
        arg == "--floppy" || arg == "-T" || arg == "--threads") {
      if (i + 1 >= args.size()) {
        error = arg + " needs a value";
        return false;
      }
      const std::string& value = args[++i];
      if (arg == "-d") options.dest = value;
      if (arg == "-P") options.password = value;
      if (arg == "--password-file") options.passwordFile = value;
      if (arg == "--floppy") options.floppy = value;
      if (arg == "--code-page" && !ParseCodePage(value, options.codePage)) {
        error = "--code-page needs a code page number, not '" + value + "'";
        return false;
      }
      if ((arg == "-T" || arg == "--threads") && !ParseThreads(value, 0, options.threads)) {
        error = arg + " needs a number of threads from 0 to 256, not '" + value + "'";
        return false;
      }
    } else if (arg == "-j") {
      options.junkPaths = true;
    } else if (arg == "-K") {
      options.keepSpecialModes = true;
    } else if (arg == "-p") {
      options.pipe = true;
    } else if (arg == "-q") {
      options.quiet = true;
    } else if (arg == "-v") {
      options.verbose = true;
    } else if (arg == "-o" || arg == "-n") {
      const auto wanted = arg == "-o" ? UnzipOptions::Overwrite::Always : UnzipOptions::Overwrite::Never;
      if (options.overwrite != UnzipOptions::Overwrite::Default && options.overwrite != wanted) {
        error = "-o and -n exclude each other";
        return false;
      }
      options.overwrite = wanted;
    } else if (arg == "-t") {
      options.command = ReadCommand::Test;
    } else if (arg == "-l") {
      options.command = ReadCommand::List;
    } else if (arg == "--no-space-check") {
      options.spaceCheck = false;
    } else if (arg == "-1" || arg == "--names") {
      options.namesOnly = true;
    } else if (arg == "--repair") {
      options.repair = true;
    } else if (arg == "--component") {
      options.component = true;
    }
  }
  if (options.archive.empty()) {
    error = "no archive given";
    return false;
  }
  if (options.password && !options.passwordFile.empty()) {
    error = "-P and --password-file exclude each other";
    return false;
  }
  if (options.pipe && options.command != ReadCommand::Unzip) {
    error = "-p extracts; it cannot be combined with -t or -l";
    return false;
  }
  return true;
}

const char* ReadCommandHelp(ReadCommand command) {
  switch (command) {
    case ReadCommand::Unzip:
      return "usage: kestrel unzip ARCHIVE [NAME|PATTERN...] [-x PATTERN...] [-d DIR] [options]\n"
             "Unpacks the entries of ARCHIVE (all of them, or those matching a NAME or PATTERN;\n"
             "'*', '?' and [set] match across '/') into DIR (default: the current directory).\n"
             "\n"
             "  -d DIR               unpack into DIR (created when missing)\n"
             "  -x PATTERN...        leave out the entries matching a PATTERN\n"
             "  -j                   junk paths: every file goes into DIR itself\n"
             "  -K                   keep setuid, setgid and sticky bits of Unix entries\n"
             "  -p                   write the entries' data to standard output, nothing else\n"
             "  -o                   overwrite existing files without asking\n"
             "  -n                   never overwrite existing files\n"
             "                       (neither: asked file by file on a terminal; otherwise\n"
             "                       existing files are kept and named, exit status 1)\n"
             "  -P PASSWORD          password for encrypted entries\n"
             "  --password-file FILE read the password from the first line of FILE\n"
             "                       (neither: asked on the terminal when an entry needs it)\n"
             "  --code-page N        code page of names not marked UTF-8 (default 936)\n"
             "  --floppy DIR         ARCHIVE is on the emulated floppy DIR (DIR/1, DIR/2 ... are\n"
             "                       the disks of a spanned set; otherwise change the disk in\n"
             "                       DIR when asked); A:\\NAME names a file on it as well\n"
             "  --repair             take the entries from a scan of the local headers\n"
             "                       (for an archive whose central directory is damaged)\n"
             "  --no-space-check     go on when the entries' sizes exceed the free space\n"
             "  -T, --threads N      unpack on N threads (default 0: one per processor;\n"
             "                       1: on this one); the outcome is the same\n"
             "  -t, -l               the same as kestrel test, kestrel list\n"
             "  -q                   no progress bar      -v  name every entry unpacked\n"
             "\n"
             "Exit status: 0 done; 1 some entries failed or existing files were kept (each\n"
             "named on stderr); 2 usage; 3 not a zip archive or its directory is damaged;\n"
             "4 the destination cannot be created; 9 no such archive; 11 no entry matches;\n"
             "130 interrupted (Ctrl-C).\n";
    case ReadCommand::Test:
      return "usage: kestrel test ARCHIVE [NAME|PATTERN...] [-x PATTERN...] [options]\n"
             "Decodes the selected entries of ARCHIVE (default: all) and checks their CRCs,\n"
             "writing nothing. Options: -x, -P, --password-file, --code-page, --floppy,\n"
             "--repair, -q (no summary line), -v (name every entry tested), as for\n"
             "kestrel unzip.\n"
             "\n"
             "  -T, --threads N      test on N threads (default 0: one per processor)\n"
             "\n"
             "Exit status: 0 every entry is intact; 1 some entries failed (each named on\n"
             "stderr); 2 usage; 3 not a zip archive or its directory is damaged; 9 no such\n"
             "archive; 11 no entry matches; 130 interrupted.\n";
    case ReadCommand::List:
      return "usage: kestrel list ARCHIVE [NAME|PATTERN...] [-x PATTERN...] [options]\n"
             "Lists the entries of ARCHIVE like unzip -lv, and the archive's comment.\n"
             "\n"
             "  -1, --names          entry names only, one per line\n"
             "  -v                   a first column with each entry's mode (-rwxr-xr-x)\n"
             "  --code-page N        code page of names not marked UTF-8 (default 936)\n"
             "  --component          read the directory through the archive engine that\n"
             "                       writes archives, entry comments under their entries\n"
             "  --repair             take the entries from a scan of the local headers\n"
             "  --floppy DIR         ARCHIVE is on the emulated floppy DIR (see kestrel unzip)\n"
             "\n"
             "Exit status: 0 listed; 2 usage; 3 not a zip archive or its directory is\n"
             "damaged; 9 no such archive; 11 no entry matches.\n";
  }
  return "";
}

}  // namespace kestrel::cli
