// `kestrel unzip` and `kestrel test` run as real processes: exact messages and exit status,
// the legacy archives unpacked with their CRCs, a floppy volume set and a spanned set, damaged
// and hostile directories, and the free-space check on a small file system.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <random>

#include "tests/cli/command_run.h"

namespace kestrel::testing {
namespace {

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

// Names starting with "./" (as bsdtar stores them) with no "./" entry before them, and names
// differing only in case: every entry is a file of its own.
TEST_F(UnzipCommand, DotSlashNamesAndCaseTwinsUnpack) {
  WritePyZip(archive, {{"./d6/", ""}, {"./b.txt", "b"}, {"./d6/Case.txt", "upper"},
                       {"./d6/case.txt", "lower"}});
  const CommandRun run = Kestrel("unzip " + Quoted(archive) + " -d " + Quoted(out), scratch.root());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(ReadBytes(out / "b.txt"), "b");
  EXPECT_EQ(ReadBytes(out / "d6" / "Case.txt"), "upper");
  EXPECT_EQ(ReadBytes(out / "d6" / "case.txt"), "lower");
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


TEST_F(UnzipCommand, NamesPatternsExclusionsAndJunkedPaths) {
  WritePyZip(archive, {{"docs/", "", false, 0x10}, {"docs/a.txt", "A"}, {"docs/b.log", "B"},
                       {"src/c.txt", "C"}, {"src/deep/d.txt", "D"}});
  CommandRun run = Kestrel("unzip " + Quoted(archive) + " 'docs/*' 'src/*.txt' nothing -x '*.log' -d " +
                           Quoted(out), scratch.root());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "kestrel unzip: no entry matches 'nothing'\n");
  std::vector<std::string> made;
  for (const auto& e : fs::recursive_directory_iterator(out)) made.push_back(fs::relative(e.path(), out).string());
  std::sort(made.begin(), made.end());
  EXPECT_EQ(made, (std::vector<std::string>{"docs", "docs/a.txt", "src", "src/c.txt", "src/deep", "src/deep/d.txt"}));

  run = Kestrel("unzip " + Quoted(archive) + " -j -d " + Quoted(scratch / "flat") + " '*.txt'", scratch.root());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadBytes(scratch / "flat/d.txt"), "D");
  EXPECT_FALSE(fs::exists(scratch / "flat/docs"));

  run = Kestrel("unzip " + Quoted(archive) + " '*.none' -d " + Quoted(out), scratch.root());
  EXPECT_EQ(run.status, 11);
  EXPECT_EQ(run.err, "kestrel unzip: no entry matches '*.none'\n");

  run = Kestrel("list -1 " + Quoted(archive) + " 'src/*'", scratch.root());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "src/c.txt\nsrc/deep/d.txt\n");
}

TEST_F(UnzipCommand, ExistingFilesAreNeverReplacedSilently) {
  WritePyZip(archive, {{"a.txt", "new a"}, {"b.txt", "new b"}});
  WriteBytes(out / "a.txt", "old a");
  CommandRun run = Kestrel("unzip " + Quoted(archive) + " -d " + Quoted(out), scratch.root());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "kestrel unzip: a.txt: exists, not replaced: " + (out / "a.txt").string() + "\n"
                     "kestrel unzip: 1 existing file was kept (-o replaces, -n keeps without a word)\n");
  EXPECT_EQ(ReadBytes(out / "a.txt"), "old a");
  EXPECT_EQ(ReadBytes(out / "b.txt"), "new b");
  run = Kestrel("unzip -n " + Quoted(archive) + " -d " + Quoted(out), scratch.root());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(ReadBytes(out / "a.txt"), "old a");
  run = Kestrel("unzip -o " + Quoted(archive) + " -d " + Quoted(out), scratch.root());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ReadBytes(out / "a.txt"), "new a");
}

