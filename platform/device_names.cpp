// device_names.cpp — recognising Windows' reserved device names.
#include "platform/device_names.h"

namespace kestrel::os {

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

bool SameLetters(const std::string& text, const char* word) {
  size_t i = 0;
  for (; word[i] != '\0'; ++i) {
    if (i >= text.size() || Upper(text[i]) != word[i]) return false;
  }
  return i == text.size();
}

// The digits of COMn and LPTn: 0-9, and ¹ ² ³ (0xB9, 0xB2, 0xB3 in code page 1252).
bool PortDigit(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return (u >= '0' && u <= '9') || u == 0xB9 || u == 0xB2 || u == 0xB3;
}

}  // namespace

bool IsWindowsDeviceName(const std::string& component) {
  // Windows drops trailing dots and blanks, then looks at the part before the first dot (or
  // colon), without the blanks that end it.
  std::string base = component;
  while (!base.empty() && (base.back() == '.' || base.back() == ' ')) base.pop_back();
  base = base.substr(0, base.find_first_of(".:"));
  while (!base.empty() && base.back() == ' ') base.pop_back();

  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (SameLetters(base, device)) return true;
  }
  return base.size() == 4 && (SameLetters(base.substr(0, 3), "COM") ||
                              SameLetters(base.substr(0, 3), "LPT")) &&
         PortDigit(base[3]);
}

}  // namespace kestrel::os
