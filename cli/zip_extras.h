// zip_extras.h — the options of `kestrel zip` that reach the component's own features:
// --password (asked on the terminal without echo), --password-file FILE (its first line, for
// scripts), --split SIZE (numbered block files of SIZE bytes, with k or m for KiB / MiB) and
// --span (across the floppy disks of drive A:, which --floppy DIR provides).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::writer {
class TLynZip;
}

namespace kestrel::cli {

struct ZipExtras {
  bool askPassword = false;
  std::string passwordFile;
  std::string password;   // resolved by ResolvePassword
  int32_t splitSize = 0;  // 0: no block files
  bool span = false;
};

// Removes the options above from args; false (with error set) on a missing or bad value or
// when they contradict each other.
bool TakeZipExtras(std::vector<std::string>& args, ZipExtras& extras, std::string& error);
// "1457600", "64k", "2m" -> bytes; false for anything else, 0, or more than 2 GiB - 1.
bool ParseSize(const std::string& text, int32_t& bytes);
// Fills extras.password from the file or the terminal; false (with error set) when it cannot
// be had or is empty.
bool ResolvePassword(ZipExtras& extras, std::string& error);
// Sets the password and the multi-volume mode on the component.
void ApplyZipExtras(const ZipExtras& extras, writer::TLynZip& zip);

}  // namespace kestrel::cli
