// volume_session.h — a test fixture for whole floppy sessions: drive A: mapped to numbered
// disk folders, every message box recorded (caption, text, flags) and answered by a script,
// and the texts written as UTF-8 in the tests and compared as code page 936 bytes.
#pragma once

#include <gtest/gtest.h>
#include <iconv.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kestrel::testing {

namespace fs = std::filesystem;

// UTF-8 text as code page 936 bytes, converted independently of the library.
inline std::string Gbk(const std::string& utf8) {
  iconv_t cd = iconv_open("GBK", "UTF-8");
  std::string out(utf8.size() * 2 + 4, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  char* outPtr = out.data();
  size_t outLeft = out.size();
  size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  EXPECT_NE(r, static_cast<size_t>(-1)) << utf8;
  out.resize(out.size() - outLeft);
  return out;
}

struct Prompt {
  std::string caption;  // code page 936 bytes
  std::string text;
  uint32_t flags;
  bool operator==(const Prompt&) const = default;
};

inline std::string Utf8(const std::string& gbk) {
  iconv_t cd = iconv_open("UTF-8", "GBK");
  std::string out(gbk.size() * 3 + 4, '\0');
  char* in = const_cast<char*>(gbk.data());
  size_t inLeft = gbk.size();
  char* outPtr = out.data();
  size_t outLeft = out.size();
  iconv(cd, &in, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

inline void PrintTo(const Prompt& p, std::ostream* os) {
  *os << "[" << Utf8(p.caption) << "|" << Utf8(p.text) << "|0x" << std::hex << p.flags << std::dec << "]";
}

inline Prompt P(const std::string& captionUtf8, const std::string& textUtf8, uint32_t flags) {
  return Prompt{Gbk(captionUtf8), Gbk(textUtf8), flags};
}

inline std::string ReadHostFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteHostFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string bytes(size, '\0');
  for (auto& c : bytes) c = static_cast<char>(rng() & 0xFF);
  return bytes;
}

class VolumeSession : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    root_ = fs::temp_directory_path() / ("kestrel_volumes_" + std::to_string(rd()));
    fs::create_directories(root_ / "work");
    fs::create_directories(root_ / "out");
    for (int n = 1; n <= 6; ++n) fs::create_directories(Disk(n));
    MapDisk(1);
    os::host::SetMessageHandler([this](const std::string& caption, const std::string& text,
                                       uint32_t flags) {
      prompts_.push_back(Prompt{caption, text, flags});
      // A session that keeps asking is a fault; end it rather than hang the test.
      if (prompts_.size() > 200) {
        if (prompts_.size() == 201) ADD_FAILURE() << "endless prompts, starting with " << ::testing::PrintToString(
                             std::vector<Prompt>(prompts_.begin(), prompts_.begin() + 6));
        return (flags & 0x0F) == os::kMbYesNo ? int{os::kIdNo} : int{os::kIdCancel};
      }
      if (answer_) return answer_(prompts_.back());
      return DefaultAnswer(prompts_.back());
    });
  }
  void TearDown() override {
    os::host::SetMessageHandler(nullptr);
    os::host::UnmapDrive('A');
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  fs::path Disk(int n) const { return root_ / "disks" / std::to_string(n); }
  fs::path Work() const { return root_ / "work"; }
  fs::path Out() const { return root_ / "out"; }
  void MapDisk(int n) {
    ASSERT_TRUE(os::host::MapDrive('A', Disk(n).string(), true));
    disk_ = n;
  }
  // The drive path (C:\…) of a host path.
  static std::string DrivePath(const fs::path& host) {
    std::string path;
    EXPECT_TRUE(os::host::DrivePath(host.string(), path)) << host;
    return path;
  }

  // Disk changes as a user would do them: disk k for "insert disk k", the next one for "insert
  // the next disk". Other boxes: OK, and Yes for questions.
  int DefaultAnswer(const Prompt& prompt) {
    const std::string insert = Gbk("请插入第 ");
    if (prompt.text.rfind(insert, 0) == 0) {
      MapDisk(std::stoi(prompt.text.substr(insert.size())));
    } else if (prompt.text == Gbk("请插入下一张盘")) {
      MapDisk(disk_ + 1);
    }
    switch (prompt.flags & 0x0F) {
      case os::kMbOkCancel: return os::kIdOk;
      case os::kMbYesNo: return os::kIdYes;
      default: return os::kIdOk;
    }
  }

  // Number of prompts whose text equals utf8.
  size_t CountText(const std::string& utf8) const {
    size_t n = 0;
    for (const auto& p : prompts_) n += p.text == Gbk(utf8);
    return n;
  }

  fs::path root_;
  int disk_ = 1;
  std::vector<Prompt> prompts_;
  std::function<int(const Prompt&)> answer_;
};

}  // namespace kestrel::testing
