// prompt.h — the command's answers to the library's message boxes: asked on the terminal, or
// given in advance by --yes / --no for scripts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace kestrel::cli {

// A message box of the library with its caption and text in UTF-8 and the flags kestrel.h
// documents; returns the button pressed.
using MessageHandler =
    std::function<int(const std::string& caption, const std::string& text, uint32_t flags)>;

// The flags and buttons of kestrel_set_message_handler (the Win32 MB_* and ID* values).
inline constexpr uint32_t kMbTypeMask = 0x0F;
inline constexpr uint32_t kMbOkCancel = 0x01;
inline constexpr uint32_t kMbYesNo = 0x04;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

enum class PromptAnswer { Ask, Yes, No };

// Removes --yes and --no from args; false (with error set) when both are given.
bool TakePromptOption(std::vector<std::string>& args, PromptAnswer& answer, std::string& error);

// A message handler for the library. Every box is shown on out; questions (OK and Cancel, Yes
// and No) get the fixed answer, or under Ask the line read from in ("y" or "yes" consents;
// anything else, or the end of the input, declines).
MessageHandler TerminalPrompt(PromptAnswer answer, FILE* in = stdin, FILE* out = stderr);

}  // namespace kestrel::cli
