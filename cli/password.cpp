// password.cpp — reading a password from a file or, without echo, from the terminal.
#include "cli/password.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace kestrel::cli {

bool ReadPasswordFile(const std::string& path, std::string& password, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot read the password file: " + std::strerror(errno);
    return false;
  }
  std::getline(in, password);
  if (!password.empty() && password.back() == '\r') password.pop_back();
  return true;
}

bool AskPassword(const std::string& prompt, std::string& password) {
  const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
  if (tty < 0) return false;
  termios saved{};
  const bool isTerminal = ::tcgetattr(tty, &saved) == 0;
  if (isTerminal) {
    termios quiet = saved;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    ::tcsetattr(tty, TCSAFLUSH, &quiet);
  }
  bool ok = isTerminal && ::write(tty, prompt.data(), prompt.size()) >= 0;
  password.clear();
  char c = 0;
  while (ok) {
    const ssize_t got = ::read(tty, &c, 1);
    if (got <= 0) {
      ok = got == 0 && !password.empty();
      break;
    }
    if (c == '\n') break;
    password += c;
  }
  if (isTerminal) {
    ::tcsetattr(tty, TCSAFLUSH, &saved);
    (void)!::write(tty, "\n", 1);
  }
  ::close(tty);
  return ok;
}

}  // namespace kestrel::cli
