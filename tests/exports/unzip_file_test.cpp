// UnZipFile: the walk and its stop rules, what failed entries leave behind, and hostile entry
// names, none of which may create or change anything outside the destination directory.
#include <unistd.h>

#include "exports/unpack_walk.h"
#include "kestrel.h"
#include "reader/unzip_state.h"
#include "tests/exports/unpack_fixture.h"

namespace kestrel::testing {
namespace {

class UnZipFileTest : public ::testing::Test {
 protected:
  ScratchFolder scratch{"unzip_file"};
  fs::path dest = scratch / "out" / "deep";
  fs::path archive = scratch / "a.zip";

  uint8_t Unzip(const fs::path& source, const std::string& destDir) {
    return UnZipFile(DriveOf(source).c_str(), destDir.c_str(), "");
  }
  uint8_t Unzip() { return Unzip(archive, DriveOf(dest)); }
  std::vector<std::pair<std::string, int>> Results() {
    ResultRecorder recorder;
    exports::UnpackArchive(DriveOf(archive), DriveOf(dest), exports::WalkMode::Extract, &recorder);
    return recorder.results;
  }
};

TEST_F(UnZipFileTest, ExtractsTreeWithTimesAndReadOnlyAttribute) {
  WritePyZip(archive, {{"docs/", "", false, 0x10},
                       {"docs/x.txt", std::string(5000, 'x'), true, 0x01},
                       {"empty.bin", "", false, 0x20},
                       {"stored.bin", "abc", false, 0x20}});
  ASSERT_EQ(Unzip(), 1);
  EXPECT_EQ(ReadBytes(dest / "docs" / "x.txt"), std::string(5000, 'x'));
  EXPECT_EQ(ReadBytes(dest / "stored.bin"), "abc");
  EXPECT_TRUE(fs::is_regular_file(dest / "empty.bin"));
  EXPECT_EQ(fs::file_size(dest / "empty.bin"), 0u);
  const auto perms = fs::status(dest / "docs" / "x.txt").permissions();
  EXPECT_EQ(perms & fs::perms::owner_write, fs::perms::none);  // read-only restored
  EXPECT_NE(fs::status(dest / "stored.bin").permissions() & fs::perms::owner_write, fs::perms::none);
  std::tm stamp{};
  stamp.tm_year = 120, stamp.tm_mon = 4, stamp.tm_mday = 17, stamp.tm_hour = 10, stamp.tm_min = 20,
  stamp.tm_sec = 30, stamp.tm_isdst = -1;
  const auto written = fs::last_write_time(dest / "stored.bin");
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
      std::chrono::file_clock::to_sys(written).time_since_epoch());
  EXPECT_EQ(seconds.count(), std::mktime(&stamp));  // DOS time taken as local time
  EXPECT_STREQ(kestrel_last_error(), "");
}

TEST_F(UnZipFileTest, DestinationWithOrWithoutTrailingBackslashIsTheSame) {
  WritePyZip(archive, {{"f.txt", "one"}});
  ASSERT_EQ(Unzip(archive, DriveOf(dest) + "\\"), 1);
  EXPECT_EQ(ReadBytes(dest / "f.txt"), "one");
  fs::remove(dest / "f.txt");
  ASSERT_EQ(Unzip(archive, DriveOf(dest)), 1);
  EXPECT_EQ(ReadBytes(dest / "f.txt"), "one");
  EXPECT_EQ(Snapshot(dest).size(), 1u);
}

// On Linux a colon is a character of a name: appended to the destination, "C:/x", "C:x" and
// "x.txt:stream" stay inside it (Windows refuses them as a drive or a stream).
TEST_F(UnZipFileTest, HostileNamesAreRefusedAndNothingOutsideChanges) {
  const std::vector<std::string> hostile = {
      "../evil1.txt",       "a/../../evil2.txt",  "/tmp/evil3.txt",  "\\\\srv\\share\\e6",
      "..\\evil7.txt",     "sub/.. /evil8.txt",  "sub/.../evil9.txt", "sub\\..\\..\\e10", "..",
  };
  const std::vector<std::string> colons = {"C:/evil4.txt", "C:evil5.txt", "x.txt:stream"};
  std::vector<PyEntry> entries;
  for (const std::string& name : hostile) entries.push_back({name, "evil"});
  for (const std::string& name : colons) entries.push_back({name, "inside"});
  entries.push_back({"ok/inside.txt", "fine"});
  WritePyZip(archive, entries);
  fs::create_directories(dest);
  WriteBytes(scratch / "out" / "evil1.txt", "original");  // what the first name aims at
  const auto outside = Snapshot(scratch.root());
  const bool absoluteTargetExisted = fs::exists("/tmp/evil3.txt");

  const auto results = Results();
  ASSERT_EQ(results.size(), hostile.size() + colons.size() + 1);
  for (size_t i = 0; i < hostile.size(); ++i) {
    EXPECT_EQ(results[i].second, exports::kEntryUnsafeName) << hostile[i];
  }
  for (size_t i = 0; i < colons.size(); ++i) {
    EXPECT_EQ(results[hostile.size() + i].second, 0) << colons[i];
    EXPECT_EQ(ReadBytes(dest / colons[i]), "inside") << colons[i];
  }
  EXPECT_EQ(results.back().second, 0);
  EXPECT_EQ(ReadBytes(dest / "ok" / "inside.txt"), "fine");

  auto after = Snapshot(scratch.root());
  for (auto it = after.begin(); it != after.end();) {
    it = it->first.rfind(dest.string(), 0) == 0 ? after.erase(it) : std::next(it);
  }
  auto before = outside;
  before.erase(dest.string());
  after.erase(dest.string());
  EXPECT_EQ(after, before);
  EXPECT_EQ(fs::exists("/tmp/evil3.txt"), absoluteTargetExisted);
  EXPECT_EQ(Unzip(), 1);  // unsafe entries are failures of the entry, not of the call
}

// Only Windows opens these names as devices (the Windows build refuses them); on Linux they
// are ordinary files, found in real source trees.
TEST_F(UnZipFileTest, WindowsDeviceNamesAreOrdinaryFilesOnLinux) {
  WritePyZip(archive, {{"CON", "c"}, {"nul.txt", "n"}, {"src/aux.c", "a"}, {"COM1/LPT9.dat", "l"}});
  const auto results = Results();
  ASSERT_EQ(results.size(), 4u);
  for (const auto& [name, result] : results) EXPECT_EQ(result, 0) << name;
  EXPECT_EQ(ReadBytes(dest / "CON"), "c");
  EXPECT_EQ(ReadBytes(dest / "nul.txt"), "n");
  EXPECT_EQ(ReadBytes(dest / "src" / "aux.c"), "a");
  EXPECT_EQ(ReadBytes(dest / "COM1" / "LPT9.dat"), "l");
}

// A script, then a stored zip64 entry declaring 4 GiB + 40 bytes in a file of 435 (found by
// fuzzing: the copy once cut the 64-bit remainder to 32 bits and then copied 0 bytes a round,
// for ever). Refused as a read error before its file is made; the walk stops there.
TEST_F(UnZipFileTest, StoredSizePastTheEndOfTheArchiveIsRefusedAtOnce) {
  fs::copy_file(KESTREL_SOURCE_DIR "/tests/fuzz/corpus/extract_fuzz/stored_zip64_past_end.zip",
                archive);
  const auto results = Results();
  ASSERT_EQ(results.size(), 2u);  // a.txt before it has a bad CRC
  EXPECT_EQ(results[1], std::make_pair(std::string("b\\c.bin"), int(reader::ExtractReadError)));
  EXPECT_FALSE(fs::exists(dest / "b" / "c.bin"));
}

TEST_F(UnZipFileTest, SymlinkEntryClimbingOutIsRefusedAndCannotBeClimbedThrough) {
  // A Unix symlink entry (mode 0120777) pointing up, then an entry through it.
  WritePyZip(archive, {{"link", "../..", false, 0xA1FF0000u, 3},
                       {"link/escaped.txt", "evil"},
                       {"after.txt", "ok"}});
  const auto before = Snapshot(scratch.root());
  const auto results = Results();
  ASSERT_EQ(results.size(), 3u);
  EXPECT_EQ(results[0].second, exports::kEntryUnsafeLink);
  EXPECT_EQ(results[1].second, 0);  // no link was made: a plain directory takes its place
  EXPECT_EQ(results[2].second, 0);
  EXPECT_FALSE(fs::is_symlink(dest / "link"));
  EXPECT_EQ(ReadBytes(dest / "link" / "escaped.txt"), "evil");
  EXPECT_FALSE(fs::exists(scratch / "escaped.txt"));
  EXPECT_FALSE(fs::exists(scratch.root().parent_path() / "escaped.txt"));
  for (const auto& [path, state] : before) EXPECT_EQ(Snapshot(scratch.root()).at(path), state);
}

// Over 259 characters is fine on Linux (a 301-byte name unpacks); over the host's 4095 bytes
// a path is refused before anything of it is created.
TEST_F(UnZipFileTest, OverlongPathsAreRefused) {
  const std::string longName = std::string(200, 'n') + "/" + std::string(100, 'm');
  std::string tooLong;
  while (tooLong.size() < 4096) tooLong += std::string(200, 'o') + "/";
  WritePyZip(archive, {{longName, "x"}, {tooLong + "f", "z"}, {"short.txt", "y"}});
  const auto results = Results();
  ASSERT_EQ(results.size(), 3u);
  EXPECT_EQ(results[0].second, 0);
  EXPECT_EQ(ReadBytes(dest / longName), "x");
  EXPECT_EQ(results[1].second, exports::kEntryPathTooLong);
  EXPECT_EQ(results[2].second, 0);
  EXPECT_FALSE(fs::exists(dest / std::string(200, 'o')));

  // An archive path over 200 characters: refused before anything is created.
  const fs::path deepDir = scratch / std::string(120, 'd') / std::string(90, 'e');
  fs::create_directories(deepDir);
  fs::copy_file(archive, deepDir / "a.zip");
  const fs::path untouched = scratch / "never";
  EXPECT_EQ(Unzip(deepDir / "a.zip", DriveOf(untouched)), 0);
  EXPECT_FALSE(fs::exists(untouched));
  EXPECT_NE(std::string(kestrel_last_error()).find("200"), std::string::npos);
}

TEST_F(UnZipFileTest, FailedEntriesLeaveNoFileAndTheWalkGoesOn) {
  WritePyZip(archive, {{"bad.txt", std::string(3000, 'b')}, {"good.txt", "good"}});
  std::string bytes = ReadBytes(archive);
  bytes[14] = char(bytes[14] ^ 0xFF);  // the local header's CRC of the first entry
  WriteBytes(archive, bytes);
  const auto results = Results();
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0].second, reader::ExtractCrcError);
  EXPECT_EQ(results[1].second, 0);
  EXPECT_FALSE(fs::exists(dest / "bad.txt"));
  EXPECT_EQ(ReadBytes(dest / "good.txt"), "good");
}

