// prompt.h — the command's answers to the library's message boxes: asked on the terminal, or
// given in advance by --yes / --no for scripts.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kestrel::cli {

enum class PromptAnswer { Ask, Yes, No };

// Removes --yes and --no from args; false (with error set) when both are given.
bool TakePromptOption(std::vector<std::string>& args, PromptAnswer& answer, std::string& error);

// A message handler for the library. Every box is shown on out (as UTF-8); questions (OK and
// Cancel, Yes and No) get the fixed answer, or under Ask the line read from in ("y" or "yes"
// consents; anything else, or the end of the input, declines).
os::host::MessageHandler TerminalPrompt(PromptAnswer answer, FILE* in = stdin, FILE* out = stderr);

}  // namespace kestrel::cli
