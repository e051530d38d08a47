// short_path.cpp — short (8.3) path names, one component at a time.
#include "support/short_path.h"

#include <vector>

#include "classlib/ansi_string.h"
#include "classlib/path_utils.h"
#include "platform/platform.h"
#include "support/string_helpers.h"

namespace kestrel::support {

namespace {

// The probe path is built in a 260-byte buffer, terminator included.
constexpr size_t kProbeBuffer = 260;

// The "\"-separated components of path (trail bytes of two-byte characters are not
// separators).
std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (size_t i = 0; i < path.size(); ++i) {
    if (classlib::IsLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) {
      part += path[i];
      part += path[++i];
    } else if (path[i] == '\\') {
      parts.push_back(part);
      part.clear();
    } else {
      part += path[i];
    }
  }
  parts.push_back(part);
  return parts;
}

// The short name of the existing entry probe, or component when it has none.
std::string ShortComponent(const std::string& probe, const std::string& component) {
  // A wildcard would make the lookup find some other entry.
  if (component.empty() || HasWildcards(component)) return component;
  os::FindData data;
  const os::FindHandle find = os::FindFirstFile(probe, data);
  if (find == os::kInvalidFind) return component;
  os::FindClose(find);
  return data.alternateName.empty() ? component : data.alternateName;
}

}  // namespace

std::string ShortPathName(const std::string& input) {
  if (input.empty() || input.size() + 1 >= kProbeBuffer) return input;
  std::string path = input;
  if (path.size() >= 2 && path[1] == ':' && (path.size() == 2 || path[2] != '\\'))
    path.insert(2, "\\");
  const bool trailing = classlib::EndsWithBackslash(path);
  if (trailing) path.pop_back();
  if (path.empty()) return input;

  std::string result;
  std::string rest = path;
  const std::string drive = classlib::ExtractFileDrive(path);
  if (!drive.empty()) {
    result = drive + "\\";
    rest = path.size() > drive.size() ? path.substr(drive.size() + 1) : std::string();
  } else if (!path.empty() && path[0] == '\\') {
    result = "\\";
    rest = path.substr(1);
  }
  std::string probe = result;
  if (!rest.empty()) {
    for (const std::string& component : Components(rest)) {
      probe += component;
      result += ShortComponent(probe, component);
      result += "\\";
      probe += "\\";
    }
  }
  if (!trailing && !result.empty() && result.back() == '\\') result.pop_back();
  return result;
}

}  // namespace kestrel::support
