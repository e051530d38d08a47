// disk_changer.cpp — swapping the folder behind drive A: for another disk's folder.
#include "answerer/disk_changer.h"

#include <windows.h>

#include <cstdio>
#include <utility>

namespace kestrel::wintest {

namespace {

bool Rename(const std::string& from, const std::string& to) {
  if (MoveFileA(from.c_str(), to.c_str())) return true;
  std::fprintf(stderr, "disk changer: renaming %s to %s failed (%lu)\n", from.c_str(), to.c_str(),
               GetLastError());
  return false;
}

}  // namespace

DiskChanger::DiskChanger(std::string driveFolder, std::string store)
    : drive_(std::move(driveFolder)), store_(std::move(store)) {
  CreateDirectoryA(store_.c_str(), nullptr);
}

std::string DiskChanger::DiskFolder(int n) const {
  std::string folder = store_ + std::to_string(n);
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder + "\\";
}

bool DiskChanger::Insert(int n) {
  if (n == current_) return true;
  std::string next = DiskFolder(n);
  next.pop_back();
  std::string out = store_ + std::to_string(current_);
  if (!Rename(drive_, out)) return false;
  if (!Rename(next, drive_)) {
    Rename(out, drive_);
    return false;
  }
  current_ = n;
  return true;
}

}  // namespace kestrel::wintest
