// object_list.h — TObjectList, a growable array of object references that may own its items,
// and TSortedObjectList, kept ordered by an overridable Compare, searched by halving, with a
// fixed policy for equal keys. Both save themselves to a stream and load back; objects are
// identified by class name through the class registry (RegisterClass).
//
// Saved list: [policy byte, sorted lists only] owns-items byte, int32 count (little-endian),
// then per object: name length (<= 63), name bytes, the object's own data (its store routine).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/object.h"
#include "classlib/stream.h"

namespace kestrel::archive {

using classlib::Object;

// Capacity and count stay below this bound.
inline constexpr int32_t kMaxListSize = 0x1FFFFFFF;

class TObjectList : public classlib::Persistent {
 public:
  TObjectList() = default;
  // FreeAll, then Clear.
  ~TObjectList() override;
  TObjectList(const TObjectList&) = delete;
  TObjectList& operator=(const TObjectList&) = delete;
  std::string ClassName() const override { return "TObjectList"; }

  // Raises EListError "List index out of bounds (%d)" with value.
  [[noreturn]] virtual void Error(int32_t value) const;
  // Capacity + 4 (capacity <= 4), + 8 (5..8), + 16 (above 8).
  virtual void Grow();
  // Replaces the item at index without destroying the old one.
  virtual void Put(int32_t index, Object* item);
  // Destroys item when the list owns its items.
  virtual void FreeItem(Object* item);
  // Appends item (the list takes it over when it owns its items); returns its index.
  virtual int32_t Add(Object* item);
  // Count and capacity to 0; destroys no item.
  virtual void Clear();
  // Index of item (by identity), or -1.
  virtual int32_t IndexOf(const Object* item) const;
  // Inserts at index, 0 <= index <= Count.
  virtual void Insert(int32_t index, Object* item);
  // Appends the objects of a saved list; the owns-items flag comes from the stream.
  virtual void LoadFromStream(classlib::Stream& stream);
  virtual void SaveToStream(classlib::Stream& stream) const;
  virtual Object* First() const;
  virtual Object* Last() const;
  // The item after (forward) or before item; null past either end. A null item gives First
  // (forward) or Last. An item not in the list: EListError "tObject %s not in item list".
  virtual Object* Neighbour(const Object* item, bool forward) const;

  Object* Get(int32_t index) const;
  Object* operator[](int32_t index) const { return Get(index); }
  int32_t Count() const { return count_; }
  // Slots beyond Count are null.
  void SetCount(int32_t count);
  int32_t Capacity() const { return capacity_; }
  void SetCapacity(int32_t capacity);
  bool OwnsItems() const { return ownsItems_; }
  void SetOwnsItems(bool owns) { ownsItems_ = owns; }
  // Each item through FreeItem, in index order, then Clear.
  void FreeAll();

  // Property streaming: the list is the binary property "ObjectContainer", written only when
  // the list holds at least one item.
  void DefineProperties(classlib::Filer& filer) override;

 protected:
  // The objects of a saved list after the list's own header: owns byte, count, records.
  void LoadItems(classlib::Stream& stream);
  void SaveItems(classlib::Stream& stream) const;

 private:
  bool ownsItems_ = true;
  // Storage may be larger than the observable capacity (amortised growth); slots
  // [count_, capacity_) are null.
  std::vector<Object*> items_;
  int32_t count_ = 0;
  int32_t capacity_ = 0;
};

// Duplicates policy of a sorted list.
enum TDuplicates : uint8_t { dupIgnoreObject = 0, dupAcceptObject = 1, dupErrorObject = 2 };

class TSortedObjectList : public TObjectList {
 public:
  explicit TSortedObjectList(uint8_t duplicates) : duplicates_(duplicates) {}
  std::string ClassName() const override { return "TSortedObjectList"; }

  // Always EListError "Cannot <Put> an Object in a sorted list!".
  void Put(int32_t index, Object* item) override;
  // Sorted insertion; returns the index, or -1 when an equal key made policy 0 ignore it (the
  // item then stays with the caller and is not destroyed). Policy 2: EListError
  // "Duplicate Object index".
  int32_t Add(Object* item) override;
  // An item with an equal key (not necessarily the same object), or -1.
  int32_t IndexOf(const Object* item) const override;
  // The index argument has no effect: the position comes from Find.
  void Insert(int32_t index, Object* item) override;
  void LoadFromStream(classlib::Stream& stream) override;
  void SaveToStream(classlib::Stream& stream) const override;

  // The key an item sorts under; the base answers the item itself.
  virtual const Object* KeyOf(const Object* item) const { return item; }
  // Negative when key1 (the listed item's key) sorts before key2, 0 when equal.
  virtual int Compare(const Object* key1, const Object* key2) const = 0;
  // Binary search: true when an equal key was met; index = the match or insertion position
  // (under policy 1 the first position not sorting before key).
  virtual bool Find(const Object* key, int32_t& index) const;

  uint8_t Duplicates() const { return duplicates_; }

 private:
  int32_t SortedInsert(Object* item);
  uint8_t duplicates_;
};

// ---- Class registry ------------------------------------------------------------------------
// One registration: how to create a blank instance, and the routines that read and write one
// object's own data.
struct tRegisterRec {
  std::function<std::unique_ptr<Object>()> create;
  std::function<void(Object& object, classlib::Stream& stream)> load;
  std::function<void(const Object& object, classlib::Stream& stream)> store;
};

// Registers className (first 63 characters, compared without regard to case); a name already
// present is ignored (returns false).
bool RegisterClass(const std::string& className, tRegisterRec record);
// Removes a registration (for hosts and tests); false when the name is unknown.
bool UnregisterClass(const std::string& className);
// The registration of className, or null.
const tRegisterRec* FindRegisteredClass(const std::string& className);

}  // namespace kestrel::archive
