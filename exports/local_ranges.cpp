// local_ranges.cpp — overlap checks over the ranges taken so far.
#include "exports/local_ranges.h"

#include <algorithm>
#include <iterator>

namespace kestrel::exports {

bool LocalRanges::Meets(uint64_t start, uint64_t end) const {
  // In each container the ranges are disjoint and sorted, so only the neighbours of start can
  // reach it.
  auto after = std::lower_bound(ordered_.begin(), ordered_.end(), std::make_pair(start, uint64_t{0}));
  if (after != ordered_.end() && after->first < end) return true;
  if (after != ordered_.begin() && std::prev(after)->second > start) return true;
  auto next = others_.lower_bound(start);
  if (next != others_.end() && next->first < end) return true;
  return next != others_.begin() && std::prev(next)->second > start;
}

bool LocalRanges::Take(uint64_t start, uint64_t end) {
  if (Meets(start, end)) return false;
  if (ordered_.empty() || start > ordered_.back().first) {
    ordered_.emplace_back(start, end);
  } else {
    others_.emplace(start, end);
  }
  return true;
}

}  // namespace kestrel::exports
