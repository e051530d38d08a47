// legacy_harness.h — runs one old-method decoder on raw compressed bytes, the way the
// extraction driver calls it: the bytes sit in a real file opened through the platform layer as
// the archive, the output goes to a real file, and State() holds sizes, flags and the window.
// Header-only so that the fuzz targets can use it too.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "reader/explode.h"
#include "reader/unreduce.h"
#include "reader/unshrink.h"
#include "reader/unzip_state.h"

namespace kestrel::testing {

struct DecodeRun {
  int result = -100;
  std::vector<uint8_t> output;
  uint32_t crc = 0;  // final CRC-32 of everything flushed
  double seconds = 0;  // time spent in the decoder alone
};

struct DecodeRequest {
  int method = 1;
  uint16_t flags = 0;
  std::vector<uint8_t> data;         // the compressed bytes
  std::vector<uint8_t> trailer;      // bytes after them in the file (the next record)
  int32_t uncompressedSize = 0;
  int32_t compressedSize = -1;       // -1: data.size()
  bool cancel = false;               // hold the cancel key during the run
  bool failWrites = false;           // the output file refuses writes
};

class LegacyScratch {
 public:
  LegacyScratch() {
    std::random_device rd;
    dir_ = std::filesystem::temp_directory_path() /
           ("kestrel_legacy_" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(dir_);
  }
  ~LegacyScratch() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  const std::filesystem::path& Dir() const { return dir_; }
  std::filesystem::path Path(const std::string& name) const { return dir_ / name; }

 private:
  std::filesystem::path dir_;
};

inline std::string DrivePathOf(const std::filesystem::path& host) {
  std::string drive;
  if (!os::host::DrivePath(host.string(), drive)) return {};
  return drive;
}

inline std::vector<uint8_t> ReadHostFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
}

inline void WriteHostFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// True when `unzip -t` accepts the archive.
inline bool PeerUnzipAccepts(const std::filesystem::path& archive) {
  const std::string command = "unzip -tqq '" + archive.string() + "' >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

// Calls the decoder of request.method on request.data in the scratch directory.
inline DecodeRun RunLegacyDecoder(const LegacyScratch& scratch, const DecodeRequest& request) {
  using namespace kestrel::reader;
  DecodeRun run;
  std::vector<uint8_t> file = request.data;
  file.insert(file.end(), request.trailer.begin(), request.trailer.end());
  const auto in = scratch.Path("input.bin");
  const auto out = scratch.Path("output.bin");
  WriteHostFile(in, file);

  UnzipState& st = State();
  st = UnzipState{};
  st.archive = os::OpenFile(DrivePathOf(in), os::Access::Read, os::Disposition::OpenExisting);
  if (request.failWrites) {
    WriteHostFile(out, {});  // opened for reading only: every write fails
    st.output = os::OpenFile(DrivePathOf(out), os::Access::Read, os::Disposition::OpenExisting);
  } else {
    st.output = os::OpenFile(DrivePathOf(out), os::Access::Write, os::Disposition::CreateAlways);
  }
  if (st.archive == os::kInvalidFile || st.output == os::kInvalidFile) return run;
  st.input.Attach(st.archive);
  auto window = std::make_unique<uint8_t[]>(kWindowSize);  // zero-filled
  st.window = window.get();
  st.compressedSize =
      request.compressedSize < 0 ? int32_t(request.data.size()) : request.compressedSize;
  st.uncompressedSize = request.uncompressedSize;
  st.flags = request.flags;
  st.crc = 0xFFFFFFFFu;
  st.notifyId = 27;  // the Escape key, as the library itself passes
  os::host::SetCancel(request.cancel);

  const auto start = std::chrono::steady_clock::now();
  switch (request.method) {
    case 1: run.result = Unshrink(); break;
    case 2: case 3: case 4: case 5: run.result = Unreduce(request.method); break;
    case 6: run.result = Explode(); break;
    default: run.result = ExtractUnsupported; break;
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  os::host::SetCancel(false);
  run.crc = st.crc ^ 0xFFFFFFFFu;
  os::CloseFile(st.archive);
  os::CloseFile(st.output);
  st.archive = st.output = os::kInvalidFile;
  st.window = nullptr;
  run.output = ReadHostFile(out);
  return run;
}

}  // namespace kestrel::testing
