// lyn_unzip.cpp — TLynUnZip: construction, options, the archive name and directories,
// opening and forgetting an archive, the sorted view, and indexed dates and comments.
#include "archive/lyn_unzip.h"

#include "archive/stream_io.h"
#include "classlib/ansi_string.h"
#include "classlib/application.h"
#include "classlib/date_time.h"
#include "classlib/file_stream.h"
#include "classlib/format.h"
#include "classlib/path_utils.h"
#include "platform/platform.h"
#include "support/dos_date_time.h"
#include "support/file_ops.h"
#include "support/lfn_file_stream.h"
#include "support/string_table.h"

namespace kestrel::archive {

using support::LoadStr;

TLynUnZip::TLynUnZip(classlib::Component* owner)
    : classlib::Component(owner),
      endCentral_(std::make_unique<TEndCentral>()),
      filesList_(std::make_unique<classlib::StringList>()) {
  if (!Designing()) {
    OnGetNextDisk = [this](Object* sender, int32_t nextDisk, std::string& fName) {
      DefaultGetNextDisk(sender, nextDisk, fName);
    };
  }
}

TLynUnZip::~TLynUnZip() {
  ClearZip();
  endCentral_.reset();
  filesList_.reset();
}

void TLynUnZip::Loaded() {
  classlib::Component::Loaded();
  thisVersion_ = kThisVersion;
}

void TLynUnZip::Assign(const classlib::Persistent& source) {
  const auto* other = dynamic_cast<const TLynUnZip*>(&source);
  if (other == nullptr) {
    classlib::Component::Assign(source);
    return;
  }
  if (other == this) return;
  zipName_ = other->zipName_;
  destDir_ = other->destDir_;
  rootDir_ = other->rootDir_;
  sortMode_ = other->sortMode_;
  recreateDirs_ = other->recreateDirs_;
  overwriteMode_ = other->overwriteMode_;
  filesList_->Assign(*other->filesList_);
  doAll_ = other->doAll_;
  incompleteZipMode_ = other->incompleteZipMode_;
  keepZipOpen_ = other->keepZipOpen_;
  doProcessMessages_ = other->doProcessMessages_;
  retainAttributes_ = other->retainAttributes_;
  replaceReadOnly_ = other->replaceReadOnly_;
  OnStartUnZipInfo = other->OnStartUnZipInfo;
  OnFilePercentDone = other->OnFilePercentDone;
  OnTotalPercentDone = other->OnTotalPercentDone;
  OnStartUnZip = other->OnStartUnZip;
  OnEndUnZip = other->OnEndUnZip;
  OnPromptForOverwrite = other->OnPromptForOverwrite;
  OnSkippingFile = other->OnSkippingFile;
  OnBadPassword = other->OnBadPassword;
  OnBadCRC = other->OnBadCRC;
  OnInCompleteZip = other->OnInCompleteZip;
  OnGetNextDisk = other->OnGetNextDisk;
  OnUnZipComplete = other->OnUnZipComplete;
  OnGetNextBuffer = other->OnGetNextBuffer;
}

void TLynUnZip::SetZipName(const std::string& name) {
  if (Designing()) {
    zipName_ = name;
    return;
  }
  if (classlib::AnsiSameText(name, zipName_)) return;
  std::string chosen = name;
  if (!name.empty() && name.back() == '?') {
    std::string dir = classlib::ExtractFileDir(name.substr(0, name.size() - 1));
    std::string initial = (!dir.empty() && support::DirectoryExistsAt(dir)) ? dir : "C:\\";
    chosen.clear();
    // Without a host dialog the request counts as cancelled: it never waits for anyone.
    if (!classlib::ShowOpenDialog(LoadStr(support::sOpenZipTitle),
                                  LoadStr(support::sOpenZipFilter), initial, chosen)) {
      throw EUserCanceled(LoadStr(support::sUserCanceledZipName));
    }
  }
  zipName_ = chosen;
  ReleaseDirectory();
  archiveDate_ = 0;
  endCentral_->Reset();
  ReleaseStream();
  repaired_ = false;
}

void TLynUnZip::SetDestDir(const std::string& dir) {
  std::string result = dir;
  if (dir == "?") {
    result = (!destDir_.empty() && support::DirectoryExistsAt(destDir_)) ? destDir_
                                                                           : os::GetCurrentDirectory();
    if (!classlib::ShowDirectoryDialog(result)) {
      throw EUserCanceled(LoadStr(support::sUserCanceledDestDir));
    }
  }
  if (classlib::EndsWithBackslash(result)) result.pop_back();
  destDir_ = result;
}

void TLynUnZip::SetRootDir(const std::string& dir) {
  rootDir_ = dir.empty() ? std::string() : classlib::IncludeTrailingBackslash(dir);
}

void TLynUnZip::SetFilesList(const classlib::StringList& list) { filesList_->Assign(list); }

std::unique_ptr<TZipHeaderInfo> TLynUnZip::NewHeader() const {
  auto header = std::make_unique<TZipHeaderInfo>();
  header->oemConvert = oemConvert_;
  header->legacyCodePage = legacyCodePage_;
  header->nameCodePage = nameCodePage_;
  return header;
}

int32_t TLynUnZip::Count() const { return entries_ ? entries_->Count() : 0; }

classlib::Stream* TLynUnZip::ArchiveStream() const { return stream_.get(); }

void TLynUnZip::ReleaseStream() { stream_.reset(); }

void TLynUnZip::ReleaseDirectory() {
  separateView_.reset();
  view_ = nullptr;
  entries_.reset();
}

void TLynUnZip::AdoptDirectory(std::unique_ptr<TSortedZip> list) {
  ReleaseDirectory();
  entries_ = std::move(list);
  view_ = entries_.get();
  sortMode_ = ByNone;
}

void TLynUnZip::AdoptSortedView(std::unique_ptr<TSortedZip> view, TZipSortMode mode) {
  separateView_ = std::move(view);
  view_ = separateView_ ? separateView_.get() : entries_.get();
  sortMode_ = mode;
}

void TLynUnZip::OpenZip() {
  if (!stream_) {
    stream_ = std::make_unique<support::TLFNFileStream>(
        zipName_, classlib::fmOpenRead | classlib::fmShareDenyWrite, flushFilesOnClose_,
        streamBufferSize_);
  }
  if (entries_ && support::FileDateTime(zipName_) == archiveDate_) return;
  ReadZip();
}

void TLynUnZip::CloseZip() {
  if (!keepZipOpen_) ReleaseStream();
}

void TLynUnZip::ClearZip() {
  ReleaseStream();
  configStream_.reset();
  ReleaseDirectory();
  endCentral_->Reset();
  repaired_ = false;
  archiveDate_ = 0;
  numberOfDisks_ = 1;
  SetMultiMode(mmNone);
  zipName_.clear();
}

void TLynUnZip::ApplySortMode(TZipSortMode mode) {
  separateView_.reset();
  if (mode == ByNone) {
    view_ = entries_.get();
  } else {
    auto view = std::make_unique<TSortedZip>(dupAcceptObject);
    view->SetSortMode(mode);
    view->SetOwnsItems(false);
    if (entries_) {
      view->SetCapacity(entries_->Count());
      for (int32_t i = 0; i < entries_->Count(); ++i) view->Add(entries_->Get(i));
    }
    separateView_ = std::move(view);
    view_ = separateView_.get();
  }
  sortMode_ = mode;
}

TZipHeaderInfo& TLynUnZip::Entry(int32_t index) const {
  if (view_ == nullptr || index < 0 || index >= view_->Count()) {
    throw classlib::EListError(classlib::Format(LoadStr(support::sIndexOutOfRange), index));
  }
  return *view_->Header(index);
}

double TLynUnZip::DateTimeOf(int32_t index) const {
  classlib::DateTime value = 0;
  if (!classlib::TryFileDateToDateTime(Entry(index).dateTime, value)) return classlib::Now();
  return value;
}

std::string TLynUnZip::FileCommentOf(int32_t index) {
  StoredFileCommentOf(index);
  return Entry(index).InternalComment();
}

std::string TLynUnZip::StoredFileCommentOf(int32_t index) {
  TZipHeaderInfo& entry = Entry(index);
  if (!entry.HasComment()) return std::string();
  if (entry.CommentText()) return *entry.CommentText();
  OpenZip();
  // OpenZip may have reloaded the directory: look the entry up again.
  TZipHeaderInfo& current = Entry(index);
  if (!current.HasComment()) return std::string();
  if (current.CommentText()) return *current.CommentText();
  classlib::Stream& s = *stream_;
  int64_t back = StreamPosition(s);
  std::string text;
  uint8_t record[kCentralHeaderSize];
  StreamSeek(s, static_cast<int64_t>(current.centralHeaderPosition64));
  // Read only from a real central record; a position that holds none yields no comment.
  if (ReadUpTo(s, record, kCentralHeaderSize) == kCentralHeaderSize &&
      (record[0] | record[1] << 8 | record[2] << 16 | static_cast<uint32_t>(record[3]) << 24) ==
          kCentralHeaderSignature) {
    uint32_t skip = (record[28] | record[29] << 8) + (record[30] | record[31] << 8);
    s.Seek(skip, classlib::soFromCurrent);
    text.resize(current.fileCommentLength);
    text.resize(ReadUpTo(s, text.data(), current.fileCommentLength));
  }
  bool changed = endCentral_->commentsChanged;
  current.SetComment(std::optional<std::string>(text));
  endCentral_->commentsChanged = changed;
  StreamSeek(s, back);
  if (MultiMode() == mmNone) CloseZip();
  return text;
}

void TLynUnZip::SetFileComment(int32_t index, const std::string& text) {
  TZipHeaderInfo& entry = Entry(index);
  const std::string held = entry.CommentText() ? *entry.CommentText() : std::string();
  const std::string stored = entry.StoredComment(text);
  if (stored == held) return;
  entry.SetComment(std::optional<std::string>(stored));
  endCentral_->commentsChanged = true;
}

std::string TLynUnZip::ZipComment() {
  if (endCentral_->commentLength == 0) return std::string();
  if (endCentral_->CommentText()) return *endCentral_->CommentText();
  OpenZip();
  if (endCentral_->commentLength == 0) return std::string();
  if (endCentral_->CommentText()) return *endCentral_->CommentText();
  classlib::Stream& s = *stream_;
  int64_t back = StreamPosition(s);
  StreamSeek(s, endCentral_->commentPosition);
  std::string text(endCentral_->commentLength, '\0');
  // A comment cut by the end of the file keeps what is there.
  text.resize(ReadUpTo(s, text.data(), endCentral_->commentLength));
  bool changed = endCentral_->commentsChanged;
  SetZipComment(text);
  endCentral_->commentsChanged = changed;
  StreamSeek(s, back);
  if (MultiMode() == mmNone) CloseZip();
  return text;
}

void TLynUnZip::SetZipComment(const std::string& text) {
  const std::string held =
      endCentral_->CommentText() ? *endCentral_->CommentText() : std::string();
  if (text == held) return;
  endCentral_->SetComment(text);
  endCentral_->commentsChanged = true;
}

void TLynUnZip::ProcessMessagesAndCheckCancel() {
  // The host's request (Linux) is for the call in progress, whatever DoProcessMessages says.
  if (os::TakeCancelRequest()) {
    cancelRequest_ = false;
    throw EUserCanceled(LoadStr(support::sUserAborted));
  }
  if (!doProcessMessages_) return;
  classlib::ProcessMessages();
  if (cancelRequest_) {
    cancelRequest_ = false;
    throw EUserCanceled(LoadStr(support::sUserAborted));
  }
}

}  // namespace kestrel::archive
