// floppy_session.h — a fixture for whole floppy sessions on a real Windows drive A: (under
// Wine, a folder that the runner maps as a removable drive): the library's message boxes
// are real dialogs, answered through the WH_CBT hook, and "inserting disk n" puts disk n
// into the drive (DiskChanger) while the prompt asking for it is up.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "answerer/disk_changer.h"
#include "answerer/message_box_answerer.h"
#include "answerer/win_files.h"
#include "scratch_dir.h"

namespace kestrel::wintest {

inline constexpr uint32_t kOk = MB_TASKMODAL | MB_OK;
inline constexpr uint32_t kOkCancel = MB_TASKMODAL | MB_OKCANCEL;
inline constexpr uint32_t kYesNo = MB_TASKMODAL | MB_YESNO;

// UTF-8 text as code page 936 bytes, converted by the system, not by the library.
inline std::string Gbk(const std::string& utf8) {
  int wide = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), wide);
  int narrow = WideCharToMultiByte(936, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(narrow), '\0');
  WideCharToMultiByte(936, 0, w.data(), wide, out.data(), narrow, nullptr, nullptr);
  return out;
}

inline std::string RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string bytes(size, '\0');
  for (auto& c : bytes) c = static_cast<char>(rng() & 0xFF);
  return bytes;
}

class FloppySession : public ::testing::Test {
 protected:
  static constexpr const char* kDrive = "A:\\";

  void SetUp() override {
    // The runner maps A: to a folder and names it and the folder where the other disks wait.
    const char* drive = std::getenv("KESTREL_FLOPPY_DRIVE");
    const char* store = std::getenv("KESTREL_FLOPPY_DISKS");
    ASSERT_TRUE(drive && *drive && store && *store)
        << "KESTREL_FLOPPY_DRIVE / KESTREL_FLOPPY_DISKS are not set (run through ctest)";
    ASSERT_EQ(GetDriveTypeA(kDrive), static_cast<UINT>(DRIVE_REMOVABLE)) << "A: is not mapped";
    std::string disks = std::string(store) + "\\";
    EmptyDirectory(kDrive);
    EmptyDirectory(disks);
    changer_ = std::make_unique<DiskChanger>(drive, disks);
  }
  void TearDown() override { EmptyDirectory(kDrive); }

  // The next message box must show exactly this (texts in UTF-8 here, code page 936 on the
  // screen); it is answered with button after disk insert (when > 0) has gone into the drive.
  void Expect(uint32_t flags, const std::string& caption, const std::string& text, int button,
              int insert = 0) {
    expected_.push_back(Box{flags, Gbk(caption), Gbk(text)});
    if (insert > 0) {
      answerer_.Answer(button, [this, insert] { EXPECT_TRUE(changer_->Insert(insert)); });
    } else {
      answerer_.Answer(button);
    }
  }

  // Every expected box was shown, in order, and no other.
  void CheckBoxes() {
    const auto& shown = answerer_.Boxes();
    for (size_t i = 0; i < shown.size() || i < expected_.size(); ++i) {
      if (i >= shown.size()) {
        ADD_FAILURE() << "box " << i << " never shown: \"" << Escaped(expected_[i].text) << "\"";
        continue;
      }
      if (i >= expected_.size()) {
        ADD_FAILURE() << "unexpected box " << i << ": \"" << Escaped(shown[i].text) << "\"";
        continue;
      }
      EXPECT_EQ(FormatFlags(shown[i].flags), FormatFlags(expected_[i].flags)) << "box " << i;
      EXPECT_EQ(Escaped(shown[i].caption), Escaped(expected_[i].caption)) << "box " << i;
      EXPECT_EQ(Escaped(shown[i].text), Escaped(expected_[i].text)) << "box " << i;
    }
    answerer_.Clear();
    expected_.clear();
  }

  struct Box {
    uint32_t flags;
    std::string caption, text;
  };
  MessageBoxAnswerer answerer_;
  std::vector<Box> expected_;
  std::unique_ptr<DiskChanger> changer_;
  ScratchDir work_;  // on C:
};

}  // namespace kestrel::wintest
