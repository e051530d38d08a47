// unix_extraction_test.cpp — unpacking Unix-made entries on Linux: hostile links and names
// never reach outside the destination, kinds that are no file create nothing, modes and
// exact times come back as stored.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "exports/unix_extraction.h"
#include "exports/unpack_walk.h"
#include "unpack_fixture.h"

namespace kestrel::testing {
namespace {

// Each entry's result, in walk order.
struct Results : exports::WalkObserver {
  std::vector<std::pair<std::string, int>> seen;
  bool AfterEntry(const reader::ZipDirEntry& entry, int result) override {
    seen.emplace_back(entry.name, result);
    return true;
  }
};

std::vector<std::pair<std::string, int>> Unpack(const fs::path& archive, const fs::path& dest,
                                                exports::UnpackOptions options = {}) {
  Results results;
  const auto summary = exports::UnpackArchive(DriveOf(archive), DriveOf(dest),
                                              exports::WalkMode::Extract, &results, 0,
                                              exports::EntrySource::Directory, options);
  EXPECT_EQ(summary.result, 1) << summary.failure;
  return results.seen;
}

using Seen = std::vector<std::pair<std::string, int>>;

TEST(UnixExtraction, HostileLinksAndNamesLeaveEverythingOutsideUntouched) {
  ScratchFolder scratch("unixhostile");
  const fs::path outside = scratch / "outside";
  WriteBytes(outside / "passwd", "root:x:0:0\n");
  WriteBytes(outside / "victim", "keep me\n");
  const fs::path dest = scratch / "dest";
  fs::create_directories(dest / "sub");
  // Links someone else left in the destination.
  fs::create_directory_symlink(outside, dest / "pre");
  fs::create_symlink(outside / "victim", dest / "prefile");
  const auto before = Snapshot(outside);

  const fs::path archive = scratch / "hostile.zip";
  WritePyZip(archive, {
      Unix("etc", outside.string(), kUnixLink),  // absolute
      Unix("etc/passwd", "owned\n", kUnixFile),
      Unix("up", "..", kUnixLink),  // climbs out
      Unix("up/victim", "owned\n", kUnixFile),
      Unix("sub/deep", "../../outside", kUnixLink),
      Unix("inner", "sub", kUnixLink),  // stays inside: created
      Unix("inner/x", "through a link\n", kUnixFile),
      Unix("swap", outside.string() + "/victim", kUnixLink),
      Unix("swap", "owned\n", kUnixFile),  // refused link, then a plain file of that name
      Unix("pre/passwd", "owned\n", kUnixFile),
      Unix("prefile", "owned\n", kUnixFile),
      Unix("long", std::string(5000, 'a'), kUnixLink),
      Unix("fifo", "", 0010644u << 16),
      Unix("device", "", 0060600u << 16),
      Unix("piped", "read from a pipe\n", 0010600u << 16),  // zip - - stores its input so
      Unix("last.txt", "after all of it\n", kUnixFile),
  });
  const Seen seen = Unpack(archive, dest);
  const Seen expected = {
      {"etc", exports::kEntryUnsafeLink},     {"etc\\passwd", 0},
      {"up", exports::kEntryUnsafeLink},      {"up\\victim", 0},
      {"sub\\deep", exports::kEntryUnsafeLink}, {"inner", 0},
      {"inner\\x", exports::kEntryThroughLink}, {"swap", exports::kEntryUnsafeLink},
      {"swap", 0},                            {"pre\\passwd", exports::kEntryThroughLink},
      {"prefile", exports::kEntryThroughLink}, {"long", exports::kEntryUnsafeLink},
      {"fifo", exports::kEntryNotAFile},      {"device", exports::kEntryNotAFile},
      {"piped", 0},                           {"last.txt", 0},
  };
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(Snapshot(outside), before);
  // The refused links left plain directories and files inside the destination.
  EXPECT_EQ(ReadBytes(dest / "etc" / "passwd"), "owned\n");
  EXPECT_EQ(ReadBytes(dest / "up" / "victim"), "owned\n");
  EXPECT_EQ(ReadBytes(dest / "swap"), "owned\n");
  EXPECT_EQ(fs::read_symlink(dest / "inner"), "sub");
  EXPECT_FALSE(fs::exists(dest / "sub" / "x"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(dest / "fifo")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(dest / "device")));
  EXPECT_EQ(ReadBytes(dest / "piped"), "read from a pipe\n");
  EXPECT_EQ(ReadBytes(dest / "last.txt"), "after all of it\n");
}

TEST(UnixExtraction, ModesMaskedByUmaskAndSpecialBitsOnlyOnRequest) {
  ScratchFolder scratch("unixmodes");
  const fs::path archive = scratch / "modes.zip";
  WritePyZip(archive, {
      Unix("tool", "#!/bin/sh\n", 0104775u << 16),  // setuid, group-writable
      Unix("locked/", "", 0040500u << 16),
      PyEntry{"dos.txt", "dos\n", false, 0x01, 0},
  });
  const mode_t old = ::umask(022);
  Unpack(archive, scratch / "plain");
  Unpack(archive, scratch / "special", exports::UnpackOptions{true});
  ::umask(old);
  EXPECT_EQ(PermissionsOf(scratch / "plain" / "tool"), 0755u);
  EXPECT_EQ(PermissionsOf(scratch / "special" / "tool"), 04755u);
  EXPECT_EQ(PermissionsOf(scratch / "plain" / "locked"), 0500u);
  // An MS-DOS entry keeps the documented read-only mapping.
  EXPECT_EQ(PermissionsOf(scratch / "plain" / "dos.txt") & 0222, 0u);
}

TEST(UnixExtraction, LinkTargetsThatStayInside) {
  EXPECT_TRUE(exports::LinkTargetStaysInside("a", "b"));
  EXPECT_TRUE(exports::LinkTargetStaysInside("a", "./b/./c/"));
  EXPECT_TRUE(exports::LinkTargetStaysInside("a", "."));
  EXPECT_TRUE(exports::LinkTargetStaysInside("d\\e\\a", "../../b"));
  EXPECT_FALSE(exports::LinkTargetStaysInside("d\\e\\a", "../../../b"));
  EXPECT_FALSE(exports::LinkTargetStaysInside("a", ".."));
  EXPECT_FALSE(exports::LinkTargetStaysInside("d\\a", "b/../.."));  // after a name: no ".."
  EXPECT_FALSE(exports::LinkTargetStaysInside("a", "/etc"));
  EXPECT_FALSE(exports::LinkTargetStaysInside("a", ""));
  EXPECT_FALSE(exports::LinkTargetStaysInside("a", std::string("b\0c", 3)));
}

}  // namespace
}  // namespace kestrel::testing
