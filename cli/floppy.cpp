// floppy.cpp — disk changes for the emulated floppy drive of the kestrel command.
#include "cli/floppy.h"

#include <filesystem>
#include <iostream>

#include "cli/library_text.h"
#include "cli/messages.h"
#include "kestrel.h"

namespace kestrel::cli {

namespace fs = std::filesystem;

namespace {

// The library's disk questions (its texts, in UTF-8; "{}" is a disk number).
constexpr const char* kInsertDisk = "请插入第 {}张软盘";
constexpr const char* kInsertNextDisk = "请插入下一张盘";
constexpr const char* kDiskFullSwap = "磁盘空间不够,请换一张盘";
constexpr const char* kVolumeMissing = "源文件错误,请检查";
constexpr const char* kSwapToRightDisk = "请换一张正确的盘,然后点击确定";
constexpr const char* kForeignDisk = "磁盘不是程序支持的盘,请检查";
constexpr const char* kWrongOrder = "磁盘顺序错误,应该是第{}张盘";

// The disk number text holds where pattern has "{}"; -1 when text is not pattern.
int DiskIn(const char* pattern, const std::string& text) {
  std::string part;
  if (!MatchesMessage(pattern, text, part)) return -1;
  int n = 0;
  for (char c : part) {
    if (c < '0' || c > '9' || n >= 100000) return 0;
    n = n * 10 + (c - '0');
  }
  return n;
}

}  // namespace

FloppyDrive::FloppyDrive(std::string dir, MessageHandler inner, FILE* terminal)
    : dir_(std::move(dir)), inner_(std::move(inner)), terminal_(terminal) {}

FloppyDrive::~FloppyDrive() {
  if (attached_) kestrel_set_message_handler(nullptr, nullptr);
}

int FloppyDrive::FromLibrary(void* self, const char* caption, const char* text, unsigned flags) {
  return static_cast<FloppyDrive*>(self)->OnMessage(LibraryText(caption), LibraryText(text), flags);
}

bool FloppyDrive::Attach(std::string& error) {
  std::error_code ec;
  if (!fs::is_directory(dir_, ec)) {
    error = "--floppy: " + dir_ + " is not a directory";
    return false;
  }
  numbered_ = fs::is_directory(fs::path(dir_) / "1", ec) || fs::is_empty(dir_, ec);
  if (numbered_ && !Insert(1, true)) {
    error = "--floppy: cannot make disk 1 in " + dir_;
    return false;
  }
  kestrel_set_message_handler(&FloppyDrive::FromLibrary, this);
  attached_ = true;
  return true;
}

bool FloppyDrive::Bind(Drive drive) {
  drive_ = std::move(drive);
  return drive_(Folder());
}

bool FloppyDrive::Insert(int n, bool create) {
  fs::path folder = fs::path(dir_) / std::to_string(n);
  std::error_code ec;
  if (create) fs::create_directories(folder, ec);
  if (!fs::is_directory(folder, ec)) {
    std::fprintf(terminal_, "kestrel: there is no disk %d (%s)\n", n, folder.c_str());
    return false;
  }
  if (drive_ && !drive_(folder.string())) return false;
  if (n != disk_ || attached_) std::fprintf(terminal_, "kestrel: disk %d in drive A: is %s\n", n, folder.c_str());
  disk_ = n;
  return true;
}

std::string FloppyDrive::Folder() const {
  return numbered_ ? (fs::path(dir_) / std::to_string(disk_)).string() : dir_;
}

std::string FloppyDrive::OnDisk(const std::string& archive) const {
  return (fs::path(Folder()) / fs::path(archive).filename()).string();
}

bool FloppyDrive::ChangeDisk(int n) {
  if (numbered_) return Insert(n, true);
  AskForSwap("insert disk " + std::to_string(n));
  return true;
}

bool FloppyDrive::InsertDisk(int n) {
  if (numbered_) return Insert(n, false);
  AskForSwap("insert disk " + std::to_string(n));
  return std::cin.good();
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
  switch (flags & kMbTypeMask) {
    case kMbOkCancel: return kIdCancel;
    case kMbYesNo: return kIdNo;
    default: return kIdOk;
  }
}

int FloppyDrive::OnMessage(const std::string& caption, const std::string& text, uint32_t flags) {
  const int insertK = DiskIn(kInsertDisk, text);
  const bool insertNext = text == kInsertNextDisk;
  if (insertK >= 0 || insertNext) {
    // The first "insert disk 1" of a split finds disk 1 already in the drive.
    const bool stay = insertK == 1 && !firstInsertSeen_;
    firstInsertSeen_ = true;
    if (!numbered_) {
      if (!stay) AskForSwap(insertK >= 0 ? "insert disk " + std::to_string(insertK) : "insert the next disk");
    } else if (!stay) {
      // A split creates its disks; a join only finds the ones that are there.
      Insert(disk_ + 1, insertK >= 0);
    }
    misses_ = 0;
    return kIdOk;
  }
  if (numbered_ && text == kDiskFullSwap) {
    std::fprintf(terminal_, "kestrel: disk %d is full, moving on to the next one\n", disk_);
    return kIdYes;  // the prompt that follows inserts the next folder
  }
  const int wrongOrder = DiskIn(kWrongOrder, text);
  const bool diskQuestion = text == kVolumeMissing || text == kForeignDisk || wrongOrder >= 0;
  if (numbered_ && diskQuestion && misses_ >= 3) {
    std::fprintf(terminal_, "kestrel: the disk folders do not hold the volume asked for\n");
    return kIdNo;  // no folder gives the right volume: end the join
  }
  if (wrongOrder >= 0) wantedDisk_ = wrongOrder;
  if (text == kSwapToRightDisk) {
    if (!numbered_) {
      AskForSwap("insert the right disk");
    } else {
      // Volume k is normally on disk k; without a number, try the next folder.
      Insert(wantedDisk_ > 0 ? wantedDisk_ : disk_ + 1, false);
      ++misses_;
    }
    wantedDisk_ = 0;
    return kIdOk;
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