// -p gives exactly what unzip -p gives, on the archives of every peer at hand.
TEST_F(UnzipCommand, PipeMatchesUnzipOnPeersArchives) {
  std::string big;
  std::mt19937 random(3);
  for (int i = 0; i < 200000; ++i) big += char(random() % 3 ? 'a' + random() % 4 : random());
  WriteBytes(scratch / "tree/big.bin", big);
  WriteBytes(scratch / "tree/sub/small.txt", "small\n");
  const std::string tree = "cd " + Quoted(scratch / "tree") + " && ";
  std::vector<std::string> archives = {"py.zip"};
  WritePyZip(scratch / "py.zip", {{"big.bin", big}, {"sub/small.txt", "small\n", false}});
  if (HavePeer("zip")) archives.push_back("zip.zip"), Shell(tree + "zip -qr ../zip.zip .");
  if (HavePeer("7z")) archives.push_back("7z.zip"), Shell(tree + "7z a -tzip ../7z.zip . >/dev/null");
  if (HavePeer("bsdtar")) archives.push_back("bsd.zip"), Shell(tree + "bsdtar -a -cf ../bsd.zip big.bin sub");
  for (const std::string& name : archives) {
    const fs::path a = scratch / name;
    ASSERT_EQ(Shell("unzip -p " + Quoted(a) + " > " + Quoted(scratch / "peer.out")), 0) << name;
    ASSERT_EQ(Shell(std::string(KESTREL_CLI_PATH) + " unzip -p " + Quoted(a) + " > " + Quoted(scratch / "own.out")), 0) << name;
    EXPECT_TRUE(ReadBytes(scratch / "own.out") == ReadBytes(scratch / "peer.out")) << name;
    EXPECT_GT(fs::file_size(scratch / "own.out"), big.size()) << name;
  }
}

TEST_F(UnzipCommand, EncipheredArchivesOfThePeersAndOurOwn) {
  WriteBytes(scratch / "tree/secret.txt", std::string(5000, 's') + "end");
  WriteBytes(scratch / "pw.txt", "s3cret\n");
  const std::string tree = "cd " + Quoted(scratch / "tree") + " && ";
  std::vector<std::string> archives = {"own.zip"};
  ASSERT_EQ(Shell(tree + KESTREL_CLI_PATH + " zip ../own.zip secret.txt --password-file ../pw.txt"
                  " >/dev/null 2>&1"), 0);
  if (HavePeer("zip")) archives.push_back("zip.zip"), Shell(tree + "zip -q -P s3cret ../zip.zip secret.txt");
  if (HavePeer("7z")) archives.push_back("7z.zip"), Shell(tree + "7z a -tzip -ps3cret -mem=ZipCrypto ../7z.zip secret.txt >/dev/null");
  // A wrong password passes the one-byte check of this encryption once in 256 (and then fails
  // on the data): take one the check refuses, as Python's zipfile tells, so the message is sure.
  WriteBytes(scratch / "refused.py",
             "import sys, zipfile\n"
             "try:\n    zipfile.ZipFile(sys.argv[1]).read('secret.txt', pwd=sys.argv[2].encode())\n"
             "except RuntimeError:\n    sys.exit(0)\n"
             "except Exception:\n    pass\n"
             "sys.exit(1)\n");
  const auto refusedPassword = [&](const fs::path& a) {
    for (int i = 0; i < 64; ++i) {
      const std::string password = "wrong" + std::to_string(i);
      if (Shell("python3 " + Quoted(scratch / "refused.py") + " " + Quoted(a) + " " + password) == 0)
        return password;
    }
    return std::string("none");
  };
  for (const std::string& name : archives) {
    const fs::path a = scratch / name;
    CommandRun run = Kestrel("test " + Quoted(a), scratch.root());
    EXPECT_EQ(run.status, 1) << name;
    EXPECT_EQ(run.err, "kestrel test: secret.txt: encrypted (a password is needed)\n"
                       "kestrel test: 1 of 1 entries failed\n") << name;
    run = Kestrel("unzip -P " + refusedPassword(a) + " " + Quoted(a) + " -d " + Quoted(out / name),
                  scratch.root());
    EXPECT_EQ(run.status, 1) << name;
    EXPECT_EQ(run.err, "kestrel unzip: secret.txt: incorrect password\n"
                       "kestrel unzip: 1 of 1 entries failed\n") << name;
    EXPECT_FALSE(fs::exists(out / name / "secret.txt"));
    run = Kestrel("unzip --password-file " + Quoted(scratch / "pw.txt") + " " + Quoted(a) + " -d " +
                  Quoted(out / name), scratch.root());
    EXPECT_EQ(run.status, 0) << name << run.err;
    EXPECT_TRUE(ReadBytes(out / name / "secret.txt") == ReadBytes(scratch / "tree/secret.txt")) << name;
  }
  const CommandRun missing = Kestrel("unzip --password-file " + Quoted(scratch / "none") + " " +
                                     Quoted(scratch / "own.zip"), scratch.root());
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, "kestrel unzip: " + (scratch / "none").string() +
                             ": cannot read the password file: No such file or directory\n");
}

