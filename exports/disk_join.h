// disk_join.h — joining the pieces of a multi-volume archive (block files, spanned disks) into
// one temporary file: each piece appended in order, then the directory rewritten in place,
// since its local header offsets count from the start of each entry's own piece.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kestrel::exports {

// Offset of the last end record in the file at path (searched over the end record plus the
// longest comment); -1 when there is none or the file cannot be read.
int64_t FindEndRecord(const std::string& path);

// The end record's "number of this disk" (0-based) at offset endAt of the file at path; -1
// when it cannot be read.
int32_t EndRecordDisk(const std::string& path, int64_t endAt);

// A new temporary file for a join, opened for reading and writing; path receives its drive
// path. kInvalidFile (path empty, nothing left behind) when none can be made.
os::FileHandle CreateJoinFile(std::string& path);

// Appends the file at path to out; false on any read or write failure.
bool AppendFile(const std::string& path, os::FileHandle out);

// Rewrites the joined file's directory as one piece's: starts[i] is where piece i (disk number
// i) begins in it, endAt where its end record is, size its size. False when the directory
// does not lie inside the file or names a piece that is not there.
bool RebaseDirectory(os::FileHandle joined, const std::vector<int64_t>& starts, int64_t endAt,
                     int64_t size);

}  // namespace kestrel::exports
