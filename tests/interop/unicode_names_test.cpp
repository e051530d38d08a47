// unicode_names_test.cpp — archives whose names are not ASCII, written by every peer, unpack
// with the very names each peer's own extraction gives (a name without a form in the ANSI code
// page through its UTF-8 form); broken UTF-8 fails alone, with its reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "exports/unpack_walk.h"
#include "interop/peer_archives.h"
#include "writer/lyn_zip.h"

namespace kestrel::interop {
namespace {

// naïve/résumé.txt, 中文.txt, Привет.txt, مرحبا.txt, 😀.txt, 日本語/ファイル.txt
const std::vector<std::string> kNames = {
    "na\xC3\xAFve/r\xC3\xA9sum\xC3\xA9.txt",
    "\xE4\xB8\xAD\xE6\x96\x87.txt",
    "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82.txt",
    "\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7.txt",
    "\xF0\x9F\x98\x80.txt",
    "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E/\xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4\xE3\x83\xAB.txt",
};

// Every regular file under root by its path relative to root, with its content.
std::map<std::string, std::string> Files(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    if (!item.is_regular_file()) continue;
    std::ifstream in(item.path(), std::ios::binary);
    files[fs::relative(item.path(), root).string()] =
        std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return files;
}

class UnicodeNames : public PeerScratch {
 protected:
  void SetUp() override {
    PeerScratch::SetUp();
    for (const std::string& name : kNames) {
      fs::create_directories(Host("u/" + name).parent_path());
      std::ofstream(Host("u/" + name)) << "content of " << name << "\n";
    }
  }
  // Unpacks archive through the library's walk with the ANSI code page 65001 (as the command
  // does) into dest; returns each entry's result by name.
  std::map<std::string, int> Unpack(const std::string& archive, const std::string& dest,
                                    int ansi = 65001) {
    struct Recorder : exports::WalkObserver {
      std::map<std::string, int> results;
      bool AfterEntry(const reader::ZipDirEntry& entry, int result) override {
        results[entry.name] = result;
        return true;
      }
    } recorder;
    os::CodePageScope pages(ansi, ansi);
    const exports::WalkSummary summary = exports::UnpackArchive(
        Drive(archive), Drive(dest), exports::WalkMode::Extract, &recorder);
    EXPECT_EQ(summary.result, 1) << summary.failure;
    return recorder.results;
  }
  // The component set to pack the whole tree u into archive, names relative to u.
  void PrepareTree(writer::TLynZip& zip, const std::string& archive) const {
    zip.SetZipName(Drive(archive));
    zip.SetRelativePaths(true);
    zip.SetRootDir(Drive("u"));
    zip.SetRecurse(true);
    zip.FilesList().Add("*.*");
  }
};

TEST_F(UnicodeNames, PeerArchivesUnpackWithThePeersOwnNames) {
  const std::string utf8 = "export LC_ALL=C.UTF-8 && ";
  struct Peer {
    const char* archive;
    std::string pack;
    std::string unpack;
  };
  const std::vector<Peer> peers = {
      {"py.zip", "cd u && python3 -m zipfile -c ../py.zip *", "python3 -m zipfile -e py.zip p-py.zip"},
      {"7z.zip", "cd u && 7z a -bd -tzip ../7z.zip .", "7z x -bd -op-7z.zip 7z.zip"},
      {"bsd.zip", "cd u && bsdtar --format zip -cf ../bsd.zip .", "mkdir p-bsd.zip && bsdtar -xf bsd.zip -C p-bsd.zip"},
      {"zip.zip", "cd u && zip -qr ../zip.zip .", "unzip -q zip.zip -d p-zip.zip"},
  };
  for (const Peer& peer : peers) {
    SCOPED_TRACE(peer.archive);
    ASSERT_EQ(Sh(utf8 + peer.pack), 0);
    ASSERT_EQ(Sh(utf8 + peer.unpack), 0);
    const std::string mine = std::string("k-") + peer.archive;
    for (const auto& [name, result] : Unpack(peer.archive, mine)) EXPECT_EQ(result, 0) << name;
    const auto expected = Files(Host(std::string("p-") + peer.archive));
    EXPECT_EQ(expected, Files(Host("u")));
    EXPECT_EQ(Files(Host(mine)), expected);
  }
}

// Under 936 a name GBK cannot hold (the emoji, the Arabic letters, "ï") is created under its
// UTF-8 form; the others through GBK, as before.
TEST_F(UnicodeNames, UnderCodePage936NamesWithoutAGbkFormAreCreatedAllTheSame) {
  ASSERT_EQ(Sh("export LC_ALL=C.UTF-8 && cd u && 7z a -bd -tzip ../7z.zip ."), 0);
  const auto results = Unpack("7z.zip", "k", 936);
  ASSERT_EQ(results.size(), kNames.size() + 2);  // and the two directories
  for (const auto& [name, result] : results) EXPECT_EQ(result, 0) << name;
  EXPECT_EQ(Files(Host("k")), Files(Host("u")));
}

// Bit 11 on a name that is not UTF-8 (patched in), and a Unicode-path field whose name climbs
// out of the destination.
TEST_F(UnicodeNames, BrokenOrUnsafeConvertedNamesFailAloneAndNothingLeaves) {
  ASSERT_EQ(Sh("python3 -c \"import struct, zipfile, zlib\n"
               "z = zipfile.ZipFile('bad.zip', 'w')\n"
               "z.writestr('a\\u00e9/bad\\u00e9.txt', b'1')\n"
               "z.writestr('ok\\u00e9.txt', b'2')\n"
               "i = zipfile.ZipInfo('safe.txt')\n"
               "u = b'../evil.txt'\n"
               "i.extra = struct.pack('<HHBI', 0x7075, 5 + len(u), 1, zlib.crc32(b'safe.txt')) + u\n"
               "z.writestr(i, b'3')\n"
               "z.close()\n"
               "d = bytearray(open('bad.zip', 'rb').read())\n"
               "d = d.replace('bad\\u00e9'.encode(), b'bad\\xe9\\xff')\n"
               "open('bad.zip', 'wb').write(d)\""), 0);
  const auto results = Unpack("bad.zip", "dest/inner");
  EXPECT_EQ(results.at("a\xC3\xA9\\bad\xE9\xFF.txt"), exports::kEntryBadUtf8Name);
  EXPECT_EQ(results.at("ok\xC3\xA9.txt"), 0);
  EXPECT_EQ(results.at("..\\evil.txt"), exports::kEntryUnsafeName);
  EXPECT_EQ(Files(Host("dest")), (std::map<std::string, std::string>{{"inner/ok\xC3\xA9.txt", "2"}}));
}

// Packs the tree through the library with the ANSI code page 65001; every peer lists every
// name right with no options. With the legacy code page 936 asked for, names GBK holds are
// stored in it (unmarked) and the others as UTF-8 with bit 11.
TEST_F(UnicodeNames, PackedNamesReadRightInEveryPeer) {
  auto pack = [&](const std::string& archive, int nameCodePage) {
    os::CodePageScope pages(65001, 65001);
    writer::TLynZip zip;
    PrepareTree(zip, archive);
    zip.SetNameCodePage(nameCodePage);
    EXPECT_EQ(zip.RunZip(), static_cast<int32_t>(kNames.size()));
  };
  pack("k.zip", -1);
  std::string expected;
  for (const std::string& name : kNames) expected += name + "\n";
  const std::string sorted = " | grep -v '/$' | sort";
  const std::string utf8 = "export LC_ALL=C.UTF-8 && ";
  auto names = [&](const std::string& command) { return Capture(utf8 + command + sorted); };
  std::string want = Capture("printf '" + expected + "' | sort");
  EXPECT_EQ(names("unzip -Z1 k.zip"), want);
  EXPECT_EQ(names("bsdtar -tf k.zip"), want);
  EXPECT_EQ(names("python3 -c \"import zipfile; print('\\n'.join(zipfile.ZipFile('k.zip').namelist()))\""), want);
  EXPECT_EQ(names("7z l -slt k.zip | sed -n 's/^Path = //p' | grep -v '^k.zip$'"), want);
  EXPECT_EQ(Sh("unzip -tq k.zip"), 0);

  pack("gbk.zip", 936);
  EXPECT_EQ(names("python3 -c \"import zipfile; print('\\n'.join(zipfile.ZipFile('gbk.zip', "
                  "metadata_encoding='gbk').namelist()))\""), want);
  // 中文.txt went in as GBK bytes, 😀.txt as UTF-8 (which python read as such above).
  std::ifstream in(Host("gbk.zip"), std::ios::binary);
  const std::string bytes(std::istreambuf_iterator<char>(in), {});
  EXPECT_NE(bytes.find("\xD6\xD0\xCE\xC4.txt"), std::string::npos);
  EXPECT_NE(bytes.find(kNames[4]), std::string::npos);
}

// Under 936 a file whose name GBK cannot hold (in a folder that GBK cannot name either) is
// packed all the same, its name stored as UTF-8 with bit 11; the others stay GBK, unmarked.
TEST_F(UnicodeNames, UnderCodePage936NamesWithoutAGbkFormArePackedAsUtf8) {
  std::vector<std::string> skipped;
  writer::TLynZip zip;
  PrepareTree(zip, "k.zip");
  zip.OnSkippingFile = [&skipped](archive::Object*, archive::TSkipReason,
                                  const std::string& name, int32_t, bool&) {
    skipped.push_back(name);
  };
  EXPECT_EQ(zip.RunZip(), static_cast<int32_t>(kNames.size()));
  EXPECT_EQ(skipped, std::vector<std::string>());
  // Each name with its bit 11, an unmarked one read as GBK, in code point order.
  std::map<std::string, int> want;
  for (size_t i = 0; i < kNames.size(); ++i) want[kNames[i]] = i == 0 || i == 3 || i == 4 ? 2048 : 0;
  std::string expected;
  for (const auto& [name, flag] : want) expected += std::to_string(flag) + " " + name + "\n";
  EXPECT_EQ(Capture("export LC_ALL=C.UTF-8 && python3 -c \"import zipfile\n"
                    "n = {(i.filename if i.flag_bits & 0x800 else "
                    "i.filename.encode('cp437').decode('gbk')): i.flag_bits & 0x800 "
                    "for i in zipfile.ZipFile('k.zip').infolist() if not i.is_dir()}\n"
                    "print(''.join('%d %s\\n' % (n[k], k) for k in sorted(n)), end='')\""),
            expected);
  EXPECT_EQ(Sh("unzip -tq k.zip"), 0);
  EXPECT_EQ(Unpack("k.zip", "back", 936).size(), kNames.size());
  EXPECT_EQ(Files(Host("back")), Files(Host("u")));
}

// Under a single-byte ANSI code page no byte starts a two-byte character: "café\été.txt" in
// code page 1252 keeps its separator, the mask "*.txt" finds "été.txt", and the names come
// back after a round trip (stored as UTF-8, which the peers read).
TEST_F(UnicodeNames, SingleByteCodePageKeepsSeparatorsAndMasks) {
  fs::create_directories(Host("w/caf\xC3\xA9"));
  std::ofstream(Host("w/caf\xC3\xA9/\xC3\xA9t\xC3\xA9.txt")) << "summer\n";
  std::ofstream(Host("w/caf\xC3\xA9/skip.dat")) << "no\n";
  os::CodePageScope western(1252, 850);
  writer::TLynZip zip;
  zip.SetZipName(Drive("w.zip"));
  zip.SetRelativePaths(true);
  zip.SetRootDir(Drive("w"));
  zip.SetRecurse(true);
  zip.FilesList().Add("*.txt");
  EXPECT_EQ(zip.RunZip(), 1);
  EXPECT_EQ(Capture("unzip -Z1 w.zip"), "caf\xC3\xA9/\xC3\xA9t\xC3\xA9.txt\n");
  const auto results = Unpack("w.zip", "k", 1252);
  EXPECT_EQ(results, (std::map<std::string, int>{{"caf\xE9\\\xE9t\xE9.txt", 0}}));
  EXPECT_EQ(Files(Host("k")), (std::map<std::string, std::string>{
                                  {"caf\xC3\xA9/\xC3\xA9t\xC3\xA9.txt", "summer\n"}}));
}

}  // namespace
}  // namespace kestrel::interop
