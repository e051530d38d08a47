// password.h — where unzip and test get a password: -P, a file, or the terminal without echo.
#pragma once

#include <string>

namespace kestrel::cli {

// The first line of path (its line end dropped); false with error set when it cannot be read.
bool ReadPasswordFile(const std::string& path, std::string& password, std::string& error);

// Asks on the controlling terminal with echo off; false when there is no terminal.
bool AskPassword(const std::string& prompt, std::string& password);

}  // namespace kestrel::cli
