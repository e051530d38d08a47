// lyn_zip.h — TLynZip, the zip-writing component: its published options and events, and
// RunZip, which builds a new archive or updates an existing one from the names and masks in
// FilesList and returns the number of files it compressed into the archive.
//
// An update writes the new archive to a temporary file beside ZipName and renames it over
// ZipName only once it is complete, so the path always holds the old or the new archive.
// Every failure raises (classlib::Exception and its kinds, EZipLimit for what the format cannot
// describe); the run then deletes what it had written and leaves an existing archive as it was.
//
// The implementation is split by stage: lyn_zip.cpp (properties), zip_gather.cpp (expanding
// FilesList), zip_run.cpp (the run, its output and completion), zip_merge.cpp (entries of the
// existing archive), zip_entry.cpp (one file or directory entry and its data).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/lyn_unzip.h"
#include "classlib/string_list.h"
#include "writer/deflate_io.h"
#include "writer/entry_encryption.h"
#include "writer/multi_zip_info.h"
#include "writer/zip_limits.h"
#include "writer/zip_types.h"

namespace kestrel::support {
class TLFNFileStream;
}

namespace kestrel::writer {

class Deflater;

class TLynZip : public archive::TLynUnZip, public DeflateSource, public DeflateSink {
 public:
  explicit TLynZip(classlib::Component* owner = nullptr);
  ~TLynZip() override;
  std::string ClassName() const override { return "TLynZip"; }

  void Assign(const classlib::Persistent& source) override;
  void Loaded() override;
  void SetZipName(const std::string& name) override;

  // ---- Published properties ----
  int32_t PackLevel() const { return packLevel_; }
  void SetPackLevel(int32_t level) { packLevel_ = level; }
  bool Recurse() const { return recurse_; }
  void SetRecurse(bool v) { recurse_ = v; }
  bool Dispose() const { return dispose_; }
  void SetDispose(bool v) { dispose_ = v; }
  bool StorePaths() const { return storePaths_; }
  void SetStorePaths(bool v);
  bool RelativePaths() const { return relativePaths_; }
  void SetRelativePaths(bool v);
  bool StoreVolumes() const { return storeVolumes_; }
  void SetStoreVolumes(bool v);
  TZipAction ZipAction() const { return zipAction_; }
  void SetZipAction(TZipAction v) { zipAction_ = v; }
  TMultiZipInfo& MultiZipInfo() { return *multiZipInfo_; }
  const TMultiZipInfo& MultiZipInfo() const { return *multiZipInfo_; }
  void SetMultiZipInfo(const TMultiZipInfo& info) { multiZipInfo_->Assign(info); }
  bool Store83Names() const { return store83Names_; }
  void SetStore83Names(bool v) { store83Names_ = v; }
  const std::string& TempPath() const { return tempPath_; }
  void SetTempPath(const std::string& path) { tempPath_ = path; }
  bool SkipIfArchiveBitNotSet() const { return skipIfArchiveBitNotSet_; }
  void SetSkipIfArchiveBitNotSet(bool v) { skipIfArchiveBitNotSet_ = v; }
  bool ResetArchiveBitOnZip() const { return resetArchiveBitOnZip_; }
  void SetResetArchiveBitOnZip(bool v) { resetArchiveBitOnZip_ = v; }
  classlib::StringList& ExcludeList() { return *excludeList_; }
  void SetExcludeList(const classlib::StringList& list) { excludeList_->Assign(list); }
  classlib::StringList& NoCompressList() { return *noCompressList_; }
  void SetNoCompressList(const classlib::StringList& list) { noCompressList_->Assign(list); }
  bool AddDirEntriesOnRecurse() const { return addDirEntriesOnRecurse_; }
  void SetAddDirEntriesOnRecurse(bool v) { addDirEntriesOnRecurse_ = v; }

  // Not published: masks of stored names ("dir/name", '/' separators, '*' crossing
  // directories) of existing entries to leave out of an update; OnDeleteEntry fires for each
  // and may keep it.
  classlib::StringList& DeleteList() { return *deleteList_; }
  // Not published: bytes of source files read so far in this run (what OnTotalPercentDone
  // reports as a percentage).
  int64_t BytesProcessed() const { return bytesProcessed_; }
  // Not published (Linux hosts): when set, a symbolic link is stored as a link (its mode with
  // the link type, its target as the entry's data) instead of being followed.
  bool StoreSymbolicLinks() const { return storeSymbolicLinks_; }
  void SetStoreSymbolicLinks(bool v) { storeSymbolicLinks_ = v; }

