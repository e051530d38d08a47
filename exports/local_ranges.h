// local_ranges.h — the byte ranges of the entries an unpacking walk has met, from each local
// header to the end of its data, so that an entry overlapping another (the building block of
// a zip bomb, or two records naming one local header) is refused.
//
// Archives list their entries in file order almost always: those ranges are kept in a plain
// sorted vector (16 bytes an entry); only ranges that arrive out of order go to a map.
#pragma once

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace kestrel::exports {

class LocalRanges {
 public:
  // Takes [start, end) unless it meets a range already taken; false (nothing taken) then.
  bool Take(uint64_t start, uint64_t end);

 private:
  bool Meets(uint64_t start, uint64_t end) const;

  std::vector<std::pair<uint64_t, uint64_t>> ordered_;  // ascending starts
  std::map<uint64_t, uint64_t> others_;                 // start -> end
};

}  // namespace kestrel::exports
