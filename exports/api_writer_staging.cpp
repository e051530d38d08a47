// api_writer_staging.cpp — the writer's temporary directory for data from memory and read
// callbacks.
// The entry-level interface exists on Linux hosts only.
#if !defined(_WIN32)

#include "exports/api_writer_staging.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>
#include <vector>


namespace kestrel::exports {

namespace fs = std::filesystem;

namespace {

// Data is copied from the callback in blocks of this size: memory stays bounded.
constexpr size_t kStageBlock = 65536;
constexpr int kNameAttempts = 100;

}  // namespace

Staging::Staging(std::string& error) {
  std::error_code ec;
  const fs::path base = fs::temp_directory_path(ec);
  if (ec) {
    error = "no temporary directory: " + ec.message();
    return;
  }
  std::random_device random;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const fs::path dir = base / ("kestrel-w" + std::to_string(random()));
    if (fs::create_directory(dir, ec)) {
      directory_ = dir.string();
      return;
    }
    if (ec) break;
  }
  error = "cannot create a temporary directory in " + base.string() +
          (ec ? ": " + ec.message() : std::string());
}

Staging::~Staging() {
  if (directory_.empty()) return;
  std::error_code ec;
  fs::remove_all(directory_, ec);
}

int Staging::Put(const std::string& name, kestrel_read_fn read, void* context,
                 std::string& hostPath, bool& newName, std::string& error) {
  const fs::path target = fs::path(directory_) / name;
  std::error_code ec;
  const bool directory = name.back() == '/';
  fs::create_directories(directory ? target : target.parent_path(), ec);
  if (ec) {
    error = "cannot stage " + name + ": " + ec.message();
    return KESTREL_E_IO;
  }
  hostPath = target.string();
  newName = names_.insert(name).second;
  if (directory) return KESTREL_OK;
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  std::vector<char> block(kStageBlock);
  int result = out ? KESTREL_OK : KESTREL_E_IO;
  while (result == KESTREL_OK) {
    const int64_t got = read(context, block.data(), block.size());
    if (got == 0) break;
    if (got < 0 || static_cast<uint64_t>(got) > block.size()) {
      error = "the read callback for " + name + " reported a failure";
      result = KESTREL_E_CALLBACK;
    } else if (!out.write(block.data(), got)) {
      result = KESTREL_E_IO;
    }
  }
  if (result == KESTREL_OK && !out.flush()) result = KESTREL_E_IO;
  if (result == KESTREL_E_IO) error = "cannot stage " + name + ": " + std::strerror(errno);
  if (result != KESTREL_OK) {
    out.close();
    fs::remove(target, ec);
    if (newName) names_.erase(name);
  }
  return result;
}

}  // namespace kestrel::exports

#endif
