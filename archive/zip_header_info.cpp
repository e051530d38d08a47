// zip_header_info.cpp — TZipHeaderInfo: defaults, assignment, names, and the local and
// central records read from and written to a stream, field by field in little-endian order.
#include "archive/zip_header_info.h"

#include <algorithm>
#include <cstring>

#include "archive/stream_io.h"
#include "classlib/ansi_string.h"
#include "classlib/path_utils.h"
#include "platform/platform.h"
#include "support/dos_date_time.h"

namespace kestrel::archive {

namespace {

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void SlashesToBack(std::string& s) { std::replace(s.begin(), s.end(), '/', '\\'); }

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
  fileName_.clear();
  directory_.clear();
  comment_.reset();
  workByte1 = workByte2 = workByte3 = 0;
  oemConvert = false;
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
  d->SetFileName(fileName_);
  d->SetDirectory(directory_);
  if (fileCommentLength != 0 && comment_) d->comment_ = comment_;
  d->workByte1 = workByte1;
  d->workByte2 = workByte2;
  d->workByte3 = workByte3;
}

void TZipHeaderInfo::RecomputeNameLength() {
  // The stored length field is 16 bits: a longer name is cut when it is written.
  size_t n = directory_.size() + fileName_.size();
  fileNameLength = static_cast<uint16_t>(std::min<size_t>(n, 0xFFFF));
}

void TZipHeaderInfo::SetFileName(const std::string& name) {
  if (name == fileName_) return;
  fileName_ = name;
  RecomputeNameLength();
}

void TZipHeaderInfo::SetDirectory(const std::string& directory) {
  std::string d = directory;
  if (!d.empty() && !classlib::EndsWithBackslash(d)) d += '\\';
  if (d == directory_) return;
  directory_ = d;
  RecomputeNameLength();
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
  versionMadeBy = Get16(r + 4);
  versionNeeded = Get16(r + 6);
  flags = Get16(r + 8);
  method = Get16(r + 10);
  dateTime = support::ValidateDosDateTime(Get32(r + 12));
  crc32 = Get32(r + 16);
  compressedSize = Get32(r + 20);
  uncompressedSize = Get32(r + 24);
  fileNameLength = Get16(r + 28);
  centralExtraLength = Get16(r + 30);
  fileCommentLength = Get16(r + 32);
  diskNumberStart = Get16(r + 34);
  internalAttributes = Get16(r + 36);
  externalAttributes = Get32(r + 38);
  localHeaderOffset = Get32(r + 42);
  centralHeaderPosition = 0;
  SplitName(name);
  comment_.reset();
  workByte1 = 0;
  workByte3 = 0;
}

void TZipHeaderInfo::FromLocal(const uint8_t (&r)[kLocalHeaderSize], const std::string& name) {
  versionMadeBy = 0;
  versionNeeded = Get16(r + 4);
  flags = Get16(r + 6);
  method = Get16(r + 8);
  dateTime = support::ValidateDosDateTime(Get32(r + 10));
  crc32 = Get32(r + 14);
  compressedSize = Get32(r + 18);
  uncompressedSize = Get32(r + 22);
  fileNameLength = Get16(r + 26);
  localExtraLength = Get16(r + 28);
  fileCommentLength = 0;
  diskNumberStart = 0;
  internalAttributes = 0;
  externalAttributes = 0;
  localHeaderOffset = 0;
  centralHeaderPosition = 0;
  SplitName(name);
  comment_.reset();
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
                              Get32(record) == kCentralHeaderSignature))) {
    // The record is cut by the end of this disk file: the rest is on the next one.
    nextDisk(*this, stream);
    p = StreamPosition(*stream);
    n += ReadUpTo(*stream, record + n, kCentralHeaderSize - n);
  }
  if (n != kCentralHeaderSize || Get32(record) != kCentralHeaderSignature) {
    StreamSeek(*stream, p);
    return false;
  }
  uint16_t length = Get16(record + 28);
  std::string name(length, '\0');
  if (length > 0 && ReadUpTo(*stream, name.data(), length) != length) {
    StreamSeek(*stream, p);
    return false;
  }
  SlashesToBack(name);
  if ((Get16(record + 4) >> 8) == 0) FromOem(name);
  FromCentral(record, name);
  centralHeaderPosition = static_cast<uint32_t>(p);
  return true;
}

