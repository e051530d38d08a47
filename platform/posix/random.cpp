// random.cpp — bytes from the kernel's random source (getrandom, falling back to
// /dev/urandom where the call is missing), for the encryption header of enciphered entries.
#include <errno.h>
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace kestrel::os {

namespace {

bool ReadUrandom(uint8_t* out, size_t n) {
  int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < n) {
    ssize_t got = ::read(fd, out + done, n - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  ::close(fd);
  return done == n;
}

}  // namespace

bool RandomBytes(void* buffer, size_t n) {
  auto* out = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < n) {
    ssize_t got = ::getrandom(out + done, n - done, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno == ENOSYS && ReadUrandom(out + done, n - done);
    done += static_cast<size_t>(got);
  }
  return true;
}

}  // namespace kestrel::os
