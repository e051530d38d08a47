// Joining volume sets from emulated floppies: missing, foreign, out-of-order and truncated
// volumes, the user's answers at every question, hostile headers, and what is left on disk.
#include <climits>

#include "exports/volume_format.h"
#include "exports/volume_set.h"
#include "tests/exports/volume_session.h"

namespace kestrel::testing {
namespace {

using exports::EIOError;
constexpr uint32_t kOk = 0x2000, kYesNo = 0x2004;

std::string Int32(int32_t v) {
  std::string s;
  exports::AppendInt32(s, v);
  return s;
}

// A first volume with the given header fields and data.
std::string FirstVolume(int32_t total, int32_t volumeSize, const std::string& name,
                        const std::string& data, int32_t nameLength = INT32_MIN) {
  return "xml" + Int32(1) + Int32(total) + Int32(volumeSize) +
         Int32(nameLength == INT32_MIN ? static_cast<int32_t>(name.size()) : nameLength) + name + data;
}
std::string LaterVolume(int32_t k, const std::string& data) { return "xml" + Int32(k) + data; }

class JoinTest : public VolumeSession {
 protected:
  // A three-volume set of 2500 bytes (1000 per volume) on disks 1, 2 and 3.
  void MakeSet(const std::string& name = "set.zip") {
    data_ = RandomBytes(2500, 11);
    WriteHostFile(Disk(1) / "set.m01", FirstVolume(2500, 1000, name, data_.substr(0, 1000)));
    WriteHostFile(Disk(2) / "set.m02", LaterVolume(2, data_.substr(1000, 1000)));
    WriteHostFile(Disk(3) / "set.m03", LaterVolume(3, data_.substr(2000)));
  }
  int Join(std::string& stored) { return exports::JoinVolumes("A:\\set.m01", DrivePath(Out()), stored); }
  int Join() {
    std::string stored;
    return Join(stored);
  }
  bool OutputEmpty() const { return fs::is_empty(Out()); }
  // Answers No to the first Yes/No question whose text is utf8.
  void AnswerNoTo(const std::string& utf8) {
    answer_ = [this, utf8](const Prompt& p) {
      return p.text == Gbk(utf8) ? int{os::kIdNo} : DefaultAnswer(p);
    };
  }
  std::string data_;
};

TEST_F(JoinTest, MissingVolumeAnsweredYesThenTheRightDisk) {
  MakeSet();
  fs::rename(Disk(2) / "set.m02", Disk(5) / "set.m02");
  answer_ = [&](const Prompt& p) {
    if (p.text == Gbk("请换一张正确的盘,然后点击确定")) MapDisk(5);
    if (p.text == Gbk("请插入下一张盘") && disk_ == 5) {
      MapDisk(3);
      return int{os::kIdOk};
    }
    return DefaultAnswer(p);
  };
  std::string stored;
  ASSERT_EQ(Join(stored), 1);
  EXPECT_EQ(prompts_, (std::vector<Prompt>{
                          P("提示", "请插入下一张盘", kOk), P("提示", "源文件错误,请检查", kYesNo),
                          P("提示", "请换一张正确的盘,然后点击确定", kOk),
                          P("提示", "请插入下一张盘", kOk)}));
  EXPECT_EQ(ReadHostFile(Out() / "set.zip"), data_);
}

TEST_F(JoinTest, MissingVolumeAnsweredNoLeavesNothing) {
  MakeSet();
  fs::remove(Disk(2) / "set.m02");
  AnswerNoTo("源文件错误,请检查");
  std::string stored;
  EXPECT_EQ(Join(stored), 0);
  EXPECT_EQ(stored, "set.zip");  // known as soon as it was read
  EXPECT_EQ(prompts_.back(), P("警告", "文件读写错误", kOk));
  EXPECT_TRUE(OutputEmpty());
}

TEST_F(JoinTest, OutOfOrderDiskAnsweredYesContinuesAsIfNothingHappened) {
  MakeSet();
  // The user puts disk 3 in first; its volume is found under the name volume 2 should have.
  WriteHostFile(Disk(4) / "set.m02", LaterVolume(3, data_.substr(2000)));
  answer_ = [&](const Prompt& p) {
    if (p.text == Gbk("请插入下一张盘") && disk_ == 1) {
      MapDisk(4);
      return int{os::kIdOk};
    }
    if (p.text == Gbk("请换一张正确的盘,然后点击确定")) {
      MapDisk(2);
      return int{os::kIdOk};
    }
    if (p.text == Gbk("请插入下一张盘")) {
      MapDisk(3);
      return int{os::kIdOk};
    }
    return DefaultAnswer(p);
  };
  ASSERT_EQ(Join(), 1);
  EXPECT_EQ(prompts_[1], P("提示", "磁盘顺序错误,应该是第2张盘", kYesNo));
  EXPECT_EQ(prompts_[2], P("提示", "请换一张正确的盘,然后点击确定", kOk));
  EXPECT_EQ(ReadHostFile(Out() / "set.zip"), data_);
}

TEST_F(JoinTest, EachNoToADiskQuestionCancelsAndRemovesTheOutput) {
  struct Case {
    const char* question;
    std::string volume2;
  };
  MakeSet();
  const std::vector<Case> cases = {
      {"磁盘顺序错误,应该是第2张盘", LaterVolume(7, data_.substr(1000, 1000))},
      {"磁盘不是程序支持的盘,请检查", "xmk" + Int32(2) + data_.substr(1000, 1000)},  // corrupted tag
      {"磁盘不是程序支持的盘,请检查", "xm"},                                       // too short for a tag
      {"磁盘不是程序支持的盘,请检查", LaterVolume(2, data_.substr(1000, 999))},     // truncated
      {"磁盘不是程序支持的盘,请检查", LaterVolume(2, RandomBytes(1500, 12))},       // another set's
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.question);
    MapDisk(1);
    prompts_.clear();
    WriteHostFile(Disk(2) / "set.m02", c.volume2);
    AnswerNoTo(c.question);
    EXPECT_EQ(Join(), 0);
    ASSERT_EQ(prompts_.size(), 3u);
    EXPECT_EQ(prompts_[1], P("提示", c.question, kYesNo));
    EXPECT_EQ(prompts_[2], P("警告", "文件读写错误", kOk));
    EXPECT_TRUE(OutputEmpty());
  }
  try {
    MapDisk(1);
    AnswerNoTo("磁盘顺序错误,应该是第2张盘");
    WriteHostFile(Disk(2) / "set.m02", LaterVolume(3, ""));
    std::string stored;
    exports::ReadVolumes("A:\\set.m01", DrivePath(Out()) + "\\", stored);
    ADD_FAILURE() << "no exception";
  } catch (const EIOError& e) {
    EXPECT_EQ(e.what(), Gbk("操作被用户取消"));
  }
}

TEST_F(JoinTest, DiskVanishingAfterTheSwapFailsTheJoin) {
  MakeSet();
  WriteHostFile(Disk(2) / "set.m02", LaterVolume(9, ""));
  answer_ = [&](const Prompt& p) {
    if (p.text == Gbk("请换一张正确的盘,然后点击确定")) MapDisk(6);  // an empty disk
    return DefaultAnswer(p);
  };
  try {
    std::string stored;
    exports::ReadVolumes("A:\\set.m01", DrivePath(Out()) + "\\", stored);
    ADD_FAILURE() << "no exception";
  } catch (const EIOError& e) {
    EXPECT_EQ(e.what(), Gbk("输入的源文件出错"));
  }
  EXPECT_TRUE(OutputEmpty());
}

TEST_F(JoinTest, ExistingOutputIsReplacedOnlyWithConsent) {
  MakeSet();
  WriteHostFile(Out() / "set.zip", "a good archive");
  AnswerNoTo("目标文件已经存在,是否覆盖?");
  EXPECT_EQ(Join(), 0);
  EXPECT_EQ(prompts_.front(), P("确认", "目标文件已经存在,是否覆盖?", kYesNo));
  EXPECT_EQ(ReadHostFile(Out() / "set.zip"), "a good archive");
  answer_ = nullptr;
  MapDisk(1);
  EXPECT_EQ(Join(), 1);
  EXPECT_EQ(ReadHostFile(Out() / "set.zip"), data_);
}

TEST_F(JoinTest, FirstVolumeProblemsAreReportedBeforeAnythingIsCreated) {
  struct Case {
    std::string bytes;
    const char* raised;
  };
  const std::vector<Case> cases = {
      {LaterVolume(2, "data"), "不是第一张盘"},
      {"xmk" + Int32(1) + Int32(4) + Int32(4) + Int32(1) + "ndata", "此文件不是支持的文件格式"},
      {"xml" + Int32(1) + Int32(4), "此文件不是支持的文件格式"},                   // cut short
      {FirstVolume(4, 0, "n", "data"), "此文件不是支持的文件格式"},                // volume size 0
      {FirstVolume(-4, 10, "n", "data"), "此文件不是支持的文件格式"},              // negative size
      {FirstVolume(4, 10, std::string(51, 'n'), "data"), "此文件不是支持的文件格式"},  // name > 50
      {FirstVolume(4, 10, "n", "data", -1000), "此文件不是支持的文件格式"},
      {FirstVolume(4, 10, "..", "data"), "此文件不是支持的文件格式"},
      {FirstVolume(4, 10, "..\\evil.zip", "data"), "此文件不是支持的文件格式"},
      {FirstVolume(4, 10, "sub/evil.zip", "data"), "此文件不是支持的文件格式"},
      {FirstVolume(4, 10, "C:evil.zip", "data"), "此文件不是支持的文件格式"},
      {FirstVolume(4, 10, std::string("\0evil", 5), "data"), "此文件不是支持的文件格式"},
      {FirstVolume(4, 10, "n", "dat"), "卷文件长度不符"},
      {FirstVolume(4, 10, "n", "data+"), "卷文件长度不符"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.raised);
    WriteHostFile(Disk(1) / "set.m01", c.bytes);
    prompts_.clear();
    std::string stored = "unchanged";
    EXPECT_EQ(Join(stored), 0);
    EXPECT_EQ(prompts_, (std::vector<Prompt>{P("警告", "文件读写错误", kOk)}));
    try {
      exports::ReadVolumes("A:\\set.m01", DrivePath(Out()) + "\\", stored);
      ADD_FAILURE() << "no exception";
    } catch (const EIOError& e) {
      EXPECT_EQ(e.what(), Gbk(c.raised));
    }
    EXPECT_TRUE(OutputEmpty());
    EXPECT_TRUE(stored == "unchanged" || stored == "n") << stored;
    EXPECT_FALSE(fs::exists(Out().parent_path() / "evil.zip"));
  }
}

TEST_F(JoinTest, BadArgumentsAndTagRecognition) {
  MakeSet();
  std::string stored;
  EXPECT_EQ(exports::JoinVolumes("set.m01", DrivePath(Out()), stored), 0);
  EXPECT_EQ(prompts_.back(), P("提示", "输入的文件或路径必须是全路径", kOk));
  EXPECT_EQ(exports::JoinVolumes("A:\\nothing.m01", DrivePath(Out()), stored), 0);
  EXPECT_EQ(prompts_.back(), P("提示", "输入文件不存在!", kOk));
  prompts_.clear();
  EXPECT_EQ(exports::JoinVolumes("A:\\set.m01", DrivePath(Out() / "not_there"), stored), 0);
  EXPECT_EQ(prompts_, (std::vector<Prompt>{P("警告", "文件读写错误", kOk)}));
  EXPECT_FALSE(fs::exists(Out() / "not_there"));

  EXPECT_TRUE(exports::IsVolumeSetFile("A:\\set.m01"));
  EXPECT_TRUE(exports::IsVolumeSetFile("A:\\SET.M01"));  // names are looked up as on Windows
  WriteHostFile(Disk(1) / "short", "xm");
  WriteHostFile(Disk(1) / "zip", "PK\x03\x04");
  EXPECT_FALSE(exports::IsVolumeSetFile("A:\\short"));
  EXPECT_FALSE(exports::IsVolumeSetFile("A:\\zip"));
  EXPECT_FALSE(exports::IsVolumeSetFile("A:\\missing"));
  EXPECT_FALSE(exports::IsVolumeSetFile("A:\\"));
}

TEST_F(JoinTest, OffTheFloppyNoDiskPromptsAreShown) {
  WriteHostFile(Work() / "w.m01", FirstVolume(5, 2, "w.bin", "ab"));
  WriteHostFile(Work() / "w.m02", LaterVolume(2, "cd"));
  WriteHostFile(Work() / "w.m03", LaterVolume(3, "e"));
  std::string stored;
  ASSERT_EQ(exports::JoinVolumes(DrivePath(Work() / "w.m01"), DrivePath(Out()), stored), 1);
  EXPECT_TRUE(prompts_.empty());
  EXPECT_EQ(ReadHostFile(Out() / "w.bin"), "abcde");
}

}  // namespace
}  // namespace kestrel::testing
