// spanned_set.h — archives written across removable disks (the same file name on every disk,
// the end record on the last), made readable by the reader's engine: the disks are asked for
// in order, their files joined into one temporary file and the directory rebased.
#pragma once

#include <functional>
#include <string>

namespace kestrel::exports {

enum class SpanJoin {
  NotSpanned,   // an ordinary archive (or no archive at all): read it in place
  Joined,       // joinedPath names the joined archive (the caller removes it)
  NeedsDisks,   // the last disk of a set, and no way to ask for the others
  Cancelled,    // the disk request was declined
  Failed        // error says why
};

// Puts disk n (1-based) at the archive's path; false cancels.
using AskDisk = std::function<bool(int disk)>;

// drivePath is the archive's file on the disk in the drive now. Without askDisk only the last
// disk of a set is recognised (NeedsDisks); with it, a first disk (no end record, a local
// header at the start) is joined with the disks after it, and a last disk with disks 1 to it.
SpanJoin JoinSpannedSet(const std::string& drivePath, const AskDisk& askDisk,
                        std::string& joinedPath, std::string& error);

}  // namespace kestrel::exports
