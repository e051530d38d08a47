// code_page_option.h — the value of `--code-page N`, shared by zip, unzip, list and test.
#pragma once

#include <string>

namespace kestrel::cli {

// False when text is not a code page number (1 to 65535: code page identifiers are 16-bit).
bool ParseCodePage(const std::string& text, int& codePage);

}  // namespace kestrel::cli
