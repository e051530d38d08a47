// is_zip.cpp — the exported isZip: the reader's IsZipArchive, nothing more.
#include "kestrel.h"
#include "reader/zip_walker.h"

extern "C" uint8_t KESTREL_CALL isZip(const char* path) {
  if (path == nullptr) return 0;
  // Nothing may unwind into a foreign caller: running out of memory answers "no".
  try {
    return kestrel::reader::IsZipArchive(path) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}
