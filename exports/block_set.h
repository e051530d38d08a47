// block_set.h — archives that `kestrel zip --split` writes as numbered block files (x.001,
// x.002, ...; no x.zip), made readable by the reader's engine: the blocks are joined into one
// temporary file and the directory's per-block offsets turned into offsets in that file.
#pragma once

#include <string>

namespace kestrel::exports {

enum class BlockSetJoin { NotABlockSet, Joined, Failed };

// When drivePath (missing, or itself the first block "x.001") names a block set, joins it
// into a new temporary file whose drive path goes to joinedPath (the caller removes it).
// Failed: the blocks are there but cannot be joined (a block missing in the middle, no end
// record in the last block, a file that cannot be written); error says why.
BlockSetJoin JoinBlockSet(const std::string& drivePath, std::string& joinedPath,
                          std::string& error);

}  // namespace kestrel::exports
