// directory_chain.cpp — creating a directory chain one prefix at a time.
#include "exports/directory_chain.h"

#include <stdexcept>

#include "classlib/ansi_string.h"
#include "exports/volume_format.h"
#include "platform/platform.h"

namespace kestrel::exports {

bool ForceDirectoryChain(const std::string& path) {
  size_t first = 0;
  size_t last = path.size();
  while (first < last && static_cast<unsigned char>(path[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(path[last - 1]) <= ' ') --last;
  std::string rest = path.substr(first, last - first);
  if (rest.empty()) throw std::invalid_argument("empty directory path");
  // Judged before the trailing "\" is added, so that a bare relative name such as "ab" is
  // not taken for "ab\" with its "\" in third place.
  const bool colon = rest.size() > 1 && rest[1] == ':';
  const bool backslash = rest.size() > 2 && rest[2] == '\\';
  if (!colon && !backslash) return false;
  if (!EndsWithSeparator(rest)) rest += '\\';

  // Each "\" that is a separator (not the trail byte of a double-byte character) ends a prefix.
  for (size_t i = 0; i < rest.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(rest[i]);
    if (classlib::IsLeadByte(c) && i + 1 < rest.size()) {
      ++i;
    } else if (c == '\\') {
      os::CreateDirectory(rest.substr(0, i + 1));
    }
  }
  return true;
}

}  // namespace kestrel::exports
