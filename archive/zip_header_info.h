// zip_header_info.h — TZipHeaderInfo: one archive entry as the component holds it in memory,
// read from and written to the local and central records of a stream.
//
// Names are held split into a directory (empty or ending in "\") and a file-name part, with
// "\" separators, in the ANSI code page in force; the stored form joins them with "/" and is
// either in the name code page (through the OEM code page when asked) or UTF-8 with bit 11.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "archive/end_central.h"
#include "archive/entry_name.h"
#include "archive/zip_records.h"
#include "classlib/object.h"
#include "classlib/stream.h"

namespace kestrel::archive {

class TZipHeaderInfo;
// Called by ReadCentral when a central record is cut by the end of a disk file: closes the
// current disk, opens the next and stores the new stream in the variable it is handed.
using TNextDiskCallback = std::function<void(TZipHeaderInfo& header, classlib::Stream*& stream)>;

class TZipHeaderInfo : public classlib::Persistent {
 public:
  TZipHeaderInfo();
  ~TZipHeaderInfo() override;
  std::string ClassName() const override { return "TZipHeaderInfo"; }

  // The record fields, in their order; the defaults are those of a new entry.
  uint16_t versionMadeBy = 20;
  uint16_t versionNeeded = 20;
  uint16_t flags = 0;  // bit 0 encrypted, bit 3 data descriptor
  uint16_t method = 8;
  uint32_t dateTime = 0;  // DOS date in the high 16 bits, DOS time in the low 16 bits
  uint32_t crc32 = 0xFFFFFFFFu;
  uint32_t compressedSize = 0;
  uint32_t uncompressedSize = 0;
  uint16_t fileNameLength = 0;  // length of directory plus file name
  uint16_t centralExtraLength = 0;
  uint16_t localExtraLength = 0;
  uint16_t fileCommentLength = 0;
  uint16_t diskNumberStart = 0;
  uint16_t internalAttributes = 1;
  uint32_t externalAttributes = 0x20;
  uint32_t localHeaderOffset = 0;
  uint32_t centralHeaderPosition = 0;  // where the central record was read; 0 when it was not
  // Beside the 32-bit fields: the entry's values at full width, from its zip64 extra field
  // where the fields above hold markers; the offset counts from the start of the file (data in
  // front of the archive accounted for), and where its central record was read. FromCentral,
  // FromLocal, ReadCentral and WriteLocal keep them equal to the 32-bit fields; the directory
  // loader completes them, and the writer sets them for the entries it writes.
  uint64_t compressedSize64 = 0;
  uint64_t uncompressedSize64 = 0;
  uint64_t localHeaderOffset64 = 0;
  uint64_t centralHeaderPosition64 = 0;
  // State kept for the zip operation; stored, cleared and copied here.
  uint8_t workByte1 = 0;
  uint8_t workByte2 = 0;
  uint8_t workByte3 = 0;
  bool oemConvert = false;
  // The code page of stored names without the UTF-8 mark, for reading (0: the ANSI code page,
  // bytes as they are).
  int legacyCodePage = 0;
  // The code page non-ASCII names are stored in (kDefaultNameCodePage: DefaultStoreCodePage(),
  // 0: always UTF-8); a name it cannot hold is stored as UTF-8 with bit 11.
  static constexpr int kDefaultNameCodePage = -1;
  int nameCodePage = kDefaultNameCodePage;
  // Set when the stored name read has no internal form: the name is then held as the stored
  // bytes (and written back as they were, like any name read and not changed since).
  NameProblem nameProblem = NameProblem::None;

  void Reset();
  void Assign(const classlib::Persistent& source) override;
  void AssignTo(classlib::Persistent& destination) const override;

  const std::string& FileName() const { return fileName_; }
  const std::string& Directory() const { return directory_; }
  // Directory followed by file name, "\" separators, as held in memory.
  std::string FullName() const { return directory_ + fileName_; }
  void SetFileName(const std::string& name);
  void SetDirectory(const std::string& directory);
  // Keeps the stored form the name has now, under the code page in force, for as long as the
  // name stays the same: a name set under a UTF-8 scope is written the same after it ends.
  void KeepStoredName();

