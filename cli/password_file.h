// password_file.h — the password of --password-file: the first line of a file.
#pragma once

#include <string>

namespace kestrel::cli {

// The first line of path (its line end dropped); false with error set when it cannot be read.
bool ReadPasswordFile(const std::string& path, std::string& password, std::string& error);

}  // namespace kestrel::cli
