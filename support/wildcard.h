// wildcard.h — the component's wildcard masks: "*", "?", and character sets in angle brackets
// ("<a-c>", "<!a-c>", "<^a-c>"); a star followed by a set ("*<0-9>") absorbs only characters
// of the set. ASCII letters match without regard to case; "\" is an ordinary character.
#pragma once

#include <string>

namespace kestrel::support {

// Result codes of MatchPattern / MatchAfterStar.
enum MatchResult : int {
  kMatchNone = 0,     // no verdict yet (MatchAfterStar only)
  kMatchValid = 1,    // the whole name matches the whole mask
  kMatchEnd = 2,      // the mask is used up while the name still has characters
  kMatchAbort = 3,    // the name is used up too early, or a star cannot absorb a character
  kMatchRange = 4,    // a character is not in a set (or is in a negated set)
  kMatchLiteral = 5,  // a character differs from the mask character
  kMatchPattern = 6,  // the mask holds a malformed set
};

// True exactly when MatchPattern(mask, name) is kMatchValid.
bool IsMatch(const std::string& mask, const std::string& name);
// The result code of matching name against mask. Runs in time polynomial in the lengths.
int MatchPattern(const std::string& mask, const std::string& name);

}  // namespace kestrel::support
