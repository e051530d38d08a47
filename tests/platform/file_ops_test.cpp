// file_ops_test.cpp — directories, delete, move, copy, temporary names and the module name.
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "tests/platform/scratch_drive.h"

namespace kestrel::test {
namespace {

using namespace os;

class FileOps : public ScratchDrive {};

TEST_F(FileOps, CreateAndRemoveDirectories) {
  ASSERT_TRUE(CreateDirectory(D("a")));
  EXPECT_FALSE(CreateDirectory(D("a")));
  EXPECT_EQ(LastError(), kErrorAlreadyExists);
  EXPECT_FALSE(CreateDirectory("C:\\"));
  EXPECT_EQ(LastError(), kErrorAlreadyExists);
  EXPECT_FALSE(CreateDirectory(D("x\\y")));
  EXPECT_EQ(LastError(), kErrorPathNotFound);
  ASSERT_TRUE(CreateDirectory(D("A\\b\\")));  // case-insensitive parent, trailing "\"
  EXPECT_TRUE(std::filesystem::is_directory(H("a/b")));
  EXPECT_FALSE(RemoveDirectory(D("a")));
  EXPECT_EQ(LastError(), kErrorDirNotEmpty);
  EXPECT_TRUE(RemoveDirectory(D("a\\b")));
  EXPECT_TRUE(RemoveDirectory(D("a")));
  EXPECT_FALSE(RemoveDirectory(D("a")));
  EXPECT_EQ(LastError(), kErrorFileNotFound);
}

TEST_F(FileOps, DeleteFile) {
  Write("f", "x");
  std::filesystem::create_directory(H("d"));
  EXPECT_TRUE(DeleteFile(D("F")));
  EXPECT_FALSE(DeleteFile(D("f")));
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  EXPECT_FALSE(DeleteFile(D("d")));
  EXPECT_EQ(LastError(), kErrorDirectoryNotSupported);
}

TEST_F(FileOps, MoveNeverReplacesButMoveReplaceDoes) {
  Write("a", "A");
  Write("b", "B");
  EXPECT_FALSE(MoveFile(D("a"), D("b")));
  EXPECT_EQ(LastError(), kErrorAlreadyExists);
  EXPECT_EQ(Read("b"), "B");
  ASSERT_TRUE(MoveFileReplace(D("a"), D("b")));
  EXPECT_EQ(Read("b"), "A");
  EXPECT_FALSE(std::filesystem::exists(H("a")));
  ASSERT_TRUE(MoveFile(D("b"), D("c")));
  EXPECT_EQ(Read("c"), "A");
  EXPECT_FALSE(MoveFile(D("none"), D("z")));
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  Write("ro", "R");
  ASSERT_TRUE(SetFileAttributes(D("ro"), kAttrReadOnly));
  EXPECT_FALSE(MoveFileReplace(D("c"), D("ro")));
  EXPECT_EQ(LastError(), kErrorAccessDenied);
}

TEST_F(FileOps, CopyKeepsContentTimeAndReadOnly) {
  Write("src", std::string(100000, 'q'));
  FileTime when;
  ASSERT_TRUE(DosDateTimeToFileTime((40 << 9) | (3 << 5) | 4, 0, when));
  FileHandle f = OpenFile(D("src"), Access::Write, Disposition::OpenExisting);
  ASSERT_TRUE(SetFileTime(f, nullptr, nullptr, &when));
  CloseFile(f);
  ASSERT_TRUE(SetFileAttributes(D("src"), kAttrReadOnly | kAttrArchive));
  ASSERT_TRUE(CopyFile(D("src"), D("dst"), true));
  EXPECT_EQ(Read("dst"), std::string(100000, 'q'));
  EXPECT_TRUE(GetFileAttributes(D("dst")) & kAttrReadOnly);
  FindData data;
  FindHandle h = FindFirstFile(D("dst"), data);
  ASSERT_NE(h, kInvalidFind);
  EXPECT_EQ(data.lastWrite, when);
  FindClose(h);
  Write("other", "o");
  EXPECT_FALSE(CopyFile(D("other"), D("dst"), true));
  EXPECT_EQ(LastError(), kErrorFileExists);
  EXPECT_FALSE(CopyFile(D("other"), D("dst"), false));  // the target is read-only
  EXPECT_EQ(LastError(), kErrorAccessDenied);
}

TEST_F(FileOps, TemporaryNames) {
  std::string temp = TempPath();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), '\\');
  EXPECT_EQ(temp.substr(1, 2), ":\\");
  std::string name = TempFileName(D(""), "QZTxyz", 0);
  ASSERT_FALSE(name.empty());
  EXPECT_EQ(name.rfind(D("QZT"), 0), 0u);
  EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
  EXPECT_NE(GetFileAttributes(name), kInvalidAttributes);  // unique 0 claims the name
  std::string second = TempFileName(D(""), "QZT", 0);
  EXPECT_NE(second, name);
  EXPECT_EQ(TempFileName(D("x"), "ab", 0x1234A), D("x\\ab234A.tmp"));  // low 16 bits, not made
  EXPECT_EQ(GetFileAttributes(D("x\\ab234A.tmp")), kInvalidAttributes);
  EXPECT_TRUE(TempFileName(D(std::string(kMaxPath - 6, 'd')), "QZT", 0).empty());
  EXPECT_EQ(LastError(), kErrorFilenameTooLong);
  EXPECT_TRUE(TempFileName(D("missing"), "QZT", 0).empty());
  EXPECT_EQ(LastError(), kErrorPathNotFound);
}