TEST_F(UnZipFileTest, ExistingFileSurvivesAFailedEntryAndIsReplacedByAGoodOne) {
  std::string noise(300000, '\0');
  std::mt19937 random(5);
  for (char& c : noise) c = char(random());
  WritePyZip(archive, {{"bad.txt", std::string(3000, 'b')},
                       {"sub/good.txt", "new good", true, 0x01},
                       {"locked.txt", "new locked"}});
  std::string bytes = ReadBytes(archive);
  bytes[14] = char(bytes[14] ^ 0xFF);  // the local header's CRC of the first entry
  WriteBytes(archive, bytes);
  WriteBytes(dest / "bad.txt", "old bad");
  WriteBytes(dest / "sub" / "good.txt", "old good");
  WriteBytes(dest / "locked.txt", "old locked");
  fs::permissions(dest / "locked.txt", fs::perms::owner_write | fs::perms::group_write |
                                           fs::perms::others_write, fs::perm_options::remove);
  const auto results = Results();
  ASSERT_EQ(results.size(), 3u);
  EXPECT_EQ(results[0].second, reader::ExtractCrcError);
  EXPECT_EQ(results[1].second, 0);
  EXPECT_EQ(results[2].second, reader::ExtractWriteError);  // read-only, as before
  EXPECT_EQ(ReadBytes(dest / "bad.txt"), "old bad");
  EXPECT_EQ(ReadBytes(dest / "sub" / "good.txt"), "new good");
  EXPECT_EQ(fs::status(dest / "sub" / "good.txt").permissions() & fs::perms::owner_write,
            fs::perms::none);  // the replacement carries the entry's attributes
  EXPECT_EQ(ReadBytes(dest / "locked.txt"), "old locked");
  EXPECT_EQ(Snapshot(dest).size(), 4u);  // no temporary file is left beside them

  // Cancelled half way: the old file is still there, whole.
  WritePyZip(archive, {{"noise.bin", noise, false}});
  WriteBytes(dest / "noise.bin", "old noise");
  kestrel_set_cancel(1);
  const auto cancelled = Results();
  kestrel_set_cancel(0);
  ASSERT_EQ(cancelled.size(), 1u);
  EXPECT_EQ(cancelled[0].second, reader::ExtractCancelled);
  EXPECT_EQ(ReadBytes(dest / "noise.bin"), "old noise");
  EXPECT_EQ(Snapshot(dest).size(), 5u);
}

