// zip_directory_loader.cpp — TLynUnZip::ReadZip: finds the end record (in the archive, else
// in the ".zfc" configuration file), follows the central directory over disk files, and
// falls back to the repair scan when the directory cannot be read.
//
// Nothing here trusts a count or an offset: every entry is read from bytes that are really
// there, so memory grows only with what the file holds, and a directory that ends early or
// contradicts itself either gets repaired or raises EBadZipFile after ClearZip.
#include <vector>

#include "archive/lyn_unzip.h"
#include "archive/stream_io.h"
#include "archive/zip64_records.h"
#include "classlib/ansi_string.h"
#include "classlib/file_stream.h"
#include "classlib/path_utils.h"
#include "platform/platform.h"
#include "support/dos_date_time.h"
#include "support/file_ops.h"
#include "support/lfn_file_stream.h"
#include "support/string_table.h"

namespace kestrel::archive {

using support::LoadStr;

namespace {

// Whether a central record (its signature) stands at position, before the directory's end.
bool CentralRecordAt(classlib::Stream& s, int64_t position, int64_t directoryEnd) {
  uint8_t signature[4];
  if (position < 0 || position + 4 > directoryEnd) return false;
  StreamSeek(s, position);
  return ReadUpTo(s, signature, 4) == 4 && LoadLe32(signature) == kCentralHeaderSignature;
}

// A directory offset of 2 GiB or more, once refused, is believed in a single-file archive
// where a central record stands at that place (an archive that large needs no zip64 yet).
bool EndRecordAcceptable(const TEndCentral& end, classlib::Stream& s) {
  if (end.thisDisk > 999 || end.startDisk > 999 || end.thisDisk < end.startDisk) return false;
  if (end.centralOffset < 0x80000000u || end.location.Zip64()) return true;
  return end.thisDisk == 0 &&
         CentralRecordAt(s, end.location.CentralStart(), end.location.DirectoryEnd());
}

// A single-file archive is read by its location (zip64 values, data in front); the disks of a
// multi-disk set keep the end record's own fields.
bool ReadByLocation(const TEndCentral& end, bool fromConfig) {
  return end.thisDisk == 0 && !fromConfig;
}

uint64_t EntryCount(const TEndCentral& end, bool fromConfig) {
  return ReadByLocation(end, fromConfig) ? end.location.totalEntries : end.totalEntries;
}

// Completes h's full-width values: the marked fields from its zip64 extra field (read at the
// stream position, which is left where it was) and the offset shift of data in front. False
// when the zip64 field lacks a value it must carry.
bool TakeWideValues(TZipHeaderInfo& h, classlib::Stream& s, const DirectoryLocation& where) {
  CentralFileHeader c;
  c.compressedSize = h.compressedSize;
  c.uncompressedSize = h.uncompressedSize;
  c.localHeaderOffset = h.localHeaderOffset;
  c.diskNumberStart = h.diskNumberStart;
  if (MarkedFields(c).Any()) {
    const int64_t at = StreamPosition(s);
    std::vector<uint8_t> extra(h.centralExtraLength);
    extra.resize(ReadUpTo(s, extra.data(), h.centralExtraLength));
    StreamSeek(s, at);
    Zip64Values values;
    if (!ResolveZip64(c, extra.data(), extra.size(), values)) return false;
    h.compressedSize64 = values.compressedSize;
    h.uncompressedSize64 = values.uncompressedSize;
    h.localHeaderOffset64 = values.localHeaderOffset;
  }
  if (where.shift != 0) {
    h.localHeaderOffset64 += static_cast<uint64_t>(where.shift);
    if (h.localHeaderOffset != kZip64Marker && h.localHeaderOffset64 < kZip64Marker) {
      h.localHeaderOffset = static_cast<uint32_t>(h.localHeaderOffset64);
    }
  }
  return true;
}

void Skip(classlib::Stream& s, int64_t n) {
  if (n != 0) s.Seek(n, classlib::soFromCurrent);
}

}  // namespace

// A configuration file is only believed when the entries it places on the first disk have
// local headers there that agree with it; one left over from another archive would otherwise
// describe data that is not in the file.
static bool ConfigurationMatches(classlib::Stream& config, classlib::Stream& archive,
                                 const TEndCentral& end, bool oemConvert) {
  StreamSeek(config, 0);
  for (uint32_t i = 0; i < end.totalEntries; ++i) {
    TZipHeaderInfo h;
    h.oemConvert = oemConvert;
    if (!h.ReadCentral(config)) return false;
    Skip(config, int64_t{h.centralExtraLength} + h.fileCommentLength);
    if (h.diskNumberStart != 0) continue;
    uint8_t local[kLocalHeaderSize];
    StreamSeek(archive, h.localHeaderOffset);
    if (ReadUpTo(archive, local, kLocalHeaderSize) != kLocalHeaderSize) return false;
    uint16_t nameLength = LoadLe16(local + 26);
    uint16_t flags = LoadLe16(local + 6);
    if (LoadLe32(local) != kLocalHeaderSignature || nameLength != h.fileNameLength) return false;
    if ((flags & kFlagDataDescriptor) == 0 && LoadLe32(local + 14) != h.crc32) return false;
  }
  StreamSeek(config, 0);
  return true;
}

void TLynUnZip::ReadZip() {
  try {
    archiveDate_ = support::FileDateTime(zipName_);
    if (Count() > 0) ReleaseDirectory();
    classlib::Stream* stream = stream_.get();
    bool fromConfig = false;
    bool found = endCentral_->Locate(*stream) && EndRecordAcceptable(*endCentral_, *stream);
    if (!found) {
      std::string configName = classlib::ChangeFileExt(zipName_, ".zfc");
      if (support::FileExistsAt(configName)) {
        configStream_ = std::make_unique<support::TLFNFileStream>(
            configName, classlib::fmOpenRead | classlib::fmShareDenyWrite, false,
            streamBufferSize_);
        if (endCentral_->Locate(*configStream_) &&
            EndRecordAcceptable(*endCentral_, *configStream_) &&
            ConfigurationMatches(*configStream_, *stream_, *endCentral_, OEMConvert())) {
          found = true;
          fromConfig = true;
          stream = configStream_.get();
        } else {
          configStream_.reset();
        }
      }
    }

    if (found) {
      currentDisk_ = fromConfig ? 0 : endCentral_->thisDisk;
      if (endCentral_->thisDisk == 0) {
        SetMultiMode(mmNone);
      } else if (zipName_.size() < 2 || zipName_[1] != ':') {
        SetMultiMode(mmBlocks);
      } else {
        std::string root = classlib::AsciiUpperCase(zipName_.substr(0, 3));
        SetMultiMode(os::GetDriveType(root) == os::kDriveRemovable ? mmSpan : mmBlocks);
      }
      // A single file is read from its directory's start even when the end record counts no
      // entries: records it does not count are read too.
      if (EntryCount(*endCentral_, fromConfig) != 0 || ReadByLocation(*endCentral_, fromConfig)) {
        if (!fromConfig && MultiMode() != mmNone &&
            endCentral_->startDisk != currentDisk_) {
          stream = &SwitchToDisk(endCentral_->startDisk + 1);
        }
        const int64_t start = ReadByLocation(*endCentral_, fromConfig)
                                  ? endCentral_->location.CentralStart()
                                  : int64_t{endCentral_->centralOffset};
        StreamSeek(*stream, fromConfig ? 0 : start);
      }
    } else {
      TIncompleteZipMode mode = IncompleteZipMode();
      if (OnInCompleteZip) {
        OnInCompleteZip(this, mode);
        SetIncompleteZipMode(mode);
      }
      if (mode == izAssumeNotAZip) throw ENotAZipFile(LoadStr(support::sNotAValidZip));
      if (mode == izAssumeMulti) throw EIncompleteZip(LoadStr(support::sIncompleteZip));
      if (!RepairScan()) {
        ClearZip();
        throw EBadZipFile(LoadStr(support::sNotAValidZip));
      }
      stream = stream_.get();
    }

    if (Count() == 0) {
      entries_ = std::make_unique<TSortedZip>(dupErrorObject);
      entries_->SetSortMode(ByNone);
      separateView_.reset();
      view_ = entries_.get();
    }
    LoadEntries(stream, fromConfig);
    LoadCommentsOfMultiDisk(stream, fromConfig);

    numberOfDisks_ = endCentral_->thisDisk + 1;
    currentDisk_ = fromConfig ? 0 : endCentral_->thisDisk;
    ApplySortMode(SortMode());
    configStream_.reset();
  } catch (const EBadZipFile&) {
    throw;
  } catch (...) {
    // No half-loaded directory may pass for the archive's: the next OpenZip loads again.
    configStream_.reset();
    ReleaseDirectory();
    archiveDate_ = 0;
    throw;
  }
}

void TLynUnZip::LoadEntries(classlib::Stream*& stream, bool& fromConfig) {
  TNextDiskCallback nextDisk = [this](TZipHeaderInfo&, classlib::Stream*& s) {
    s = &SwitchToDisk(currentDisk_ + 2);
  };
  int64_t pendingExtra = 0;
  TZipHeaderInfo* pending = nullptr;
  auto failBad = [this]() {
    ClearZip();
    throw EBadZipFile(LoadStr(support::sNotAValidZip));
  };
  auto restartRepaired = [&]() {
    // The repair scan rebuilt the list from the local headers; read the central records
    // again (from where the local headers end) to complete them.
    configStream_.reset();
    fromConfig = false;
    stream = stream_.get();
    pendingExtra = 0;
    pending = nullptr;
  };

  // A single file's directory is read to its end, as the walker reads it: records past the
  // declared count are damage (the repair scan runs) unless the count wrapped at 65,536.
  auto recordFollows = [&]() {
    if (repaired_ || !ReadByLocation(*endCentral_, fromConfig)) return false;
    const int64_t at = StreamPosition(*stream);
    const bool there = CentralRecordAt(*stream, at, endCentral_->location.DirectoryEnd());
    StreamSeek(*stream, at);
    return there;
  };

  for (uint64_t i = 0;;) {
    const uint64_t declared = EntryCount(*endCentral_, fromConfig);
    if (i >= declared && !recordFollows()) {
      if (repaired_ || CountAgrees(i, declared)) break;
      if (!RepairScan()) failBad();
      restartRepaired();
      i = 0;
      continue;
    }
    std::unique_ptr<TZipHeaderInfo> h = NewHeader();
    bool withCallback = !repaired_ && MultiMode() != mmNone && !fromConfig;
    auto read = [&]() {
      return withCallback ? h->ReadCentral(stream, nextDisk) : h->ReadCentral(*stream);
    };
    bool ok = read();
    if (!ok && pendingExtra > 0 && pending != nullptr &&
        StreamPosition(*stream) >= pendingExtra) {
      // The previous record announced an extra field that is not there: take it back.
      pending->centralExtraLength = 0;
      Skip(*stream, -pendingExtra);
      ok = read();
    }
    pendingExtra = 0;
    pending = nullptr;
    if (ok && ReadByLocation(*endCentral_, fromConfig)) {
      ok = TakeWideValues(*h, *stream, endCentral_->location);
    }

    if (!ok) {
      if (repaired_) break;
      if (MultiMode() != mmNone || !RepairScan()) failBad();
      restartRepaired();
      i = 0;
      continue;
    }

    if (repaired_) {
      // A central record completes the local header it points at, once, and only when both
      // name the same entry: two records claiming one offset must not rename it.
      int32_t at = entries_->IndexOf(h.get());
      if (at >= 0 && (entries_->Header(at)->centralHeaderPosition64 != 0 ||
                      entries_->Header(at)->FullName() != h->FullName())) {
        at = -1;
      }
      if (at < 0) {
        Skip(*stream, int64_t{h->centralExtraLength} + h->fileCommentLength);
        ++i;
        continue;
      }
      TZipHeaderInfo* entry = entries_->Header(at);
      const uint32_t offset = entry->localHeaderOffset;
      const uint64_t offset64 = entry->localHeaderOffset64;
      entry->Assign(*h);
      entry->localHeaderOffset = offset;
      entry->localHeaderOffset64 = offset64;
      Skip(*stream, int64_t{h->centralExtraLength} + h->fileCommentLength);
      if (h->centralExtraLength != 0) {
        pendingExtra = h->centralExtraLength;
        pending = entry;
      }
      ++i;
      continue;
    }

    TZipHeaderInfo* entry = h.get();
    try {
      entries_->Add(entry);
      h.release();
    } catch (const classlib::EListError&) {
      // Two records claim the same local header.
      if (MultiMode() != mmNone || !RepairScan()) failBad();
      restartRepaired();
      i = 0;
      continue;
    }

    Skip(*stream, entry->centralExtraLength);
    if (endCentral_->thisDisk != 0 && entry->HasComment()) {
      // Multi-disk: the record's disk is open now, so its comment is read while it is here.
      std::string text(entry->fileCommentLength, '\0');
      text.resize(ReadUpTo(*stream, text.data(), entry->fileCommentLength));
      bool changed = endCentral_->commentsChanged;
      entry->SetComment(std::optional<std::string>(text));
      endCentral_->commentsChanged = changed;
    } else {
      Skip(*stream, entry->fileCommentLength);
    }
    if (entry->centralExtraLength != 0) {
      pendingExtra = entry->centralExtraLength;
      pending = entry;
    }
    ++i;
  }
}

void TLynUnZip::LoadCommentsOfMultiDisk(classlib::Stream*& stream, bool fromConfig) {
  if (endCentral_->thisDisk == 0 || endCentral_->commentLength == 0) return;
  if (fromConfig) {
    StreamSeek(*stream, endCentral_->commentPosition);
    std::string text(endCentral_->commentLength, '\0');
    text.resize(ReadUpTo(*stream, text.data(), endCentral_->commentLength));
    SetZipComment(text);
    endCentral_->commentsChanged = false;
    return;
  }
  if (currentDisk_ != endCentral_->thisDisk) {
    stream = &SwitchToDisk(endCentral_->thisDisk + 1);
  }
  ZipComment();
}

}  // namespace kestrel::archive
