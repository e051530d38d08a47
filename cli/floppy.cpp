// floppy.cpp — disk changes for the emulated floppy drive of the kestrel command.
#include "cli/floppy.h"

#include <filesystem>
#include <iostream>

#include "exports/volume_messages.h"

namespace kestrel::cli {

namespace fs = std::filesystem;
namespace vt = exports::volume_text;

namespace {

bool StartsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

// The number that follows prefix in text ("请插入第 3张软盘" gives 3); 0 when there is none.
int NumberAfter(const std::string& text, const char* prefix) {
  size_t i = std::string(prefix).size();
  int n = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9' && n < 100000) n = n * 10 + (text[i++] - '0');
  return n;
}

}  // namespace

FloppyDrive::FloppyDrive(std::string dir, os::host::MessageHandler inner, FILE* terminal)
    : dir_(std::move(dir)), inner_(std::move(inner)), terminal_(terminal) {}

FloppyDrive::~FloppyDrive() {
  if (attached_) {
    os::host::SetMessageHandler(nullptr);
    os::host::UnmapDrive('A');
  }
}

bool FloppyDrive::Attach(std::string& error) {
  std::error_code ec;
  if (!fs::is_directory(dir_, ec)) {
    error = "--floppy: " + dir_ + " is not a directory";
    return false;
  }
  numbered_ = fs::is_directory(fs::path(dir_) / "1", ec) || fs::is_empty(dir_, ec);
  if (numbered_ ? !Insert(1, true) : !os::host::MapDrive('A', dir_, true)) {
    error = "--floppy: cannot map drive A: to " + dir_;
    return false;
  }
  os::host::SetMessageHandler([this](const std::string& caption, const std::string& text,
                                     uint32_t flags) { return OnMessage(caption, text, flags); });
  attached_ = true;
  return true;
}

bool FloppyDrive::Insert(int n, bool create) {
  fs::path folder = fs::path(dir_) / std::to_string(n);
  std::error_code ec;
  if (create) fs::create_directories(folder, ec);
  if (!fs::is_directory(folder, ec)) {
    std::fprintf(terminal_, "kestrel: there is no disk %d (%s)\n", n, folder.c_str());
    return false;
  }
  if (!os::host::MapDrive('A', folder.string(), true)) return false;
  if (n != disk_ || attached_) std::fprintf(terminal_, "kestrel: disk %d in drive A: is %s\n", n, folder.c_str());
  disk_ = n;
  return true;
}

std::string FloppyDrive::Folder() const {
  return numbered_ ? (fs::path(dir_) / std::to_string(disk_)).string() : dir_;
}

bool FloppyDrive::ChangeDisk(int n) {
  if (numbered_) return Insert(n, true);
  AskForSwap("insert disk " + std::to_string(n));
  return true;
}

void FloppyDrive::AskForSwap(const std::string& what) {
  std::fprintf(terminal_, "kestrel: %s: change the disk in drive A: (%s), then press Enter\n",
               what.c_str(), dir_.c_str());
  std::fflush(terminal_);
  std::string line;
  std::getline(std::cin, line);
}

int FloppyDrive::Inner(const std::string& caption, const std::string& text, uint32_t flags) {
  if (inner_) return inner_(caption, text, flags);
  // The library's non-blocking defaults: OK, Cancel, No.
  switch (flags & os::kMbTypeMask) {
    case os::kMbOkCancel: return os::kIdCancel;
    case os::kMbYesNo: return os::kIdNo;
    default: return os::kIdOk;
  }
}

int FloppyDrive::OnMessage(const std::string& caption, const std::string& text, uint32_t flags) {
  const bool insertK = StartsWith(text, vt::kInsertDiskBefore);
  const bool insertNext = text == vt::kInsertNextDisk;
  if (insertK || insertNext) {
    // The first "insert disk 1" of a split finds disk 1 already in the drive.
    const bool stay = insertK && !firstInsertSeen_ && NumberAfter(text, vt::kInsertDiskBefore) == 1;
    firstInsertSeen_ = true;
    if (!numbered_) {
      if (!stay) AskForSwap(insertK ? "insert disk " + std::to_string(NumberAfter(text, vt::kInsertDiskBefore)) : "insert the next disk");
    } else if (!stay) {
      // A split creates its disks; a join only finds the ones that are there.
      Insert(disk_ + 1, insertK);
    }
    misses_ = 0;
    return os::kIdOk;
  }
  if (numbered_ && text == vt::kDiskFullSwap) {
    std::fprintf(terminal_, "kestrel: disk %d is full, moving on to the next one\n", disk_);
    return os::kIdYes;  // the prompt that follows inserts the next folder
  }
  const bool diskQuestion = text == vt::kVolumeMissing || text == vt::kForeignDisk ||
                            StartsWith(text, vt::kWrongOrderBefore);
  if (numbered_ && diskQuestion && misses_ >= 3) {
    std::fprintf(terminal_, "kestrel: the disk folders do not hold the volume asked for\n");
    return os::kIdNo;  // no folder gives the right volume: end the join
  }
  if (StartsWith(text, vt::kWrongOrderBefore)) wantedDisk_ = NumberAfter(text, vt::kWrongOrderBefore);
  if (text == vt::kSwapToRightDisk) {
    if (!numbered_) {
      AskForSwap("insert the right disk");
    } else {
      // Volume k is normally on disk k; without a number, try the next folder.
      Insert(wantedDisk_ > 0 ? wantedDisk_ : disk_ + 1, false);
      ++misses_;
    }
    wantedDisk_ = 0;
    return os::kIdOk;
  }
  return Inner(caption, text, flags);
}

bool TakeFloppyOption(std::vector<std::string>& args, std::string& dir, std::string& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] != "--floppy") continue;
    if (i + 1 >= args.size()) {
      error = "--floppy needs a directory";
      return false;
    }
    dir = args[i + 1];
    args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
    return true;
  }
  return true;
}

}  // namespace kestrel::cli
