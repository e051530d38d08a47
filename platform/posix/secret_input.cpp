// secret_input.cpp — reading a password from the controlling terminal with echo turned off.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>

#include "platform/platform.h"

namespace kestrel::os::host {

bool ReadSecretLine(const std::string& prompt, std::string& line) {
  int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  struct termios saved;
  if (::tcgetattr(fd, &saved) != 0) {
    ::close(fd);
    return false;
  }
  struct termios quiet = saved;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  quiet.c_lflag |= ECHONL;
  (void)!::write(fd, prompt.data(), prompt.size());
  ::tcsetattr(fd, TCSAFLUSH, &quiet);
  line.clear();
  bool ended = false;
  char c;
  while (::read(fd, &c, 1) == 1) {
    if (c == '\n') {
      ended = true;
      break;
    }
    line.push_back(c);
  }
  ::tcsetattr(fd, TCSAFLUSH, &saved);
  ::close(fd);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return ended;
}

}  // namespace kestrel::os::host
