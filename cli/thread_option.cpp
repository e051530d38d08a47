// thread_option.cpp — the value of `-T/--threads N`.
#include "cli/thread_option.h"

namespace kestrel::cli {

bool ParseThreads(const std::string& text, int minimum, int& threads) {
  if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  const int n = std::stoi(text);
  if (n < minimum || n > kMaxThreads) return false;
  threads = n;
  return true;
}

}  // namespace kestrel::cli
