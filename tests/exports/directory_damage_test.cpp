// directory_damage_test.cpp — a walk that stops before the directory its end record declares
// is reported (UnZipFile 0, "central directory damaged after entry N of M") with the entries
// before the damage unpacked; entries overlapping others and entries producing more than they
// declare are refused, the rest goes on. The reading interface reports the same, and reads the
// entries through the repair scan when asked.
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

// One reader over bytes: the result of opening, the entries' results of extract_all and its
// own result and message.
struct ReaderRun {
  int opened = KESTREL_E_INVALID;
  kestrel_directory_status status{};
  std::vector<std::pair<std::string, int>> entries;
  int result = KESTREL_E_INVALID;
  std::string message;
};

ReaderRun ReadThrough(const fs::path& file, const fs::path& dest, int source) {
  ReaderRun run;
  kestrel_reader* reader = kestrel_reader_new();
  kestrel_reader_set_directory_source(reader, source);
  run.opened = kestrel_reader_open(reader, file.c_str());
  if (run.opened == KESTREL_OK) {
    kestrel_reader_directory_status(reader, &run.status);
    kestrel_extract_options options{};
    options.entry_done = [](void* context, const kestrel_entry* entry, int result, const char*,
                            const char*) {
      static_cast<ReaderRun*>(context)->entries.emplace_back(entry->name, result);
    };
    options.entry_context = &run;
    run.result = kestrel_reader_extract_all(reader, dest.c_str(), &options);
    run.message = kestrel_reader_error(reader);
  }
  kestrel_reader_close(reader);
  return run;
}

TEST_F(DirectoryDamage, ReadingInterfaceReportsTheDamageAndRepairsOnRequest) {
  std::string bad = good;
  bad[records[2] + 2] ^= 0x40;
  const fs::path file = scratch / "flipped.zip";
  WriteBytes(file, bad);

  const ReaderRun walked = ReadThrough(file, scratch / "w", KESTREL_DIRECTORY_WALKER);
  ASSERT_EQ(walked.opened, KESTREL_OK);
  EXPECT_EQ(walked.status.entries_declared, uint64_t(kEntries));
  EXPECT_EQ(walked.status.entries_read, 2u);
  EXPECT_TRUE(walked.status.damaged);
  EXPECT_FALSE(walked.status.repaired);
  EXPECT_EQ(walked.result, KESTREL_E_DAMAGED);
  EXPECT_EQ(walked.message, Damage(2, kEntries));
  EXPECT_EQ(walked.entries.size(), 2u);
  EXPECT_EQ(ReadBytes(scratch / "w" / "f1.txt"), std::string(301, 'b'));

  const ReaderRun repaired = ReadThrough(file, scratch / "r", KESTREL_DIRECTORY_REPAIR);
  ASSERT_EQ(repaired.opened, KESTREL_OK);
  EXPECT_FALSE(repaired.status.damaged);
  EXPECT_TRUE(repaired.status.repaired);
  EXPECT_EQ(repaired.status.entries_read, uint64_t(kEntries));
  EXPECT_EQ(repaired.result, KESTREL_OK) << repaired.message;
  for (int i = 0; i < kEntries; ++i) {
    EXPECT_EQ(ReadBytes(scratch / "r" / FirstFiles(kEntries)[i]), std::string(300 + i, char('a' + i)));
  }
  // The component's plain reading of the intact archive gives the walker's entries.
  WriteBytes(file, good);
  const ReaderRun component = ReadThrough(file, scratch / "c", KESTREL_DIRECTORY_COMPONENT);
  EXPECT_EQ(component.result, KESTREL_OK);
  EXPECT_FALSE(component.status.repaired);
  EXPECT_EQ(component.entries, ReadThrough(file, scratch / "c2", KESTREL_DIRECTORY_WALKER).entries);
  // Nothing the scan can take for an archive.
  WriteBytes(file, std::string(500, 'z'));
  EXPECT_EQ(ReadThrough(file, scratch / "z", KESTREL_DIRECTORY_REPAIR).opened, KESTREL_E_NOT_ZIP);
}

TEST_F(DirectoryDamage, ReadingInterfaceRefusesOverlappingEntries) {
  // f1 and f3 point at f0's local header; f2 and f4 are their own.
  std::string shared = good;
  Put32(shared, records[1] + 42, Le32(good, records[0] + 42));
  Put32(shared, records[3] + 42, Le32(good, records[0] + 42));
  const fs::path file = scratch / "shared.zip";
  WriteBytes(file, shared);
  const ReaderRun run = ReadThrough(file, scratch / "o", KESTREL_DIRECTORY_WALKER);
  ASSERT_EQ(run.opened, KESTREL_OK);
  EXPECT_EQ(run.entries, (std::vector<std::pair<std::string, int>>{
                             {"f0.txt", KESTREL_OK}, {"f1.txt", KESTREL_E_OVERLAP},
                             {"f2.txt", KESTREL_OK}, {"f3.txt", KESTREL_E_OVERLAP},
                             {"f4.txt", KESTREL_OK}}));
  EXPECT_EQ(run.result, KESTREL_E_OVERLAP);
  EXPECT_EQ(run.message, "2 of 5 entries failed; the first: f1.txt: overlaps another entry (possible zip bomb)");
  EXPECT_FALSE(fs::exists(scratch / "o" / "f1.txt"));

  // Entry by entry, in any order: the entry the directory names first keeps its data.
  kestrel_reader* reader = kestrel_reader_new();
  ASSERT_EQ(kestrel_reader_open(reader, file.c_str()), KESTREL_OK);
  EXPECT_EQ(kestrel_reader_test(reader, 3), KESTREL_E_OVERLAP);
  EXPECT_EQ(kestrel_reader_test(reader, 0), KESTREL_OK);
  EXPECT_EQ(kestrel_reader_extract_to_path(reader, 1, (scratch / "one").c_str()), KESTREL_E_OVERLAP);
  EXPECT_STREQ(kestrel_reader_error(reader), "f1.txt: overlaps another entry (possible zip bomb)");
  kestrel_reader_close(reader);
}

}  // namespace
}  // namespace kestrel::testing
