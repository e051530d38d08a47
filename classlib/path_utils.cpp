// path_utils.cpp — path pieces, walking code page 936 characters so that trail bytes are never
// taken for separators.
#include "classlib/path_utils.h"

#include "classlib/ansi_string.h"
#include "platform/platform.h"

namespace kestrel::classlib {

namespace {

// Position of the last single-byte character of path that is one of chars, or npos.
size_t LastOf(const std::string& path, const char* chars) {
  size_t found = std::string::npos;
  for (size_t i = 0; i < path.size(); ++i) {
    const auto c = static_cast<unsigned char>(path[i]);
    if (IsLeadByte(c)) {
      ++i;
      continue;
    }
    for (const char* p = chars; *p != '\0'; ++p)
      if (path[i] == *p) found = i;
  }
  return found;
}

}  // namespace

size_t AnsiPos(const std::string& text, char c) {
  const char chars[2] = {c, '\0'};
  return AnsiFindFirstOf(text, chars);
}

bool EndsWithBackslash(const std::string& path) {
  return !path.empty() && LastOf(path, "\\") == path.size() - 1;
}

// Where names may hold ":" (Linux), only a drive's colon delimits.
size_t LastDelimiter(const std::string& path) {
  if (os::ReservedInNames(':')) return LastOf(path, "\\:");
  const size_t separator = LastOf(path, "\\");
  if (separator == std::string::npos && os::NamesDrive(path)) return 1;
  return separator;
}

std::string ExtractFilePath(const std::string& path) {
  const size_t i = LastDelimiter(path);
  return i == std::string::npos ? std::string() : path.substr(0, i + 1);
}

std::string ExtractFileDir(const std::string& path) {
  const size_t i = LastDelimiter(path);
  if (i == std::string::npos) return std::string();
  // Keep the "\" of a root ("C:\") and stop at a drive colon ("C:").
  if (i > 0 && path[i] == '\\' && LastDelimiter(path.substr(0, i)) != i - 1)
    return path.substr(0, i);
  return path.substr(0, i + 1);
}

std::string ExtractFileName(const std::string& path) {
  const size_t i = LastDelimiter(path);
  return i == std::string::npos ? path : path.substr(i + 1);
}

std::string ExtractFileExt(const std::string& path) {
  const size_t dot = LastOf(path, os::ReservedInNames(':') ? ".\\:" : ".\\");
  if (dot == std::string::npos || path[dot] != '.') return std::string();
  return path.substr(dot);
}

std::string ExtractFileDrive(const std::string& path) {
  if (os::NamesDrive(path)) return path.substr(0, 2);
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    // "\\server\share": up to the separator after the share name.
    int slashes = 0;
    size_t i = 2;
    for (; i < path.size(); ++i) {
      if (IsLeadByte(static_cast<unsigned char>(path[i]))) {
        ++i;
        continue;
      }
      if (path[i] == '\\' && ++slashes == 2) break;
    }
    return path.substr(0, i < path.size() ? i : path.size());
  }
  return std::string();
}

std::string ChangeFileExt(const std::string& path, const std::string& extension) {
  const size_t dot = LastOf(path, os::ReservedInNames(':') ? ".\\:" : ".\\");
  if (dot == std::string::npos || path[dot] != '.') return path + extension;
  return path.substr(0, dot) + extension;
}

std::string IncludeTrailingBackslash(const std::string& path) {
  return EndsWithBackslash(path) ? path : path + "\\";
}

std::string ExcludeTrailingBackslash(const std::string& path) {
  return EndsWithBackslash(path) ? path.substr(0, path.size() - 1) : path;
}

}  // namespace kestrel::classlib