// A folder in the way of a file and a file in the way of a folder are named as what they are;
// the file in the way of a directory entry keeps its own mode (it once took the directory's).
TEST_F(UnzipCommand, WhatIsInTheWayIsNamed) {
  WritePyZip(archive, {{"d/", "", false, 040755u << 16 | 0x10, 3},
                       {"d/x.txt", "x"},
                       {"f.txt", "f"},
                       {"e.txt", "e"}});
  fs::create_directories(out / "f.txt");
  WriteBytes(out / "d", "file\n");
  fs::permissions(out / "d", fs::perms(0640));
  const CommandRun run = Kestrel("unzip " + Quoted(archive) + " -d " + Quoted(out), scratch.root());
  EXPECT_EQ(run.status, 1);
  const std::string o = out.string();
  EXPECT_EQ(run.err,
            "kestrel unzip: d/: cannot create or write the file: " + o + "/d/ (not a directory)\n"
            "kestrel unzip: d/x.txt: cannot create or write the file: " + o +
                "/d/x.txt (not a directory)\n"
            "kestrel unzip: f.txt: cannot create or write the file: " + o +
                "/f.txt (is a directory)\n"
            "kestrel unzip: 3 of 4 entries failed\n");
  EXPECT_EQ(ReadBytes(out / "d"), "file\n");
  EXPECT_EQ(fs::status(out / "d").permissions(), fs::perms(0640));
  EXPECT_EQ(ReadBytes(out / "e.txt"), "e");
}

TEST_F(UnzipCommand, HostileNamesArePrintedEscapedAndMissingThingsHaveTheirStatus) {
  WritePyZip(archive, {{"a\x1b[2Jb\nc.txt", "x"}, {"ok.txt", "k"}});
  CommandRun run = Kestrel("list -1 " + Quoted(archive), scratch.root());
  EXPECT_EQ(run.out, "a^[[2Jb^Jc.txt\nok.txt\n");
  // A Linux name may hold control characters: the entry unpacks under its own name.
  run = Kestrel("unzip " + Quoted(archive) + " -d " + Quoted(out), scratch.root());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(fs::is_regular_file(out / "a\x1b[2Jb\nc.txt"));
  // A folder in its way makes it fail, and the message shows the name escaped.
  fs::remove_all(out);
  fs::create_directories(out / "a\x1b[2Jb\nc.txt");
  run = Kestrel("unzip " + Quoted(archive) + " -d " + Quoted(out), scratch.root());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "kestrel unzip: a^[[2Jb^Jc.txt: cannot create or write the file: " +
                         out.string() + "/a^[[2Jb^Jc.txt (is a directory)\n"
                         "kestrel unzip: 1 of 2 entries failed\n");
  run = Kestrel("unzip " + Quoted(scratch / "none.zip"), scratch.root());
  EXPECT_EQ(run.status, 9);
  EXPECT_EQ(run.err, "kestrel unzip: " + (scratch / "none.zip").string() + ": no such file\n");
  run = Kestrel("unzip " + Quoted(archive) + " -d " + Quoted(archive / "sub"), scratch.root());
  EXPECT_EQ(run.status, 4);
  EXPECT_EQ(run.err, "kestrel unzip: " + (archive / "sub").string() +
                         ": the destination directory cannot be created\n");
}


