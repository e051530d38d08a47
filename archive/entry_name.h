// entry_name.h — an entry's stored name and the library's internal name, both ways, shared by
// the two engines (the walker and the component) and the writer.
//
// Inside the library a name is 8-bit text in the ANSI code page in force on the calling
// thread (os::AnsiCodePage). In an archive it is UTF-8 when general-purpose bit 11 is set,
// or when a Unicode-path extra field (0x7075) whose CRC matches the raw name carries it;
// otherwise it is in the writer's legacy code page, which the caller may name for a walk
// (0: the ANSI code page, the bytes used as they are).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrel::archive {

inline constexpr uint16_t kFlagUtf8Name = 0x0800;
inline constexpr uint16_t kUnicodePathField = 0x7075;
inline constexpr uint16_t kUnicodeCommentField = 0x6375;  // same layout, for the entry comment

// Why a stored name has no internal form; None when it has one.
enum class NameProblem {
  None,
  BadUtf8,          // marked UTF-8 (bit 11 or a matching 0x7075 field) but not valid UTF-8
  NoAnsiForm,       // a character of the name has no form in the ANSI code page in force
  UnknownCodePage,  // the legacy code page asked for cannot be converted
};

// A short English text for a problem ("" for None).
const char* NameProblemText(NameProblem problem);

// The internal name of an entry: raw is the stored name as read (separators untouched),
// flags the general-purpose flags, extra/extraLength the header's extra field (may be null).
// A 0x7075 field is used only with version 1 and the CRC-32 of raw; otherwise, or when it is
// shorter than its fixed part, it is ignored. On a problem, name is left empty.
NameProblem InternalEntryName(const std::string& raw, uint16_t flags, const uint8_t* extra,
                              size_t extraLength, int legacyCodePage, std::string& name);

// Text (a comment) stored with the same flags: UTF-8 when bit 11 is set, else legacy.
NameProblem InternalEntryText(const std::string& raw, uint16_t flags, int legacyCodePage,
                              std::string& text);

// The internal text of an entry comment: like InternalEntryText, except that a 0x6375 field in
// extra with version 1 and the CRC-32 of raw carries it in UTF-8 and wins.
NameProblem InternalEntryComment(const std::string& raw, uint16_t flags, const uint8_t* extra,
                                 size_t extraLength, int legacyCodePage, std::string& text);

// The stored form of an internal comment for an entry with these flags: UTF-8 when bit 11 is
// set (readers take the comment with the name's mark), else as it is. False when the text is
// not valid in the ANSI code page in force.
bool StoredEntryComment(const std::string& text, uint16_t flags, std::string& stored);

// The code page that non-ASCII names are written in by default: the ANSI code page when it
// is 936 (what Chinese Windows tools read), else 0 (UTF-8 with bit 11).
int DefaultStoreCodePage();

// The stored form of an internal name: plain ASCII as it is; otherwise in storeCodePage when
// every character has a form there, else UTF-8 with utf8 set (the caller sets bit 11). False
// when the name is not valid text in the ANSI code page in force (it cannot be stored).
bool StoredEntryName(const std::string& name, int storeCodePage, std::string& stored,
                     bool& utf8);

}  // namespace kestrel::archive
