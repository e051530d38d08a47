// string_list.cpp — sorted and unsorted string lists.
#include "classlib/string_list.h"

#include <algorithm>

#include "classlib/ansi_string.h"
#include "classlib/exception.h"
#include "classlib/format.h"

namespace kestrel::classlib {

namespace {
constexpr const char* kSortedListError = "Operation not allowed on sorted list";
}

void StringList::CheckIndex(int index, int limit) const {
  if (index < 0 || index >= limit)
    throw EStringListError(Format("List index out of bounds (%d)", index));
}

int StringList::CompareStrings(const std::string& a, const std::string& b) const {
  return caseSensitive_ ? AnsiCompareStr(a, b) : AnsiCompareText(a, b);
}

const std::string& StringList::Get(int index) const {
  CheckIndex(index, Count());
  return items_[static_cast<size_t>(index)];
}

void StringList::Put(int index, const std::string& text) {
  if (sorted_) throw EStringListError(kSortedListError);
  CheckIndex(index, Count());
  items_[static_cast<size_t>(index)] = text;
}

int StringList::Add(const std::string& text) {
  if (!sorted_) {
    items_.push_back(text);
    return Count() - 1;
  }
  int index = 0;
  if (Find(text, index)) {
    if (duplicates_ == dupIgnore) return index;
    if (duplicates_ == dupError) throw EStringListError("String list does not allow duplicates");
  }
  items_.insert(items_.begin() + index, text);
  return index;
}

void StringList::Insert(int index, const std::string& text) {
  if (sorted_) throw EStringListError(kSortedListError);
  CheckIndex(index, Count() + 1);
  items_.insert(items_.begin() + index, text);
}

void StringList::Delete(int index) {
  CheckIndex(index, Count());
  items_.erase(items_.begin() + index);
}

void StringList::AddStrings(const StringList& other) {
  const std::vector<std::string> copy = other.items_;  // other may be this list
  for (const std::string& s : copy) Add(s);
}

void StringList::Exchange(int a, int b) {
  CheckIndex(a, Count());
  CheckIndex(b, Count());
  std::swap(items_[static_cast<size_t>(a)], items_[static_cast<size_t>(b)]);
}

int StringList::IndexOf(const std::string& text) const {
  if (sorted_) {
    int index = 0;
    return Find(text, index) ? index : -1;
  }
  for (int i = 0; i < Count(); ++i)
    if (CompareStrings(items_[static_cast<size_t>(i)], text) == 0) return i;
  return -1;
}

bool StringList::Find(const std::string& text, int& index) const {
  // The first position whose item does not sort before text.
  int lo = 0;
  int hi = Count() - 1;
  bool found = false;
  while (lo <= hi) {
    const int mid = lo + (hi - lo) / 2;
    const int c = CompareStrings(items_[static_cast<size_t>(mid)], text);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) found = true;
    }
  }
  index = lo;
  return found;
}

void StringList::SetSorted(bool sorted) {
  if (sorted && !sorted_) {
    sorted_ = true;
    Sort();
  }
  sorted_ = sorted;
}

void StringList::SetCaseSensitive(bool caseSensitive) {
  caseSensitive_ = caseSensitive;
  if (sorted_) Sort();
}

void StringList::Sort() {
  std::stable_sort(items_.begin(), items_.end(), [this](const std::string& a,
                                                        const std::string& b) {
    return CompareStrings(a, b) < 0;
  });
}

std::string StringList::Text() const {
  std::string text;
  for (const std::string& s : items_) {
    text += s;
    text += "\r\n";
  }
  return text;
}

void StringList::SetText(const std::string& text) {
  items_.clear();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    Add(text.substr(start, end - start));
    if (end < text.size() && text[end] == '\r') ++end;
    if (end < text.size() && text[end] == '\n') ++end;
    start = end;
  }
}

void StringList::Assign(const Persistent& source) {
  const auto* other = dynamic_cast<const StringList*>(&source);
  if (other == nullptr) {
    Persistent::Assign(source);
    return;
  }
  if (other == this) return;
  items_.clear();
  for (const std::string& s : other->items_) Add(s);
}

}  // namespace kestrel::classlib
