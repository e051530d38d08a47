// Loads a first disk without an end record beside arbitrary ".zfc" bytes through the zip
// component, so the configuration file's records, its end record and the checks that it
// matches the disk get arbitrary input. Input: two bytes (little-endian) giving the length
// of the disk file, the disk file, then the configuration file. Any outcome but an
// exception of the class library's family (or a crash, leak or hang) is a fault.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "archive/lyn_unzip.h"
#include "classlib/exception.h"
#include "fuzz_drive_path.h"
#include "platform/platform.h"

namespace {

std::string Scratch(const char* ext) {
  static const std::string base =
      (std::filesystem::temp_directory_path() / "kestrel-zfc-fuzz").string();
  return base + ext;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kestrel::archive;
  if (size < 2) return 0;
  size_t diskSize = static_cast<size_t>(data[0] | data[1] << 8);
  if (diskSize > size - 2) diskSize = size - 2;
  const std::string disk = Scratch(".001");
  const std::string config = Scratch(".zfc");
  WriteFile(disk, data + 2, diskSize);
  WriteFile(config, data + 2 + diskSize, size - 2 - diskSize);
  TLynUnZip z;
  // Later disks are never there: the load must end in a cancellation, not a wait.
  z.OnGetNextDisk = [](kestrel::classlib::Object*, int32_t, std::string& name) { name.clear(); };
  try {
    z.SetZipName(DrivePathOf(disk));
    z.OpenZip();
    (void)z.ZipComment();
    for (int32_t i = 0; i < z.Count(); ++i) {
      (void)z.DateTimeOf(i);
      (void)z.FileCommentOf(i);
    }
  } catch (const kestrel::classlib::Exception&) {
  }
  std::remove(disk.c_str());
  std::remove(config.c_str());
  return 0;
}
