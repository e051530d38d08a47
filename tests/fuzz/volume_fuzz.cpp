// Fuzz target for the volume set joiner: arbitrary bytes become up to three volume files
// (the first byte chooses where they are cut) and JoinVolumes runs over them with every
// question answered No. A failed join must leave the output directory empty; a successful one
// may only have created one plain file there.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "exports/volume_set.h"
#include "platform/platform.h"

namespace fs = std::filesystem;
using namespace kestrel;

namespace {

struct Workspace {
  fs::path root, in, out;
  std::string inDrive, outDrive;
  Workspace() {
    root = fs::temp_directory_path() / ("kestrel_volume_fuzz_" + std::to_string(std::random_device{}()));
    in = root / "in";
    out = root / "out";
    fs::create_directories(in);
    fs::create_directories(out);
    os::host::DrivePath(in.string(), inDrive);
    os::host::DrivePath(out.string(), outDrive);
    os::host::SetMessageHandler([](const std::string&, const std::string&, uint32_t flags) {
      return (flags & 0x0F) == os::kMbYesNo ? int{os::kIdNo} : int{os::kIdOk};
    });
  }
  ~Workspace() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
};

void Write(const fs::path& path, const uint8_t* data, size_t size) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Workspace ws;
  if (size < 1) return 0;
  // First byte: the share of the rest that goes to volume 1; volumes 2 and 3 halve the rest.
  const size_t body = size - 1;
  const size_t first = body * data[0] / 255;
  const size_t second = (body - first) / 2;
  Write(ws.in / "v.m01", data + 1, first);
  Write(ws.in / "v.m02", data + 1 + first, second);
  Write(ws.in / "v.m03", data + 1 + first + second, body - first - second);

  std::string stored;
  const int32_t ok = exports::JoinVolumes(ws.inDrive + "\\v.m01", ws.outDrive, stored);
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(ws.out)) {
    (void)entry;
    ++files;
  }
  size_t beside = 0;  // nothing may appear next to "in" and "out"
  for (const auto& entry : fs::directory_iterator(ws.root)) {
    (void)entry;
    ++beside;
  }
  if (beside != 2) std::abort();
  if (ok == 0 && files != 0) std::abort();  // a failed join left something behind
  if (ok == 1 && (files != 1 || stored.empty() || stored.size() > 50)) std::abort();
  if (ok == 1) exports::IsVolumeSetFile(ws.outDrive + "\\" + stored);
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(ws.out)) fs::remove_all(entry.path(), ec);
  return 0;
}