// On Linux names that differ only in case are different files: the folders they name are
// found in any case, but a file never lands in a file whose name differs only in case, be it
// there before or made by the same extraction a moment earlier (xt_MARK.h and xt_mark.h).
// Names Windows refuses but Linux allows come out as they are.
TEST_F(UnZipFileTest, NamesDifferingOnlyInCaseAreSeparateFiles) {
  WriteBytes(dest / "Pre" / "Old.TXT", "before");
  WritePyZip(archive, {{"PRE/old.txt", "replaced"},
                       {"New/Made.txt", "first"},
                       {"NEW/made.TXT", "second"},
                       {"new/Other.txt", "other"},
                       {"new/a<b>|\"c\t.txt", "odd"}});
  const auto results = Results();
  ASSERT_EQ(results.size(), 5u);
  for (const auto& [name, result] : results) EXPECT_EQ(result, 0) << name;
  EXPECT_EQ(ReadBytes(dest / "Pre" / "Old.TXT"), "before");
  EXPECT_EQ(ReadBytes(dest / "Pre" / "old.txt"), "replaced");
  EXPECT_EQ(ReadBytes(dest / "New" / "Made.txt"), "first");
  EXPECT_EQ(ReadBytes(dest / "New" / "made.TXT"), "second");
  EXPECT_EQ(ReadBytes(dest / "New" / "Other.txt"), "other");
  EXPECT_EQ(ReadBytes(dest / "New" / "a<b>|\"c\t.txt"), "odd");
  EXPECT_EQ(Snapshot(dest).size(), 8u);  // two folders, six files
}

