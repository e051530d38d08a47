// zip_repair_scan.cpp — TLynUnZip::RepairScan: rebuilds a lost directory from the local
// headers, in file order.
//
// The scan looks for the first local header signature, then follows the headers by their
// sizes. Every candidate must be plausible (version, method, and its name and extra field
// inside the file), so a signature that happens to lie in compressed data is passed over.
// Where the chain breaks before a central directory, the scan searches on from there; an
// entry with a data descriptor and no size is measured by finding its descriptor. Every step
// moves forward through the file, so the scan always ends.
#include <algorithm>
#include <vector>

#include "archive/lyn_unzip.h"
#include "archive/stream_io.h"
#include "classlib/ansi_string.h"
#include "classlib/path_utils.h"
#include "support/lfn_file_stream.h"

namespace kestrel::archive {

namespace {

constexpr uint32_t kDescriptorSignature = 0x08074B50u;
// Bytes scanned between two looks at the host's messages and the cancel request.
constexpr int64_t kMessageInterval = 10240;
constexpr size_t kChunk = 65536;
// Self-extracting archives: the stub before the first entry is skipped.
constexpr int64_t kExeStubSize = 14000;

bool KnownMethod(uint16_t m) {
  return m <= 10 || m == 12 || m == 14 || m == 18 || m == 19 || (m >= 93 && m <= 99);
}

uint32_t Peek32(classlib::Stream& s, int64_t at, int64_t size, bool& ok) {
  uint8_t b[4];
  ok = at >= 0 && at + 4 <= size;
  if (!ok) return 0;
  StreamSeek(s, at);
  ok = ReadUpTo(s, b, 4) == 4;
  return ok ? LoadLe32(b) : 0;
}

}  // namespace

// Scans forward from `from` for "PK\3\4" whose header is plausible; calls back into the
// host every kMessageInterval bytes. Returns the position or -1.
int64_t TLynUnZip::FindLocalHeader(classlib::Stream& s, int64_t from, int64_t size, bool) {
  std::vector<uint8_t> chunk(kChunk);
  int64_t sinceCheck = 0;
  int64_t base = from;
  while (base + 4 <= size) {
    StreamSeek(s, base);
    uint32_t got = ReadUpTo(s, chunk.data(), static_cast<uint32_t>(
                                                 std::min<int64_t>(kChunk, size - base)));
    if (got < 4) return -1;
    for (uint32_t i = 0; i + 4 <= got; ++i) {
      if (++sinceCheck >= kMessageInterval) {
        sinceCheck = 0;
        ProcessMessagesAndCheckCancel();
      }
      if (chunk[i] != 0x50 || LoadLe32(chunk.data() + i) != kLocalHeaderSignature) continue;
      int64_t at = base + i;
      uint8_t h[kLocalHeaderSize];
      if (at + kLocalHeaderSize > size) return -1;
      StreamSeek(s, at);
      if (ReadUpTo(s, h, kLocalHeaderSize) != kLocalHeaderSize) return -1;
      bool plausible = (h[5] < 10) && KnownMethod(LoadLe16(h + 8)) &&
                       at + kLocalHeaderSize + LoadLe16(h + 26) + LoadLe16(h + 28) <= size;
      if (plausible) return at;
    }
    // The last three bytes may start a signature that the next chunk completes.
    base += got - 3;
  }
  return -1;
}

bool TLynUnZip::RepairScan() {
  if (repaired_) return false;
  repaired_ = true;
  ReleaseDirectory();
  classlib::Stream& s = *stream_;
  const int64_t size = StreamSize(s);
  int64_t start =
      classlib::AnsiSameText(classlib::ExtractFileExt(zipName_), ".EXE") ? kExeStubSize : 0;
  int64_t pos = FindLocalHeader(s, start, size, false);
  if (pos < 0) return false;

  entries_ = std::make_unique<TSortedZip>(dupErrorObject);
  entries_->SetSortMode(ByNone);
  view_ = entries_.get();
  int64_t directoryStart = pos;
  std::vector<uint8_t> probe(kChunk);

  while (pos < size && pos <= 0xFFFFFFFFll) {
    StreamSeek(s, pos);
    std::unique_ptr<TZipHeaderInfo> h = NewHeader();
    if (!h->ReadLocal(s)) {
      // A central directory here ends the entries; anything else is damage to search past.
      bool ok = false;
      uint32_t sig = Peek32(s, pos, size, ok);
      if (ok && (sig == kCentralHeaderSignature || sig == kEndCentralSignature)) break;
      pos = FindLocalHeader(s, pos + 1, size, true);
      if (pos < 0) break;
      continue;
    }
    int64_t dataStart = pos + h->LocalSize();
    int64_t next = dataStart + h->compressedSize;
    if (h->HasDataDescriptor()) {
      bool ok = false;
      if (h->compressedSize != 0) {
        // The descriptor follows the data: 16 bytes with its signature, 12 without.
        next += (Peek32(s, next, size, ok) == kDescriptorSignature && ok) ? 16 : 12;
      } else {
        // Size unknown in the local header: find the descriptor whose compressed size
        // matches the distance from the data start.
        int64_t found = -1;
        for (int64_t q = dataStart; found < 0 && q + 4 <= size;) {
          StreamSeek(s, q);
          uint32_t got = ReadUpTo(s, probe.data(),
                                  static_cast<uint32_t>(std::min<int64_t>(kChunk, size - q)));
          if (got < 4) break;
          for (uint32_t i = 0; i + 4 <= got; ++i) {
            if (probe[i] != 0x50 || probe[i + 1] != 0x4B) continue;
            int64_t at = q + i;
            uint32_t sig = LoadLe32(probe.data() + i);
            uint8_t d[16];
            if (sig == kDescriptorSignature && at + 16 <= size) {
              StreamSeek(s, at);
              if (ReadUpTo(s, d, 16) == 16 && LoadLe32(d + 8) == at - dataStart) {
                h->crc32 = LoadLe32(d + 4);
                h->compressedSize = LoadLe32(d + 8);
                h->uncompressedSize = LoadLe32(d + 12);
                found = at + 16;
                break;
              }
            } else if ((sig == kLocalHeaderSignature || sig == kCentralHeaderSignature) &&
                       at - 12 >= dataStart) {
              StreamSeek(s, at - 12);
              if (ReadUpTo(s, d, 12) == 12 && LoadLe32(d + 4) == at - 12 - dataStart) {
                h->crc32 = LoadLe32(d);
                h->compressedSize = LoadLe32(d + 4);
                h->uncompressedSize = LoadLe32(d + 8);
                found = at;
                break;
              }
            }
          }
          if (found < 0) q += got - 3;
          ProcessMessagesAndCheckCancel();
        }
        next = found >= 0 ? found : dataStart;
      }
    }
    entries_->Add(h.release());
    directoryStart = next;
    pos = next;
  }

  StreamSeek(s, directoryStart);
  endCentral_->thisDisk = 0;
  currentDisk_ = 0;
  endCentral_->centralOffset = static_cast<uint32_t>(std::min<int64_t>(directoryStart, 0xFFFFFFFFll));
  endCentral_->totalEntries = static_cast<uint16_t>(std::min<int32_t>(entries_->Count(), 0xFFFF));
  // The rebuilt directory is where the local headers end, at every width.
  endCentral_->location = DirectoryLocation{};
  endCentral_->location.totalEntries = static_cast<uint64_t>(entries_->Count());
  endCentral_->location.centralOffset = static_cast<uint64_t>(directoryStart);
  numberOfDisks_ = 1;
  return true;
}

}  // namespace kestrel::archive
