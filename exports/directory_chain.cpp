// directory_chain.cpp — ForceDirectoryChain: builds a directory path one prefix at a time.
#include "exports/directory_chain.h"

#include <stdexcept>

#include "platform/platform.h"

namespace kestrel::exports {

namespace {

bool Blank(char c) { return static_cast<unsigned char>(c) <= ' '; }

}  // namespace

bool ForceDirectoryChain(const std::string& path) {
  size_t first = 0, last = path.size();
  while (first < last && Blank(path[first])) ++first;
  while (last > first && Blank(path[last - 1])) --last;
  std::string rest = path.substr(first, last - first);
  if (rest.empty()) throw std::invalid_argument("empty directory path");
  // The shape test looks at the path as given, before the trailing "\" is added, so a
  // bare relative name such as "ab" is refused rather than read as "ab\".
  bool drive = rest.size() > 1 && rest[1] == ':';
  bool rooted = rest.size() > 2 && rest[2] == '\\';
  if (!drive && !rooted) return false;
  if (rest.back() != '\\') rest.push_back('\\');
  std::string prefix;
  size_t start = 0;
  while (start < rest.size()) {
    size_t end = rest.find('\\', start);
    prefix.append(rest, start, end - start + 1);
    os::CreateDirectory(prefix);  // existing directories and the root are no obstacle
    start = end + 1;
  }
  return true;
}

}  // namespace kestrel::exports
