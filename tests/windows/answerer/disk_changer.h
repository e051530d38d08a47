// disk_changer.h — "changing the floppy" in a drive that Wine maps to a host folder.
//
// The drive's folder (the target of the prefix's dosdevices link for A:) holds the disk that
// is in the drive; the other disks wait as numbered folders in a store (STORE\1 and so
// on). Inserting disk n renames the drive's folder back into the store under the number of
// the disk it holds, and disk n's folder into its place. As with a real disk change, files
// the program still has open stay open on the disk that was taken out, and everything on a
// disk moves with it, Wine's label file (.windows-label) included. Uses the Win32 API
// directly, not the library's platform layer.
#pragma once

#include <string>

namespace kestrel::wintest {

class DiskChanger {
 public:
  // driveFolder: the folder behind the drive, no trailing "\"; store: a directory path
  // ending in "\". Disk 0 is what the drive holds at the start.
  DiskChanger(std::string driveFolder, std::string store);

  // Swaps disk n into the drive (an empty disk if it has no folder yet); false (with a
  // message on stderr) when a rename fails.
  bool Insert(int n);
  int current() const { return current_; }
  // The folder of disk n while it is out of the drive (ending in "\"), created (a blank
  // disk) if missing.
  std::string DiskFolder(int n) const;

 private:
  std::string drive_, store_;
  int current_ = 0;
};

}  // namespace kestrel::wintest
