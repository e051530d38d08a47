// unix_metadata_command_test.cpp — Unix metadata through the command: hostile link archives
// unpacked by kestrel unzip leave everything outside the destination as it was, and
// kestrel list -v shows each entry's mode as unzip -Z does.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/exports/unpack_fixture.h"

namespace kestrel::testing {
namespace {

// The command, with what it says on stderr in errors.
int Kestrel(const std::string& arguments, const fs::path& errors) {
  return Shell(std::string(KESTREL_CLI_PATH) + " " + arguments + " 2>" + Quoted(errors));
}

TEST(UnixMetadataCommand, HostileLinksLeaveEverythingOutsideUntouched) {
  ScratchFolder scratch("cliunixhostile");
  const fs::path outside = scratch / "outside";
  WriteBytes(outside / "passwd", "root:x:0:0\n");
  WriteBytes(outside / "victim", "keep me\n");
  const fs::path dest = scratch / "dest";
  fs::create_directories(dest);
  // Links someone else left in the destination.
  fs::create_directory_symlink(outside, dest / "pre");
  fs::create_symlink(outside / "victim", dest / "prefile");
  const auto before = Snapshot(outside);

  const fs::path archive = scratch / "hostile.zip";
  WritePyZip(archive, {
      Unix("etc", outside.string(), kUnixLink),
      Unix("etc/passwd", "owned\n", kUnixFile),
      Unix("up", "..", kUnixLink),
      Unix("up/victim", "owned\n", kUnixFile),
      Unix("inner", "sub", kUnixLink),
      Unix("inner/x", "through a link\n", kUnixFile),
      Unix("swap", outside.string() + "/victim", kUnixLink),
      Unix("swap", "a file now\n", kUnixFile),
      Unix("pre/passwd", "owned\n", kUnixFile),
      Unix("prefile", "owned\n", kUnixFile),
      Unix("fifo", "", 0010644u << 16),
      Unix("last.txt", "after all of it\n", kUnixFile),
  });
  const fs::path errors = scratch / "errors.txt";
  EXPECT_EQ(Kestrel("unzip -q -o " + Quoted(archive) + " -d " + Quoted(dest), errors), 1);
  const std::string unsafeLink =
      ": unsafe link (target absolute, outside the destination, or longer than a path)\n";
  const std::string inTheWay =
      ": a symbolic link is in the way (nothing is written through one)\n";
  EXPECT_EQ(ReadBytes(errors), "kestrel unzip: etc" + unsafeLink +
                                   "kestrel unzip: up" + unsafeLink +
                                   "kestrel unzip: inner/x" + inTheWay +
                                   "kestrel unzip: swap" + unsafeLink +
                                   "kestrel unzip: pre/passwd" + inTheWay +
                                   "kestrel unzip: prefile" + inTheWay +
                                   "kestrel unzip: fifo: device, FIFO or socket: nothing created\n"
                                   "kestrel unzip: 7 of 12 entries failed\n");
  EXPECT_EQ(Snapshot(outside), before);
  // The refused links left plain directories and files of their names inside.
  EXPECT_EQ(ReadBytes(dest / "etc" / "passwd"), "owned\n");
  EXPECT_EQ(ReadBytes(dest / "up" / "victim"), "owned\n");
  EXPECT_EQ(ReadBytes(dest / "swap"), "a file now\n");
  EXPECT_EQ(fs::read_symlink(dest / "inner"), "sub");
  EXPECT_FALSE(fs::exists(fs::symlink_status(dest / "fifo")));
  EXPECT_EQ(ReadBytes(dest / "last.txt"), "after all of it\n");
}

TEST(UnixMetadataCommand, SpecialBitsComeBackOnlyWithK) {
  ScratchFolder scratch("clispecial");
  const fs::path archive = scratch / "special.zip";
  WritePyZip(archive, {Unix("tool", "#!/bin/sh\n", 0106775u << 16),
                       Unix("shared/", "", 0041777u << 16)});
  const mode_t old = ::umask(022);
  const fs::path errors = scratch / "errors.txt";
  EXPECT_EQ(Kestrel("unzip -q " + Quoted(archive) + " -d " + Quoted(scratch / "plain"), errors), 0);
  EXPECT_EQ(Kestrel("unzip -q -K " + Quoted(archive) + " -d " + Quoted(scratch / "kept"), errors),
            0);
  ::umask(old);
  EXPECT_EQ(PermissionsOf(scratch / "plain" / "tool"), 0755u);
  EXPECT_EQ(PermissionsOf(scratch / "plain" / "shared"), 0755u);
  EXPECT_EQ(PermissionsOf(scratch / "kept" / "tool"), 06755u);
  EXPECT_EQ(PermissionsOf(scratch / "kept" / "shared"), 01755u);
}

TEST(UnixMetadataCommand, ListShowsModesAsUnzipDoes) {
  if (!HavePeer("unzip")) GTEST_SKIP() << "unzip is needed";
  ScratchFolder scratch("climodes");
  const fs::path archive = scratch / "modes.zip";
  WritePyZip(archive, {
      Unix("run.sh", "#!/bin/sh\n", 0100755u << 16),
      Unix("link", "run.sh", kUnixLink),
      Unix("dir/", "", 0040750u << 16),
      Unix("tool", "x", 0106755u << 16),
      Unix("shared/", "", 0041777u << 16),
      PyEntry{"dos.txt", "dos\n", false, 0x21, 0},
      PyEntry{"hidden.txt", "h\n", false, 0x26, 0},
      PyEntry{"folder/", "", false, 0x10, 0},
  });
  const fs::path errors = scratch / "errors.txt";
  const fs::path listing = scratch / "list.txt";
  ASSERT_EQ(Kestrel("list -v " + Quoted(archive) + " >" + Quoted(listing), errors), 0);
  const fs::path peer = scratch / "peer.txt";
  ASSERT_EQ(Shell("unzip -Z " + Quoted(archive) + " >" + Quoted(peer)), 0);

  // Every entry's mode column against the first field of unzip -Z's line for it.
  // Both give a title, two lines of heading and the rows; ours end with two lines of totals.
  auto modes = [](const std::string& text, size_t first, size_t after) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::map<std::string, std::string> byName;
    for (size_t i = first; i + after < lines.size(); ++i) {
      const std::string& line = lines[i];
      byName[line.substr(line.rfind(' ') + 1)] = line.substr(0, line.find(' '));
    }
    return byName;
  };
  const auto ours = modes(ReadBytes(listing), 3, 2);
  EXPECT_EQ(ours.size(), 8u);
  EXPECT_EQ(ours, modes(ReadBytes(peer), 2, 1));
  const std::string text = ReadBytes(listing);
  EXPECT_EQ(text.substr(0, text.find("-rwxr-xr-x")),
            "Archive:  " + archive.string() + "\n"
            "Mode        Length   Method    Size  Cmpr    Date    Time   CRC-32   Name\n"
            "---------- --------  ------  ------- ---- ---------- ----- --------  ----\n");
}

}  // namespace
}  // namespace kestrel::testing
