// peer_archives.h — the interop tests' ground: a scratch directory with a source tree, peers
// run as black boxes, and the central directory as `zipinfo -v` reports it.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kestrel::interop {

namespace fs = std::filesystem;

// One entry as zipinfo -v describes it.
struct PeerEntry {
  std::string name;
  uint32_t offset = 0;
  std::string method;    // "deflated", "none (stored)", ...
  std::string modified;  // DOS date and time, "2024 May 1 12:00:00"
  uint32_t crc32 = 0;
  uint32_t compressedSize = 0;
  uint32_t uncompressedSize = 0;
  bool dosOrigin = false;
  uint32_t dosAttributes = 0;
};

class PeerScratch : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "kestrel-interop-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    // The tree every peer packs: text, binary, empty file, nested and empty directories.
    fs::create_directories(dir_ / "src" / "sub" / "deeper");
    fs::create_directories(dir_ / "src" / "hollow");
    std::ofstream(dir_ / "src" / "text.txt") << Lines(400);
    std::ofstream(dir_ / "src" / "sub" / "inner.txt") << "inner file\n";
    std::ofstream(dir_ / "src" / "sub" / "deeper" / "empty.txt");
    std::mt19937 random(7);
    std::string binary(6000, '\0');
    for (char& c : binary) c = static_cast<char>(random());
    std::ofstream(dir_ / "src" / "bin.dat", std::ios::binary) << binary;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  static std::string Lines(int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += "line " + std::to_string(i) + " of a compressible text\n";
    return text;
  }
  // Runs a shell command in the scratch directory; its output is dropped.
  int Sh(const std::string& command) const {
    return std::system(("cd '" + dir_.string() + "' && (" + command + ") >/dev/null 2>&1").c_str());
  }
  std::string Capture(const std::string& command) const {
    std::string out;
    FILE* pipe = popen(("cd '" + dir_.string() + "' && " + command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
    pclose(pipe);
    return out;
  }
  std::string Drive(const std::string& name) const {
    std::string drive;
    EXPECT_TRUE(os::host::DrivePath((dir_ / name).string(), drive)) << name;
    return drive;
  }
  fs::path Host(const std::string& name) const { return dir_ / name; }

  std::vector<PeerEntry> Zipinfo(const std::string& archive) const {
    return ParseZipinfo(Capture("zipinfo -v '" + archive + "'"));
  }

  // The peers' archives of the source tree; each returns the names it made.
  std::vector<std::string> MakeZipArchives() const {
    EXPECT_EQ(Sh("cd src && zip -qr ../deflated.zip . && zip -qr0 ../stored.zip . && "
                 "echo 'an archive comment' | zip -qz ../deflated.zip"), 0);
    return {"deflated.zip", "stored.zip"};
  }
  std::vector<std::string> MakeSevenZipAndBsdtarArchives() const {
    EXPECT_EQ(Sh("cd src && 7z a -bd -tzip ../seven.zip . && 7z a -bd -tzip -mx0 ../seven0.zip ."), 0);
    EXPECT_EQ(Sh("cd src && bsdtar --format zip -cf ../bsd.zip . && "
                 "bsdtar --format zip --options zip:compression=store -cf ../bsd0.zip ."), 0);
    return {"seven.zip", "seven0.zip", "bsd.zip", "bsd0.zip"};
  }
  // Archive and file comments, an extra field, an MS-DOS host entry with attributes, a
  // directory, an empty file and a UTF-8 name (flag bit 11).
  std::string MakePythonArchive() const {
    EXPECT_EQ(Sh("python3 -c \"import zipfile\n"
                 "z = zipfile.ZipFile('py.zip', 'w')\n"
                 "z.comment = b'archive comment'\n"
                 "i = zipfile.ZipInfo('dos/attr.txt', (2001, 2, 3, 4, 5, 6))\n"
                 "i.create_system = 0; i.external_attr = 0x21; i.comment = b'a file comment'\n"
                 "i.extra = b'\\\\x99\\\\x99\\\\x04\\\\x00abcd'\n"
                 "z.writestr(i, 'x' * 5000, zipfile.ZIP_DEFLATED)\n"
                 "z.writestr(zipfile.ZipInfo('folder/'), b'')\n"
                 "z.writestr(zipfile.ZipInfo('folder/empty'), b'')\n"
                 "z.writestr('\xe4\xb8\xad\xe6\x96\x87/\xe6\x96\x87.txt', 'text', zipfile.ZIP_STORED)\n"
                 "z.close()\""), 0);
    return "py.zip";
  }
  // 中文.txt and 目录/ (a directory) as GBK bytes on disk, as a Chinese Windows names them.
  std::string MakeGbkArchive() const {
    fs::create_directories(Host("gbk/\xC4\xBF\xC2\xBC"));
    std::ofstream(Host("gbk/\xD6\xD0\xCE\xC4.txt")) << "gbk\n";
    std::ofstream(Host("gbk/\xC4\xBF\xC2\xBC/\xCE\xC4.txt")) << "inner\n";
    EXPECT_EQ(Sh("cd gbk && zip -qr ../gbk.zip ."), 0);
    return "gbk.zip";
  }
  // A DOS image of two whole pages, then a zip archive whose offsets zip -A adjusts.
  std::string MakeSelfExtractor() const {
    EXPECT_EQ(Sh("cd src && zip -qr ../plain.zip ."), 0);
    std::string stub(1024, '\0');
    stub[0] = 'M';
    stub[1] = 'Z';
    stub[4] = 2;  // pages; 0 bytes on the last page: the image is 1024 bytes
    {
      std::ofstream out(Host("sfx.exe"), std::ios::binary);
      out << stub << std::ifstream(Host("plain.zip"), std::ios::binary).rdbuf();
    }
    EXPECT_EQ(Sh("zip -qA sfx.exe"), 0);
    return "sfx.exe";
  }
  // A central directory of more than twice the walker's 64000-byte window.
  std::string MakeLargeDirectoryArchive() const {
    EXPECT_EQ(Sh("python3 -c \"import zipfile\n"
                 "z = zipfile.ZipFile('large.zip', 'w', zipfile.ZIP_DEFLATED)\n"
                 "for i in range(1500):\n"
                 "    z.writestr('directory/with/a/long/path/entry-%04d-' % i + 'n' * (i % 40), str(i) * (i % 9))\n"
                 "z.close()\""), 0);
    return "large.zip";
  }
  std::vector<std::string> MakeEveryArchive() const {
    std::vector<std::string> names = MakeZipArchives();
    for (const std::string& name : MakeSevenZipAndBsdtarArchives()) names.push_back(name);
    for (const std::string& name : {MakePythonArchive(), MakeGbkArchive(), MakeSelfExtractor(),
                                    MakeLargeDirectoryArchive()}) {
      names.push_back(name);
    }
    return names;
  }

  static std::vector<PeerEntry> ParseZipinfo(const std::string& text) {
    std::vector<PeerEntry> entries;
    std::istringstream in(text);
    std::string line;
    auto value = [&line] {
      const size_t colon = line.find(':');
      size_t start = line.find_first_not_of(' ', colon + 1);
      return start == std::string::npos ? std::string() : line.substr(start);
    };
    while (std::getline(in, line)) {
      if (line.rfind("Central directory entry #", 0) == 0) {
        // The name is the first line after the dashes that is not a remark on the gap
        // between entries.
        std::getline(in, line);
        while (std::getline(in, line) &&
               (line.empty() || line.rfind("  There are an extra", 0) == 0)) {
        }
        entries.emplace_back();
        entries.back().name = line.substr(2);
        continue;
      }
      if (entries.empty()) continue;
      PeerEntry& e = entries.back();
      const std::string trimmed = line.substr(line.find_first_not_of(' ') == std::string::npos
                                                  ? line.size()
                                                  : line.find_first_not_of(' '));
      auto starts = [&trimmed](const char* prefix) { return trimmed.rfind(prefix, 0) == 0; };
      if (starts("offset of local header")) {
        e.offset = static_cast<uint32_t>(std::stoul(value()));
      } else if (starts("compression method:")) {
        e.method = value();
      } else if (starts("file last modified on (DOS date/time):")) {
        e.modified = value();
      } else if (starts("32-bit CRC value (hex):")) {
        e.crc32 = static_cast<uint32_t>(std::stoul(value(), nullptr, 16));
      } else if (starts("compressed size:")) {
        e.compressedSize = static_cast<uint32_t>(std::stoul(value()));
      } else if (starts("uncompressed size:")) {
        e.uncompressedSize = static_cast<uint32_t>(std::stoul(value()));
      } else if (starts("file system or operating system of origin:")) {
        e.dosOrigin = value().rfind("MS-DOS", 0) == 0;
      } else if (starts("MS-DOS file attributes (")) {
        e.dosAttributes = static_cast<uint32_t>(std::stoul(trimmed.substr(24), nullptr, 16));
      }
    }
    return entries;
  }

  fs::path dir_;
};

}  // namespace kestrel::interop