// kestrel zip --split writes x.001, x.002, ... and no x.zip; both names open the set.
TEST_F(UnzipCommand, BlockSetsListTestAndUnpackByteIdentical) {
  std::string data;
  std::mt19937 random(5);
  for (int i = 0; i < 250000; ++i) data += char(random());
  WriteBytes(scratch / "tree/r.bin", data);
  WriteBytes(scratch / "tree/t.txt", std::string(90000, 't'));
  ASSERT_EQ(Shell("cd " + Quoted(scratch / "tree") + " && " + KESTREL_CLI_PATH +
                  " zip ../x.zip r.bin t.txt --split 100000 >/dev/null 2>&1"), 0);
  ASSERT_TRUE(fs::exists(scratch / "x.003"));
  ASSERT_FALSE(fs::exists(scratch / "x.zip"));
  CommandRun run = Kestrel("test " + Quoted(scratch / "x.zip"), scratch.root());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, (scratch / "x.zip").string() + ": 2 entries OK\n");
  run = Kestrel("list -1 " + Quoted(scratch / "x.001"), scratch.root());
  EXPECT_EQ(run.out, "r.bin\nt.txt\n");
  run = Kestrel("unzip " + Quoted(scratch / "x.zip") + " -d " + Quoted(out), scratch.root());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(ReadBytes(out / "r.bin") == data);
  EXPECT_TRUE(ReadBytes(out / "t.txt") == std::string(90000, 't'));
  fs::remove(scratch / "x.003");
  run = Kestrel("test " + Quoted(scratch / "x.zip"), scratch.root());
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.err, "kestrel test: " + (scratch / "x.zip").string() + ": the last block, " +
                         (scratch / "x.002").string() + ", holds no end of the archive (a block is missing)\n");
}

// Entries that carry their sizes in zip64 fields, in an archive behind a shell script: the
// command reads both through the full-width sizes and the shifted offsets.
TEST_F(UnzipCommand, Zip64EntriesBehindAScriptUnpack) {
  const fs::path made = scratch / "made.py";
  WriteBytes(made,
             "import zipfile\n"
             "with zipfile.ZipFile('z.zip', 'w', zipfile.ZIP_DEFLATED) as z:\n"
             "    with z.open('big.txt', 'w', force_zip64=True) as f: f.write(b'zip64 ' * 5000)\n"
             "    z.writestr('small.txt', 'x')\n");
  ASSERT_EQ(Shell("cd " + Quoted(scratch.root()) + " && python3 made.py && "
                  "(printf '#!/bin/sh\\nexit 0\\n'; cat z.zip) > s.sh"), 0);
  const CommandRun test = Kestrel("test " + Quoted(scratch / "s.sh"), scratch.root());
  EXPECT_EQ(test.status, 0) << test.err;
  EXPECT_EQ(test.out, (scratch / "s.sh").string() + ": 2 entries OK\n");
  const CommandRun run = Kestrel("unzip " + Quoted(scratch / "s.sh") + " -d " + Quoted(out),
                                 scratch.root());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadBytes(out / "big.txt"), [] {
    std::string text;
    for (int i = 0; i < 5000; ++i) text += "zip64 ";
    return text;
  }());
  EXPECT_EQ(ReadBytes(out / "small.txt"), "x");
}

