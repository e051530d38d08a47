// zip_options.h — the command line of `kestrel zip`, parsed the way zip users expect: flags
// that can be combined ("-rq"), -x/-i taking the patterns that follow them, -d turning the
// names after the archive into patterns of entries to delete, and value options.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::cli {

enum class ZipUpdate { Newer, Freshen };
enum class ZipVerbosity { Quiet, Normal, Verbose };
enum class ZipPromptAnswer { Ask, Yes, No };

struct ZipOptions {
  std::string archive;
  std::vector<std::string> sources;  // with -d: patterns of entries to delete
  bool help = false;
  bool recurse = false;
  bool junkPaths = false;
  bool noDirEntries = false;
  bool storeSymlinks = false;   // -y
  bool namesFromStdin = false;  // -@
  bool deleteMode = false;      // -d
  bool overwrite = false;
  int level = 6;
  ZipUpdate update = ZipUpdate::Newer;
  ZipVerbosity verbosity = ZipVerbosity::Normal;
  std::vector<std::string> include, exclude;
  bool commentFromStdin = false;  // -z
  bool commentGiven = false;      // --comment TEXT
  std::string comment;
  bool askPassword = false;  // -e, --password
  bool passwordOnCommandLine = false;  // -P
  std::string password;      // -P PASSWORD, or read later from the file or the terminal
  std::string passwordFile;
  uint32_t splitSize = 0;
  int threads = 0;  // -T: worker threads (0: one per core)
  int codePage = 0;  // --code-page: legacy code page of non-ASCII names (0: UTF-8)
  bool span = false;
  std::string floppy;
  ZipPromptAnswer answer = ZipPromptAnswer::Ask;
};

// False with error set on a usage error (unknown option, missing value, options that
// contradict each other, no archive).
bool ParseZipOptions(const std::vector<std::string>& args, ZipOptions& options,
                     std::string& error);
// "1457600", "64k", "2m" -> bytes; false for anything else, 0, or more than 2 GiB - 1.
bool ParseSize(const std::string& text, uint32_t& bytes);
// The text of `kestrel zip --help`.
const char* ZipHelpText();

}  // namespace kestrel::cli
