// path_mapping.cpp — turns a drive path in the ANSI code page ("C:\Data\a.zip") into a host
// path in UTF-8 ("/data/a.zip") and back.
//
// The whole path is converted to UTF-8 first and only then split, because a code page 936
// trail byte may equal "\" or "|". Each component that does not exist under its exact name is
// looked up case-insensitively in its directory, since the library (like Windows) relies on
// names matching whatever their case (while a NameLookupScope is open, what those lookups
// learn is kept: name_cache.cpp). Paths are held to the host's limits (kMaxPath for the whole
// path, NAME_MAX for one name), never to the 260 bytes of the Windows calls.
#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <mutex>
#include <vector>

#include "platform/posix/posix_internal.h"

namespace kestrel::os {
namespace posix {

namespace {

bool EqualNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool Exists(const std::string& hostPath) {
  struct stat st;
  return ::lstat(hostPath.c_str(), &st) == 0;
}

std::string Join(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

// The name in dir that equals name ignoring case (the first in byte order), or empty.
std::string FindNoCase(const std::string& dir, const std::string& name) {
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (d == nullptr) return {};
  std::vector<std::string> matches;
  while (dirent* e = ::readdir(d)) {
    if (EqualNoCase(e->d_name, name)) matches.emplace_back(e->d_name);
  }
  ::closedir(d);
  if (matches.empty()) return {};
  return *std::min_element(matches.begin(), matches.end());
}

// A name the host can hold: no reserved character, at most NAME_MAX bytes (the host would
// refuse a longer one itself, but only at the call that meets it, and not for a name that
// is only looked up).
bool ValidComponent(const std::string& name, uint32_t& error) {
  if (std::any_of(name.begin(), name.end(), ReservedInNames)) {
    error = kErrorInvalidName;
  } else if (name.size() > NAME_MAX) {
    error = kErrorFilenameTooLong;
  } else {
    return true;
  }
  return false;
}

}  // namespace

bool StartsWithDrive(const std::string& path) {
  if (path.size() < 2 || path[1] != ':' || !std::isalpha(static_cast<unsigned char>(path[0])))
    return false;
  return path.size() == 2 || path[2] == '\\' || path[2] == '/' || DriveOf(path[0]).mapped;
}

std::string SpelledLastName(const std::string& host, const std::string& path) {
  std::string spelled;
  if (!AnsiToUtf8(path, spelled)) return host;
  const size_t cut = spelled.find_last_of("\\/");
  const std::string last = cut == std::string::npos ? spelled : spelled.substr(cut + 1);
  const size_t slash = host.rfind('/');
  if (last.empty() || last == "." || last == ".." || slash == std::string::npos) return host;
  return host.substr(0, slash + 1) + last;
}

bool MapToHost(const std::string& drivePath, std::string& hostPath, char* letterOut,
               std::string* spelledOut) {
  if (drivePath.empty()) return Fail(kErrorPathNotFound);
  std::string path;
  if (!AnsiToUtf8(drivePath, path)) return Fail(kErrorNoUnicodeTranslation);
  std::replace(path.begin(), path.end(), '/', '\\');
  if (path.rfind("\\\\", 0) == 0) return Fail(kErrorPathNotFound);  // UNC and device paths

  char letter = 0;
  std::string rest = path;
  if (StartsWithDrive(path)) {
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
    rest = path.substr(2);
    // "X:name" is relative to the current directory when that is on X:, else to X:'s root.
    if (rest.empty() || rest[0] != '\\') {
      if (CurrentDriveLetter() == letter) {
        letter = 0;
      } else {
        rest.insert(0, 1, '\\');
      }
    }
  } else if (path[0] == '\\') {
    letter = CurrentDriveLetter();
  }

  std::string base;  // empty: relative to the host's current directory
  if (letter != 0) {
    Drive drive = DriveOf(letter);
    if (!drive.mapped) return Fail(kErrorPathNotFound);
    base = drive.hostDir;
  }

  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = rest.find('\\', start);
    if (end == std::string::npos) end = rest.size();
    std::string part = rest.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty() && parts.back() != "..") {
        parts.pop_back();
      } else if (letter == 0) {
        parts.push_back(part);  // a relative path may climb above the current directory
      }
      continue;
    }
    if (uint32_t error = 0; !ValidComponent(part, error)) return Fail(error);
    parts.push_back(part);
  }

  // spelled[i]: the drive's directory and the first i names joined as given.
  const bool climbs = std::find(parts.begin(), parts.end(), "..") != parts.end();
  std::vector<std::string> spelled;
  if (!climbs) {
    spelled.reserve(parts.size() + 1);
    spelled.push_back(base);
    for (const std::string& part : parts) spelled.push_back(Join(spelled.back(), part));
  }
  // Relative paths follow the current directory, which may change: they are never cached.
  NameCache* cache = letter != 0 && !climbs ? ActiveNameCache() : nullptr;
  std::unique_lock<std::mutex> guard;
  if (cache != nullptr) guard = std::unique_lock<std::mutex>(cache->mutex);

