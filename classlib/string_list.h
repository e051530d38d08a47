// string_list.h — a list of ANSI strings, kept in insertion order or sorted. A sorted list
// compares without regard to case (AnsiCompareText) unless CaseSensitive is set, finds by
// binary search and applies its Duplicates rule when an equal string is added.
#pragma once

#include <string>
#include <vector>

#include "classlib/object.h"

namespace kestrel::classlib {

enum DuplicatesRule { dupIgnore, dupAccept, dupError };

class StringList : public Persistent {
 public:
  std::string ClassName() const override { return "TStringList"; }

  int Count() const { return static_cast<int>(items_.size()); }
  // Index outside 0..Count-1: EStringListError "List index out of bounds (%d)".
  const std::string& Get(int index) const;
  const std::string& operator[](int index) const { return Get(index); }
  // Replaces an item; on a sorted list EStringListError "Operation not allowed on sorted list".
  void Put(int index, const std::string& text);

  // Appends (unsorted) or inserts in order (sorted). Returns the index; on a sorted list an
  // equal string is ignored (returns the existing index), accepted, or refused with
  // EStringListError "String list does not allow duplicates", per Duplicates().
  int Add(const std::string& text);
  // Index 0..Count; a sorted list refuses with "Operation not allowed on sorted list".
  void Insert(int index, const std::string& text);
  void Delete(int index);
  void Clear() { items_.clear(); }
  void AddStrings(const StringList& other);
  void Exchange(int a, int b);

  // First index of an equal string (per the list's comparison), or -1.
  int IndexOf(const std::string& text) const;
  // Sorted lists only: binary search; index receives the match or the insertion position.
  bool Find(const std::string& text, int& index) const;

  bool Sorted() const { return sorted_; }
  void SetSorted(bool sorted);  // turning it on sorts the items
  DuplicatesRule Duplicates() const { return duplicates_; }
  void SetDuplicates(DuplicatesRule rule) { duplicates_ = rule; }
  bool CaseSensitive() const { return caseSensitive_; }
  void SetCaseSensitive(bool caseSensitive);
  void Sort();

  // The items joined, each followed by CR LF; SetText splits at CR LF, LF or CR.
  std::string Text() const;
  void SetText(const std::string& text);

  const std::vector<std::string>& Items() const { return items_; }

  // From another StringList: replaces the items with its items (added through Add, so a
  // sorted list stays sorted). Any other source: the persistent base's assignment error.
  void Assign(const Persistent& source) override;

 private:
  int CompareStrings(const std::string& a, const std::string& b) const;
  void CheckIndex(int index, int limit) const;

  std::vector<std::string> items_;
  bool sorted_ = false;
  bool caseSensitive_ = false;
  DuplicatesRule duplicates_ = dupIgnore;
};

}  // namespace kestrel::classlib
