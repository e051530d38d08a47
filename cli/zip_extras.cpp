// zip_extras.cpp — parsing and applying the password and multi-volume options of kestrel zip.
#include "cli/zip_extras.h"

#include <cctype>
#include <fstream>

#include "platform/platform.h"
#include "writer/lyn_zip.h"

namespace kestrel::cli {

namespace {

// Removes "option VALUE" from args; value receives VALUE. found tells whether it was there.
bool TakeValue(std::vector<std::string>& args, const std::string& option, std::string& value,
               bool& found, std::string& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] != option) continue;
    if (i + 1 >= args.size()) {
      error = option + " needs a value";
      return false;
    }
    value = args[i + 1];
    args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
               args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
    found = true;
    return true;
  }
  return true;
}

bool TakeFlag(std::vector<std::string>& args, const std::string& option) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == option) {
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
      return true;
    }
  }
  return false;
}

}  // namespace

bool ParseSize(const std::string& text, int32_t& bytes) {
  size_t digits = 0;
  while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
  if (digits == 0 || digits > 10) return false;
  int64_t unit = 1;
  const std::string suffix = text.substr(digits);
  if (suffix == "k" || suffix == "K") {
    unit = 1024;
  } else if (suffix == "m" || suffix == "M") {
    unit = 1024 * 1024;
  } else if (!suffix.empty()) {
    return false;
  }
  const int64_t value = std::stoll(text.substr(0, digits)) * unit;
  if (value <= 0 || value > INT32_MAX) return false;
  bytes = static_cast<int32_t>(value);
  return true;
}

bool TakeZipExtras(std::vector<std::string>& args, ZipExtras& extras, std::string& error) {
  std::string size;
  bool split = false, file = false;
  if (!TakeValue(args, "--split", size, split, error) ||
      !TakeValue(args, "--password-file", extras.passwordFile, file, error)) {
    return false;
  }
  extras.askPassword = TakeFlag(args, "--password");
  extras.span = TakeFlag(args, "--span");
  if (split && !ParseSize(size, extras.splitSize)) {
    error = "--split needs a size in bytes (k or m for KiB or MiB), not '" + size + "'";
    return false;
  }
  if (extras.askPassword && file) {
    error = "--password and --password-file cannot be used together";
    return false;
  }
  if (split && extras.span) {
    error = "--split and --span cannot be used together";
    return false;
  }
  return true;
}

bool ResolvePassword(ZipExtras& extras, std::string& error) {
  if (!extras.passwordFile.empty()) {
    std::ifstream in(extras.passwordFile, std::ios::binary);
    if (!in || !std::getline(in, extras.password)) {
      error = "cannot read a password from " + extras.passwordFile;
      return false;
    }
    if (!extras.password.empty() && extras.password.back() == '\r') extras.password.pop_back();
  } else if (extras.askPassword) {
    std::string again;
    if (!os::host::ReadSecretLine("Password: ", extras.password) ||
        !os::host::ReadSecretLine("Password again: ", again)) {
      error = "--password needs a terminal to ask on (use --password-file in scripts)";
      return false;
    }
    if (again != extras.password) {
      error = "the passwords do not match";
      return false;
    }
  } else {
    return true;
  }
  if (extras.password.empty()) {
    error = "the password is empty";
    return false;
  }
  return true;
}

void ApplyZipExtras(const ZipExtras& extras, writer::TLynZip& zip) {
  zip.SetPassword(extras.password);
  if (extras.splitSize > 0) {
    zip.SetMultiMode(archive::mmBlocks);
    zip.MultiZipInfo().BlockSize = extras.splitSize;
    zip.MultiZipInfo().FirstBlockSize = extras.splitSize;
  } else if (extras.span) {
    zip.SetMultiMode(archive::mmSpan);
  }
}

}  // namespace kestrel::cli