  std::string host = base;
  bool existing = true;  // every component so far exists, so lookups are worth it
  size_t resolved = 0;   // leading parts already resolved into host
  if (cache != nullptr) {
    for (size_t i = parts.size(); i >= 1 && resolved == 0; --i) {
      if (const std::string* dir = cache->KnownDirectory(spelled[i])) {
        host = *dir;
        resolved = i;
      }
    }
  }
  // Most paths exist as spelled, or all but their last component do (a file about to be
  // created): one or two lstat calls settle those instead of one per component.
  if (resolved == 0 && !climbs && !parts.empty()) {
    const std::string& full = spelled.back();
    const std::string& parent = spelled[parts.size() - 1];
    struct stat st;
    if (::lstat(full.c_str(), &st) == 0) {
      host = full;
      resolved = parts.size();
      if (cache != nullptr && S_ISDIR(st.st_mode)) cache->RememberDirectory(full, full);
      if (cache != nullptr && parts.size() >= 2) cache->RememberDirectory(parent, parent);
    } else if (parts.size() >= 2 && ::lstat(parent.c_str(), &st) == 0) {
      host = parent;
      resolved = parts.size() - 1;
      if (cache != nullptr && S_ISDIR(st.st_mode)) cache->RememberDirectory(parent, parent);
    }
  }
  for (size_t i = resolved; i < parts.size(); ++i) {
    const std::string& part = parts[i];
    std::string exact = Join(host, part);
    if (existing && part != ".." && cache != nullptr) {
      NameCache::Listing* listing = cache->ListingOf(host);
      if (listing == nullptr && !Exists(exact)) {
        listing = cache->Read(host);
        if (listing == nullptr) existing = false;
        if (listing != nullptr && i >= 1) cache->RememberDirectory(spelled[i], host);
      }
      std::string found;
      if (listing != nullptr) {
        if (listing->Find(part, found) == NameCache::Lookup::Found) {
          exact = Join(host, found);
        } else {
          existing = false;
        }
      }
    } else if (existing && !Exists(exact) && part != "..") {
      std::string found = FindNoCase(host, part);
      if (found.empty()) {
        existing = false;
      } else {
        exact = Join(host, found);
      }
    }
    host = exact;
  }
  if (spelledOut != nullptr) *spelledOut = cache != nullptr ? spelled.back() : std::string();
  if (host.empty()) host.push_back('.');
  if (host.size() >= kMaxPath) return Fail(kErrorFilenameTooLong);
  bool trailing = path.back() == '\\' && !parts.empty();
  if (trailing && host.back() != '/') host.push_back('/');
  hostPath = host;
  if (letterOut != nullptr) *letterOut = letter;
  return true;
}

}  // namespace posix

namespace host {

bool HostPath(const std::string& drivePath, std::string& hostPath) {
  return posix::MapToHost(drivePath, hostPath);
}

bool DrivePath(const std::string& hostPath, std::string& drivePath) {
  if (hostPath.empty()) return posix::Fail(kErrorPathNotFound);
  std::error_code ec;
  std::string normal = std::filesystem::absolute(hostPath, ec).lexically_normal().string();
  if (ec) return posix::Fail(kErrorPathNotFound);
  bool trailing = normal.size() > 1 && normal.back() == '/';
  while (normal.size() > 1 && normal.back() == '/') normal.pop_back();

  // The mapped directory with the longest match wins, so A: beats C: for a floppy under "/".
  char best = 0;
  size_t bestLength = 0;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    posix::Drive drive = posix::DriveOf(letter);
    if (!drive.mapped) continue;
    const std::string& dir = drive.hostDir;
    bool inside = dir == "/" ? normal[0] == '/'
                             : normal.rfind(dir, 0) == 0 &&
                                   (normal.size() == dir.size() || normal[dir.size()] == '/');
    if (inside && (best == 0 || dir.size() > bestLength)) {
      best = letter;
      bestLength = dir.size();
    }
  }
  if (best == 0) return posix::Fail(kErrorPathNotFound);

  std::string rest = normal.substr(bestLength == 1 ? 1 : bestLength);
  if (!rest.empty() && rest[0] == '/') rest.erase(0, 1);
  if (trailing && !rest.empty()) rest.push_back('/');
  std::replace(rest.begin(), rest.end(), '/', '\\');
  std::string ansi;
  if (!posix::Utf8ToAnsi(rest, ansi)) return posix::Fail(kErrorNoUnicodeTranslation);
  drivePath = std::string(1, best) + ":\\" + ansi;
  return true;
}

}  // namespace host
}  // namespace kestrel::os
