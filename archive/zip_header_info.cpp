// zip_header_info.cpp — TZipHeaderInfo: defaults, assignment, names, and the local and
// central records read from and written to a stream, field by field in little-endian order.
#include "archive/zip_header_info.h"

#include <algorithm>

#include "archive/extra_fields.h"
#include "archive/stream_io.h"
#include "classlib/path_utils.h"
#include "platform/platform.h"
#include "support/dos_date_time.h"

namespace kestrel::archive {

namespace {

// Up to n bytes from the stream's position (the extra field after a name, which may carry the
// name in UTF-8); the stream stays where it was.
std::string PeekBytes(classlib::Stream& stream, uint16_t n) {
  const int64_t at = StreamPosition(stream);
  std::string bytes(n, '\0');
  bytes.resize(ReadUpTo(stream, bytes.data(), n));
  StreamSeek(stream, at);
  return bytes;
}

}  // namespace

TZipHeaderInfo::TZipHeaderInfo() { Reset(); }
TZipHeaderInfo::~TZipHeaderInfo() = default;

void TZipHeaderInfo::Reset() {
  versionMadeBy = 20;
  versionNeeded = 20;
  flags = 0;
  method = 8;
  dateTime = 0;
  crc32 = 0xFFFFFFFFu;
  compressedSize = 0;
  uncompressedSize = 0;
  fileNameLength = 0;
  centralExtraLength = 0;
  localExtraLength = 0;
  fileCommentLength = 0;
  diskNumberStart = 0;
  internalAttributes = 1;
  externalAttributes = 0x20;
  localHeaderOffset = 0;
  centralHeaderPosition = 0;
  compressedSize64 = uncompressedSize64 = localHeaderOffset64 = centralHeaderPosition64 = 0;
  fileName_.clear();
  directory_.clear();
  comment_.reset();
  commentExtra_.clear();
  ownExtra_.clear();
  workByte1 = workByte2 = workByte3 = 0;
  oemConvert = false;
  legacyCodePage = 0;
  nameCodePage = kDefaultNameCodePage;
  nameProblem = NameProblem::None;
  storedName_.clear();
  storedFor_.clear();
}

void TZipHeaderInfo::Assign(const classlib::Persistent& source) {
  const auto* other = dynamic_cast<const TZipHeaderInfo*>(&source);
  if (other == nullptr) {
    classlib::Persistent::Assign(source);
    return;
  }
  other->AssignTo(*this);
}

void TZipHeaderInfo::AssignTo(classlib::Persistent& destination) const {
  auto* d = dynamic_cast<TZipHeaderInfo*>(&destination);
  if (d == nullptr) {
    classlib::Persistent::AssignTo(destination);
    return;
  }
  if (d == this) return;
  d->versionMadeBy = versionMadeBy;
  d->versionNeeded = versionNeeded;
  d->flags = flags;
  d->method = method;
  d->dateTime = dateTime;
  d->crc32 = crc32;
  d->compressedSize = compressedSize;
  d->uncompressedSize = uncompressedSize;
  d->fileNameLength = fileNameLength;
  d->centralExtraLength = centralExtraLength;
  d->localExtraLength = localExtraLength;
  d->fileCommentLength = fileCommentLength;
  d->diskNumberStart = diskNumberStart;
  d->internalAttributes = internalAttributes;
  d->externalAttributes = externalAttributes;
  d->localHeaderOffset = localHeaderOffset;
  d->centralHeaderPosition = centralHeaderPosition;
  d->nameProblem = nameProblem;
  d->storedName_ = storedName_;
  d->storedFor_ = storedFor_;
  d->compressedSize64 = compressedSize64;
  d->uncompressedSize64 = uncompressedSize64;
  d->localHeaderOffset64 = localHeaderOffset64;
  d->centralHeaderPosition64 = centralHeaderPosition64;
  d->SetFileName(fileName_);
  d->SetDirectory(directory_);
  // The same name now: its stored form is the source's, whatever the setters worked out.
  d->versionMadeBy = versionMadeBy;
  d->flags = flags;
  d->fileNameLength = fileNameLength;
  if (fileCommentLength != 0 && comment_) d->comment_ = comment_;
  d->commentExtra_ = commentExtra_;
  d->ownExtra_ = ownExtra_;
  d->workByte1 = workByte1;
  d->workByte2 = workByte2;
  d->workByte3 = workByte3;
}

void TZipHeaderInfo::RecomputeNameLength() {
  bool utf8 = false;
  // The stored length field is 16 bits: a longer name is cut when it is written.
  const size_t n = StoredForm(utf8).size();
  fileNameLength = static_cast<uint16_t>(std::min<size_t>(n, 0xFFFF));
  flags = static_cast<uint16_t>(utf8 ? flags | kFlagUtf8Name : flags & ~kFlagUtf8Name);
  // A widespread unpacker translates the names of MS-DOS entries from the OEM code page even
  // when they are marked UTF-8; the NTFS host is read the same way otherwise.
  if (utf8 && (versionMadeBy >> 8) == kHostDos) {
    versionMadeBy = static_cast<uint16_t>(kHostNtfs << 8 | (versionMadeBy & 0xFF));
  }
}

std::string TZipHeaderInfo::StoredForm(bool& utf8) const {
  std::string name = directory_ + fileName_;
  if (!storedFor_.empty() && name == storedFor_) {
    utf8 = (flags & kFlagUtf8Name) != 0;
    return storedName_;
  }
  MemoryNameToStored(name);
  const int page = nameCodePage == kDefaultNameCodePage ? DefaultStoreCodePage() : nameCodePage;
  std::string stored;
  if (!StoredEntryName(name, page, stored, utf8)) {
    // Not text in the ANSI code page (bytes of a file system name): kept as they are.
    utf8 = false;
    stored = name;
  }
  if (!utf8) ToOem(stored);
  return stored;
}

std::string TZipHeaderInfo::InternalName(const std::string& raw, uint16_t storedFlags,
                                         const std::string& extra, bool fromOem) {
  std::string name;
  nameProblem = InternalEntryName(raw, storedFlags,
                                  reinterpret_cast<const uint8_t*>(extra.data()), extra.size(),
                                  legacyCodePage, name);
  if (nameProblem != NameProblem::None) name = raw;
  storedName_ = raw;
  // Bytes taken as they are may have been written through the OEM code page; a name that
  // came as UTF-8 or from a named legacy code page did not.
  const bool asStored = (storedFlags & kFlagUtf8Name) == 0 && legacyCodePage == 0 && name == raw;
  StoredNameToMemory(name);
  if (fromOem && asStored) FromOem(name);
  storedFor_ = name;
  return name;
}

void TZipHeaderInfo::SetFileName(const std::string& name) {
  if (name == fileName_) return;
  fileName_ = name;
  RecomputeNameLength();
}

void TZipHeaderInfo::KeepStoredName() {
  bool utf8 = false;
  storedName_ = StoredForm(utf8);
  storedFor_ = directory_ + fileName_;
  flags = static_cast<uint16_t>(utf8 ? flags | kFlagUtf8Name : flags & ~kFlagUtf8Name);
}

void TZipHeaderInfo::SetDirectory(const std::string& directory) {
  std::string d = directory;
  if (!d.empty() && !classlib::EndsWithBackslash(d)) d += '\\';
  if (d == directory_) return;
  directory_ = d;
  RecomputeNameLength();
}

void TZipHeaderInfo::SetOwnExtra(const std::string& extra) {
  ownExtra_ = extra.substr(0, 0xFFFF);
  localExtraLength = centralExtraLength = static_cast<uint16_t>(ownExtra_.size());
}

void TZipHeaderInfo::SetComment(const char* text) {
  if (text == nullptr) {
    SetComment(std::optional<std::string>());
  } else {
    SetComment(std::optional<std::string>(std::string(text)));
  }
}

void TZipHeaderInfo::SetComment(const std::optional<std::string>& text) {
  comment_ = text;
  if (comment_ && comment_->size() > 0xFFFF) comment_->resize(0xFFFF);
  fileCommentLength = comment_ ? static_cast<uint16_t>(comment_->size()) : 0;
}

std::string TZipHeaderInfo::InternalComment() const {
  if (!comment_) return std::string();
  std::string text;
  const auto* extra = reinterpret_cast<const uint8_t*>(commentExtra_.data());
  if (InternalEntryComment(*comment_, flags, extra, commentExtra_.size(), legacyCodePage, text) !=
      NameProblem::None) {
    return *comment_;
  }
  return text;
}

std::string TZipHeaderInfo::StoredComment(const std::string& text) const {
  std::string stored;
  return StoredEntryComment(text, flags, stored) ? stored : text;
}

void TZipHeaderInfo::ToOem(std::string& name) const {
  if (oemConvert) name = os::AnsiToOem(name);
}

void TZipHeaderInfo::FromOem(std::string& name) const {
  if (oemConvert) name = os::OemToAnsi(name);
}

void TZipHeaderInfo::SplitName(const std::string& name) {
  // A code page 936 trail byte may be 0x5C: only a real separator splits the name.
  size_t cut = classlib::LastDelimiter(name);
  if (cut == std::string::npos) {
    directory_.clear();
    fileName_ = name;
  } else {
    directory_ = name.substr(0, cut + 1);
    fileName_ = name.substr(cut + 1);
  }
}

void TZipHeaderInfo::FromCentral(const uint8_t (&r)[kCentralHeaderSize], const std::string& name) {
  const CentralFileHeader h = CentralHeaderFields(r);
  versionMadeBy = h.versionMadeBy;
  versionNeeded = h.versionNeeded;
  flags = h.flags;
  method = h.method;
  dateTime = support::ValidateDosDateTime(h.dateTime);
  crc32 = h.crc32;
  compressedSize = h.compressedSize;
  uncompressedSize = h.uncompressedSize;
  fileNameLength = h.nameLength;
  centralExtraLength = h.extraLength;
  fileCommentLength = h.commentLength;
  diskNumberStart = h.diskNumberStart;
  internalAttributes = h.internalAttributes;
  externalAttributes = h.externalAttributes;
  localHeaderOffset = h.localHeaderOffset;
  centralHeaderPosition = 0;
  centralHeaderPosition64 = 0;
  compressedSize64 = compressedSize;
  uncompressedSize64 = uncompressedSize;
  localHeaderOffset64 = localHeaderOffset;
  SplitName(name);
  comment_.reset();
  commentExtra_.clear();
  ownExtra_.clear();
  workByte1 = 0;
  workByte3 = 0;
}

void TZipHeaderInfo::FromLocal(const uint8_t (&r)[kLocalHeaderSize], const std::string& name) {
  const LocalFileHeader h = LocalHeaderFields(r);
  versionMadeBy = 0;
  versionNeeded = h.versionNeeded;
  flags = h.flags;
  method = h.method;
  dateTime = support::ValidateDosDateTime(h.dateTime);
  crc32 = h.crc32;
  compressedSize = h.compressedSize;
  uncompressedSize = h.uncompressedSize;
  fileNameLength = h.nameLength;
  localExtraLength = h.extraLength;
  fileCommentLength = 0;
  diskNumberStart = 0;
  internalAttributes = 0;
  externalAttributes = 0;
  localHeaderOffset = 0;
  centralHeaderPosition = 0;
  centralHeaderPosition64 = 0;
  compressedSize64 = compressedSize;
  uncompressedSize64 = uncompressedSize;
  localHeaderOffset64 = 0;
  SplitName(name);
  comment_.reset();
  commentExtra_.clear();
  ownExtra_.clear();
  workByte1 = 0;
  workByte3 = 0;
}

bool TZipHeaderInfo::ReadCentral(classlib::Stream& stream) {
  classlib::Stream* s = &stream;
  return ReadCentral(s);
}

bool TZipHeaderInfo::ReadCentral(classlib::Stream*& stream, const TNextDiskCallback& nextDisk) {
  uint8_t record[kCentralHeaderSize];
  int64_t p = StreamPosition(*stream);
  uint32_t n = ReadUpTo(*stream, record, kCentralHeaderSize);
  if (nextDisk && (n == 0 || (n < kCentralHeaderSize && n >= 4 &&
                              LoadLe32(record) == kCentralHeaderSignature))) {
    // The record is cut by the end of this disk file: the rest is on the next one.
    nextDisk(*this, stream);
    p = StreamPosition(*stream);
    n += ReadUpTo(*stream, record + n, kCentralHeaderSize - n);
  }
  if (n != kCentralHeaderSize || LoadLe32(record) != kCentralHeaderSignature) {
    StreamSeek(*stream, p);
    return false;
  }
  uint16_t length = LoadLe16(record + 28);
  std::string name(length, '\0');
  if (length > 0 && ReadUpTo(*stream, name.data(), length) != length) {
    StreamSeek(*stream, p);
    return false;
  }
  const CentralFileHeader fields = CentralHeaderFields(record);
  std::string extra = PeekBytes(*stream, fields.extraLength);
  name = InternalName(name, fields.flags, extra, fields.MadeOnDos());
  FromCentral(record, name);
  const auto* bytes = reinterpret_cast<const uint8_t*>(extra.data());
  if (FindExtraField(bytes, extra.size(), kUnicodeCommentField)) commentExtra_ = std::move(extra);
  centralHeaderPosition = static_cast<uint32_t>(p);
  centralHeaderPosition64 = static_cast<uint64_t>(p);
  return true;
}

bool TZipHeaderInfo::ReadLocal(classlib::Stream& stream) {
  uint8_t record[kLocalHeaderSize];
  int64_t p = StreamPosition(stream);
  if (ReadUpTo(stream, record, kLocalHeaderSize) != kLocalHeaderSize ||
      LoadLe32(record) != kLocalHeaderSignature) {
    StreamSeek(stream, p);
    return false;
  }
  uint16_t length = LoadLe16(record + 26);
  std::string name(length, '\0');
  if (length > 0 && ReadUpTo(stream, name.data(), length) != length) {
    StreamSeek(stream, p);
    return false;
  }
  name = InternalName(name, LoadLe16(record + 6), PeekBytes(stream, LoadLe16(record + 28)), true);
  FromLocal(record, name);
  localHeaderOffset = static_cast<uint32_t>(p);
  localHeaderOffset64 = static_cast<uint64_t>(p);
  return true;
}

std::string TZipHeaderInfo::StoredName() const {
  bool utf8 = false;
  std::string name = StoredForm(utf8);
  // The OEM form has the same length in the code pages the library uses (936 both ways, or
  // single-byte pages); the record announces fileNameLength bytes, so exactly those go out.
  name.resize(fileNameLength, ' ');
  return name;
}

void TZipHeaderInfo::WriteCentral(classlib::Stream& stream, const uint8_t* extra) const {
  uint8_t r[kCentralHeaderSize];
  CentralFileHeader h;
  h.versionMadeBy = versionMadeBy;
  h.versionNeeded = versionNeeded;
  h.flags = flags;
  h.method = method;
  h.dateTime = dateTime;
  h.crc32 = crc32;
  h.compressedSize = compressedSize;
  h.uncompressedSize = uncompressedSize;
  h.nameLength = fileNameLength;
  h.extraLength = centralExtraLength;
  h.commentLength = fileCommentLength;
  h.diskNumberStart = diskNumberStart;
  h.internalAttributes = internalAttributes;
  h.externalAttributes = externalAttributes;
  h.localHeaderOffset = localHeaderOffset;
  EncodeCentralHeader(h, r);
  StreamWrite(stream, r, sizeof r);
  if (fileNameLength != 0) {
    std::string name = StoredName();
    StreamWrite(stream, name.data(), name.size());
  }
  if (extra != nullptr && centralExtraLength != 0) {
    StreamWrite(stream, extra, centralExtraLength);
  } else if (!ownExtra_.empty()) {
    StreamWrite(stream, ownExtra_.data(), ownExtra_.size());
  }
  if (fileCommentLength != 0 && comment_) {
    std::string text = *comment_;
    text.resize(fileCommentLength, '\0');
    StreamWrite(stream, text.data(), text.size());
  }
}

void TZipHeaderInfo::WriteLocal(classlib::Stream& stream) {
  localHeaderOffset64 = static_cast<uint64_t>(StreamPosition(stream));
  localHeaderOffset = static_cast<uint32_t>(localHeaderOffset64);
  uint8_t r[kLocalHeaderSize];
  LocalFileHeader h;
  h.versionNeeded = versionNeeded;
  h.flags = flags;
  h.method = method;
  h.dateTime = dateTime;
  h.crc32 = crc32;
  h.compressedSize = compressedSize;
  h.uncompressedSize = uncompressedSize;
  h.nameLength = fileNameLength;
  h.extraLength = localExtraLength;
  EncodeLocalHeader(h, r);
  StreamWrite(stream, r, sizeof r);
  if (fileNameLength != 0) {
    std::string name = StoredName();
    StreamWrite(stream, name.data(), name.size());
  }
  if (!ownExtra_.empty()) StreamWrite(stream, ownExtra_.data(), ownExtra_.size());
}

}  // namespace kestrel::archive