// The bytes of archive with the central record of entry n (0-based) changed by edit.
void EditCentralRecord(const fs::path& archive, int n, const std::function<void(std::string&, size_t)>& edit) {
  std::string bytes = ReadBytes(archive);
  size_t at = bytes.find("PK\x01\x02");
  for (int i = 0; i < n; ++i) at = bytes.find("PK\x01\x02", at + 4);
  ASSERT_NE(at, std::string::npos);
  edit(bytes, at);
  WriteBytes(archive, bytes);
}

TEST_F(UnzipCommand, DamagedDirectoryIsNamedAndRepairFindsTheRest) {
  WritePyZip(archive, {{"one.txt", "1"}, {"two.txt", "2"}, {"three.txt", "3"}});
  EditCentralRecord(archive, 2, [](std::string& b, size_t at) { b[at + 2] ^= 0x40; });
  const std::string damage =
      archive.string() + ": central directory damaged after entry 2 of 3 (--repair looks for the others)\n";
  CommandRun run = Kestrel("unzip " + Quoted(archive) + " -d " + Quoted(out), scratch.root());
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.err, "kestrel unzip: " + damage);
  EXPECT_EQ(ReadBytes(out / "two.txt"), "2");
  EXPECT_FALSE(fs::exists(out / "three.txt"));
  run = Kestrel("test " + Quoted(archive), scratch.root());
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "kestrel test: " + damage);
  run = Kestrel("list -1 " + Quoted(archive), scratch.root());
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.out, "one.txt\ntwo.txt\n");
  EXPECT_EQ(run.err, "kestrel list: " + damage);

  const std::string rebuilt = archive.string() + ": directory rebuilt from the local headers (3 entries found)\n";
  run = Kestrel("unzip --repair " + Quoted(archive) + " -d " + Quoted(scratch / "all"), scratch.root());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "kestrel unzip: " + rebuilt);
  EXPECT_EQ(ReadBytes(scratch / "all" / "three.txt"), "3");
  run = Kestrel("test --repair " + Quoted(archive), scratch.root());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, archive.string() + ": 3 entries OK\n");
  EXPECT_EQ(run.err, "kestrel test: " + rebuilt);
  run = Kestrel("list --repair -1 " + Quoted(archive), scratch.root());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "one.txt\ntwo.txt\nthree.txt\n");
}

TEST_F(UnzipCommand, OverlappingEntriesAreRefusedAndTheRestUnpacks) {
  WritePyZip(archive, {{"one.txt", "1"}, {"two.txt", "2"}, {"three.txt", "3"}});
  std::string first;
  EditCentralRecord(archive, 0, [&](std::string& b, size_t at) { first = b.substr(at + 42, 4); });
  EditCentralRecord(archive, 1, [&](std::string& b, size_t at) { b.replace(at + 42, 4, first); });
  const CommandRun run = Kestrel("unzip " + Quoted(archive) + " -d " + Quoted(out), scratch.root());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "kestrel unzip: two.txt: overlaps another entry (possible zip bomb)\n"
            "kestrel unzip: 1 of 3 entries failed\n");
  EXPECT_EQ(ReadBytes(out / "one.txt"), "1");
  EXPECT_EQ(ReadBytes(out / "three.txt"), "3");
  EXPECT_FALSE(fs::exists(out / "two.txt"));
}

