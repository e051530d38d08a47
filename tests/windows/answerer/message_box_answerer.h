// message_box_answerer.h — answers the calling thread's message boxes from a script.
//
// A WH_CBT hook on the thread sees each message box as it is activated (HCBT_ACTIVATE);
// once the box runs its modal loop the answerer records its caption and text exactly as GetWindowTextA returns them (ANSI bytes, code
// page 936 under a Chinese locale) and its flags as the dialog shows them, and posts the
// click of the scripted button. Boxes beyond the script get the button that declines (No,
// Cancel, or OK when that is the only one) and are flagged as unexpected.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kestrel::wintest {

struct RecordedBox {
  std::string caption;  // ANSI bytes
  std::string text;     // ANSI bytes
  // Reconstructed from the dialog: the button set (MB_OK, MB_OKCANCEL, MB_YESNO, ...), the
  // icon (MB_ICONHAND ... MB_ICONASTERISK) and MB_TASKMODAL when the thread's other windows
  // were disabled while the box was up.
  uint32_t flags = 0;
  int answer = 0;         // the button id clicked
  bool expected = false;  // false when the script had no answer left for it
};

class MessageBoxAnswerer {
 public:
  // Installs the hook on the calling thread; one answerer at a time.
  MessageBoxAnswerer();
  ~MessageBoxAnswerer();
  MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
  MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

  // Queues the button (IDOK, IDCANCEL, IDYES, IDNO, ...) for the next box. The action, if
  // any, runs while that box is up, before the button is clicked: what a user does before
  // answering (for example changing the disk in the drive).
  void Answer(int button, std::function<void()> action = {}) {
    script_.push_back(Step{button, std::move(action)});
  }
  size_t Pending() const { return script_.size(); }
  const std::vector<RecordedBox>& Boxes() const { return boxes_; }
  void Clear() {
    boxes_.clear();
    script_.clear();
  }

 private:
  static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
  static void CALLBACK AnswerLater(HWND window, UINT message, UINT_PTR id, DWORD time);
  static constexpr UINT_PTR kAnswerTimer = 0x4B53;
  void OnActivate(HWND window);
  void Answer(HWND window);  // reads the box, records it and clicks the button

  HHOOK hook_ = nullptr;
  struct Step {
    int button;
    std::function<void()> action;
  };
  HWND probe_ = nullptr;  // a window of this thread that a task-modal box disables
  std::deque<Step> script_;
  std::vector<RecordedBox> boxes_;
};

// The flags as text ("0x2001") and bytes as C escapes ("\xCC\xE1"), for messages.
std::string FormatFlags(uint32_t flags);
std::string Escaped(const std::string& bytes);

}  // namespace kestrel::wintest
