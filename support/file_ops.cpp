// file_ops.cpp — existence tests, current directories, temporary names, and putting a file
// in place of another so that the target path never ends up without either file.
//
// RenameReplacing: the old target is moved aside to target + "$$$", the source renamed onto
// the target, and the backup deleted; if the source cannot be renamed the backup is renamed
// back, so a failure leaves the old file where it was. MoveOrCopyFile's copy goes to a new
// temporary file beside the target, which replaces the target only once it is complete.
#include "support/file_ops.h"

#include <memory>

#include "classlib/ansi_string.h"
#include "classlib/exception.h"
#include "classlib/file_stream.h"
#include "classlib/file_utils.h"
#include "classlib/format.h"
#include "classlib/path_utils.h"
#include "platform/platform.h"
#include "support/string_helpers.h"
#include "support/string_table.h"

namespace kestrel::support {

namespace {

// Restores the process's critical-error mode when it goes out of scope.
class QuietErrorMode {
 public:
  QuietErrorMode() : old_(os::SetCriticalErrorMode(true)) {}
  ~QuietErrorMode() { os::SetCriticalErrorMode(old_ != 0); }
  QuietErrorMode(const QuietErrorMode&) = delete;
  QuietErrorMode& operator=(const QuietErrorMode&) = delete;

 private:
  uint32_t old_;
};

bool PathExists(const std::string& path) {
  return os::GetFileAttributes(path) != os::kInvalidAttributes;
}

// Copies source into a new temporary file in the target's directory; returns its name.
// Raises the file stream's errors; the temporary file is removed when the copy fails.
std::string CopyBeside(const std::string& source, const std::string& target, int64_t& copied) {
  classlib::FileStream input(source, classlib::fmOpenRead | classlib::fmShareDenyNone);
  const std::string temp = TempFileName(classlib::ExtractFilePath(target));
  if (temp.empty())
    throw classlib::EFCreateError(classlib::Format("Cannot create file %s", target.c_str()));
  try {
    classlib::FileStream output(temp, classlib::fmCreate);
    copied = output.CopyAllFrom(input);
  } catch (...) {
    os::DeleteFile(temp);
    throw;
  }
  return temp;
}

}  // namespace

bool FileExistsAt(const std::string& fileName) { return classlib::FileExists(fileName); }

bool DirectoryExistsAt(const std::string& path) {
  return classlib::DirectoryExists(classlib::ExcludeTrailingBackslash(path)) ||
         classlib::DirectoryExists(path);
}

bool IsLiteralName(const std::string& path) {
  return !os::ReservedInNames('*') && HasWildcards(path) &&
         os::GetFileAttributes(classlib::ExcludeTrailingBackslash(path)) != os::kInvalidAttributes;
}

std::string CurrentDirOfDrive(int drive) {
  const std::string current = os::GetCurrentDirectory();
  if (drive <= 0 || drive > 26) return current;
  const char letter = static_cast<char>('A' + drive - 1);
  if (current.size() >= 2 && current[1] == ':' && (current[0] & ~0x20) == letter) return current;
  std::string dir = os::FullPathName(std::string(1, letter) + ":.");
  if (dir.empty()) return std::string(1, letter) + ":\\";
  if (dir.size() > 3 && classlib::EndsWithBackslash(dir)) dir.pop_back();
  return dir;
}

bool RenameReplacing(const std::string& source, const std::string& target) {
  os::SetLastError(os::kErrorSuccess);
  if (classlib::AnsiCompareText(classlib::ExtractFileDrive(source),
                                classlib::ExtractFileDrive(target)) != 0)
    return false;
  QuietErrorMode quiet;
  const std::string backup = target + "$$$";
  const bool hadTarget = PathExists(target);
  if (hadTarget && !os::MoveFile(target, backup)) return false;
  if (os::MoveFile(source, target)) {
    if (hadTarget && PathExists(backup)) os::DeleteFile(backup);
    return true;
  }
  // Put the old file back; only if even that fails does it stay under the "$$$" name.
  if (hadTarget) os::MoveFile(backup, target);
  return false;
}

void MoveOrCopyFile(const std::string& source, const std::string& target) {
  if (RenameReplacing(source, target)) return;
  int64_t copied = 0;
  const std::string temp = CopyBeside(source, target, copied);
  if (!os::MoveFileReplace(temp, target)) {
    os::DeleteFile(temp);
    copied = 0;
  }
  if (copied == 0)
    os::MessageBox(LoadStr(sCouldNotCopyFrom) + source + LoadStr(sCopyArrow) + target,
                   LoadStr(sErrorCaption), os::kMbOk);
}

std::string TempFileName(const std::string& directory) {
  const std::string name = os::WorkFileName(directory, "QZT");
  if (name.size() >= os::kMaxPath) {
    os::DeleteFile(name);  // created by the system, but too long for the paths it takes
    return std::string();
  }
  return name;
}

}  // namespace kestrel::support
