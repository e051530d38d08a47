// directory_damage_test.cpp — a walk that stops before the directory its end record declares
// is reported (UnZipFile 0, "central directory damaged after entry N of M") with the entries
// before the damage unpacked; entries overlapping others and entries producing more than they
// declare are refused, the rest goes on.
#include "archive/zip_records.h"
#include "exports/unpack_walk.h"
#include "kestrel.h"
#include "reader/unzip_state.h"
#include "tests/exports/unpack_fixture.h"

namespace kestrel::testing {
namespace {

constexpr int kEntries = 5;

class DirectoryDamage : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<PyEntry> entries;
    for (int i = 0; i < kEntries; ++i) {
      entries.push_back({"f" + std::to_string(i) + ".txt", std::string(300 + i, char('a' + i)),
                         i % 2 == 0, 0x20});
    }
    WritePyZip(scratch / "good.zip", entries);
    good = ReadBytes(scratch / "good.zip");
    end = good.size() - archive::kEndCentralSize;
    size_t at = Le32(good, end + 16);
    while (at < end) {
      records.push_back(at);
      at += archive::kCentralHeaderSize + Le16(good, at + 28) + Le16(good, at + 30) +
            Le16(good, at + 32);
    }
    ASSERT_EQ(records.size(), size_t(kEntries));
  }

  static uint32_t Le16(const std::string& b, size_t at) {
    return archive::LoadLe16(reinterpret_cast<const uint8_t*>(b.data() + at));
  }
  static uint32_t Le32(const std::string& b, size_t at) {
    return archive::LoadLe32(reinterpret_cast<const uint8_t*>(b.data() + at));
  }
  static void Put16(std::string& b, size_t at, uint16_t v) {
    archive::StoreLe16(reinterpret_cast<uint8_t*>(b.data() + at), v);
  }
  static void Put32(std::string& b, size_t at, uint32_t v) {
    archive::StoreLe32(reinterpret_cast<uint8_t*>(b.data() + at), v);
  }

  // Unpacks bytes into a fresh folder: UnZipFile's result, its message, the files written.
  struct Outcome {
    int result;
    std::string message;
    std::vector<std::string> files;
  };
  Outcome Unpack(const std::string& bytes) {
    const fs::path file = scratch / ("t" + std::to_string(++runs) + ".zip");
    const fs::path dest = scratch / ("d" + std::to_string(runs));
    WriteBytes(file, bytes);
    Outcome o{UnZipFile(DriveOf(file).c_str(), DriveOf(dest).c_str(), ""), kestrel_last_error(),
              {}};
    for (const auto& f : fs::directory_iterator(dest)) o.files.push_back(f.path().filename());
    std::sort(o.files.begin(), o.files.end());
    return o;
  }
  static std::vector<std::string> FirstFiles(int n) {
    std::vector<std::string> names;
    for (int i = 0; i < n; ++i) names.push_back("f" + std::to_string(i) + ".txt");
    return names;
  }
  static std::string Damage(int n, int of) {
    return "central directory damaged after entry " + std::to_string(n) + " of " +
           std::to_string(of);
  }

  ScratchFolder scratch{"damage"};
  std::string good;
  size_t end = 0;
  std::vector<size_t> records;
  int runs = 0;
};

TEST_F(DirectoryDamage, FlippedSignatureInEachRecordPosition) {
  const Outcome whole = Unpack(good);
  EXPECT_EQ(whole.result, 1);
  EXPECT_EQ(whole.message, "");
  EXPECT_EQ(whole.files, FirstFiles(kEntries));
  for (int i = 0; i < kEntries; ++i) {
    std::string bad = good;
    bad[records[i] + 2] ^= 0x40;
    const Outcome o = Unpack(bad);
    EXPECT_EQ(o.result, 0) << i;
    EXPECT_EQ(o.message, Damage(i, kEntries));
    EXPECT_EQ(o.files, FirstFiles(i));
  }
}

TEST_F(DirectoryDamage, TheRepairScanRecoversWhatTheWalkLost) {
  std::string bad = good;
  bad[records[1] + 2] ^= 0x40;
  const fs::path file = scratch / "flipped.zip";
  WriteBytes(file, bad);
  ResultRecorder recorder;
  const auto summary = exports::UnpackArchive(DriveOf(file), DriveOf(scratch / "r"),
                                              exports::WalkMode::Extract, &recorder, 0,
                                              exports::EntrySource::RepairScan);
  EXPECT_EQ(summary.result, 1);
  EXPECT_EQ(summary.entriesRead, uint64_t(kEntries));
  ASSERT_EQ(recorder.results.size(), size_t(kEntries));
  for (int i = 0; i < kEntries; ++i) {
    EXPECT_EQ(recorder.results[i], std::make_pair(FirstFiles(kEntries)[i], 0));
    EXPECT_EQ(ReadBytes(scratch / "r" / FirstFiles(kEntries)[i]),
              std::string(300 + i, char('a' + i)));
  }
  // Nothing that looks like an archive: refused.
  WriteBytes(file, std::string(500, 'z'));
  EXPECT_EQ(exports::UnpackArchive(DriveOf(file), "", exports::WalkMode::Test, nullptr, 0,
                                   exports::EntrySource::RepairScan).result, 0);
}

