// Fuzz target for unpacking: arbitrary bytes are the archive. UnZipFile unpacks it into a
// scratch folder, the same walk runs in test mode, and ExtractEntry and TestEntry also decode
// whatever stands at offset 0 (so the decoders run even when the directory is broken).
// Nothing may appear outside the output folder, and a failed call leaves no file behind.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "exports/unpack_walk.h"
#include "kestrel.h"
#include "platform/platform.h"
#include "reader/extract_entry.h"

namespace fs = std::filesystem;
using namespace kestrel;

namespace {

struct Workspace {
  fs::path root, archive, out;
  std::string archiveDrive, outDrive;
  Workspace() {
    root = fs::temp_directory_path() / ("kestrel_extract_fuzz_" + std::to_string(std::random_device{}()));
    archive = root / "in.zip";
    out = root / "out";
    fs::create_directories(out);
    os::host::DrivePath(archive.string(), archiveDrive);
    os::host::DrivePath(out.string(), outDrive);
  }
  ~Workspace() { Clear(root); }
  static void Clear(const fs::path& dir) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); it != fs::recursive_directory_iterator();
         it.increment(ec)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(dir, ec);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Workspace ws;
  {
    std::ofstream file(ws.archive, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  UnZipFile(ws.archiveDrive.c_str(), ws.outDrive.c_str(), "");
  exports::UnpackArchive(ws.archiveDrive, ws.outDrive, exports::WalkMode::Test, nullptr);
  reader::TestEntry(ws.archiveDrive.c_str(), 0, 0, 0, nullptr);
  const std::string single = ws.outDrive + "\\single.bin";
  const int singleResult =
      reader::ExtractEntry(ws.archiveDrive.c_str(), single.c_str(), 0, 0, nullptr, 0, nullptr);
  if (singleResult != 0 && fs::exists(ws.out / "single.bin")) {
    std::abort();  // a failed entry left its file behind
  }

  size_t beside = 0;  // the scratch root holds the archive and the output folder, nothing else
  for (const auto& entry : fs::directory_iterator(ws.root)) {
    (void)entry;
    ++beside;
  }
  if (beside != 2) std::abort();
  for (const auto& entry : fs::directory_iterator(ws.out)) Workspace::Clear(entry.path());
  return 0;
}
