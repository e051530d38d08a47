// Fuzz target for the directory walker: arbitrary bytes become an archive file that
// IsZipArchive judges and FirstZipEntry/NextZipEntry walk to the end. The first byte repeats
// a leading piece of the input (its length in the next two bytes) that many times, so small
// inputs can grow central directories past the 64000-byte window and reach streaming mode.
// Every walk must end with a documented code, close itself, and deliver bounded names.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/platform.h"
#include "reader/zip_walker.h"

namespace fs = std::filesystem;
using namespace kestrel;

namespace {

struct Workspace {
  fs::path root, file;
  std::string drive;
  Workspace() {
    root = fs::temp_directory_path() / ("kestrel_walker_fuzz_" + std::to_string(std::random_device{}()));
    fs::create_directories(root);
    file = root / "input.zip";
    os::host::DrivePath(file.string(), drive);
  }
  ~Workspace() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Workspace workspace;
  if (size < 3) return 0;
  const size_t repeat = data[0] == 0 ? 1 : data[0];
  const size_t pieceLength = std::min<size_t>(size - 3, data[1] | (data[2] << 8));
  const char* piece = reinterpret_cast<const char*>(data + 3);
  uint64_t fileSize = 0;
  {
    std::ofstream out(workspace.file, std::ios::binary | std::ios::trunc);
    for (size_t i = 0; i < repeat; ++i) out.write(piece, static_cast<std::streamsize>(pieceLength));
    out.write(piece + pieceLength, static_cast<std::streamsize>(size - 3 - pieceLength));
    fileSize = repeat * pieceLength + (size - 3 - pieceLength);
  }

  reader::IsZipArchive(workspace.drive);

  reader::ZipDirEntry entry;
  int32_t result = reader::FirstZipEntry(workspace.drive, entry);
  // Every record takes at least its 46 fixed bytes, so a walk cannot deliver more entries.
  uint64_t delivered = 0;
  while (result == 0) {
    if (entry.name.size() > reader::kMaxEntryName || entry.name.find('\0') != std::string::npos)
      std::abort();
    if (entry.position > entry.windowSize || entry.windowSize > reader::kMaxWalkerWindow) std::abort();
    if (++delivered > fileSize / 46 + 1) std::abort();
    result = reader::NextZipEntry(entry);
  }
  if (result != 1 && result != -1 && result != -2) std::abort();
  if (entry.window || entry.file != os::kInvalidFile) std::abort();
  if (reader::NextZipEntry(entry) != -2) std::abort();
  return 0;
}
