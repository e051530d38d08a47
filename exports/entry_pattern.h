// entry_pattern.h — the wildcards that select entries by name, as unzip tools read them:
// "*" any run of characters ("/" included), "?" one character, "[a-z]" / "[!a-z]" a set;
// a character that is not a wildcard stands for itself. Names are UTF-8; a multi-byte
// character counts as one for "?" and in sets.
#pragma once

#include <string_view>

namespace kestrel::exports {

bool PatternMatches(std::string_view pattern, std::string_view name);

}  // namespace kestrel::exports
