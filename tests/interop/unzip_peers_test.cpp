// unzip_peers_test.cpp — UnZipFile on archives written by zip, 7z, python3 zipfile and bsdtar:
// every tree comes out byte-identical to the peer's own extraction, with the files' times,
// and read-only attributes where the archive carries MS-DOS attributes.
#include <sys/stat.h>

#include <cstdlib>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "interop/peer_archives.h"
#include "kestrel.h"

namespace kestrel::interop {
namespace {

struct Node {
  bool directory = false;
  std::string bytes;
  int64_t mtime = 0;
  bool writable = true;
};

// Every file and directory under root, by path relative to it.
std::map<std::string, Node> ReadTree(const fs::path& root) {
  std::map<std::string, Node> tree;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    struct stat st {};
    ::lstat(item.path().c_str(), &st);
    Node node;
    node.directory = S_ISDIR(st.st_mode);
    node.mtime = st.st_mtime;
    node.writable = (st.st_mode & S_IWUSR) != 0;
    if (!node.directory) {
      std::ifstream in(item.path(), std::ios::binary);
      node.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    tree[fs::relative(item.path(), root).string()] = std::move(node);
  }
  return tree;
}

class UnzipPeers : public PeerScratch {
 protected:
  void SetUp() override {
    PeerScratch::SetUp();
    std::ofstream(Host("src/readonly.txt")) << "do not change\n";
    // Even seconds, so that the DOS time of every peer holds them exactly.
    ASSERT_EQ(Sh("find src -exec touch -d '2021-03-04 05:06:08' {} + && chmod 444 src/readonly.txt"), 0);
  }
  void TearDown() override {
    Sh("chmod -R u+w .");
    PeerScratch::TearDown();
  }

