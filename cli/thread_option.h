// thread_option.h — the value of `-T/--threads N`, shared by zip, unzip and test.
#pragma once

#include <string>

namespace kestrel::cli {

inline constexpr int kMaxThreads = 256;

// "minimum" .. "256" -> threads; false for anything else. Zero, where allowed, stands for one
// thread per processor.
bool ParseThreads(const std::string& text, int minimum, int& threads);

}  // namespace kestrel::cli
