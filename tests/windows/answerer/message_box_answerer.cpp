// message_box_answerer.cpp — the WH_CBT hook that records and answers message boxes.
#include "answerer/message_box_answerer.h"

#include <cstdio>

namespace kestrel::wintest {

namespace {

MessageBoxAnswerer* active = nullptr;

std::string WindowText(HWND window) {
  int length = GetWindowTextLengthA(window);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  int got = GetWindowTextA(window, text.data(), length + 1);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

std::string ClassName(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

bool Shown(HWND child) {
  return child && (GetWindowLongA(child, GWL_STYLE) & WS_VISIBLE) != 0;
}

// The button set of a message box, from the buttons it shows.
uint32_t ButtonFlags(HWND box) {
  auto has = [box](int id) { return Shown(GetDlgItem(box, id)); };
  if (has(IDABORT) && has(IDRETRY) && has(IDIGNORE)) return MB_ABORTRETRYIGNORE;
  if (has(IDYES) && has(IDNO)) return has(IDCANCEL) ? MB_YESNOCANCEL : MB_YESNO;
  if (has(IDRETRY) && has(IDCANCEL)) return MB_RETRYCANCEL;
  if (has(IDOK) && has(IDCANCEL)) return MB_OKCANCEL;
  return MB_OK;
}

struct Statics {
  HWND text = nullptr;
  HWND icon = nullptr;
};

BOOL CALLBACK FindStatics(HWND child, LPARAM param) {
  auto* found = reinterpret_cast<Statics*>(param);
  if (ClassName(child) != "Static" || !Shown(child)) return TRUE;
  if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
    if (!found->icon) found->icon = child;
  } else if (!found->text && GetWindowTextLengthA(child) > 0) {
    found->text = child;
  }
  return TRUE;
}

uint32_t IconFlags(HWND icon) {
  if (!icon) return 0;
  auto shown = reinterpret_cast<HICON>(SendMessageA(icon, STM_GETICON, 0, 0));
  if (!shown) return 0;
  const struct {
    LPCSTR id;
    uint32_t flag;
  } icons[] = {{IDI_HAND, MB_ICONHAND},
               {IDI_QUESTION, MB_ICONQUESTION},
               {IDI_EXCLAMATION, MB_ICONEXCLAMATION},
               {IDI_ASTERISK, MB_ICONASTERISK}};
  for (const auto& i : icons) {
    if (LoadIconA(nullptr, i.id) == shown) return i.flag;
  }
  return 0;
}

// The button that declines, for boxes the script did not foresee.
int DecliningButton(uint32_t buttons) {
  switch (buttons & MB_TYPEMASK) {
    case MB_YESNO: return IDNO;
    case MB_OK: return IDOK;
    case MB_ABORTRETRYIGNORE: return IDABORT;
    default: return IDCANCEL;
  }
}

}  // namespace

MessageBoxAnswerer::MessageBoxAnswerer() {
  active = this;
  probe_ = CreateWindowExA(0, "STATIC", "answerer probe", WS_POPUP, 0, 0, 1, 1, nullptr,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
  hook_ = SetWindowsHookExA(WH_CBT, HookProc, nullptr, GetCurrentThreadId());
  if (!hook_) std::fprintf(stderr, "answerer: SetWindowsHookExA failed (%lu)\n", GetLastError());
}

MessageBoxAnswerer::~MessageBoxAnswerer() {
  if (hook_) UnhookWindowsHookEx(hook_);
  if (probe_) DestroyWindow(probe_);
  active = nullptr;
}

LRESULT CALLBACK MessageBoxAnswerer::HookProc(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE && active) active->OnActivate(reinterpret_cast<HWND>(wParam));
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

void MessageBoxAnswerer::OnActivate(HWND window) {
  // Message boxes are dialogs (class "#32770"). The first activation can come before the
  // dialog has laid out its text and buttons (WM_INITDIALOG), so the box is read and
  // answered from a timer, which only fires once the box's modal loop runs.
  if (ClassName(window) != "#32770" || GetPropA(window, "kestrel.seen")) return;
  SetPropA(window, "kestrel.seen", reinterpret_cast<HANDLE>(1));
  SetTimer(window, kAnswerTimer, USER_TIMER_MINIMUM, AnswerLater);
}

void CALLBACK MessageBoxAnswerer::AnswerLater(HWND window, UINT, UINT_PTR id, DWORD) {
  KillTimer(window, id);
  if (active) active->Answer(window);
}

void MessageBoxAnswerer::Answer(HWND window) {
  RecordedBox box;
  box.caption = WindowText(window);
  Statics statics;
  EnumChildWindows(window, FindStatics, reinterpret_cast<LPARAM>(&statics));
  if (statics.text) box.text = WindowText(statics.text);
  uint32_t buttons = ButtonFlags(window);
  box.flags = buttons | IconFlags(statics.icon);
  if (probe_ && !IsWindowEnabled(probe_)) box.flags |= MB_TASKMODAL;

  box.expected = !script_.empty();
  if (box.expected) {
    Step step = std::move(script_.front());
    script_.pop_front();
    box.answer = step.button;
    if (step.action) step.action();
  } else {
    box.answer = DecliningButton(buttons);
  }
  HWND button = GetDlgItem(window, box.answer);
  if (!Shown(button)) {
    // The scripted button is not on this box: decline instead and let the check fail.
    box.expected = false;
    box.answer = DecliningButton(buttons);
    button = GetDlgItem(window, box.answer);
  }
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(box.answer, BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
  boxes_.push_back(box);
}

std::string FormatFlags(uint32_t flags) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(flags));
  return text;
}

std::string Escaped(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '"') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

}  // namespace kestrel::wintest
