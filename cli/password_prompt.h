// password_prompt.h — reading a password on the terminal without echoing it.
#pragma once

#include <string>

namespace kestrel::cli {

// Shows prompt on the terminal (/dev/tty) and reads one line without echo; the line end is not
// kept. False when there is no terminal or reading fails.
bool ReadPassword(const char* prompt, std::string& line);

}  // namespace kestrel::cli
