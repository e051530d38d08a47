// win_files.h — whole-file reads and writes and directory clearing for the Windows test
// programs, through the Win32 API directly (never through the library's platform layer).
#pragma once

#include <string>

namespace kestrel::wintest {

// The file's bytes; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);
// Creates or replaces path with bytes; false when that fails.
bool WriteWholeFile(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);
// The same through the wide calls, for names the ANSI code page cannot hold; Widen turns an
// ANSI path into UTF-16.
std::wstring Widen(const std::string& ansi);
std::string ReadWholeFile(const std::wstring& path);
bool WriteWholeFile(const std::wstring& path, const std::string& bytes);
// Removes everything inside dir (a path ending in "\"), keeping dir itself.
void EmptyDirectory(const std::string& dir);

}  // namespace kestrel::wintest