TEST_F(UnZipFileTest, EncryptedEntryIsSkippedAndTheRestExtracted) {
  if (!HavePeer("zip")) GTEST_SKIP() << "zip not installed";
  WriteBytes(scratch / "in" / "secret.txt", "secret");
  WriteBytes(scratch / "in" / "plain.txt", "plain");
  ASSERT_EQ(Shell("cd " + Quoted(scratch / "in") + " && zip -q -P pw ../a.zip secret.txt && zip -q ../a.zip plain.txt"), 0);
  const auto results = Results();
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0].second, reader::ExtractEncrypted);
  EXPECT_EQ(results[1].second, 0);
  EXPECT_FALSE(fs::exists(dest / "secret.txt"));
  EXPECT_EQ(ReadBytes(dest / "plain.txt"), "plain");
}

TEST_F(UnZipFileTest, BadLocalHeaderStopsTheWalk) {
  WritePyZip(archive, {{"one.txt", "1"}, {"two.txt", "2"}, {"three.txt", "3"}});
  std::string bytes = ReadBytes(archive);
  const size_t second = bytes.find("PK\x03\x04", 4);
  ASSERT_NE(second, std::string::npos);
  bytes[second + 3] = 9;
  WriteBytes(archive, bytes);
  const auto results = Results();
  ASSERT_EQ(results.size(), 2u);  // three.txt is never reached
  EXPECT_EQ(results[1].second, reader::ExtractFormatError);
  EXPECT_EQ(Unzip(), 1);
  EXPECT_EQ(ReadBytes(dest / "one.txt"), "1");
  EXPECT_FALSE(fs::exists(dest / "three.txt"));
}

