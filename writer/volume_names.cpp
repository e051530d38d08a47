// volume_names.cpp — block file names, disk labels and the configuration file name.
#include "writer/volume_names.h"

#include "classlib/format.h"
#include "classlib/path_utils.h"

namespace kestrel::writer {

std::string BlockFileName(const std::string& zipName, int32_t volume) {
  return classlib::ChangeFileExt(zipName, classlib::Format(".%3.3d", volume));
}

std::string DiskLabel(int32_t disk) { return classlib::Format("PKBACK# %3.3d", disk); }

std::string ConfigurationFileName(const std::string& zipName) {
  return classlib::ChangeFileExt(zipName, ".zfc");
}

bool IsFloppyDrivePath(const std::string& zipName) {
  if (zipName.empty()) return false;
  char letter = zipName[0];
  return letter == 'A' || letter == 'a' || letter == 'B' || letter == 'b';
}

}  // namespace kestrel::writer
