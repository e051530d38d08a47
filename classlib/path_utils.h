// path_utils.h — Windows path pieces of ANSI strings ("C:\dir\name.ext", "\\server\share\x").
// Separators are "\" (and ":" after a drive letter); multi-byte characters are respected, so a
// trail byte 0x5C of a code page 936 character is never taken for a separator.
#pragma once

#include <string>

namespace kestrel::classlib {

// Index of the last separator ("\" or ":") or std::string::npos.
size_t LastDelimiter(const std::string& path);
// "C:\dir\" of "C:\dir\name.ext" (up to and including the last separator).
std::string ExtractFilePath(const std::string& path);
// "C:\dir" of "C:\dir\name.ext": the path without its trailing "\" unless that is a root.
std::string ExtractFileDir(const std::string& path);
// "name.ext".
std::string ExtractFileName(const std::string& path);
// ".ext" (from the last "." of the name part), empty when the name has none.
std::string ExtractFileExt(const std::string& path);
// "C:" of "C:\x", "\\server\share" of "\\server\share\x", empty otherwise.
std::string ExtractFileDrive(const std::string& path);
// The path with its extension replaced by extension (which includes its ".").
std::string ChangeFileExt(const std::string& path, const std::string& extension);
std::string IncludeTrailingBackslash(const std::string& path);
std::string ExcludeTrailingBackslash(const std::string& path);
// True when the last character is a "\" that is not the trail byte of a two-byte character.
bool EndsWithBackslash(const std::string& path);
// Position of the first occurrence of c that is not a trail byte, or npos.
size_t AnsiPos(const std::string& text, char c);

}  // namespace kestrel::classlib