  // The comment, or null when the entry holds none.
  const char* Comment() const { return comment_ ? comment_->c_str() : nullptr; }
  const std::optional<std::string>& CommentText() const { return comment_; }
  // A null text removes the comment; otherwise the text up to its terminator.
  void SetComment(const char* text);
  // The comment's bytes as given (they may hold zero bytes); std::nullopt removes it.
  void SetComment(const std::optional<std::string>& text);
  // The comment loaded, in the internal form (bit 11, a matching 0x6375 field, the legacy code
  // page); its stored bytes when it has none, "" when none is loaded.
  std::string InternalComment() const;
  // The stored form of an internal comment for this entry (UTF-8 when bit 11 is set); the
  // text as it is when it cannot be converted.
  std::string StoredComment(const std::string& text) const;

  // The extra field of an entry written by this run, carried by both its records; setting it
  // sets both extra lengths. Entries read from an archive keep theirs where they are.
  const std::string& OwnExtra() const { return ownExtra_; }
  void SetOwnExtra(const std::string& extra);

  bool HasComment() const { return fileCommentLength != 0; }
  bool HasDataDescriptor() const { return (flags & 0x0008) != 0; }
  uint32_t LocalSize() const { return kLocalHeaderSize + fileNameLength + localExtraLength; }
  uint32_t CentralSize() const {
    return kCentralHeaderSize + fileNameLength + centralExtraLength + fileCommentLength;
  }

  // Convert in place between the ANSI and OEM code pages when oemConvert is set.
  void ToOem(std::string& name) const;
  void FromOem(std::string& name) const;

  // Fill the object from a fixed record and a stored name already turned to "\" separators.
  void FromCentral(const uint8_t (&record)[kCentralHeaderSize], const std::string& name);
  void FromLocal(const uint8_t (&record)[kLocalHeaderSize], const std::string& name);

  // Read one record at the stream's position; false (stream back where it began) on a
  // signature mismatch or short read. The stream is left after the name.
  bool ReadCentral(classlib::Stream*& stream, const TNextDiskCallback& nextDisk = {});
  bool ReadCentral(classlib::Stream& stream);
  bool ReadLocal(classlib::Stream& stream);

  // The stored name: directory plus file name, "/" separators, in its stored code page (bit 11
  // of flags tells which), cut to fileNameLength bytes.
  std::string StoredName() const;
  // Writes the 46-byte record, the stored name, the extra field (when given, centralExtraLength
  // bytes of it; else the entry's own) and the comment.
  void WriteCentral(classlib::Stream& stream, const uint8_t* extra = nullptr) const;
  // Sets localHeaderOffset to the stream position, then writes the 30-byte record, the name
  // and the entry's own extra field.
  void WriteLocal(classlib::Stream& stream);

 private:
  void RecomputeNameLength();
  void SplitName(const std::string& name);
  // The stored bytes of the name held, and whether they are UTF-8.
  std::string StoredForm(bool& utf8) const;
  // The internal form, "\" separators, of a stored name read with storedFlags and extra (the
  // central extra field, or empty); fromOem: the record allows the OEM round trip. Sets
  // nameProblem.
  std::string InternalName(const std::string& raw, uint16_t storedFlags, const std::string& extra,
                           bool fromOem);

  std::string fileName_;
  std::string directory_;
  std::optional<std::string> comment_;
  // The central extra field as read, kept only when it holds a Unicode comment field.
  std::string commentExtra_;
  // The name as read from a record ("/" separators) and the name held when it was read: while
  // the name is unchanged it is written back byte for byte, with its bit 11.
  std::string storedName_;
  std::string storedFor_;
  std::string ownExtra_;
};

}  // namespace kestrel::archive
