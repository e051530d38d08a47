// Loads arbitrary bytes as an archive through the zip component: the end record search, the
// directory loader, the repair scan and the lazy comment and date reads. Any outcome but an
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

std::string ScratchFile(const char* ext) {
  static const std::string base =
      (std::filesystem::temp_directory_path() / "kestrel-component-fuzz").string();
  return base + ext;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kestrel::archive;
  if (size < 1) return 0;
  // The first byte picks the options; the rest is the file.
  const uint8_t options = data[0];
  const char* ext = (options & 0x10) ? ".EXE" : ".zip";
  const std::string host = ScratchFile(ext);
  {
    std::ofstream out(host, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
  }
  TLynUnZip z;
  z.SetIncompleteZipMode(static_cast<TIncompleteZipMode>(options % 3));
  z.SetSortMode(static_cast<TZipSortMode>((options >> 2) & 7));
  z.SetKeepZipOpen((options & 0x20) != 0);
  // Other disks are never there: the load must end in a cancellation, not a wait.
  z.OnGetNextDisk = [](kestrel::classlib::Object*, int32_t, std::string& name) { name.clear(); };
  try {
    z.SetZipName(DrivePathOf(host));
    z.OpenZip();
    (void)z.ZipComment();
    for (int32_t i = 0; i < z.Count(); ++i) {
      (void)z.DateTimeOf(i);
      (void)z.FileCommentOf(i);
      (void)z.Entry(i).CentralSize();
    }
    z.ApplySortMode(ByName);
    z.ApplySortMode(ByRate);
  } catch (const kestrel::classlib::Exception&) {
  }
  std::remove(host.c_str());
  return 0;
}
