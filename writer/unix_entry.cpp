// unix_entry.cpp — what an entry records of a Unix file on hosts that keep it: the host
// "Unix" in the made-by field, st_mode in the high half of the external attributes (the DOS
// byte stays in the low half), the exact modification time in an extended-timestamp extra
// field, and a symbolic link stored as a link (its target is the entry's data).
#include <limits>

#include "archive/extended_timestamp.h"
#include "classlib/date_time.h"
#include "classlib/memory_stream.h"
#include "platform/platform.h"
#include "writer/zip_run_state.h"

namespace kestrel::writer {

namespace {

constexpr uint16_t kHostUnix = 3;
constexpr uint8_t kModificationTimeFlag = 0x01;
constexpr uint32_t kArchiveAttribute = 0x20;

void PutLe(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// The extended timestamp with the modification time only, the same in both records; none
// when the time does not fit its signed 32-bit field.
std::string ExtendedTimestamp(int64_t mtime) {
  if (mtime < std::numeric_limits<int32_t>::min() || mtime > std::numeric_limits<int32_t>::max())
    return {};
  std::string field;
  PutLe(field, archive::kExtendedTimestampId, 2);
  PutLe(field, 5, 2);
  field += static_cast<char>(kModificationTimeFlag);
  PutLe(field, static_cast<uint32_t>(static_cast<int32_t>(mtime)), 4);
  return field;
}

// The DOS date and time (local) of a Unix time; 0 when it falls outside the DOS range.
uint32_t DosTimeOf(int64_t mtime) {
  const os::FileTime utc = os::FileTimeFromUnix(mtime);
  os::FileTime local;
  uint16_t date = 0, time = 0;
  if (utc.ticks == 0 || !os::FileTimeToLocalFileTime(utc, local) ||
      !os::FileTimeToDosDateTime(local, date, time))
    return 0;
  return uint32_t{date} << 16 | time;
}

}  // namespace

void TLynZip::StampUnixMetadata(const std::string& path, bool followLink) {
  if (!os::KeepsUnixMetadata()) return;
  os::UnixStat st;
  if (!os::GetUnixStat(path, st, followLink)) return;
  archive::TZipHeaderInfo& header = *run_->header;
  header.versionMadeBy = static_cast<uint16_t>(kHostUnix << 8 | (header.versionMadeBy & 0xFF));
  header.externalAttributes = (st.mode & 0xFFFF) << 16 | (header.externalAttributes & 0xFFFF);
  header.SetOwnExtra(ExtendedTimestamp(st.mtime));
}

bool TLynZip::OpenLinkSource(const std::string& name) {
  std::string target;
  os::UnixStat st;
  if (!os::ReadSymbolicLink(name, target) || !os::GetUnixStat(name, st, false)) return false;
  archive::TZipHeaderInfo& header = *run_->header;
  header.externalAttributes = kArchiveAttribute;
  const uint32_t dos = DosTimeOf(st.mtime);
  header.dateTime = dos != 0 ? dos : classlib::DateTimeToFileDate(classlib::Now());
  run_->entry.uncompressedSize = target.size();
  header.uncompressedSize = static_cast<uint32_t>(target.size());
  run_->input = std::make_unique<classlib::MemoryStream>(
      std::vector<uint8_t>(target.begin(), target.end()));
  StampUnixMetadata(name, false);
  return true;
}

}  // namespace kestrel::writer
