// mask_list.cpp — exclude and no-compress mask lists.
#include "support/mask_list.h"

#include "classlib/ansi_string.h"
#include "classlib/path_utils.h"
#include "support/wildcard.h"

namespace kestrel::support {

bool MatchesMaskList(const classlib::StringList& masks, const std::string& path) {
  const std::string whole = classlib::AsciiLowerCase(path);
  const std::string fileName = classlib::AsciiLowerCase(classlib::ExtractFileName(path));
  for (const std::string& item : masks.Items()) {
    const std::string mask = classlib::AsciiLowerCase(item);
    if (IsMatch(mask, mask.find('\\') != std::string::npos ? whole : fileName)) return true;
  }
  return false;
}

}  // namespace kestrel::support
