// file_ops.h — existence tests, the current directory of a drive, temporary file names and
// moving files into place (rename replacing the target through a "$$$" backup, or copy).
#pragma once

#include <string>

namespace kestrel::support {

bool FileExistsAt(const std::string& fileName);
bool DirectoryExistsAt(const std::string& path);
// True where names may hold the wildcard characters (Linux) and path, holding some, names an
// existing file or directory as written: such a path is that file, never a mask.
bool IsLiteralName(const std::string& path);
// 0 = the current drive, 1 = A:, 2 = B:, …; the directory without a trailing "\" except at a
// root ("C:\"). Another drive than the current one answers its root.
std::string CurrentDirOfDrive(int drive);

// Renames source to target on the same drive, replacing an existing target. The old target
// is first renamed to target + "$$$"; if the final rename fails the backup is renamed back, so
// the target path always holds the old or the new file (the backup stays only when even that
// restore fails). False when the drives differ or a rename fails.
bool RenameReplacing(const std::string& source, const std::string& target);
// RenameReplacing, else a copy of source over target (source is kept). A copy that copies
// nothing shows "Could not copy from <source> -> <target>" (caption "Error", OK). Open or
// create failures raise EFOpenError / EFCreateError.
void MoveOrCopyFile(const std::string& source, const std::string& target);

// Creates a new empty file "QZT<hex>.tmp" in directory (on Linux "QZT<hex>-<pid>.tmp", see
// os::WorkFileName) and returns its full name; empty when the system cannot, or when the name
// would not fit the system's paths (os::kMaxPath).
std::string TempFileName(const std::string& directory);

}  // namespace kestrel::support