TEST_F(DirectoryDamage, DirectoryCutAtEveryRecordBoundary) {
  // The records from k on are gone; the end record (still counting all) follows at once.
  for (int k = 0; k <= kEntries; ++k) {
    const size_t cut = k < kEntries ? records[k] : end;
    std::string bad = good.substr(0, cut) + good.substr(end);
    Put32(bad, bad.size() - archive::kEndCentralSize + 12, uint32_t(cut - records[0]));
    const Outcome o = Unpack(bad);
    EXPECT_EQ(o.result, k == kEntries ? 1 : 0) << k;
    EXPECT_EQ(o.message, k == kEntries ? "" : Damage(k, kEntries));
    EXPECT_EQ(o.files, FirstFiles(k));
  }
}

TEST_F(DirectoryDamage, NameRunningPastTheDirectoryAndCountsThatDisagree) {
  std::string bad = good;
  Put16(bad, records.back() + 28, 0x7FFF);
  Outcome o = Unpack(bad);
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.message, Damage(kEntries - 1, kEntries));
  EXPECT_EQ(o.files, FirstFiles(kEntries - 1));

  for (int declared : {kEntries + 1, kEntries - 1, 0}) {
    bad = good;
    Put16(bad, end + 8, uint16_t(declared));
    Put16(bad, end + 10, uint16_t(declared));
    o = Unpack(bad);
    EXPECT_EQ(o.result, 0) << declared;
    EXPECT_EQ(o.message, Damage(kEntries, declared));
    EXPECT_EQ(o.files, FirstFiles(kEntries));  // every entry present is still unpacked
  }
}

TEST_F(DirectoryDamage, OverlappingEntriesAreRefusedAndTheRestGoesOn) {
  // Every record points at the first entry's local header (a bomb of one header).
  std::string shared = good;
  for (size_t r : records) Put32(shared, r + 42, Le32(good, records[0] + 42));
  ResultRecorder recorder;
  const fs::path file = scratch / "shared.zip";
  WriteBytes(file, shared);
  const auto summary = exports::UnpackArchive(DriveOf(file), DriveOf(scratch / "s"),
                                              exports::WalkMode::Test, &recorder);
  EXPECT_EQ(summary.result, 1);
  ASSERT_EQ(recorder.results.size(), size_t(kEntries));
  EXPECT_EQ(recorder.results[0].second, reader::ExtractOk);
  for (int i = 1; i < kEntries; ++i) {
    EXPECT_EQ(recorder.results[i].second, exports::kEntryOverlapping) << i;
  }

  // A quoted overlap: the second entry's local header lies inside the first entry's data.
  // f0's directory size is made to reach over f1's header; f0 itself still inflates whole.
  std::string quoted = good;
  const uint32_t f1 = Le32(good, records[1] + 42);
  Put32(quoted, records[0] + 20, f1 + 10 - Le32(good, records[0] + 42));
  const Outcome o = Unpack(quoted);
  EXPECT_EQ(o.result, 1);
  EXPECT_EQ(o.files, (std::vector<std::string>{"f0.txt", "f2.txt", "f3.txt", "f4.txt"}));
}

TEST_F(DirectoryDamage, OutputStopsAtTheDeclaredSize) {
  // f0 is deflated: 300 bytes declared as 299 in the directory; f1 stored, declared 100.
  std::string bad = good;
  Put32(bad, records[0] + 24, 299);
  ResultRecorder recorder;
  const fs::path file = scratch / "bomb.zip";
  WriteBytes(file, bad);
  exports::UnpackArchive(DriveOf(file), DriveOf(scratch / "b"), exports::WalkMode::Extract,
                         &recorder);
  ASSERT_EQ(recorder.results.size(), 1u);  // a format error ends the walk
  EXPECT_EQ(recorder.results[0].second, reader::ExtractFormatError);
  EXPECT_FALSE(fs::exists(scratch / "b" / "f0.txt"));

  bad = good;
  Put32(bad, records[1] + 24, 100);
  const Outcome o = Unpack(bad);
  EXPECT_EQ(o.result, 1);
  EXPECT_EQ(o.files, FirstFiles(1));
}

TEST_F(DirectoryDamage, AnEndRecordHiddenInTheCommentIsNotTaken) {
  // The comment holds an end record that would describe an empty directory; the archive's own
  // end record is the one whose comment reaches the end of the file.
  std::string fake(archive::kEndCentralSize, '\0');
  Put32(fake, 0, archive::kEndCentralSignature);
  Put32(fake, 16, uint32_t(end));
  std::string bad = good;
  const std::string comment = "see " + fake + " here";
  Put16(bad, end + 20, uint16_t(comment.size()));
  bad += comment;
  const Outcome o = Unpack(bad);
  EXPECT_EQ(o.result, 1);
  EXPECT_EQ(o.files, FirstFiles(kEntries));
}

}  // namespace
}  // namespace kestrel::testing
