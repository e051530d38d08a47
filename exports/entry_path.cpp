// entry_path.cpp — refusing entry names that would leave the destination directory, or that
// the system would open as a device (Windows' CON, nul.txt, ...) instead of creating a file.
//
// A name is split at "\" twice: byte by byte, and with double-byte characters of the ANSI code
// page kept whole (their trail byte may equal "\"). The file system sees one of the two, and
// which one depends on the code page in force when the file is created, so a name must be
// safe under both readings.
#include "exports/entry_path.h"

#include <vector>

#include "classlib/ansi_string.h"
#include "exports/volume_format.h"
#include "platform/platform.h"

namespace kestrel::exports {

namespace {

std::vector<std::string> Components(const std::string& name, bool doubleByte) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < name.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (doubleByte && classlib::IsLeadByte(c) && i + 1 < name.size()) {
      parts.back() += name.substr(i, 2);
      ++i;
    } else if (c == '\\') {
      parts.emplace_back();
    } else {
      parts.back() += char(c);
    }
  }
  return parts;
}

// Windows drops trailing dots and blanks of a component, so ".. " and "..." may also climb
// to the parent; a component of dots and blanks alone is refused once it holds two dots.
bool ClimbsUp(const std::string& component) {
  int dots = 0;
  for (char c : component) {
    if (c == '.') {
      ++dots;
    } else if (c != ' ') {
      return false;
    }
  }
  return dots >= 2;
}

bool SafeUnder(const std::string& name, bool doubleByte) {
  for (const std::string& part : Components(name, doubleByte)) {
    if (ClimbsUp(part) || os::NameOpensDevice(part)) return false;
  }
  return true;
}

}  // namespace

bool IsSafeEntryName(const std::string& name) {
  if (name.empty()) return false;
  // A leading "\" is a root or a UNC prefix; on Windows a colon is a drive or an alternate
  // data stream (no trail byte of the double-byte code pages is a colon). Appended to the
  // destination, a Linux name's colon is just a character of it.
  if (name[0] == '\\') return false;
  if (os::ReservedInNames(':') && name.find(':') != std::string::npos) return false;
  return SafeUnder(name, false) && SafeUnder(name, true);
}

EntryPath OutputPathFor(const std::string& destDir, const std::string& name,
                        std::string& outputPath) {
  if (!IsSafeEntryName(name)) return EntryPath::Unsafe;
  std::string path = destDir;
  if (!EndsWithSeparator(path)) path += '\\';
  path += name;
  if (path.size() > kMaxOutputPath) return EntryPath::TooLong;
  outputPath = std::move(path);
  return EntryPath::Ok;
}

}  // namespace kestrel::exports
