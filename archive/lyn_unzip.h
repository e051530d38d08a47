// lyn_unzip.h — TLynUnZip, the base of the zip component: its published options and events,
// the archive name, and the loaded directory of an existing archive (entry list in physical
// order, an optional sorted view, the end record), with lazily loaded dates and comments.
//
// Loading follows a directory over several disk files, falls back to the ".zfc"
// configuration file and can rebuild a lost directory from the local headers. The key
// registers of the traditional cipher live here too; the writer (TLynZip) uses them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "archive/component_types.h"
#include "archive/end_central.h"
#include "archive/sorted_zip.h"
#include "archive/zip_cipher.h"
#include "archive/zip_exceptions.h"
#include "archive/zip_header_info.h"
#include "classlib/component.h"
#include "classlib/string_list.h"

namespace kestrel::support {
class TLFNFileStream;
}

namespace kestrel::archive {

inline constexpr int32_t kThisVersion = 223;

class TLynUnZip : public classlib::Component {
 public:
  explicit TLynUnZip(classlib::Component* owner = nullptr);
  ~TLynUnZip() override;
  std::string ClassName() const override { return "TLynUnZip"; }

  void Assign(const classlib::Persistent& source) override;
  void Loaded() override;

  // ---- Published properties ----
  int32_t ThisVersion() const { return thisVersion_; }
  void SetThisVersion(int32_t) { thisVersion_ = kThisVersion; }
  const std::string& ZipName() const { return zipName_; }
  virtual void SetZipName(const std::string& name);
  const std::string& DestDir() const { return destDir_; }
  void SetDestDir(const std::string& dir);
  const std::string& RootDir() const { return rootDir_; }
  void SetRootDir(const std::string& dir);
  TZipSortMode SortMode() const { return sortMode_; }
  void SetSortMode(TZipSortMode mode) { sortMode_ = mode; }
  bool RecreateDirs() const { return recreateDirs_; }
  void SetRecreateDirs(bool v) { recreateDirs_ = v; }
  TUZOverwriteMode OverwriteMode() const { return overwriteMode_; }
  void SetOverwriteMode(TUZOverwriteMode v) { overwriteMode_ = v; }
  classlib::StringList& FilesList() { return *filesList_; }
  const classlib::StringList& FilesList() const { return *filesList_; }
  void SetFilesList(const classlib::StringList& list);
  bool DoAll() const { return doAll_; }
  void SetDoAll(bool v) { doAll_ = v; }
  TIncompleteZipMode IncompleteZipMode() const { return incompleteZipMode_; }
  // The code page of stored names without the UTF-8 mark (0: the ANSI code page, bytes as
  // they are), and the one new non-ASCII names are stored in (-1: 936 when that is the ANSI
  // code page, else UTF-8; 0: UTF-8); names it cannot hold are stored as UTF-8 with bit 11.
  int LegacyCodePage() const { return legacyCodePage_; }
  void SetLegacyCodePage(int page) { legacyCodePage_ = page; }
  int NameCodePage() const { return nameCodePage_; }
  void SetNameCodePage(int page) { nameCodePage_ = page; }
  void SetIncompleteZipMode(TIncompleteZipMode v) { incompleteZipMode_ = v; }
  bool KeepZipOpen() const { return keepZipOpen_; }
  void SetKeepZipOpen(bool v) { keepZipOpen_ = v; }
  bool DoProcessMessages() const { return doProcessMessages_; }
  void SetDoProcessMessages(bool v) { doProcessMessages_ = v; }
  bool RetainAttributes() const { return retainAttributes_; }
  void SetRetainAttributes(bool v) { retainAttributes_ = v; }
  bool ReplaceReadOnly() const { return replaceReadOnly_; }
  void SetReplaceReadOnly(bool v) { replaceReadOnly_ = v; }
  bool FlushFilesOnClose() const { return flushFilesOnClose_; }
  void SetFlushFilesOnClose(bool v) { flushFilesOnClose_ = v; }
  bool OEMConvert() const { return oemConvert_; }
  void SetOEMConvert(bool v) { oemConvert_ = v; }

  // Multi-volume mirrors; TLynZip overrides them to use its MultiZipInfo.
  virtual bool CheckDiskLabels() const { return checkDiskLabels_; }
  virtual void SetCheckDiskLabels(bool v) { checkDiskLabels_ = v; }
  virtual TMultiMode MultiMode() const { return multiMode_; }
  virtual void SetMultiMode(TMultiMode v) { multiMode_ = v; }

  // ---- Published events ----
  TStartUnzipInfo OnStartUnZipInfo;
  TFilePercentDone OnFilePercentDone;
  TTotalPercentDone OnTotalPercentDone;
  TStartUnZipEvent OnStartUnZip;
  TEndUnZipEvent OnEndUnZip;
  TPromptForOverwrite OnPromptForOverwrite;
  TSkippingFile OnSkippingFile;
  TBadPassword OnBadPassword;
  TBadCRC OnBadCRC;
  TIncompleteZip OnInCompleteZip;
  TGetNextDisk OnGetNextDisk;  // the constructor installs DefaultGetNextDisk
  TUnZipComplete OnUnZipComplete;
  TGetNextBuffer OnGetNextBuffer;
  TDecryptEvent OnDecrypt;

