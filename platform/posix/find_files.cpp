// find_files.cpp — FindFirstFile / FindNextFile over a host directory. The whole listing is
// taken at FindFirstFile and sorted by name, so a search sees one consistent, repeatable
// order. Masks follow the Win32 rules the library relies on: case-insensitive, "*" and "?",
// "*.*" matching every name and "name.*" matching "name" too.
//
// A host name the ANSI code page cannot spell is reported with "?" for each such character,
// as Windows does; no file has that name (Linux names may hold "?", but it is looked up as
// written), so the file fails loudly rather than being taken for another.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>

#include "platform/posix/posix_internal.h"

namespace kestrel::os {

namespace {

struct Search {
  std::vector<FindData> results;
  size_t next = 0;
};

std::mutex mutex;
std::map<FindHandle, Search> searches;
FindHandle nextHandle = 1;

// Length in bytes of the UTF-8 character starting with byte c.
size_t CharLength(unsigned char c) { return c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1; }

bool MatchAt(const std::string& mask, size_t m, const std::string& name, size_t n) {
  while (m < mask.size()) {
    char c = mask[m];
    if (c == '*') {
      while (m < mask.size() && mask[m] == '*') ++m;
      if (m == mask.size()) return true;
      for (size_t k = n; k <= name.size(); ++k) {
        if (MatchAt(mask, m, name, k)) return true;
      }
      return false;
    }
    if (n >= name.size()) return false;
    if (c == '?') {
      n += std::min(CharLength(static_cast<unsigned char>(name[n])), name.size() - n);
      ++m;
      continue;
    }
    if (std::tolower(static_cast<unsigned char>(c)) !=
        std::tolower(static_cast<unsigned char>(name[n]))) {
      return false;
    }
    ++m;
    ++n;
  }
  return n == name.size();
}

bool MaskMatches(const std::string& mask, const std::string& name) {
  if (mask == "*" || mask == "*.*") return true;
  if (MatchAt(mask, 0, name, 0)) return true;
  // "name.*" also matches a name without an extension.
  if (mask.size() >= 2 && mask.compare(mask.size() - 2, 2, ".*") == 0 &&
      name.find('.') == std::string::npos) {
    return MatchAt(mask.substr(0, mask.size() - 2), 0, name, 0);
  }
  return false;
}

FindData Describe(const std::string& dirHost, const std::string& name, const struct stat& st) {
  FindData data;
  std::string full = dirHost.back() == '/' ? dirHost + name : dirHost + "/" + name;
  data.attributes = posix::AttributesOf(full, st);
  data.lastWrite = posix::FromTimespec(st.st_mtim);
  data.access = posix::FromTimespec(st.st_atim);
  data.creation = posix::FromTimespec(st.st_ctim);
  data.size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
  posix::Utf8ToAnsi(name, data.name, true);
  return data;
}

}  // namespace

FindHandle FindFirstFile(const std::string& pattern, FindData& data) {
  std::string normal = pattern;
  std::replace(normal.begin(), normal.end(), '/', '\\');
  // Split at the last separator (the UTF-8 form, so no trail byte is taken for one).
  std::string utf8;
  if (!posix::AnsiToUtf8(normal, utf8)) {
    SetLastError(kErrorNoUnicodeTranslation);
    return kInvalidFind;
  }
  size_t cut = utf8.rfind('\\');
  if (cut == std::string::npos && posix::StartsWithDrive(utf8)) cut = 1;
  std::string dirUtf8 = cut == std::string::npos ? "" : utf8.substr(0, cut + 1);
  std::string mask = cut == std::string::npos ? utf8 : utf8.substr(cut + 1);
  if (mask.empty()) {
    SetLastError(kErrorFileNotFound);
    return kInvalidFind;
  }
  std::string dirAnsi, dirHost;
  if (!dirUtf8.empty()) {
    if (!posix::Utf8ToAnsi(dirUtf8, dirAnsi) || !posix::MapToHost(dirAnsi, dirHost)) {
      if (LastError() == kErrorFileNotFound) SetLastError(kErrorPathNotFound);
      return kInvalidFind;
    }
  } else {
    dirHost = ".";
  }

  DIR* dir = ::opendir(dirHost.c_str());
  if (dir == nullptr) {
    SetLastError(kErrorPathNotFound);
    return kInvalidFind;
  }
  std::vector<std::pair<std::string, unsigned char>> names;  // with the entry's type
  while (dirent* e = ::readdir(dir)) {
    if (MaskMatches(mask, e->d_name)) names.emplace_back(e->d_name, e->d_type);
  }
  std::sort(names.begin(), names.end());
  // A name may hold "*" or "?" here: the file named exactly as the mask comes first, so that
  // looking a file up by its own name finds that file.
  std::stable_partition(names.begin(), names.end(),
                        [&mask](const auto& entry) { return entry.first == mask; });

  // Each name is looked at relative to the open directory, so that one whose full path is
  // longer than the host takes is still listed (and fails, named, when it is opened).
  Search search;
  const int dirFd = ::dirfd(dir);
  for (const auto& [name, type] : names) {
    struct stat st;
    bool link = type == DT_LNK;
    if (type == DT_UNKNOWN)
      link = ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
    if (::fstatat(dirFd, name.c_str(), &st, 0) != 0 &&
        ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
      continue;
    search.results.push_back(Describe(dirHost, name, st));
    search.results.back().symbolicLink = link;
  }
  ::closedir(dir);
  if (search.results.empty()) {
    SetLastError(kErrorFileNotFound);
    return kInvalidFind;
  }
  data = search.results[0];
  search.next = 1;
  std::lock_guard<std::mutex> lock(mutex);
  FindHandle handle = nextHandle++;
  searches.emplace(handle, std::move(search));
  SetLastError(kErrorSuccess);
  return handle;
}

bool FindNextFile(FindHandle find, FindData& data) {
  std::lock_guard<std::mutex> lock(mutex);
  auto it = searches.find(find);
  if (it == searches.end()) return posix::Fail(kErrorInvalidHandle);
  Search& search = it->second;
  if (search.next >= search.results.size()) return posix::Fail(kErrorNoMoreFiles);
  data = search.results[search.next++];
  return true;
}

bool FindClose(FindHandle find) {
  std::lock_guard<std::mutex> lock(mutex);
  if (searches.erase(find) == 0) return posix::Fail(kErrorInvalidHandle);
  return true;
}

}  // namespace kestrel::os
