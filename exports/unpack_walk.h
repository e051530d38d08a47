// unpack_walk.h — the walk behind UnZipFile: destination chain, volume set from drive A:,
// archive check, then every entry through the extraction driver with the walk's stop rules.
// The kestrel command runs the same walk with an observer to report each entry, or in test
// mode to check every entry without writing anything.
#pragma once

#include <cstdint>
#include <string>

#include "archive/zip_header_info.h"
#include "reader/zip_walker.h"

namespace kestrel::exports {

// Longest archive path UnZipFile accepts (its fixed buffer holds 200 characters).
inline constexpr size_t kMaxArchivePath = 200;

// Entry results beside the extraction driver's own (reader/unzip_state.h): the entry is
// refused before the driver sees it, and the walk goes on.
inline constexpr int kEntryUnsafeName = 100;
inline constexpr int kEntryPathTooLong = 101;
// The stored name has no internal form (archive::NameProblem): marked UTF-8 but invalid, no
// form in the ANSI code page in force, or a legacy code page that cannot be converted.
inline constexpr int kEntryBadUtf8Name = 102;
inline constexpr int kEntryNameNotInCodePage = 103;
inline constexpr int kEntryUnknownCodePage = 104;
// Its local data overlaps an entry met before (or shares its local header): a zip bomb's
// building block.
inline constexpr int kEntryOverlapping = 105;
// Its sizes or offset cannot be had: a zip64 value missing, or an offset outside the file.
inline constexpr int kEntryBadValues = 106;
// Hosts that keep Unix metadata: a link whose target is absolute, climbs out of the
// destination or is longer than a path; an entry whose mode is a device, FIFO or socket.
inline constexpr int kEntryUnsafeLink = 107;
inline constexpr int kEntryNotAFile = 108;
// Hosts that keep Unix metadata: a symbolic link stands on the entry's way below the
// destination (or at its name), and nothing is written through one.
inline constexpr int kEntryThroughLink = 109;
// The key that cancels an extraction while held down.
inline constexpr int16_t kEscapeKey = 27;

// Settings of an extraction beyond UnZipFile's.
struct UnpackOptions {
  // Hosts that keep Unix metadata: restore setuid, setgid and sticky bits of Unix-made
  // entries too (they are dropped otherwise; the umask applies either way).
  bool keepSpecialModeBits = false;
};

// A short English text for any entry result.
const char* EntryResultText(int result);

// True for the results that end the walk: read error, format error, cancelled, busy.
bool StopsWalk(int result);

enum class WalkMode { Extract, Test };

class WalkObserver {
 public:
  virtual ~WalkObserver() = default;
  // The archive is recognised; archivePath is what the walk reads (the joined file for a
  // volume set).
  virtual void Begin(const std::string& archivePath) { (void)archivePath; }
  virtual void BeforeEntry(const reader::ZipDirEntry& entry) { (void)entry; }
  // Returning false ends the walk after this entry (the command's Ctrl-C between entries).
  virtual bool AfterEntry(const reader::ZipDirEntry& entry, int result) {
    (void)entry;
    (void)result;
    return true;
  }
};

struct WalkSummary {
  int result = 0;               // UnZipFile's: 1 the archive was walked, 0 it was not
  std::string failure;          // why result is 0 (English)
  int32_t directoryResult = 0;  // FirstZipEntry's result: non-zero when no entry was read
  int stopResult = 0;           // the entry result that ended the walk early, else 0
  bool stoppedByObserver = false;
  // The directory's account: entries the end record declares, entries the walk read, and
  // whether the walk stopped before the directory's declared end (result is then 0).
  uint64_t entriesDeclared = 0;
  uint64_t entriesRead = 0;
  bool directoryDamaged = false;
};

// "central directory damaged after entry N of M".
std::string DamageText(uint64_t entriesRead, uint64_t entriesDeclared);

// entry as the walker would deliver it, from the component's header h (the comment aside).
void EntryFromHeader(reader::ZipDirEntry& entry, const archive::TZipHeaderInfo& h);

// Where the entries come from: the central directory through the walker (UnZipFile's way),
// or the component's repair scan, which finds the local headers in the file and completes them
// with the central records it can read (the way out of a damaged directory). entriesRead and
// entriesDeclared then both count the entries found.
enum class EntrySource { Directory, RepairScan };

// destDir is ignored in test mode (no directory is created). observer may be null.
// legacyCodePage: the code page of names without the UTF-8 mark (0: the ANSI code page).
WalkSummary UnpackArchive(const std::string& source, const std::string& destDir,
                          WalkMode mode, WalkObserver* observer, int legacyCodePage = 0,
                          EntrySource from = EntrySource::Directory,
                          const UnpackOptions& options = {});

}  // namespace kestrel::exports