  // Unpacks archive with Kestrel into k-<archive> and compares it with peerDir, which the
  // peer's extraction filled. Returns the number of files compared.
  size_t ExpectLikePeer(const std::string& archive, const std::string& peerDir,
                        bool checkAttributes) {
    SCOPED_TRACE(archive);
    const std::string mine = "k-" + archive;
    EXPECT_EQ(UnZipFile(Drive(archive).c_str(), Drive(mine).c_str(), ""), 1);
    const auto expected = ReadTree(Host(peerDir));
    const auto got = ReadTree(Host(mine));
    std::map<std::string, bool> dosOrigin;
    for (const PeerEntry& e : Zipinfo(Host(archive).string())) dosOrigin[e.name] = e.dosOrigin;
    size_t files = 0;
    for (const auto& [path, node] : expected) {
      SCOPED_TRACE(path);
      auto it = got.find(path);
      if (it == got.end()) {
        ADD_FAILURE() << "missing";
        continue;
      }
      EXPECT_EQ(it->second.directory, node.directory);
      if (node.directory) continue;
      ++files;
      EXPECT_TRUE(it->second.bytes == node.bytes);
      EXPECT_LE(std::llabs(it->second.mtime - node.mtime), 2);
      if (checkAttributes && dosOrigin[path]) {
        EXPECT_EQ(it->second.writable, node.writable);
      }
    }
    EXPECT_EQ(got.size(), expected.size());
    return files;
  }
};

TEST_F(UnzipPeers, ZipAtEveryLevelAndStreamedWithDataDescriptors) {
  for (int level = 0; level <= 9; ++level) {
    const std::string name = "z" + std::to_string(level) + ".zip";
    ASSERT_EQ(Sh("cd src && zip -qr -" + std::to_string(level) + " ../" + name + " ."), 0);
    ASSERT_EQ(Sh("unzip -qo " + name + " -d p-" + name), 0);
    EXPECT_EQ(ExpectLikePeer(name, "p-" + name, true), 5u);
  }
  // Written to a pipe, zip cannot seek back: sizes and CRCs follow the data.
  ASSERT_EQ(Sh("cd src && zip -qr - . | cat > ../piped.zip"), 0);
  ASSERT_EQ(Sh("unzip -qo piped.zip -d p-piped"), 0);
  EXPECT_EQ(ExpectLikePeer("piped.zip", "p-piped", true), 5u);
}

TEST_F(UnzipPeers, SevenZipLevels) {
  for (const char* level : {"0", "1", "5", "9"}) {
    const std::string name = std::string("7z") + level + ".zip";
    ASSERT_EQ(Sh(std::string("cd src && 7z a -bd -tzip -mx") + level + " ../" + name + " ."), 0);
    ASSERT_EQ(Sh("7z x -bd -y -op-" + name + " " + name), 0);
    EXPECT_EQ(ExpectLikePeer(name, "p-" + name, true), 5u);
  }
}

TEST_F(UnzipPeers, BsdtarDeflatedAndStored) {
  for (const std::string& name : {std::string("bsd.zip"), std::string("bsd0.zip")}) {
    const std::string options = name == "bsd0.zip" ? "--options zip:compression=store " : "";
    ASSERT_EQ(Sh("cd src && bsdtar --format zip " + options + "-cf ../" + name + " ."), 0);
    ASSERT_EQ(Sh("mkdir p-" + name + " && bsdtar -xf " + name + " -C p-" + name), 0);
    EXPECT_EQ(ExpectLikePeer(name, "p-" + name, true), 5u);
  }
}

// MS-DOS attributes as a Windows writer sets them (read-only, directory, archive), every
// compression level, and a copy written to a pipe (data descriptors).
TEST_F(UnzipPeers, PythonWithDosAttributesAndDataDescriptors) {
  const std::string script =
      "import os, sys, zipfile\n"
      "def pack(out, level):\n"
      "    z = zipfile.ZipFile(out, 'w', zipfile.ZIP_DEFLATED, compresslevel=level)\n"
      "    for root, dirs, files in sorted(os.walk('src')):\n"
      "        for n in sorted(dirs) + sorted(files):\n"
      "            p = os.path.join(root, n)\n"
      "            i = zipfile.ZipInfo.from_file(p, os.path.relpath(p, 'src'))\n"
      "            i.create_system = 0\n"
      "            i.external_attr = (0x10 if i.is_dir() else 0x20) | (0 if os.stat(p).st_mode & 0o200 else 1)\n"
      "            i.compress_type = zipfile.ZIP_STORED if i.is_dir() else zipfile.ZIP_DEFLATED\n"
      "            z.writestr(i, b'' if i.is_dir() else open(p, 'rb').read(), compresslevel=level)\n"
      "    z.close()\n"
      "for level in range(10):\n"
      "    pack('py%d.zip' % level, level)\n"
      "pack(sys.stdout.buffer, 6)\n";
  std::ofstream(Host("pack.py")) << script;
  ASSERT_EQ(Sh("python3 pack.py | cat > pypipe.zip"), 0);
  for (int level = 0; level <= 9; ++level) {
    const std::string name = "py" + std::to_string(level) + ".zip";
    ASSERT_EQ(Sh("unzip -qo " + name + " -d p-" + name), 0);
    EXPECT_EQ(ExpectLikePeer(name, "p-" + name, true), 5u);
  }
  ASSERT_EQ(Sh("unzip -qo pypipe.zip -d p-pipe"), 0);
  EXPECT_EQ(ExpectLikePeer("pypipe.zip", "p-pipe", true), 5u);
  // The attribute really came through: the read-only file is read-only.
  EXPECT_EQ(fs::status(Host("k-py6.zip/readonly.txt")).permissions() & fs::perms::owner_write,
            fs::perms::none);
  EXPECT_NE(fs::status(Host("k-py6.zip/text.txt")).permissions() & fs::perms::owner_write,
            fs::perms::none);
}

// Writers that cannot seek back put zeros or the zip64 marker where the local header's sizes
// go, and the CRC and sizes into a data descriptor after the data (or a zip64 extra field).
TEST_F(UnzipPeers, StreamingWritersStoredAndDeflated) {
  for (const char* peer : {"zip", "unzip", "python3", "bsdtar"}) {
    if (Sh(std::string("command -v ") + peer) != 0) GTEST_SKIP() << peer << " not installed";
  }
  std::ofstream(Host("stream.py")) <<
      "import io, os, sys, zipfile\n"
      "class Unseekable(io.RawIOBase):\n"
      "    def writable(self): return True\n"
      "    def seekable(self): return False\n"
      "    def write(self, b): return sys.stdout.buffer.write(b)\n"
      "z = zipfile.ZipFile(Unseekable(), 'w', zipfile.ZIP_STORED if sys.argv[1] == '0' else zipfile.ZIP_DEFLATED)\n"
      "for root, dirs, files in sorted(os.walk('.')):\n"
      "    for n in sorted(dirs) + sorted(files):\n"
      "        z.write(os.path.join(root, n), os.path.relpath(os.path.join(root, n)))\n"
      "z.close()\n";
  // name, command run in src/ that writes ../name, and how many files it holds.
  const std::vector<std::tuple<std::string, std::string, size_t>> archives = {
      {"py-stored.zip", "python3 ../stream.py 0 | cat > ../py-stored.zip", 5},
      {"py-deflated.zip", "python3 ../stream.py 8 | cat > ../py-deflated.zip", 5},
      {"zip-pipe0.zip", "zip -qr0 - . | cat > ../zip-pipe0.zip", 5},
      {"zip-fd0.zip", "zip -qr0 -fd ../zip-fd0.zip .", 5},
      {"zip-fd.zip", "zip -qr -fd ../zip-fd.zip .", 5},
      {"stdin0.zip", "cat text.txt | zip -q0 - - > ../stdin0.zip", 1},
      {"stdin.zip", "cat bin.dat | zip -q - - > ../stdin.zip", 1},
      {"stdin-pipe.zip", "cat text.txt | zip -q - - | cat > ../stdin-pipe.zip", 1},
      {"bsd-pipe0.zip", "bsdtar --format zip --options zip:compression=store -cf - . | cat > ../bsd-pipe0.zip", 5},
  };
  for (const auto& [name, command, files] : archives) {
    ASSERT_EQ(Sh("cd src && " + command), 0) << command;
    ASSERT_EQ(Sh("unzip -qo " + name + " -d p-" + name), 0) << name;
    EXPECT_EQ(ExpectLikePeer(name, "p-" + name, true), files);
  }
}

TEST_F(UnzipPeers, NamesInCodePage936) {
  const std::string name = MakeGbkArchive();
  // Python reads the names as GBK and writes them as the host's UTF-8, as Kestrel does.
  ASSERT_EQ(Sh("python3 -c \"import zipfile; zipfile.ZipFile('gbk.zip', metadata_encoding='gbk')"
               ".extractall('p-gbk')\""), 0);
  EXPECT_EQ(ExpectLikePeer(name, "p-gbk", false), 2u);
  EXPECT_TRUE(fs::exists(Host("k-gbk.zip/\xe4\xb8\xad\xe6\x96\x87.txt")));  // 中文.txt
}

TEST_F(UnzipPeers, ThousandsOfSmallFiles) {
  ASSERT_EQ(Sh("python3 -c \"import os\n"
               "for d in range(40):\n"
               "    os.makedirs('many/d%02d' % d)\n"
               "    for f in range(75):\n"
               "        open('many/d%02d/f%03d.txt' % (d, f), 'w').write('file %d %d\\n' % (d, f) * (f % 7))\""),
            0);
  ASSERT_EQ(Sh("cd many && zip -qr ../many.zip ."), 0);
  ASSERT_EQ(Sh("unzip -qo many.zip -d p-many"), 0);
  EXPECT_EQ(ExpectLikePeer("many.zip", "p-many", true), 3000u);
}

TEST_F(UnzipPeers, LargeFile) {
  // 256 MB of base64 text: deflate finds little to match, so the whole pipeline is exercised.
  ASSERT_EQ(Sh("mkdir big && head -c 201326592 /dev/urandom | base64 -w 76 > big/large.txt && "
               "cd big && zip -q -1 ../large.zip large.txt"), 0);
  ASSERT_EQ(UnZipFile(Drive("large.zip").c_str(), Drive("k-large").c_str(), ""), 1);
  EXPECT_EQ(Sh("cmp big/large.txt k-large/large.txt"), 0);
  EXPECT_EQ(Sh("unzip -tq large.zip"), 0);
}

// Cut and damaged copies of a peer archive: the call never fails with a crash, and whatever
// it writes is a file of the peer's tree with the peer's bytes.
TEST_F(UnzipPeers, TruncatedAndCorruptedCopies) {
  ASSERT_EQ(Sh("cd src && zip -qr ../whole.zip ."), 0);
  ASSERT_EQ(Sh("unzip -qo whole.zip -d p-whole"), 0);
  const auto peer = ReadTree(Host("p-whole"));
  std::ifstream in(Host("whole.zip"), std::ios::binary);
  const std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (int variant = 0; variant < 12; ++variant) {
    std::string bytes = whole;
    if (variant < 6) {
      bytes.resize(bytes.size() * size_t(variant + 1) / 7);
    } else {
      bytes[bytes.size() * size_t(variant - 5) / 7] ^= 0x5A;
    }
    const std::string name = "cut" + std::to_string(variant) + ".zip";
    std::ofstream(Host(name), std::ios::binary) << bytes;
    SCOPED_TRACE(name);
    const uint8_t result = UnZipFile(Drive(name).c_str(), Drive("k-" + name).c_str(), "");
    EXPECT_LE(result, 1);
    for (const auto& [path, node] : ReadTree(Host("k-" + name))) {
      SCOPED_TRACE(path);
      ASSERT_TRUE(peer.count(path));
      if (!node.directory) {
        EXPECT_TRUE(peer.at(path).bytes == node.bytes);
      }
    }
  }
}

}  // namespace
}  // namespace kestrel::interop