TEST_F(UnzipCommand, ThreeDiskSpanReadBackFromTheFloppy) {
  const fs::path disks = scratch / "disks";
  fs::create_directories(scratch / "src" / "sub");
  fs::create_directories(disks);
  std::string big(3'200'000, '\0');
  std::mt19937 random(11);
  for (char& c : big) c = char(random());
  WriteBytes(scratch / "src" / "big.bin", big);
  WriteBytes(scratch / "src" / "sub" / "a.txt", "a");
  ASSERT_EQ(Shell("cd " + Quoted(scratch.root()) + " && " + KESTREL_CLI_PATH +
                  " zip --span --floppy disks -0 -r x.zip src 2>/dev/null"),
            0);
  ASSERT_TRUE(fs::exists(disks / "3" / "x.zip"));
  const std::string floppy = " --floppy " + Quoted(disks) + " x.zip";
  const std::string changes = "kestrel: disk 2 in drive A: is " + (disks / "2").string() + "\n" +
                              "kestrel: disk 3 in drive A: is " + (disks / "3").string() + "\n";
  CommandRun run = Kestrel("unzip -d " + Quoted(out) + floppy, scratch.root());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, changes);
  EXPECT_TRUE(ReadBytes(out / "src" / "big.bin") == big);
  EXPECT_EQ(ReadBytes(out / "src" / "sub" / "a.txt"), "a");
  run = Kestrel("test" + floppy, scratch.root());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "x.zip: 4 entries OK\n");
  EXPECT_EQ(run.err, changes);
  run = Kestrel("list -1" + floppy, scratch.root());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "src/\nsrc/big.bin\nsrc/sub/\nsrc/sub/a.txt\n");
  // A disk missing: the set cannot be read, and nothing is created for it.
  fs::remove_all(disks / "2");
  run = Kestrel("test" + floppy, scratch.root());
  EXPECT_EQ(run.status, 4);
  EXPECT_EQ(run.err, "kestrel: there is no disk 2 (" + (disks / "2").string() + ")\n"
                     "kestrel test: " + (disks / "1" / "x.zip").string() +
                     ": cancelled while asking for a disk\n");
  EXPECT_FALSE(fs::exists(disks / "2"));
}

// Runs script (sh) in a mount namespace of its own, where SMALL is a new 256 KiB file system;
// its standard output. Empty when this machine has no such namespaces.
std::string OnASmallFileSystem(const fs::path& small, const std::string& script) {
  fs::create_directories(small);
  const std::string command = "unshare -rm sh -c " +
      Quoted("mount -t tmpfs -o size=256k tmpfs " + small.string() + " && " + script) + " 2>/dev/null";
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  std::array<char, 512> buffer{};
  while (pipe != nullptr && std::fgets(buffer.data(), int(buffer.size()), pipe) != nullptr) output += buffer.data();
  if (pipe != nullptr) pclose(pipe);
  return output;
}

