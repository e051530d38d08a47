// password_prompt.cpp — the terminal's echo is turned off while the password is typed and
// restored afterwards, whatever happens.
#include "cli/password_prompt.h"

#include <termios.h>

#include <cstdio>

namespace kestrel::cli {

bool ReadPassword(const char* prompt, std::string& line) {
  FILE* tty = std::fopen("/dev/tty", "r+");
  if (tty == nullptr) return false;
  const int fd = fileno(tty);
  termios saved{};
  const bool echoOff = tcgetattr(fd, &saved) == 0;
  if (echoOff) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(fd, TCSAFLUSH, &quiet);
  }
  std::fputs(prompt, tty);
  std::fflush(tty);
  line.clear();
  int c = 0;
  while ((c = std::fgetc(tty)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
  if (echoOff) tcsetattr(fd, TCSAFLUSH, &saved);
  std::fputc('\n', tty);
  std::fclose(tty);
  return c == '\n';
}

}  // namespace kestrel::cli
