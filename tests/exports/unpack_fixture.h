// unpack_fixture.h — shared by the unpacking tests: a scratch folder with its drive path,
// archives written by Python's zipfile (any name, attribute or host byte), peers run as
// commands, and snapshots of a whole tree to prove that nothing outside a folder changed.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "exports/unpack_walk.h"
#include "platform/platform.h"
#include "reader/zip_walker.h"

namespace kestrel::testing {

namespace fs = std::filesystem;

inline std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
}

// Runs a shell command; returns its exit status (-1 when it did not exit normally).
inline int Shell(const std::string& command) {
  const int raw = std::system(command.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

inline std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

inline bool HavePeer(const char* name) {
  return Shell(std::string("command -v ") + name + " >/dev/null 2>&1") == 0;
}

// CRC-32 of the zip format, bit by bit (independent of the library's table).
inline uint32_t BitwiseCrc32(const std::string& data) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : data) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

// One entry for Python's zipfile: name is ASCII (written as it is, whatever it contains).
struct PyEntry {
  std::string name;
  std::string data;
  bool deflate = true;
  uint32_t externalAttributes = 0;
  int createSystem = 0;  // 0 MS-DOS: the low byte of the attributes counts
};

// Entries made on Unix: st_mode in the high half of the attributes (stored, not deflated).
inline constexpr uint32_t kUnixLink = 0120777u << 16;
inline constexpr uint32_t kUnixFile = 0100644u << 16;
inline PyEntry Unix(const std::string& name, const std::string& data, uint32_t attributes) {
  return PyEntry{name, data, false, attributes, 3};
}

// The permission bits (and setuid, setgid, sticky) of path itself.
inline uint32_t PermissionsOf(const fs::path& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

inline std::string PythonBytes(const std::string& bytes) {
  static const char* hex = "0123456789abcdef";
  std::string out = "bytes.fromhex('";
  for (unsigned char c : bytes) {
    out += hex[c >> 4];
    out += hex[c & 15];
  }
  return out + "')";
}

// Writes archive with the entries, in order, stamped 2020-05-17 10:20:30. streamed: written
// to a stream that cannot seek, as zipfile does it then: flag bit 3, zeros for the CRC and
// sizes in the local headers, and a data descriptor (with its signature) behind the data.
inline void WritePyZip(const fs::path& archive, const std::vector<PyEntry>& entries,
                       bool streamed = false) {
  std::string script = "import io, zipfile\n";
  if (streamed) {
    script +=
        "class Unseekable(io.RawIOBase):\n"
        "    def __init__(self, f): self.f = f\n"
        "    def writable(self): return True\n"
        "    def seekable(self): return False\n"
        "    def write(self, b): return self.f.write(b)\n"
        "out = Unseekable(open(" + PythonBytes(archive.string()) + ".decode(), 'wb'))\n";
  } else {
    script += "out = " + PythonBytes(archive.string()) + ".decode()\n";
  }
  script += "z = zipfile.ZipFile(out, 'w')\n";
  for (const PyEntry& e : entries) {
    script += "i = zipfile.ZipInfo(" + PythonBytes(e.name) + ".decode('ascii'), (2020, 5, 17, 10, 20, 30))\n";
    script += std::string("i.compress_type = zipfile.") + (e.deflate ? "ZIP_DEFLATED" : "ZIP_STORED") + "\n";
    script += "i.create_system = " + std::to_string(e.createSystem) + "\n";
    script += "i.external_attr = " + std::to_string(e.externalAttributes) + "\n";
    script += "z.writestr(i, " + PythonBytes(e.data) + ")\n";
  }
  script += "z.close()\n";
  if (streamed) script += "out.f.close()\n";
  const fs::path file = archive.string() + ".py";
  WriteBytes(file, script);
  ASSERT_EQ(Shell("python3 " + Quoted(file)), 0) << script;
  fs::remove(file);
}

// Every path under root with its type, size, mode, mtime and content CRC.
inline std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> tree;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::none, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    struct stat st {};
    if (::lstat(it->path().c_str(), &st) != 0) continue;
    std::string state = std::to_string(st.st_mode) + " " + std::to_string(st.st_size) + " " +
                        std::to_string(st.st_mtime);
    if (S_ISREG(st.st_mode)) state += " " + std::to_string(BitwiseCrc32(ReadBytes(it->path())));
    tree[it->path().string()] = state;
  }
  return tree;
}

// Records each entry's result, by name as the walker delivers it.
struct ResultRecorder : exports::WalkObserver {
  std::vector<std::pair<std::string, int>> results;
  bool AfterEntry(const reader::ZipDirEntry& entry, int result) override {
    results.emplace_back(entry.name, result);
    return true;
  }
};

// A scratch folder removed with everything in it (read-only files included) at the end.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& tag) {
    std::random_device rd;
    root_ = fs::temp_directory_path() / ("kestrel_" + tag + "_" + std::to_string(rd()));
    fs::create_directories(root_);
  }
  ~ScratchFolder() {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root_, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(root_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const fs::path& root() const { return root_; }
  fs::path operator/(const std::string& name) const { return root_ / name; }

 private:
  fs::path root_;
};

// The drive path (C:\...) of a host path.
inline std::string DriveOf(const fs::path& host) {
  std::string drive;
  EXPECT_TRUE(os::host::DrivePath(host.string(), drive)) << host;
  return drive;
}

// Checks every file that archive's directory names under dest against the CRC the directory
// stores; returns the number of entries checked.
inline int ExpectCentralCrcs(const fs::path& archive, const fs::path& dest) {
  int checked = 0;
  reader::ZipDirEntry entry;
  for (int32_t r = reader::FirstZipEntry(DriveOf(archive), entry); r == 0;
       r = reader::NextZipEntry(entry)) {
    std::string name = entry.name;
    for (char& c : name) c = c == '\\' ? '/' : c;
    EXPECT_EQ(BitwiseCrc32(ReadBytes(dest / name)), entry.crc32) << name;
    ++checked;
  }
  return checked;
}

}  // namespace kestrel::testing
