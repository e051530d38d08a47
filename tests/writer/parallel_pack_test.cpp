// Packing on worker threads: the archive, the events and the files passed over are those of
// the one-thread run, byte for byte and in the same order, for every level, with encryption,
// when updating, for block files, and when files cannot be opened or change while read; a
// cancelled run leaves nothing behind; a file's data that outgrows the memory budget spills and comes back whole.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <thread>

#include "archive/zip_exceptions.h"
#include "writer/lyn_zip.h"
#include "writer/spool_buffer.h"
#include "writer/zip_fixture.h"

namespace kestrel::testing {
namespace {

// What a run shows its caller: the archive's bytes, every event in order, what it passed over.
struct RunRecord {
  std::string archive;
  std::vector<std::string> events;
  std::vector<writer::PassedOverFile> passedOver;
  int32_t result = 0;
};

class ParallelPackTest : public ZipScratch {
 protected:
  void SetUp() override {
    ZipScratch::SetUp();
    Write("src/empty", "");
    for (int i = 0; i < 40; ++i)
      Write("src/tiny/t" + std::to_string(i) + ".txt", std::string(i * 37 % 300, char('a' + i % 26)));
    std::string mixed;
    for (int i = 0; i < 30000; ++i) mixed += "record " + std::to_string(i * 13 % 977) + ";";
    Write("src/large.bin", mixed + RandomBytes(1500000, 11) + mixed);
    Write("src/stored.zip", RandomBytes(5000, 12));
    ASSERT_EQ(mkfifo(H("src/pipe").c_str(), 0644), 0);  // refused at opening
    time_t t = 1700000000;
    for (auto& e : fs::recursive_directory_iterator(H("src")))
      if (e.is_regular_file()) SetTime(e.path(), t += 2);
  }

  // Packs the tree into name with the given threads; /proc/version reads more bytes than its
  // size says, so it is passed over as changed while read.
  RunRecord Pack(const std::string& name, int threads, int level, const std::string& password = "",
                 const std::vector<std::string>& items = {"*.*", Drive("/proc/version")},
                 const std::function<void(writer::TLynZip&)>& configure = {}) {
    writer::TLynZip zip;
    PrepareRelative(zip, D(name), D("src"), level);
    if (configure) configure(zip);
    zip.SetThreads(threads);
    zip.SetPassword(password);
    zip.NoCompressList().Add("*.zip");
    uint32_t counter = 0;
    zip.SetRandomSource([&counter](void* buffer, size_t n) {
      for (size_t i = 0; i < n; ++i) static_cast<uint8_t*>(buffer)[i] = uint8_t(counter++ * 151);
      return true;
    });
    for (const std::string& item : items) zip.FilesList().Add(item);
    RunRecord record;
    const std::thread::id caller = std::this_thread::get_id();
    auto note = [&](const std::string& event) {
      EXPECT_EQ(std::this_thread::get_id(), caller) << event;
      record.events.push_back(event);
    };
    zip.OnStartZip = [&](archive::Object*, const std::string& file, archive::TZipHeaderInfo&,
                         bool&) { note("start " + file); };
    zip.OnEndZip = [&](archive::Object*, const std::string& file, int64_t size, int64_t packed,
                       int64_t at) {
      note("end " + file + " " + std::to_string(size) + " " + std::to_string(packed) + " " +
           std::to_string(at));
    };
    zip.OnSkippingFile = [&](archive::Object*, archive::TSkipReason reason,
                             const std::string& file, int32_t, bool&) {
      note("skip " + std::to_string(reason) + " " + file);
    };
    zip.OnNoSuchFile = [&](archive::Object*, const std::string& file) { note("none " + file); };
    int32_t lastPercent = -1;
    zip.OnTotalPercentDone = [&](archive::Object*, int32_t percent) {
      EXPECT_EQ(std::this_thread::get_id(), caller);
      lastPercent = percent;
    };
    record.result = zip.RunZip();
    EXPECT_EQ(lastPercent, 100);
    if (fs::exists(H(name))) record.archive = Read(H(name));
    record.passedOver = zip.PassedOver();
    return record;
  }

