// code_page_option.cpp — parses `--code-page N`'s value.
#include "cli/code_page_option.h"

namespace kestrel::cli {

bool ParseCodePage(const std::string& text, int& codePage) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  const int number = std::stoi(text);
  if (number <= 0 || number > 65535) return false;
  codePage = number;
  return true;
}

}  // namespace kestrel::cli
