// floppy.h — the --floppy DIR option: DIR as the emulated 1.44 MB floppy in drive A: of the
// reader or writer handle it is bound to (never a process-wide drive), and a message handler
// that changes the disk when the library asks for another one.
//
// Numbered disks (DIR/1 exists, or DIR is empty): disk n is the folder DIR/n, created when
// first needed; each request for a new disk moves on to the next folder. Otherwise A: is DIR
// itself and the user is asked on the terminal to change its contents and press Enter.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "cli/prompt.h"

namespace kestrel::cli {

class FloppyDrive {
 public:
  // inner answers every box that is not a disk change (a terminal prompt, --yes, --no);
  // when empty, those boxes get the library's non-blocking default answers.
  FloppyDrive(std::string dir, MessageHandler inner, FILE* terminal = stderr);
  FloppyDrive(const FloppyDrive&) = delete;
  FloppyDrive& operator=(const FloppyDrive&) = delete;
  ~FloppyDrive();  // removes the handler

  // Checks DIR, puts disk 1 in the drive and installs the handler; false with a message in
  // error when DIR is unusable.
  bool Attach(std::string& error);
  // Where the folder that is drive A: goes: a handle's floppy setting, given the folder at
  // once and again at each disk change. False when the handle refuses it.
  using Drive = std::function<bool(const std::string& folder)>;
  bool Bind(Drive drive);
  bool numbered() const { return numbered_; }
  int disk() const { return disk_; }
  // The host folder that is drive A: now.
  std::string Folder() const;
  // The native path of an archive's file on the disk in the drive: its file name in Folder().
  std::string OnDisk(const std::string& archive) const;
  // Puts disk n in the drive for writing (numbered: the folder DIR/n, created; otherwise the
  // user is asked to change the disk). False when that cannot be done.
  bool ChangeDisk(int n);
  // The same for reading: a numbered disk must exist already.
  bool InsertDisk(int n);

  // The handler, with the library's texts in UTF-8 (public for tests).
  int OnMessage(const std::string& caption, const std::string& text, uint32_t flags);

 private:
  static int FromLibrary(void* self, const char* caption, const char* text, unsigned flags);
  bool Insert(int n, bool create);
  void AskForSwap(const std::string& what);
  int Inner(const std::string& caption, const std::string& text, uint32_t flags);

  std::string dir_;
  Drive drive_;
  MessageHandler inner_;
  FILE* terminal_;
  bool numbered_ = false;
  bool attached_ = false;
  bool firstInsertSeen_ = false;
  int disk_ = 1;
  int wantedDisk_ = 0;  // the volume a "wrong order" question named
  int misses_ = 0;      // disk changes in a row that did not give the join its volume
};

// Removes "--floppy DIR" from args; dir receives DIR. False (with error set) when DIR is
// missing after the option.
bool TakeFloppyOption(std::vector<std::string>& args, std::string& dir, std::string& error);

}  // namespace kestrel::cli
