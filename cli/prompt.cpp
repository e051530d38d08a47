// prompt.cpp — message boxes answered on the terminal.
#include "cli/prompt.h"

#include <algorithm>
#include <cctype>

#include "cli/messages.h"

namespace kestrel::cli {

namespace {

bool Consents(const std::string& line) {
  std::string word;
  for (char c : line)
    if (!std::isspace(static_cast<unsigned char>(c))) word += static_cast<char>(std::tolower(c));
  return word == "y" || word == "yes";
}

}  // namespace

bool TakePromptOption(std::vector<std::string>& args, PromptAnswer& answer, std::string& error) {
  const bool yes = std::find(args.begin(), args.end(), "--yes") != args.end();
  const bool no = std::find(args.begin(), args.end(), "--no") != args.end();
  if (yes && no) {
    error = "--yes and --no exclude each other";
    return false;
  }
  answer = yes ? PromptAnswer::Yes : no ? PromptAnswer::No : PromptAnswer::Ask;
  std::erase_if(args, [](const std::string& a) { return a == "--yes" || a == "--no"; });
  return true;
}

MessageHandler TerminalPrompt(PromptAnswer answer, FILE* in, FILE* out) {
  return [answer, in, out](const std::string& caption, const std::string& text, uint32_t flags) {
    const uint32_t buttons = flags & kMbTypeMask;
    const bool question = buttons == kMbOkCancel || buttons == kMbYesNo;
    const int yes = buttons == kMbYesNo ? kIdYes : kIdOk;
    const int no = buttons == kMbYesNo ? kIdNo : kIdCancel;
    std::fprintf(out, "[%s] %s", ForUser(caption).c_str(),
                 ForUser(text).c_str());
    if (!question) {
      std::fprintf(out, "\n");
      return int{kIdOk};
    }
    if (answer != PromptAnswer::Ask) {
      std::fprintf(out, " %s\n", answer == PromptAnswer::Yes ? "yes" : "no");
      return answer == PromptAnswer::Yes ? yes : no;
    }
    std::fprintf(out, " [y/N] ");
    std::fflush(out);
    char line[256];
    const bool agreed = std::fgets(line, sizeof line, in) != nullptr && Consents(line);
    return agreed ? yes : no;
  };
}

}  // namespace kestrel::cli