TEST_F(UnZipFileTest, CancelStopsTheWalkAndRemovesThePartlyWrittenFile) {
  std::string noise(300000, '\0');
  std::mt19937 random(3);
  for (char& c : noise) c = char(random());
  WritePyZip(archive, {{"first.txt", "1"}, {"noise.bin", noise, false}, {"last.txt", "3"}});
  kestrel_set_cancel(1);  // the Escape key held down
  const auto results = Results();
  kestrel_set_cancel(0);
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0].second, 0);  // too small to reach a progress check
  EXPECT_EQ(results[1].second, reader::ExtractCancelled);
  EXPECT_TRUE(fs::exists(dest / "first.txt"));
  EXPECT_FALSE(fs::exists(dest / "noise.bin"));
  EXPECT_FALSE(fs::exists(dest / "last.txt"));
}

TEST_F(UnZipFileTest, TruncatedArchiveIsRecognisedButYieldsNothing) {
  WritePyZip(archive, {{"one.txt", std::string(4000, '1')}, {"two.txt", "2"}});
  const std::string bytes = ReadBytes(archive);
  WriteBytes(archive, bytes.substr(0, bytes.size() / 2));  // the end record is gone
  EXPECT_EQ(Unzip(), 1);  // an unreadable directory is not a failure of the call
  EXPECT_TRUE(fs::is_directory(dest));
  EXPECT_TRUE(fs::is_empty(dest));
}

TEST_F(UnZipFileTest, NotAnArchiveEmptyArchiveAndBadArguments) {
  WriteBytes(archive, "just text, no zip");
  EXPECT_EQ(Unzip(), 0);
  EXPECT_STRNE(kestrel_last_error(), "");
  WriteBytes(archive, std::string("PK\x05\x06", 4) + std::string(18, '\0'));
  EXPECT_EQ(Unzip(), 0);           // no local header at the start
  EXPECT_TRUE(fs::is_directory(dest));  // the chain is created all the same
  EXPECT_EQ(Unzip(archive, ""), 0);
  EXPECT_EQ(UnZipFile(nullptr, "C:\\tmp", ""), 0);
  EXPECT_EQ(UnZipFile(DriveOf(archive).c_str(), nullptr, ""), 0);
}

TEST_F(UnZipFileTest, CurrentDirectoryIsNeverChanged) {
  WritePyZip(archive, {{"a/b/c/deep.txt", "d"}, {"dir.zip/", "", false, 0x10}});
  char before[4096];
  ASSERT_NE(::getcwd(before, sizeof before), nullptr);
  const std::string driveBefore = os::GetCurrentDirectory();
  ASSERT_EQ(Unzip(), 1);
  EXPECT_EQ(Unzip(dest / "dir.zip", DriveOf(scratch / "o2")), 0);  // a directory named *.zip
  char after[4096];
  ASSERT_NE(::getcwd(after, sizeof after), nullptr);
  EXPECT_STREQ(after, before);
  EXPECT_EQ(os::GetCurrentDirectory(), driveBefore);
  EXPECT_EQ(ReadBytes(dest / "a" / "b" / "c" / "deep.txt"), "d");
}

TEST(UnZipFileLegacy, EveryOldMethodEntryUnpacksWithItsCrc) {
  ScratchFolder scratch("unzip_legacy");
  int checked = 0;
  for (const auto& file : fs::directory_iterator(fs::path(KESTREL_TEST_DATA) / "legacy")) {
    if (file.path().extension() == ".md") continue;
    SCOPED_TRACE(file.path().filename().string());
    const fs::path dest = scratch / file.path().stem().string();
    ASSERT_EQ(UnZipFile(DriveOf(file.path()).c_str(), DriveOf(dest).c_str(), ""), 1);
    checked += ExpectCentralCrcs(file.path(), dest);
  }
  EXPECT_EQ(checked, 15);
}

}  // namespace
}  // namespace kestrel::testing
