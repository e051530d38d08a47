// end_central.cpp — TEndCentral and the backward search for its signature.
#include "archive/end_central.h"

#include <algorithm>
#include <vector>

#include "archive/stream_io.h"

namespace kestrel::archive {

std::ptrdiff_t FindEndCentralSignature(const uint8_t* buf, size_t n) {
  if (n < kEndCentralSize) return -1;
  for (size_t i = n - kEndCentralSize + 1; i-- > 0;) {
    if (buf[i] == 0x50 && LoadLe32(buf + i) == kEndCentralSignature) {
      return static_cast<std::ptrdiff_t>(i);
    }
  }
  return -1;
}

TEndCentral::TEndCentral() { Reset(); }
TEndCentral::~TEndCentral() = default;

void TEndCentral::Reset() {
  signature = kEndCentralSignature;
  thisDisk = startDisk = entriesOnDisk = totalEntries = 0;
  centralSize = centralOffset = 0;
  commentLength = 0;
  comment_.reset();
  commentPosition = 0;
  location = DirectoryLocation{};
  commentsChanged = false;
}

void TEndCentral::Assign(const classlib::Persistent& source) {
  const auto* other = dynamic_cast<const TEndCentral*>(&source);
  if (other == nullptr) {
    classlib::Persistent::Assign(source);
    return;
  }
  other->AssignTo(*this);
}

void TEndCentral::AssignTo(classlib::Persistent& destination) const {
  auto* d = dynamic_cast<TEndCentral*>(&destination);
  if (d == nullptr) {
    classlib::Persistent::AssignTo(destination);
    return;
  }
  if (d == this) return;
  d->signature = signature;
  d->thisDisk = thisDisk;
  d->startDisk = startDisk;
  d->entriesOnDisk = entriesOnDisk;
  d->totalEntries = totalEntries;
  d->centralSize = centralSize;
  d->centralOffset = centralOffset;
  d->commentLength = commentLength;
  if (commentLength != 0 && comment_) {
    d->comment_ = comment_;
    d->commentLength = static_cast<uint16_t>(comment_->size());
  }
  d->commentPosition = commentPosition;
  d->location = location;
}

void TEndCentral::SetComment(const std::string& text) {
  if (text.empty()) {
    comment_.reset();
  } else {
    comment_ = text.substr(0, 0xFFFF);
  }
  commentLength = comment_ ? static_cast<uint16_t>(comment_->size()) : 0;
}

void TEndCentral::Write(classlib::Stream& stream) const {
  uint8_t r[kEndCentralSize];
  EndCentralRecord e;
  e.thisDisk = thisDisk;
  e.startDisk = startDisk;
  e.entriesOnDisk = entriesOnDisk;
  e.totalEntries = totalEntries;
  e.centralSize = centralSize;
  e.centralOffset = centralOffset;
  e.commentLength = commentLength;
  EncodeEndCentral(e, r);
  StoreLe32(r, signature);  // the held signature goes out as it is
  StreamWrite(stream, r, sizeof r);
  if (commentLength != 0 && comment_) {
    // Exactly the announced bytes, so the record and its comment always agree.
    std::string text = *comment_;
    text.resize(commentLength, '\0');
    StreamWrite(stream, text.data(), text.size());
  }
}

bool TEndCentral::Locate(classlib::Stream& stream) {
  int64_t size = StreamSize(stream);
  if (size < static_cast<int64_t>(kEndCentralSize)) return size == 0;
  uint32_t window =
      static_cast<uint32_t>(std::min<int64_t>(kEndCentralSearchWindow, size));
  std::vector<uint8_t> buf(window);
  StreamSeek(stream, size - window);
  if (ReadUpTo(stream, buf.data(), window) != window) return false;
  std::ptrdiff_t at = FindExactEndCentral(buf.data(), window);
  if (at < 0) at = FindEndCentralSignature(buf.data(), window);
  if (at < 0) return false;
  const EndCentralRecord e = EndCentralFields(buf.data() + at);
  const ReadAt read = [&stream](int64_t position, uint8_t* bytes, uint32_t count) {
    StreamSeek(stream, position);
    return ReadUpTo(stream, bytes, count) == count;
  };
  const int64_t endPosition = size - window + at;
  if (!ResolveDirectory(read, endPosition, e, location)) return false;
  thisDisk = e.thisDisk;
  startDisk = e.startDisk;
  entriesOnDisk = e.entriesOnDisk;
  totalEntries = e.totalEntries;
  centralSize = e.centralSize;
  centralOffset = e.centralOffset;
  commentLength = e.commentLength;
  commentPosition = endPosition + kEndCentralSize;
  return true;
}

}  // namespace kestrel::archive
