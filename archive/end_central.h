// end_central.h — TEndCentral: the end-of-central-directory record and the archive comment,
// and the search that finds the record near the end of a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "archive/directory_location.h"
#include "archive/zip_records.h"
#include "classlib/object.h"
#include "classlib/stream.h"

namespace kestrel::archive {

// 22 bytes of record plus the largest comment the 16-bit length can announce.
inline constexpr uint32_t kEndCentralSearchWindow = 22 + 65535;

// Index of the signature nearest the end of buf whose 22-byte record fits in buf, scanning
// back from n - 22 to 0; -1 when there is none.
std::ptrdiff_t FindEndCentralSignature(const uint8_t* buf, size_t n);

class TEndCentral : public classlib::Persistent {
 public:
  TEndCentral();
  ~TEndCentral() override;
  std::string ClassName() const override { return "TEndCentral"; }

  // The 22 bytes of the record, in their order.
  uint32_t signature = kEndCentralSignature;
  uint16_t thisDisk = 0;
  uint16_t startDisk = 0;  // disk on which the central directory starts
  uint16_t entriesOnDisk = 0;
  uint16_t totalEntries = 0;
  uint32_t centralSize = 0;
  uint32_t centralOffset = 0;
  uint16_t commentLength = 0;
  // Where the archive comment starts in the file the record was found in.
  int64_t commentPosition = 0;
  // Beside the record: where Locate found the directory it describes (zip64 values, the
  // shift of an archive with data in front).
  DirectoryLocation location;
  // Set by the component when the archive comment or an entry comment is changed.
  bool commentsChanged = false;

  void Reset();
  void Assign(const classlib::Persistent& source) override;
  void AssignTo(classlib::Persistent& destination) const override;

  const char* Comment() const { return comment_ ? comment_->c_str() : nullptr; }
  const std::optional<std::string>& CommentText() const { return comment_; }
  // Stores a copy of text (no comment for an empty text); commentLength = its length.
  void SetComment(const std::string& text);
  bool HasComment() const { return commentLength != 0; }
  uint32_t Size() const { return kEndCentralSize + commentLength; }

  // Writes the 22 bytes, then commentLength bytes of the comment when one is held.
  void Write(classlib::Stream& stream) const;
  // Finds the record in the last 65,557 bytes of the stream (the one whose comment ends the
  // file, else the one nearest the end) and fills the record fields, commentPosition (the
  // comment itself is read later, on demand) and location. An empty stream counts as found
  // with the fields as they are. False too when the record needs zip64 values that cannot be
  // found.
  bool Locate(classlib::Stream& stream);

 private:
  std::optional<std::string> comment_;
};

}  // namespace kestrel::archive