bool TZipHeaderInfo::ReadLocal(classlib::Stream& stream) {
  uint8_t record[kLocalHeaderSize];
  int64_t p = StreamPosition(stream);
  if (ReadUpTo(stream, record, kLocalHeaderSize) != kLocalHeaderSize ||
      Get32(record) != kLocalHeaderSignature) {
    StreamSeek(stream, p);
    return false;
  }
  uint16_t length = Get16(record + 26);
  std::string name(length, '\0');
  if (length > 0) {
    if (ReadUpTo(stream, name.data(), length) != length) {
      StreamSeek(stream, p);
      return false;
    }
    SlashesToBack(name);
    FromOem(name);
  }
  FromLocal(record, name);
  localHeaderOffset = static_cast<uint32_t>(p);
  return true;
}

std::string TZipHeaderInfo::StoredName() const {
  std::string name = directory_ + fileName_;
  // Only real separators turn into "/": the trail byte of a two-byte character may be 0x5C.
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (classlib::IsLeadByte(c) && i + 1 < name.size()) {
      ++i;
    } else if (c == '\\') {
      name[i] = '/';
    }
  }
  ToOem(name);
  // The OEM form has the same length in the code pages the library uses (936 both ways, or
  // single-byte pages); the record announces fileNameLength bytes, so exactly those go out.
  name.resize(fileNameLength, ' ');
  return name;
}

void TZipHeaderInfo::WriteCentral(classlib::Stream& stream, const uint8_t* extra) const {
  uint8_t r[kCentralHeaderSize];
  Put32(r, kCentralHeaderSignature);
  Put16(r + 4, versionMadeBy);
  Put16(r + 6, versionNeeded);
  Put16(r + 8, flags);
  Put16(r + 10, method);
  Put32(r + 12, dateTime);
  Put32(r + 16, crc32);
  Put32(r + 20, compressedSize);
  Put32(r + 24, uncompressedSize);
  Put16(r + 28, fileNameLength);
  Put16(r + 30, centralExtraLength);
  Put16(r + 32, fileCommentLength);
  Put16(r + 34, diskNumberStart);
  Put16(r + 36, internalAttributes);
  Put32(r + 38, externalAttributes);
  Put32(r + 42, localHeaderOffset);
  StreamWrite(stream, r, sizeof r);
  if (fileNameLength != 0) {
    std::string name = StoredName();
    StreamWrite(stream, name.data(), name.size());
  }
  if (extra != nullptr && centralExtraLength != 0) StreamWrite(stream, extra, centralExtraLength);
  if (fileCommentLength != 0 && comment_) {
    std::string text = *comment_;
    text.resize(fileCommentLength, '\0');
    StreamWrite(stream, text.data(), text.size());
  }
}

void TZipHeaderInfo::WriteLocal(classlib::Stream& stream) {
  localHeaderOffset = static_cast<uint32_t>(StreamPosition(stream));
  uint8_t r[kLocalHeaderSize];
  Put32(r, kLocalHeaderSignature);
  Put16(r + 4, versionNeeded);
  Put16(r + 6, flags);
  Put16(r + 8, method);
  Put32(r + 10, dateTime);
  Put32(r + 14, crc32);
  Put32(r + 18, compressedSize);
  Put32(r + 22, uncompressedSize);
  Put16(r + 26, fileNameLength);
  Put16(r + 28, localExtraLength);
  StreamWrite(stream, r, sizeof r);
  if (fileNameLength != 0) {
    std::string name = StoredName();
    StreamWrite(stream, name.data(), name.size());
  }
}

}  // namespace kestrel::archive
