// entry_name.cpp — stored names to internal names and back (bit 11, the 0x7075 field, the
// legacy code page).
#include "archive/entry_name.h"

#include <algorithm>

#include "archive/crc32.h"
#include "archive/extra_fields.h"
#include "archive/zip_records.h"
#include "classlib/ansi_string.h"
#include "platform/platform.h"

namespace kestrel::archive {

namespace {

bool IsAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The UTF-8 text of a Unicode field (0x7075 for the name, 0x6375 for the comment) that belongs
// to raw, or false when there is none.
bool UnicodeFieldOf(uint16_t id, const std::string& raw, const uint8_t* extra, size_t extraLength,
                    std::string& utf8) {
  constexpr size_t kFixedPart = 5;  // version:1 crc:4
  const auto field = FindExtraField(extra, extraLength, id);
  if (!field || field->size < kFixedPart || field->data[0] != 1) return false;
  const uint32_t crc = ~Crc32Fold(0xFFFFFFFFu, raw.data(), raw.size());
  if (LoadLe32(field->data + 1) != crc) return false;  // the name changed after the field
  utf8.assign(reinterpret_cast<const char*>(field->data + kFixedPart), field->size - kFixedPart);
  return true;
}

NameProblem ToAnsi(const std::string& text, int from, std::string& out) {
  const int ansi = os::AnsiCodePage();
  if (from == os::kUtf8CodePage && !classlib::IsValidUtf8(text)) return NameProblem::BadUtf8;
  if (from == 0 || from == ansi || IsAscii(text)) {
    out = text;
    return NameProblem::None;
  }
  if (!os::IsCodePageSupported(from)) return NameProblem::UnknownCodePage;
  if (!os::ConvertCodePage(from, ansi, text, out)) {
    out.clear();
    return NameProblem::NoAnsiForm;
  }
  return NameProblem::None;
}

// Text read with its Unicode field id (a matching one wins), else with the flags' rules.
NameProblem InternalFieldText(uint16_t id, const std::string& raw, uint16_t flags,
                              const uint8_t* extra, size_t extraLength, int legacyCodePage,
                              std::string& text) {
  text.clear();
  std::string unicode;
  if (UnicodeFieldOf(id, raw, extra, extraLength, unicode)) {
    return ToAnsi(unicode, os::kUtf8CodePage, text);
  }
  return InternalEntryText(raw, flags, legacyCodePage, text);
}

}  // namespace

const char* NameProblemText(NameProblem problem) {
  switch (problem) {
    case NameProblem::None: return "";
    case NameProblem::BadUtf8: return "name marked UTF-8 is not valid UTF-8";
    case NameProblem::NoAnsiForm: return "name has no form in the ANSI code page";
    case NameProblem::UnknownCodePage: return "unknown code page for the entry names";
  }
  return "";
}

NameProblem InternalEntryName(const std::string& raw, uint16_t flags, const uint8_t* extra,
                              size_t extraLength, int legacyCodePage, std::string& name) {
  return InternalFieldText(kUnicodePathField, raw, flags, extra, extraLength, legacyCodePage,
                           name);
}

NameProblem InternalEntryText(const std::string& raw, uint16_t flags, int legacyCodePage,
                              std::string& text) {
  const int from = (flags & kFlagUtf8Name) != 0 ? os::kUtf8CodePage : legacyCodePage;
  return ToAnsi(raw, from, text);
}

NameProblem InternalEntryComment(const std::string& raw, uint16_t flags, const uint8_t* extra,
                                 size_t extraLength, int legacyCodePage, std::string& text) {
  return InternalFieldText(kUnicodeCommentField, raw, flags, extra, extraLength, legacyCodePage,
                           text);
}

bool StoredEntryComment(const std::string& text, uint16_t flags, std::string& stored) {
  const int ansi = os::AnsiCodePage();
  if ((flags & kFlagUtf8Name) == 0 || IsAscii(text) || ansi == os::kUtf8CodePage) {
    stored = text;
    return (flags & kFlagUtf8Name) == 0 || classlib::IsValidUtf8(text);
  }
  return os::ConvertCodePage(ansi, os::kUtf8CodePage, text, stored);
}

int DefaultStoreCodePage() { return os::AnsiCodePage() == 936 ? 936 : 0; }

bool StoredEntryName(const std::string& name, int storeCodePage, std::string& stored,
                     bool& utf8) {
  utf8 = false;
  const int ansi = os::AnsiCodePage();
  if (IsAscii(name) || (storeCodePage == ansi && storeCodePage != os::kUtf8CodePage)) {
    stored = name;
    return true;
  }
  if (storeCodePage != 0 && storeCodePage != os::kUtf8CodePage &&
      os::ConvertCodePage(ansi, storeCodePage, name, stored)) {
    return true;
  }
  utf8 = true;
  if (ansi == os::kUtf8CodePage) {
    stored = name;
    return classlib::IsValidUtf8(name);
  }
  return os::ConvertCodePage(ansi, os::kUtf8CodePage, name, stored);
}

}  // namespace kestrel::archive
