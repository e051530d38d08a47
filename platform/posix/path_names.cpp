// path_names.cpp — names derived from paths: the full path of a relative one, the 8.3 form,
// the temporary directory and temporary file names, and the module's own file name.
#include <dlfcn.h>
#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

#include "platform/posix/posix_internal.h"

namespace kestrel::os {

namespace {

// Joins "X:" + "\" + the components of rest, resolving "." and ".." (never above the root).
std::string Collapse(char letter, const std::string& rest, bool trailing) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = rest.find('\\', start);
    if (end == std::string::npos) end = rest.size();
    std::string part = rest.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string out = std::string(1, letter) + ":\\";
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out += '\\';
    out += parts[i];
  }
  if (trailing && !parts.empty()) out += '\\';
  return out;
}

}  // namespace

std::string FullPathName(const std::string& path) {
  std::string utf8, cwd;
  if (path.empty()) {
    SetLastError(kErrorInvalidName);
    return {};
  }
  if (!posix::AnsiToUtf8(path, utf8) || !posix::AnsiToUtf8(GetCurrentDirectory(), cwd)) {
    SetLastError(kErrorNoUnicodeTranslation);
    return {};
  }
  std::replace(utf8.begin(), utf8.end(), '/', '\\');
  if (cwd.size() < 3) cwd = "C:\\";
  char cwdLetter = static_cast<char>(std::toupper(static_cast<unsigned char>(cwd[0])));
  bool trailing = utf8.back() == '\\';
  std::string result;
  if (posix::StartsWithDrive(utf8)) {
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(utf8[0])));
    std::string rest = utf8.substr(2);
    if (!rest.empty() && rest[0] == '\\') {
      result = Collapse(letter, rest, trailing);
    } else if (letter == cwdLetter) {
      result = Collapse(letter, cwd.substr(2) + "\\" + rest, trailing);
    } else {
      result = Collapse(letter, rest, trailing);
    }
  } else if (utf8[0] == '\\') {
    if (utf8.rfind("\\\\", 0) == 0) {
      SetLastError(kErrorPathNotFound);
      return {};
    }
    result = Collapse(cwdLetter, utf8, trailing);
  } else {
    result = Collapse(cwdLetter, cwd.substr(2) + "\\" + utf8, trailing);
  }
  std::string ansi;
  if (!posix::Utf8ToAnsi(result, ansi)) {
    SetLastError(kErrorNoUnicodeTranslation);
    return {};
  }
  return ansi;
}

// The host keeps no 8.3 names; like Windows on a volume without them, the path comes back as
// it is, provided it exists.
std::string ShortPathName(const std::string& path) {
  if (GetFileAttributes(path) == kInvalidAttributes) return {};
  return path;
}

std::string TempPath() {
  const char* dir = ::getenv("TMPDIR");
  std::string host = dir != nullptr && *dir != '\0' ? dir : "/tmp";
  std::string drivePath;
  if (!host::DrivePath(host, drivePath)) return {};
  if (drivePath.back() != '\\') drivePath += '\\';
  return drivePath;
}

std::string TempFileName(const std::string& dir, const std::string& prefix, uint32_t unique) {
  std::string base = dir;
  if (base.empty()) {
    SetLastError(kErrorInvalidParameter);
    return {};
  }
  if (base.back() != '\\' && base.back() != '/') base += '\\';
  base += prefix.substr(0, std::min<size_t>(3, prefix.size()));
  auto nameOf = [&base](uint32_t number) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", number & 0xFFFFu);
    return base + hex + ".tmp";
  };
  if (nameOf(0xFFFF).size() >= kMaxPath) {
    SetLastError(kErrorFilenameTooLong);
    return {};
  }
  if (unique != 0) return nameOf(unique);
  return posix::ClaimTempName(nameOf);
}

namespace posix {

std::string ClaimTempName(const std::function<std::string(uint32_t)>& nameOf) {
  const uint32_t start = TickCount() & 0xFFFFu;
  for (uint32_t i = 0; i < 0x10000u; ++i) {
    const uint32_t number = (start + i) & 0xFFFFu;
    if (number == 0) continue;
    const std::string name = nameOf(number);
    const FileHandle file = OpenFile(name, Access::Write, Disposition::CreateNew);
    if (file != kInvalidFile) {
      CloseFile(file);
      return name;
    }
    if (LastError() != kErrorFileExists) return {};
  }
  SetLastError(kErrorFileExists);
  return {};
}

}  // namespace posix

std::string ModuleFileName() {
  Dl_info info;
  static const int anchor = 0;  // an address inside this module
  if (::dladdr(&anchor, &info) == 0 || info.dli_fname == nullptr) {
    SetLastError(kErrorInvalidHandle);
    return {};
  }
  std::string host = info.dli_fname;
  if (char* real = ::realpath(host.c_str(), nullptr)) {
    host = real;
    ::free(real);
  }
  std::string drivePath;
  if (!host::DrivePath(host, drivePath)) return {};
  return drivePath;
}

}  // namespace kestrel::os