  // Not published: how many worker threads read and compress files ahead of the archive's
  // writer (writer/parallel_packer.h). 1, the default, does everything on the caller's thread;
  // the archive is the same byte for byte whatever the count. The files of a spanned set are
  // packed on the caller's thread. Events and the encryption run on the caller's thread only.
  int Threads() const { return threads_; }
  void SetThreads(int threads) { threads_ = threads < 1 ? 1 : threads; }

  // Not published: where the random bytes of encryption headers come from (the system's
  // source when empty, the default). They are drawn on the caller's thread in entry order,
  // so a fixed source gives the same archive whatever Threads() is.
  void SetRandomSource(RandomSource source) { randomSource_ = std::move(source); }

  // Not published: when set, an existing ZipName is neither opened nor updated but replaced
  // by a fresh archive, and only once that archive is complete (ZipFile's overwrite).
  bool ReplaceExisting() const { return replaceExisting_; }
  void SetReplaceExisting(bool v) { replaceExisting_ = v; }

  // The multi-volume mirrors read and write MultiZipInfo and keep the base's copy in step.
  bool CheckDiskLabels() const override { return multiZipInfo_->CheckDiskLabels; }
  void SetCheckDiskLabels(bool v) override;
  archive::TMultiMode MultiMode() const override { return multiZipInfo_->MultiMode; }
  void SetMultiMode(archive::TMultiMode v) override;

  // ---- Published events ----
  TStartZipInfo OnStartZipInfo;
  TStartZipEvent OnStartZip;
  TEndZipFileEvent OnEndZip;
  TZipComplete OnZipComplete;
  TUpdateEvent OnUpdate;
  TDisposeEvent OnDisposeFile;
  TNoSuchFileEvent OnNoSuchFile;
  TOnRecursingFile OnRecursingFile;
  TPrepareNextDisk OnPrepareNextDisk;
  TEncryptEvent OnEncrypt;
  TDeleteEvent OnDeleteEntry;  // fired for each existing entry that DeleteList matches
  // Not published: a directory reached a second time through symbolic links (a loop); it is
  // stored once and not entered again, and the link is listed in PassedOver with the reason
  // kLinkNotFollowed.
  std::function<void(classlib::Object* sender, const std::string& directory)> OnLinkLoop;
  static constexpr const char* kLinkNotFollowed =
      "symbolic link not followed: its directory is stored already (a loop, or a second way "
      "to it)";

  // ---- Operations ----
  // Builds or updates ZipName from FilesList; the number of files compressed in this run.
  int32_t RunZip();
  // The compressor's seam (writer/deflate_io.h): source file in, entry data out.
  uint32_t ReadInput(uint8_t* buffer, uint32_t size) override;
  void WriteOutput(uint8_t* buffer, uint32_t size) override;
  bool IsExcluded(const std::string& name) const;
  bool IsNoCompress(const std::string& name) const;
  // The files the last run saw but did not pack (could not be listed, opened or read, gone,
  // changed while read, or a stored name already taken), in the order met. The events report
  // them one at a time; this keeps them for the caller. Excluded files are not in it.
  const std::vector<PassedOverFile>& PassedOver() const { return passedOver_; }
  // When off, a run that would leave an archive of no entries (nothing found to pack, or all
  // of it passed over) writes none, and an existing archive stays as it was. On by default.
  bool WriteEmptyArchive() const { return writeEmptyArchive_; }
  void SetWriteEmptyArchive(bool v) { writeEmptyArchive_ = v; }

 private:
  void PassOver(const std::string& name, const std::string& reason);
  int32_t FinishWithoutArchive();

  struct Run;
  // What the entry of a file takes from the file as it is opened.
  struct SourceFacts {
    uint32_t attributes = 0;
    uint32_t dosDate = 0;  // 0xFFFFFFFF when unknown
    int64_t size = 0;  // -1 when the system cannot tell
  };

  // Gathering (zip_gather.cpp).
  void GatherFiles();
  void GatherExplicitNames(classlib::StringList& masks);
  void ExpandMask(const std::string& mask);
  bool GatherUtf8Names(const std::string& directory, const std::string& fileMask, bool recurse,
                       std::vector<std::string>& wildcardNames);
  bool WantsFound(const std::string& name);
  int GatheredCount() const;
  bool InArchiveForFreshen(const std::string& item) const;
  std::string MatchDirectory(const std::string& name) const;
  std::string StoredDirectory(const std::string& name, const std::string& root) const;
  bool EntryMatchesFile(const std::string& item, const archive::TZipHeaderInfo& header) const;
  // What a file and an entry are compared by: equal keys, the file updates the entry.
  std::string FileMatchKey(std::string item) const;
  std::string EntryMatchKey(const archive::TZipHeaderInfo& header) const;
  static std::string CaseFolded(std::string name);

