// `kestrel unzip` and `kestrel test` run as real processes: exact messages and exit status,
// the legacy archives unpacked with their CRCs, and a floppy volume set.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>

#include "tests/exports/unpack_fixture.h"

namespace kestrel::testing {
namespace {

struct CommandRun {
  int status = -1;
  std::string out, err;
};

CommandRun Kestrel(const std::string& arguments, const fs::path& scratch) {
  CommandRun run;
  const fs::path errFile = scratch / "stderr.txt";
  const std::string command =
      std::string(KESTREL_CLI_PATH) + " " + arguments + " 2>" + Quoted(errFile) + " </dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 4096> buffer{};
  while (std::fgets(buffer.data(), int(buffer.size()), pipe) != nullptr) run.out += buffer.data();
  const int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.err = ReadBytes(errFile);
  fs::remove(errFile);
  return run;
}

class UnzipCommand : public ::testing::Test {
 protected:
  ScratchFolder scratch{"unzip_cli"};
  fs::path archive = scratch / "a.zip";
  fs::path out = scratch / "out";
};

TEST_F(UnzipCommand, UnpacksQuietlyIntoTheGivenDirectory) {
  WritePyZip(archive, {{"d/one.txt", "one"}, {"two.txt", std::string(70000, '2')}});
  const CommandRun run = Kestrel("unzip " + Quoted(archive) + " -d " + Quoted(out), scratch.root());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");  // stderr is not a terminal: no progress bar
  EXPECT_EQ(ReadBytes(out / "d" / "one.txt"), "one");
  EXPECT_EQ(ReadBytes(out / "two.txt"), std::string(70000, '2'));
}

TEST_F(UnzipCommand, DefaultDestinationIsTheCurrentDirectory) {
  WritePyZip(archive, {{"here.txt", "h"}});
  fs::create_directories(out);
  const int status = Shell("cd " + Quoted(out) + " && " + KESTREL_CLI_PATH + " unzip ../a.zip");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ReadBytes(out / "here.txt"), "h");
}

TEST_F(UnzipCommand, FailedEntriesAreNamedWithTheirReason) {
  WritePyZip(archive, {{"../evil.txt", "e"}, {"bad.txt", std::string(100, 'b')}, {"ok.txt", "k"}});
  std::string bytes = ReadBytes(archive);
  const size_t bad = bytes.find("PK\x03\x04", 4);
  bytes[bad + 14] = char(bytes[bad + 14] ^ 0x55);  // bad.txt's CRC in its local header
  WriteBytes(archive, bytes);
  const CommandRun run = Kestrel("unzip " + Quoted(archive) + " -d " + Quoted(out), scratch.root());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "kestrel unzip: ../evil.txt: unsafe name (would be written outside the destination)\n"
            "kestrel unzip: bad.txt: CRC error\n"
            "kestrel unzip: 2 of 3 entries failed\n");
  EXPECT_EQ(ReadBytes(out / "ok.txt"), "k");
  EXPECT_FALSE(fs::exists(scratch / "evil.txt"));

  const CommandRun test = Kestrel("test " + Quoted(archive), scratch.root());
  EXPECT_EQ(test.status, 1);
  EXPECT_EQ(test.err,
            "kestrel test: ../evil.txt: unsafe name (would be written outside the destination)\n"
            "kestrel test: bad.txt: CRC error\n"
            "kestrel test: 2 of 3 entries failed\n");
}

TEST_F(UnzipCommand, StoppedWalkAndUnusableArchivesFail) {
  WritePyZip(archive, {{"one.txt", "1"}, {"two.txt", "2"}, {"three.txt", "3"}});
  std::string bytes = ReadBytes(archive);
  bytes[bytes.find("PK\x03\x04", 4) + 2] = 'X';
  WriteBytes(archive, bytes);
  CommandRun run = Kestrel("unzip " + Quoted(archive) + " -d " + Quoted(out), scratch.root());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "kestrel unzip: two.txt: bad local header or invalid compressed data\n"
            "kestrel unzip: stopped; 1 more entries were not processed\n"
            "kestrel unzip: 1 of 2 entries failed\n");

  WriteBytes(archive, "not a zip");
  run = Kestrel("test " + Quoted(archive), scratch.root());
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.err, "kestrel test: " + archive.string() + ": not a zip archive\n");

  WriteBytes(archive, bytes.substr(0, 40));  // a local header but no directory
  run = Kestrel("test " + Quoted(archive), scratch.root());
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.err, "kestrel test: " + archive.string() + ": the archive's directory cannot be read\n");
}

