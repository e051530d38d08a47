// unpack_driver.cpp — `unpack_driver ARCHIVE DIR`: unpacks ARCHIVE into DIR through the
// library's extraction driver (see library_unpack.h); the unpack benchmark's stand-in where
// the kestrel command cannot unpack yet, and its in-process reference otherwise.
#include <cstdio>
#include <filesystem>

#include "bench/library_unpack.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: unpack_driver ARCHIVE DIR\n");
    return 2;
  }
  std::error_code ec;
  const std::string archive = std::filesystem::absolute(argv[1], ec).string();
  const std::string dir = std::filesystem::absolute(argv[2], ec).string();
  std::filesystem::create_directories(dir, ec);
  return bench::UnpackWithLibrary(archive, dir) == 0 ? 0 : 1;
}