TEST_F(UnzipCommand, FreeSpaceIsCheckedBeforeAnythingIsWritten) {
  if (Shell("unshare -rm true 2>/dev/null") != 0) GTEST_SKIP() << "no mount namespaces on this machine";
  WritePyZip(archive, {{"small.txt", "s"}, {"big.bin", std::string(600'000, 'b')}});
  const fs::path small = scratch / "small";
  const fs::path err = scratch / "err.txt";
  const std::string unzip = std::string(KESTREL_CLI_PATH) + " unzip " + Quoted(archive) + " -d " +
                            Quoted(small / "out") + " 2>" + Quoted(err);
  EXPECT_EQ(OnASmallFileSystem(small, unzip + "; echo $?; ls -A " + Quoted(small)), "4\n");
  EXPECT_EQ(ReadBytes(err), "kestrel unzip: " + (small / "out").string() +
                                ": the entries need 600001 bytes, but only 262144 are free "
                                "(--no-space-check goes on anyway)\n");
  // Told to go on, the big entry fails for want of space and leaves nothing behind.
  EXPECT_EQ(OnASmallFileSystem(small, unzip + " --no-space-check; echo $?; ls -A " + Quoted(small / "out")),
            "1\nsmall.txt\n");
  EXPECT_EQ(ReadBytes(err), "kestrel unzip: big.bin: cannot create or write the file: " + (small / "out" / "big.bin").string() +
                                " (no space left on the device)\n"
                                "kestrel unzip: 1 of 2 entries failed\n");
}

TEST_F(UnzipCommand, OnATerminalEachExistingFileIsAsked) {
  if (Shell("script -E never -qc true /dev/null >/dev/null 2>&1") != 0) GTEST_SKIP() << "no script(1)";
  WritePyZip(archive, {{"one.txt", "new 1"}, {"two.txt", "new 2"}, {"three.txt", "new 3"}, {"four.txt", "new 4"}});
  fs::create_directories(out);
  for (const char* name : {"one.txt", "two.txt", "three.txt", "four.txt"}) WriteBytes(out / name, "old");
  // yes, no, rename, All: the answers typed on a terminal (script gives the command one).
  const fs::path typed = scratch / "typed.txt";
  WriteBytes(typed, "y\nn\nr\nthree-new.txt\nA\n");
  FILE* pipe = popen(("cd " + Quoted(scratch.root()) + " && script -E never -qec '" + KESTREL_CLI_PATH +
                      " unzip -q a.zip -d out; echo status $?' /dev/null <" + Quoted(typed)).c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string screen;
  std::array<char, 512> buffer{};
  while (std::fgets(buffer.data(), int(buffer.size()), pipe) != nullptr) screen += buffer.data();
  pclose(pipe);
  const std::string question = "? [y]es, [n]o, [A]ll, [N]one, [r]ename: ";
  EXPECT_EQ(screen, "replace out/one.txt" + question + "replace out/two.txt" + question +
                        "kestrel unzip: two.txt: exists, not replaced: out/two.txt\r\n"
                        "replace out/three.txt" + question + "new name: replace out/four.txt" + question +
                        "kestrel unzip: 1 existing file was kept (-o replaces, -n keeps without a word)\r\n"
                        "status 1\r\n");
  EXPECT_EQ(ReadBytes(out / "one.txt"), "new 1");
  EXPECT_EQ(ReadBytes(out / "two.txt"), "old");
  EXPECT_EQ(ReadBytes(out / "three.txt"), "old");
  EXPECT_EQ(ReadBytes(out / "three-new.txt"), "new 3");
  EXPECT_EQ(ReadBytes(out / "four.txt"), "new 4");
}

TEST_F(UnzipCommand, ShorthandsVerboseLinesHelpAndUsageMessages) {
  WritePyZip(archive, {{"d/", "", false, 0x10}, {"d/x.txt", "x"}});
  CommandRun run = Kestrel("unzip -t " + Quoted(archive), scratch.root());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, archive.string() + ": 2 entries OK\n");
  run = Kestrel("unzip -l " + Quoted(archive), scratch.root());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, Kestrel("list " + Quoted(archive), scratch.root()).out);
  run = Kestrel("unzip -v " + Quoted(archive) + " -d " + Quoted(out), scratch.root());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "  created: " + (out / "d/").string() + "\n  extracted: " + (out / "d/x.txt").string() + "\n");
  run = Kestrel("test -v " + Quoted(archive), scratch.root());
  EXPECT_EQ(run.err, "    OK: d/\n    OK: d/x.txt\n");
  run = Kestrel("test -q " + Quoted(archive), scratch.root());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out + run.err, "");
  for (const char* command : {"unzip", "test", "list"}) {
    run = Kestrel(std::string(command) + " --help", scratch.root());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.substr(0, run.out.find(' ', 15)), std::string("usage: kestrel ") + command);
    run = Kestrel(std::string(command) + " " + Quoted(archive) + " --bogus", scratch.root());
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, std::string("kestrel ") + command + ": unknown option '--bogus' (see kestrel " +
                           command + " --help)\n");
  }
  run = Kestrel("unzip " + Quoted(archive) + " -d", scratch.root());
  EXPECT_EQ(run.err, "kestrel unzip: -d needs a value (see kestrel unzip --help)\n");
  run = Kestrel("unzip " + Quoted(archive) + " -o -n", scratch.root());
  EXPECT_EQ(run.err, "kestrel unzip: -o and -n exclude each other (see kestrel unzip --help)\n");
}

}  // namespace
}  // namespace kestrel::testing
