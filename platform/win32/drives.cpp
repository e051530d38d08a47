// drives.cpp — drive type, free space, volume labels and the critical-error mode.
#include "platform/win32/wide_names.h"

namespace kestrel::os {

uint32_t GetDriveType(const std::string& root) {
  return win32::ByName(root, UINT{DRIVE_NO_ROOT_DIR}, ::GetDriveTypeA, ::GetDriveTypeW);
}

bool GetDiskFreeSpace(const std::string& root, uint64_t& freeBytes, uint64_t& totalBytes) {
  ULARGE_INTEGER available, total, totalFree;
  if (!win32::ByName(
          root, FALSE,
          [&](const char* a) { return ::GetDiskFreeSpaceExA(a, &available, &total, &totalFree); },
          [&](const wchar_t* w) {
            return ::GetDiskFreeSpaceExW(w, &available, &total, &totalFree);
          })) {
    return false;
  }
  // What this caller may still write, which is what a write plan needs.
  freeBytes = available.QuadPart;
  totalBytes = total.QuadPart;
  return true;
}

bool GetVolumeLabel(const std::string& root, std::string& label, uint32_t* serial) {
  char name[MAX_PATH + 1] = {};
  DWORD number = 0;
  if (!::GetVolumeInformationA(root.c_str(), name, sizeof name, &number, nullptr, nullptr,
                               nullptr, 0)) {
    return false;
  }
  label = name;
  if (serial) *serial = number;
  return true;
}

bool SetVolumeLabel(const std::string& root, const std::string& label) {
  return ::SetVolumeLabelA(root.c_str(), label.c_str()) != FALSE;
}

uint32_t SetCriticalErrorMode(bool quiet) {
  return ::SetErrorMode(quiet ? SEM_FAILCRITICALERRORS : 0);
}

}  // namespace kestrel::os
