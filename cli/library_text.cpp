// library_text.cpp — code page 936 to UTF-8 through iconv.
#include "cli/library_text.h"

#include <iconv.h>

#include <cerrno>

namespace kestrel::cli {

std::string LibraryText(const std::string& text) {
  const iconv_t cd = iconv_open("UTF-8", "GBK");
  if (cd == reinterpret_cast<iconv_t>(-1)) return text;
  std::string out;
  std::string in = text;
  char* from = in.data();
  size_t left = in.size();
  char buffer[256];
  while (left > 0) {
    char* to = buffer;
    size_t room = sizeof buffer;
    const size_t done = iconv(cd, &from, &left, &to, &room);
    out.append(buffer, size_t(to - buffer));
    if (done == size_t(-1) && errno != E2BIG) {
      // A byte with no form (or a cut sequence at the end): "?" for it, then go on.
      out += '?';
      ++from;
      --left;
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace kestrel::cli
