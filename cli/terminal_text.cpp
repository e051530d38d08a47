// terminal_text.cpp — escaping control characters and broken UTF-8 for the terminal.
#include "cli/terminal_text.h"

#include <cstdint>
#include <cstdio>

namespace kestrel::cli {

namespace {

std::string Hex(uint8_t byte) {
  char text[8];
  std::snprintf(text, sizeof text, "\\x%02x", byte);
  return text;
}

// Length of the well-formed UTF-8 sequence at text[i], or 0 when there is none.
size_t SequenceLength(std::string_view text, size_t i) {
  const uint8_t lead = uint8_t(text[i]);
  const size_t length = lead < 0x80 ? 1 : lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3
                        : lead < 0xF5 ? 4 : 0;
  if (length == 0 || i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((uint8_t(text[i + k]) & 0xC0) != 0x80) return 0;
  }
  const uint8_t second = uint8_t(text[i + 1 < text.size() ? i + 1 : i]);
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
      (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F)) {
    return 0;  // overlong forms, surrogates, beyond U+10FFFF
  }
  return length;
}

std::string Escape(std::string_view text, bool keepLines) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const uint8_t c = uint8_t(text[i]);
    if (keepLines && (c == '\n' || c == '\t' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))) {
      out += char(c);
      ++i;
      continue;
    }
    if (c < 0x20 || c == 0x7F) {
      out += '^';
      out += char(c == 0x7F ? '?' : c + 0x40);
      ++i;
      continue;
    }
    const size_t length = SequenceLength(text, i);
    if (length == 0) {
      out += Hex(c);
      ++i;
    } else if (length == 2 && c == 0xC2 && uint8_t(text[i + 1]) < 0xA0) {
      out += Hex(uint8_t(text[i + 1]));  // U+0080..U+009F, the C1 controls
      i += 2;
    } else {
      out.append(text.substr(i, length));
      i += length;
    }
  }
  return out;
}

}  // namespace

std::string Printable(std::string_view text) { return Escape(text, false); }

std::string PrintableLines(std::string_view text) { return Escape(text, true); }

}  // namespace kestrel::cli