  // ---- The archive ----
  // A new header object carrying the OEMConvert option and the name code pages; every entry
  // object comes from here.
  std::unique_ptr<TZipHeaderInfo> NewHeader() const;
  int32_t Count() const;
  // Makes the directory in memory match the file (opens it, loads it when needed).
  void OpenZip();
  // Releases the archive stream unless KeepZipOpen is set.
  void CloseZip();
  // Forgets the archive: stream, directory, end record, ZipName.
  void ClearZip();
  void ApplySortMode(TZipSortMode mode);

  // Indexed access by position in the sorted view; EListError outside 0..Count()-1.
  TZipHeaderInfo& Entry(int32_t index) const;
  double DateTimeOf(int32_t index) const;
  // Entry comments in the internal form: read through bit 11 or a Unicode comment field, and
  // stored as UTF-8 when the entry's bit 11 is set.
  std::string FileCommentOf(int32_t index);
  // The comment's bytes as stored (an update copies them unchanged).
  std::string StoredFileCommentOf(int32_t index);
  void SetFileComment(int32_t index, const std::string& text);
  std::string ZipComment();
  void SetZipComment(const std::string& text);

  // Opens disk n (1-based) of a multi-disk archive through OnGetNextDisk.
  classlib::Stream& SwitchToDisk(int32_t n);
  // The prompt installed as OnGetNextDisk by the constructor.
  void DefaultGetNextDisk(Object* sender, int32_t nextDisk, std::string& fName);

  // The host's cancel request: the next check in a long scan raises EUserCanceled.
  void Cancel() { cancelRequest_ = true; }
  bool CancelRequested() const { return cancelRequest_; }

  // Loaded directory, for the writer and for inspection.
  TSortedZip* EntryList() const { return entries_.get(); }
  TSortedZip* SortedView() const { return view_; }
  TEndCentral& EndCentral() { return *endCentral_; }
  const TEndCentral& EndCentral() const { return *endCentral_; }
  bool Repaired() const { return repaired_; }
  int32_t CurrentDisk() const { return currentDisk_; }
  int32_t NumberOfDisks() const { return numberOfDisks_; }
  double ArchiveDate() const { return archiveDate_; }

  const std::string& Password() const { return password_; }
  void SetPassword(const std::string& p) { password_ = p; }
  int32_t StreamBufferSize() const { return streamBufferSize_; }

  // Traditional cipher (used by the writer).
  TZipKeys& Keys() { return keys_; }
  void InitKeys(const std::string& password) { keys_.InitKeys(password); }
  void UpdateKeys(uint8_t b) { keys_.UpdateKeys(b); }
  uint8_t EncryptByte(uint8_t b) { return keys_.EncryptByte(b); }
  void EncryptBuffer(uint8_t* buffer, size_t n) { keys_.EncryptBuffer(buffer, n); }
  void FoldCrc(const uint8_t* buffer, size_t n) { keys_.FoldCrc(buffer, n); }

 protected:
  // Loads the directory from the open archive stream.
  void ReadZip();
  // Rebuilds the directory from the local headers; false when it already ran or found none.
  bool RepairScan();
  // The next local header at or after from that passes the plausibility checks, or -1.
  int64_t FindLocalHeader(classlib::Stream& s, int64_t from, int64_t size, bool strict);
  // Lets the host's messages run and honours the cancel request.
  void ProcessMessagesAndCheckCancel();
  bool DiskLabelMatches(int32_t n) const;
  void ReleaseDirectory();
  void ReleaseStream();
  // Replaces the directory with a list the caller built (the writer after a run); the view
  // becomes the list itself and SortMode ByNone.
  void AdoptDirectory(std::unique_ptr<TSortedZip> list);
  // Installs a separate view that does not own its items (or none for the list itself).
  void AdoptSortedView(std::unique_ptr<TSortedZip> view, TZipSortMode mode);
  classlib::Stream* ArchiveStream() const;
  
  std::unique_ptr<TSortedZip> entries_;
  std::unique_ptr<TSortedZip> separateView_;  // set when the view is not the entry list
  TSortedZip* view_ = nullptr;
  std::unique_ptr<TEndCentral> endCentral_;
  std::unique_ptr<support::TLFNFileStream> stream_;
  double archiveDate_ = 0;
  int32_t currentDisk_ = 0;
  int32_t numberOfDisks_ = 1;
  bool repaired_ = false;
  bool cancelRequest_ = false;
  std::string password_;
  int32_t streamBufferSize_ = 8192;
  TZipKeys keys_;

 private:
  void LoadEntries(classlib::Stream*& stream, bool& fromConfig);
  void LoadCommentsOfMultiDisk(classlib::Stream*& stream, bool fromConfig);

  int32_t thisVersion_ = kThisVersion;
  std::string zipName_;
  std::string destDir_;
  std::string rootDir_;
  TZipSortMode sortMode_ = ByNone;
  bool recreateDirs_ = false;
  TUZOverwriteMode overwriteMode_ = Prompt;
  std::unique_ptr<classlib::StringList> filesList_;
  bool doAll_ = false;
  TIncompleteZipMode incompleteZipMode_ = izAssumeMulti;
  bool keepZipOpen_ = false;
  bool doProcessMessages_ = true;
  bool retainAttributes_ = true;
  bool replaceReadOnly_ = false;
  bool flushFilesOnClose_ = false;
  bool oemConvert_ = true;
  int legacyCodePage_ = 0;
  int nameCodePage_ = TZipHeaderInfo::kDefaultNameCodePage;
  bool checkDiskLabels_ = true;
  TMultiMode multiMode_ = mmNone;
  // The configuration file while a load reads the directory from it.
  std::unique_ptr<support::TLFNFileStream> configStream_;
};

}  // namespace kestrel::archive