// A killed update leaves its work file behind; the next run in that directory removes it,
// and never a live process's file or a user's file that merely looks alike.
TEST_F(FileOps, WorkFilesOfDeadProcessesAreRemovedByTheNextRun) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(0);
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  const std::string dead = "QZT1A-" + std::to_string(child) + ".tmp";
  const std::string live = "QZT2B-" + std::to_string(getppid()) + ".tmp";
  const std::string ownLive = "QZT3C-" + std::to_string(getpid()) + ".tmp";
  for (const std::string& name : {dead, live, ownLive, std::string("QZTG-1.tmp"),
                                  "QZT12345-" + std::to_string(child) + ".tmp",
                                  "kst1A-" + std::to_string(child) + ".tmp"}) {
    Write(name, "x");
  }
  const std::string made = WorkFileName(D(""), "QZT");
  ASSERT_FALSE(made.empty());
  EXPECT_NE(GetFileAttributes(made), kInvalidAttributes);
  const std::string tag = "-" + std::to_string(getpid()) + ".tmp";
  EXPECT_EQ(made.rfind(D("QZT"), 0), 0u) << made;
  EXPECT_EQ(made.substr(made.size() - tag.size()), tag) << made;
  EXPECT_FALSE(std::filesystem::exists(H(dead)));
  for (const std::string& kept : {live, ownLive, std::string("QZTG-1.tmp"),
                                  "QZT12345-" + std::to_string(child) + ".tmp",
                                  "kst1A-" + std::to_string(child) + ".tmp"}) {
    EXPECT_TRUE(std::filesystem::exists(H(kept))) << kept;
  }
  EXPECT_TRUE(WorkFileName(D("missing"), "QZT").empty());
  EXPECT_EQ(LastError(), kErrorPathNotFound);

  // The interface's work files, named by host path, are swept the same way.
  const std::string deadWork = ".kestrel-1A-" + std::to_string(child) + ".tmp";
  Write(deadWork, "x");
  const std::string work = host::ClaimWorkFile(H(""));
  ASSERT_FALSE(work.empty());
  EXPECT_EQ(work.rfind(H(".kestrel-"), 0), 0u) << work;
  EXPECT_EQ(work.substr(work.size() - tag.size()), tag) << work;
  EXPECT_TRUE(std::filesystem::exists(work));
  EXPECT_FALSE(std::filesystem::exists(H(deadWork)));
  EXPECT_TRUE(std::filesystem::exists(H(live)));
}

// Names that differ only in case are different files on Linux: a new file never lands in
// another case's file, while an existing one is still found in any case.
TEST_F(FileOps, NewFileBesideAnotherCaseOfItsName) {
  Write("xt_MARK.h", "upper");
  const FileHandle file = OpenFile(D("xt_mark.h"), Access::Write, Disposition::CreateNew);
  ASSERT_NE(file, kInvalidFile);
  uint32_t done = 0;
  EXPECT_TRUE(WriteFile(file, "lower", 5, done));
  CloseFile(file);
  EXPECT_EQ(Read("xt_MARK.h"), "upper");
  EXPECT_EQ(Read("xt_mark.h"), "lower");
  EXPECT_EQ(OpenFile(D("xt_mark.h"), Access::Write, Disposition::CreateNew), kInvalidFile);
  EXPECT_EQ(LastError(), kErrorFileExists);
  const FileHandle found = OpenFile(D("XT_MARK.H"), Access::Read, Disposition::OpenExisting);
  EXPECT_NE(found, kInvalidFile);
  CloseFile(found);
}

TEST_F(FileOps, ModuleFileNameIsADrivePathOfThisProgram) {
  std::string name = ModuleFileName();
  ASSERT_FALSE(name.empty());
  EXPECT_EQ(name.substr(0, 3), "C:\\");
  EXPECT_NE(GetFileAttributes(name), kInvalidAttributes);
  EXPECT_EQ(ShortPathName(name), name);
  EXPECT_TRUE(ShortPathName(D("none")).empty());
}

}  // namespace
}  // namespace kestrel::test