TEST_F(UnzipCommand, UsageErrors) {
  EXPECT_EQ(Kestrel("unzip", scratch.root()).status, 2);
  EXPECT_EQ(Kestrel("unzip a.zip -d", scratch.root()).status, 2);
  EXPECT_EQ(Kestrel("unzip a.zip -o -n", scratch.root()).status, 2);
  EXPECT_EQ(Kestrel("unzip a.zip --bogus", scratch.root()).status, 2);
  EXPECT_EQ(Kestrel("test a.zip -p", scratch.root()).status, 2);
  EXPECT_EQ(Kestrel("test a.zip -d x", scratch.root()).status, 2);
  EXPECT_EQ(Kestrel("unzip a.zip --floppy", scratch.root()).status, 2);
}

TEST_F(UnzipCommand, TestReportsTheEntryCount) {
  WritePyZip(archive, {{"d/", "", false, 0x10}, {"d/x.txt", "x"}});
  const CommandRun run = Kestrel("test " + Quoted(archive), scratch.root());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, archive.string() + ": 2 entries OK\n");
  EXPECT_FALSE(fs::exists(scratch / "d"));
}

// Written to a stream that cannot seek: stored entries with zero sizes in their local headers
// and data descriptors behind the data.
TEST_F(UnzipCommand, StreamedStoredEntriesUnpackAndTest) {
  std::string binary(5000, '\0');
  std::mt19937 random(3);
  for (char& c : binary) c = char(random());
  const std::vector<PyEntry> entries = {{"d/one.txt", std::string(70000, '1'), false},
                                        {"bin.dat", binary, false},
                                        {"empty", "", false},
                                        {"deflated.txt", std::string(3000, 'z'), true}};
  WritePyZip(archive, entries, true);
  const CommandRun test = Kestrel("test " + Quoted(archive), scratch.root());
  EXPECT_EQ(test.status, 0) << test.err;
  EXPECT_EQ(test.out, archive.string() + ": 4 entries OK\n");
  const CommandRun run = Kestrel("unzip " + Quoted(archive) + " -d " + Quoted(out), scratch.root());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  for (const PyEntry& e : entries) EXPECT_TRUE(ReadBytes(out / e.name) == e.data) << e.name;
}

TEST_F(UnzipCommand, LegacyArchivesUnpackWithMatchingCrcs) {
  const fs::path legacy = fs::path(KESTREL_TEST_DATA) / "legacy";
  int checked = 0;
  for (const auto& file : fs::directory_iterator(legacy)) {
    if (file.path().extension() == ".md") continue;
    SCOPED_TRACE(file.path().filename().string());
    const fs::path dest = out / file.path().stem();
    const CommandRun run = Kestrel("unzip " + Quoted(file.path()) + " -d " + Quoted(dest), scratch.root());
    EXPECT_EQ(run.status, 0) << run.err;
    checked += ExpectCentralCrcs(file.path(), dest);
  }
  EXPECT_EQ(checked, 15);
}

TEST_F(UnzipCommand, FloppyVolumeSetIsJoinedAndUnpacked) {
  const std::string big(1'500'000, 'v');
  WritePyZip(archive, {{"v.bin", big, false}});
  const fs::path disks = scratch / "disks";
  fs::create_directories(disks);
  // The two volumes written by hand, in the volume set's own layout.
  ASSERT_EQ(Shell("cd " + Quoted(scratch.root()) + " && mkdir -p disks/1 disks/2 && "
                  "python3 -c \"import sys;d=open('a.zip','rb').read();n=len(d);vs=1433600;"
                  "import struct;"
                  "open('disks/1/a.m01','wb').write(b'xml'+struct.pack('<iiii',1,n,vs,5)+b'a.zip'+d[:vs]);"
                  "open('disks/2/a.m02','wb').write(b'xml'+struct.pack('<i',2)+d[vs:])\""),
            0);
  const CommandRun run = Kestrel("unzip 'A:\\a.m01' -d " + Quoted(out) + " --floppy " + Quoted(disks),
                          scratch.root());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(ReadBytes(out / "v.bin") == big);
}

}  // namespace
}  // namespace kestrel::testing
