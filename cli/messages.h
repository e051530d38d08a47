// messages.h — the library's message-box texts, which are Simplified Chinese, shown in
// English unless the user's locale is Chinese (zh_*): the command holds the translations,
// the library's texts stay as they are.
#pragma once

#include <string>

namespace kestrel::cli {

// text (UTF-8) as the user should read it: its English translation outside a zh_* locale
// when the command knows the text, else text itself.
std::string ForUser(const std::string& text);

// The same, deciding by the locale named in localeName ("" when none is set).
std::string ForUser(const std::string& text, const std::string& localeName);

// True when text is the library's text pattern, where "{}" stands for a non-empty run (a
// number, a name), which goes to part.
bool MatchesMessage(const std::string& pattern, const std::string& text, std::string& part);

}  // namespace kestrel::cli