  // The run (zip_run.cpp).
  void OpenOutput();
  void ZipGatheredFiles();
  void AddEntry(const std::string& item, bool disposable = true);
  void ZipUtf8Files();
  void WriteCentralDirectory();
  void CompleteRun();
  void AbandonRun();
  void FinishRun();
  void FlushOutput();
  void WriteToArchive(const uint8_t* buffer, uint32_t size);
  void CheckEntryRoom() const;
  void CheckArchiveOffset(int64_t position) const;

  // Entries of the existing archive (zip_merge.cpp).
  void MergeExistingEntries();
  void MergeEntry(int32_t index);
  bool DeletesEntry(int32_t index);
  // The entry's name with "/" when a mask of DeleteList names it.
  std::optional<std::string> DeletionName(const archive::TZipHeaderInfo& header) const;
  std::unique_ptr<archive::TZipHeaderInfo> CopyOfEntry(int32_t index);
  void CopyExistingEntry(archive::TZipHeaderInfo& header);
  void CopyDataDescriptor(const archive::TZipHeaderInfo& header, bool localZip64);
  void CopyFromArchive(uint64_t count);
  void ReadCentralExtra(archive::TZipHeaderInfo& header, std::string& extra);

  // Multi-volume output (zip_volumes.cpp).
  bool MultiVolume() const { return MultiMode() != archive::mmNone; }
  void CheckMultiVolumeSettings() const;
  void StartVolumes();
  bool MakeRoomForRecord(int64_t need);
  void CreateEntryTemp();
  void CopyEntryToVolumes();
  void DropEntryTemp();
  void FinishVolumes();
  void DiscardVolumes();
  void SaveConfigurationIfWanted();

  // Encryption of an entry (zip_encryption.cpp).
  void WriteEncryptionHeader();
  bool EncipheringEntries() const { return !Password().empty(); }

  // One entry (zip_entry.cpp).
  bool ZipOneFile(const std::string& name) { return ZipOneFile(name, RootDir()); }
  // root: RootDir in the code page in force.
  bool ZipOneFile(const std::string& name, std::string root);
  bool TakeSource(const std::string& name, SourceFacts& facts);
  bool OpenSource(const std::string& name);
  bool WriteFileData(const std::string& name);
  void WriteEntryLocal(classlib::Stream& out);
  void ReportRead(uint64_t count);

  // Files packed ahead on worker threads (zip_packed.cpp).
  void StartPacker();
  std::vector<std::string> PackingOrder() const;
  std::string EntryTempDirectory() const;
  void DropPackedFile();
  bool AwaitPackedData();
  uint64_t WritePackedData();
  void RollBackEntry();
  void CloseSource();

  // Unix metadata of an entry on hosts that keep it (unix_entry.cpp).
  void StampUnixMetadata(const std::string& path, bool followLink);
  bool OpenLinkSource(const std::string& name);

  int32_t packLevel_ = 6;
  bool recurse_ = false;
  bool dispose_ = false;
  bool storePaths_ = false;
  bool relativePaths_ = false;
  bool storeVolumes_ = false;
  TZipAction zipAction_ = zaUpdate;
  std::unique_ptr<TMultiZipInfo> multiZipInfo_;
  bool store83Names_ = false;
  std::string tempPath_;
  bool skipIfArchiveBitNotSet_ = false;
  bool resetArchiveBitOnZip_ = false;
  std::unique_ptr<classlib::StringList> excludeList_;
  std::unique_ptr<classlib::StringList> noCompressList_;
  std::unique_ptr<classlib::StringList> deleteList_;
  bool addDirEntriesOnRecurse_ = false;
  bool replaceExisting_ = false;
  bool writeEmptyArchive_ = true;
  int threads_ = 1;
  RandomSource randomSource_;
  std::vector<PassedOverFile> passedOver_;
  bool storeSymbolicLinks_ = false;
  // Gathered files whose names the ANSI code page cannot hold: full paths in UTF-8, packed
  // after FilesList under a UTF-8 scope and stored as UTF-8 with bit 11.
  std::vector<std::string> utf8Files_;

  // Totals of the gathered files, for OnTotalPercentDone.
  int64_t totalBytes_ = 0;
  int64_t bytesProcessed_ = 0;
  // The working state of one RunZip; null between runs.
  std::unique_ptr<Run> run_;
};

}  // namespace kestrel::writer
