// string_helpers.h — the small string, number and pointer helpers the component shares:
// 64-bit min/max, percentages rounded half to even, slash conversion, left/right parts,
// wildcard detection, zero-terminated string conversions and the compressor's trace hook.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace kestrel::support {

int64_t Min64(int64_t a, int64_t b);
int64_t Max64(int64_t a, int64_t b);
// 0 when total <= 0; otherwise part * 100 / total rounded to the nearest whole number (halves
// to even), then at most 100 (no lower bound).
int32_t Percent(int32_t total, int32_t part);
int64_t Percent64(int64_t total, int64_t part);

// Replace "\" by "/" (or back) in a zero-terminated string, in place; return text.
char* SlashesToForward(char* text);
char* SlashesToBack(char* text);
// The same on a string, returning the converted copy.
std::string SlashesToForward(std::string text);
std::string SlashesToBack(std::string text);

std::string RightStr(const std::string& s, int n);  // the last n characters (all if shorter)
std::string LeftStr(const std::string& s, int n);   // the first n characters (all if shorter)

// The five wildcard characters: * ? < > |
inline constexpr char kWildcardChars[] = "*?<>|";
// Characters only: a trail byte of a two-byte character is not one of them.
bool HasWildcards(const std::string& s);

std::string PCharToString(const char* p);  // null gives the empty string
// A new zero-terminated copy owned by the receiver; null for the empty string.
std::unique_ptr<char[]> StringToNewPChar(const std::string& s);
// A zero-terminated view of s (valid while s lives unchanged); never null.
const char* StringToPChar(const std::string& s);

// Diagnostic hook of the compressor for internal inconsistencies; does nothing.
void TraceError(const std::string& message);

}  // namespace kestrel::support
