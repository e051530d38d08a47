// version_test.cpp — GetVersion and ReadVersionValue over the built-in version resource, and
// that resource compared byte for byte with what the resource compiler makes of kestrel.rc.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "exports/version_query.h"
#include "kestrel.h"
#include "platform/version_block.h"

namespace kestrel::test {
namespace {

TEST(Version, GetVersionIsTheFileVersion) {
  EXPECT_STREQ(KestrelGetVersion(), "1.0.0.0");
  EXPECT_EQ(GetVersion(), KestrelGetVersion());  // one text, valid after the call
}

TEST(Version, ReadVersionValue) {
  EXPECT_EQ(exports::ReadVersionValue("\\VarFileInfo\\Translation"), std::string("\x04\x08\xA8\x03", 4));
  EXPECT_EQ(exports::ReadVersionValue("\\StringFileInfo\\080403A8\\FileVersion"),
            std::string("1.0.0.0\0", 8));
  EXPECT_EQ(exports::ReadVersionValue("\\stringfileinfo\\080403a8\\productname"),
            std::string("Kestrel\0", 8));
  EXPECT_EQ(exports::ReadVersionValue("\\StringFileInfo\\040904B0\\FileVersion"), "");
  EXPECT_EQ(exports::ReadVersionValue("\\StringFileInfo\\080403A8\\Comments"), "");
  std::string fixed = exports::ReadVersionValue("\\");
  ASSERT_EQ(fixed.size(), 52u);
  EXPECT_EQ(fixed.substr(0, 4), "\xBD\x04\xEF\xFE");
}

// The .res file of packaging/kestrel.rc: a 32-byte empty header, then one resource entry.
std::string CompiledResource() {
  std::string res = ::testing::TempDir() + "kestrel_version.res";
  std::string command = "x86_64-w64-mingw32-windres -O res " KESTREL_SOURCE_DIR
                        "/packaging/kestrel.rc -o " + res + " 2>/dev/null";
  if (std::system(command.c_str()) != 0) return {};
  std::ifstream in(res, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() < 64) return {};
  auto u32 = [&bytes](size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at]) |
                                 static_cast<uint8_t>(bytes[at + 1]) << 8 |
                                 static_cast<uint8_t>(bytes[at + 2]) << 16 |
                                 static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24);
  };
  uint32_t dataSize = u32(32), headerSize = u32(36);
  if (32 + headerSize + dataSize > bytes.size()) return {};
  return bytes.substr(32 + headerSize, dataSize);
}

TEST(Version, BuiltInCopyEqualsTheCompiledResource) {
  std::string compiled = CompiledResource();
  if (compiled.empty()) GTEST_SKIP() << "the MinGW resource compiler is not installed";
  std::vector<uint8_t> built = os::BuildVersionBlock(os::KestrelVersionDescription());
  EXPECT_EQ(std::string(built.begin(), built.end()), compiled);
}

TEST(Version, QueriesNeverReadOutsideTheBlock) {
  std::vector<uint8_t> block = os::BuildVersionBlock(os::KestrelVersionDescription());
  os::VersionValue found;
  for (size_t cut = 0; cut < block.size(); ++cut) {
    std::vector<uint8_t> part(block.begin(), block.begin() + static_cast<long>(cut));
    if (os::FindVersionValue(part, "\\StringFileInfo\\080403A8\\ProductVersion", found)) {
      EXPECT_LE(found.offset + found.length * 2, cut);
    }
  }
  std::vector<uint8_t> liar = block;
  liar[0] = 0xFF;  // claims more bytes than there are
  liar[1] = 0xFF;
  EXPECT_TRUE(os::FindVersionValue(liar, "\\VarFileInfo\\Translation", found));
  EXPECT_EQ(found.length, 4u);
}

}  // namespace
}  // namespace kestrel::test
