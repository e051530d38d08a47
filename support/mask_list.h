// mask_list.h — testing a path against a list of masks (the zip operation's ExcludeList and
// NoCompressList): a mask holding "\" is matched against the whole path, any other mask
// against the file-name part only; both sides without regard to ASCII case.
#pragma once

#include <string>

#include "classlib/string_list.h"

namespace kestrel::support {

// True at the first mask of masks that matches path (IsMatch), false when none does.
bool MatchesMaskList(const classlib::StringList& masks, const std::string& path);

}  // namespace kestrel::support