  static void ExpectSameRun(const RunRecord& one, const RunRecord& many, const std::string& what) {
    EXPECT_TRUE(one.archive == many.archive) << what;
    EXPECT_EQ(one.events, many.events) << what;
    EXPECT_EQ(one.passedOver, many.passedOver) << what;
    EXPECT_EQ(one.result, many.result) << what;
  }
};

TEST_F(ParallelPackTest, EveryLevelGivesTheOneThreadArchiveAndReports) {
  for (int level : {0, 1, 6, 9}) {
    for (const char* name : {"one.zip", "t2.zip", "t8.zip"}) fs::remove(H(name));
    const RunRecord one = Pack("one.zip", 1, level);
    ASSERT_EQ(one.result, 43) << level;  // 40 tiny, empty, large, stored.zip
    ASSERT_EQ(one.passedOver.size(), 2u) << level;
    // Explicit names come before what masks find.
    EXPECT_EQ(one.passedOver[0].name, Drive("/proc/version"));
    EXPECT_EQ(one.passedOver[1].name, D("src/pipe"));
    for (int threads : {2, 8}) {
      const std::string name = "t" + std::to_string(threads) + ".zip";
      ExpectSameRun(one, Pack(name, threads, level),
                    "level " + std::to_string(level) + ", " + std::to_string(threads) + " threads");
    }
    ExpectPeersAccept("t8.zip");
  }
}

TEST_F(ParallelPackTest, EncryptedArchivesAreTheSameWithTheSameRandomSource) {
  const RunRecord one = Pack("one.zip", 1, 6, "secret");
  ExpectSameRun(one, Pack("many.zip", 4, 6, "secret"), "encrypted");
  EXPECT_EQ(Shell("unzip -tq -P secret many.zip"), 0);
}

TEST_F(ParallelPackTest, UpdatingAnArchiveGivesTheOneThreadArchive) {
  Pack("one.zip", 1, 6, "", {D("src/tiny") + "\\*.*", "large.bin"});
  fs::copy_file(H("one.zip"), H("many.zip"));
  // Entries are replaced by newer files (t2*, t7), t20.txt changed but is older than its
  // entry; t3*.txt are deleted except t35.txt, which the host keeps and which is then
  // replaced: the workers, which took t35.txt for a file to add at the end, are passed by.
  for (const std::string name : {"t2", "t21", "t22", "t23", "t24", "t25", "t26", "t27", "t28",
                                 "t29", "t35", "t7", "t20"}) {
    Write("src/tiny/" + name + ".txt", std::string(5000, 'n'));
    SetTime(H("src/tiny/" + name + ".txt"), name == "t20" ? 1600000000 : 1800000000);
  }
  const auto deleting = [](writer::TLynZip& zip) {
    zip.DeleteList().Add("tiny/t3*.txt");
    zip.OnDeleteEntry = [](archive::Object*, const std::string& name, bool& skip) {
      skip = name == "tiny/t35.txt";
    };
  };
  const RunRecord one = Pack("one.zip", 1, 6, "", {"*.*", Drive("/proc/version")}, deleting);
  ExpectSameRun(one, Pack("many.zip", 8, 6, "", {"*.*", Drive("/proc/version")}, deleting), "update");
  // 12 replaced; t3, t30-t34, t36-t39 deleted and added again; empty, stored.zip added.
  EXPECT_EQ(one.result, 24);
  ExpectPeersAccept("many.zip");
  EXPECT_EQ(Shell("unzip -p many.zip tiny/t35.txt | cmp - src/tiny/t35.txt"), 0);
}

TEST_F(ParallelPackTest, BlockFilesAreTheSameWithWorkers) {
  std::vector<std::string> dirs;
  for (int threads : {1, 4}) {
    const std::string dir = "blocks" + std::to_string(threads);
    fs::create_directories(H(dir));
    const RunRecord record = Pack(dir + "/x.zip", threads, 6, "", {"*.*"}, [](writer::TLynZip& zip) {
      zip.SetMultiMode(archive::mmBlocks);
      zip.MultiZipInfo().FirstBlockSize = 300000;
      zip.MultiZipInfo().BlockSize = 500000;
    });
    EXPECT_EQ(record.result, 43);
    dirs.push_back(dir);
  }
  std::vector<std::string> names;
  for (auto& e : fs::directory_iterator(H(dirs[0]))) names.push_back(e.path().filename());
  ASSERT_GE(names.size(), 3u);  // two blocks and more
  for (const std::string& name : names)
    EXPECT_TRUE(Read(H(dirs[0] + "/" + name)) == Read(H(dirs[1] + "/" + name))) << name;
  EXPECT_EQ(std::distance(fs::directory_iterator(H(dirs[1])), fs::directory_iterator()),
            static_cast<std::ptrdiff_t>(names.size()));
}

TEST_F(ParallelPackTest, CancelWhileWorkersPackLeavesNothingBehind) {
  for (int level : {0, 9}) {
    writer::TLynZip zip;
    PrepareRelative(zip, D("new.zip"), D("src"), level);
    zip.SetThreads(2);
    zip.FilesList().Add("*.*");
    zip.OnTotalPercentDone = [&zip](archive::Object*, int32_t percent) {
      if (percent > 0) zip.Cancel();
    };
    EXPECT_THROW(zip.RunZip(), archive::EUserCanceled) << level;
    EXPECT_FALSE(fs::exists(H("new.zip")));
    for (auto& e : fs::directory_iterator(root_))
      EXPECT_NE(e.path().extension(), ".tmp") << e.path();
  }
}

// A folder of the test's own: files other tests make in the shared temporary folder meanwhile
// must not count.
class SpoolBufferTest : public ZipScratch {};

TEST_F(SpoolBufferTest, DataBeyondTheBudgetSpillsAndComesBackInOrder) {
  auto budget = std::make_shared<writer::MemoryBudget>(100 * 1024);
  const fs::path dir = H("spill");
  fs::create_directories(dir);
  std::string drive;
  ASSERT_TRUE(os::host::DrivePath(dir.string() + "/", drive));
  const size_t before = std::distance(fs::directory_iterator(dir), fs::directory_iterator());
  std::string expected;
  {
    writer::SpoolBuffer first(budget, drive);
    writer::SpoolBuffer second(budget, drive);
    std::mt19937 rng(5);
    for (int i = 0; i < 300; ++i) {
      std::string piece(1 + rng() % 7000, char(i));
      first.Append(reinterpret_cast<const uint8_t*>(piece.data()), uint32_t(piece.size()));
      second.Append(reinterpret_cast<const uint8_t*>(piece.data()), 1);
      expected += piece;
    }
    EXPECT_LE(budget->InUse(), budget->Cap());
    EXPECT_EQ(first.Size(), expected.size());
    // The spill file has no name: nothing new is to be seen in the directory.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), before);
    std::string drained;
    first.Drain([&](uint8_t* data, uint32_t n) { drained.append(reinterpret_cast<char*>(data), n); });
    EXPECT_TRUE(drained == expected);
  }
  EXPECT_EQ(budget->InUse(), 0u);
}

}  // namespace
}  // namespace kestrel::testing
