// The writer updating an existing archive of arbitrary bytes through the component's run:
// it loads the hostile directory, merges its entries and writes a new archive. A run that
// fails must leave the old bytes exactly; one that succeeds must leave an archive the
// component reads back with every file packed; neither may leave a temporary file.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "archive/lyn_unzip.h"
#include "classlib/exception.h"
#include "fuzz_drive_path.h"
#include "platform/platform.h"
#include "writer/lyn_zip.h"

namespace fs = std::filesystem;

namespace {

struct Workspace {
  fs::path root;
  Workspace() {
    root = fs::temp_directory_path() / ("kestrel-update-fuzz-" + std::to_string(std::random_device{}()));
    fs::create_directories(root / "src");
    std::ofstream(root / "src" / "a.txt") << "alpha alpha alpha\n";
    std::ofstream(root / "src" / "b.bin", std::ios::binary) << std::string(3000, '\x07');
    // Prompts (a disk to insert, a file to replace) are answered at once, never shown.
    kestrel::os::host::SetMessageHandler([](const std::string&, const std::string&, uint32_t) {
      return 2;  // Cancel
    });
  }
  ~Workspace() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kestrel;
  static Workspace ws;
  if (size < 1) return 0;
  const uint8_t options = data[0];
  const fs::path archive = ws.root / "a.zip";
  const std::string old(reinterpret_cast<const char*>(data + 1), size - 1);
  std::ofstream(archive, std::ios::binary | std::ios::trunc) << old;

  int32_t packed = 0;
  bool failed = false;
  {
    writer::TLynZip zip;
    zip.SetZipName(DrivePathOf(archive.string()));
    zip.SetRelativePaths(true);
    zip.SetRootDir(DrivePathOf((ws.root / "src").string()));
    zip.SetPackLevel(options % 10);
    zip.SetIncompleteZipMode(static_cast<archive::TIncompleteZipMode>((options >> 4) % 3));
    zip.OnGetNextDisk = [](classlib::Object*, int32_t, std::string& name) { name.clear(); };
    zip.FilesList().Add((options & 0x40) ? "a.txt" : "*.*");
    try {
      packed = zip.RunZip();
    } catch (const classlib::Exception&) {
      failed = true;
    }
  }
  size_t beside = 0;  // the scratch root holds the source folder and the archive, nothing else
  for (const auto& entry : fs::directory_iterator(ws.root)) {
    (void)entry;
    ++beside;
  }
  if (beside != 2) std::abort();
  const bool unchanged = ReadAll(archive) == old;
  if (failed && !unchanged) std::abort();  // a failed update must not touch the archive
  if (failed || unchanged) return 0;
  archive::TLynUnZip check;
  check.SetZipName(DrivePathOf(archive.string()));
  try {
    check.OpenZip();
  } catch (const classlib::Exception&) {
    std::abort();  // the run reported success for an archive that cannot be read
  }
  if (check.Count() < packed) std::abort();
  return 0;
}
