// scratch_drive.h — a fresh host directory mapped as drive T: for each test, removed after.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/platform.h"

namespace kestrel::test {

class ScratchDrive : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kestrel-platform-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    ASSERT_TRUE(os::host::MapDrive('T', root_, false));
  }
  void TearDown() override {
    os::host::UnmapDrive('T');
    os::host::UnmapDrive('A');
    os::host::SetMessageHandler(nullptr);
    os::host::SetCancel(false);
    os::host::SetCodePages(936, 936);
    std::error_code ec;
    for (auto& e : std::filesystem::recursive_directory_iterator(root_, ec)) {
      std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ec);
    }
    std::filesystem::remove_all(root_, ec);
    std::filesystem::remove(root_ + ".label", ec);
  }
  // Drive path of a name under the scratch root ("a\b" -> "T:\a\b").
  static std::string D(const std::string& relative) { return "T:\\" + relative; }
  // Host path of a UTF-8 name under the scratch root.
  std::string H(const std::string& relative) const { return root_ + "/" + relative; }
  void Write(const std::string& relative, const std::string& bytes) const {
    std::ofstream(H(relative), std::ios::binary) << bytes;
  }
  std::string Read(const std::string& relative) const {
    std::ifstream in(H(relative), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::string root_;
};

}  // namespace kestrel::test
