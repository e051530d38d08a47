// password_file.cpp — reading the password of --password-file.
#include "cli/password_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>

namespace kestrel::cli {

bool ReadPasswordFile(const std::string& path, std::string& password, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot read the password file: " + std::strerror(errno);
    return false;
  }
  std::getline(in, password);
  if (!password.empty() && password.back() == '\r') password.pop_back();
  return true;
}

}  // namespace kestrel::cli
