// library_text.h — the library's message-box texts, which come in code page 936 as the
// library fixes them, as the terminal's UTF-8.
#pragma once

#include <string>

namespace kestrel::cli {

// text (code page 936 bytes) in UTF-8; a byte sequence with no form there becomes "?".
std::string LibraryText(const std::string& text);

}  // namespace kestrel::cli
