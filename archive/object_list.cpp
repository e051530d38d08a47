// object_list.cpp — owning and sorted object lists, their saved stream format, and the class
// registry that names the objects in it.
#include "archive/object_list.h"

#include <algorithm>
#include <vector>

#include "classlib/ansi_string.h"
#include "classlib/exception.h"
#include "classlib/format.h"
#include "support/string_table.h"

namespace kestrel::archive {

using classlib::EClassNotFound;
using classlib::EListError;
using classlib::Format;
using support::LoadStr;

namespace {

// Names in the registry and in saved lists are cut to this many characters.
constexpr size_t kMaxClassName = 63;

struct Registration {
  std::string name;
  tRegisterRec record;
};

// One registry per program, sorted by name without regard to case; built on first use and
// destroyed (records, then the list) when the program ends.
std::vector<Registration>& Registry() {
  static std::vector<Registration> registry;
  return registry;
}

std::vector<Registration>::iterator LowerBound(const std::string& name) {
  auto& registry = Registry();
  return std::lower_bound(registry.begin(), registry.end(), name,
                          [](const Registration& r, const std::string& n) {
                            return classlib::AnsiCompareText(r.name, n) < 0;
                          });
}

std::string RegistryName(const std::string& name) { return name.substr(0, kMaxClassName); }

void WriteByte(classlib::Stream& stream, uint8_t value) { stream.WriteBuffer(&value, 1); }

uint8_t ReadByte(classlib::Stream& stream) {
  uint8_t value = 0;
  stream.ReadBuffer(&value, 1);
  return value;
}

void WriteInt32(classlib::Stream& stream, int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  const uint8_t bytes[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                            static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
  stream.WriteBuffer(bytes, 4);
}

int32_t ReadInt32(classlib::Stream& stream) {
  uint8_t bytes[4] = {};
  stream.ReadBuffer(bytes, 4);
  return static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) |
                              (static_cast<uint32_t>(bytes[1]) << 8) |
                              (static_cast<uint32_t>(bytes[2]) << 16) |
                              (static_cast<uint32_t>(bytes[3]) << 24));
}

}  // namespace

// ---- Class registry ------------------------------------------------------------------------

bool RegisterClass(const std::string& className, tRegisterRec record) {
  const std::string name = RegistryName(className);
  auto it = LowerBound(name);
  if (it != Registry().end() && classlib::AnsiCompareText(it->name, name) == 0) return false;
  Registry().insert(it, Registration{name, std::move(record)});
  return true;
}

bool UnregisterClass(const std::string& className) {
  const std::string name = RegistryName(className);
  auto it = LowerBound(name);
  if (it == Registry().end() || classlib::AnsiCompareText(it->name, name) != 0) return false;
  Registry().erase(it);
  return true;
}

const tRegisterRec* FindRegisteredClass(const std::string& className) {
  const std::string name = RegistryName(className);
  auto it = LowerBound(name);
  if (it == Registry().end() || classlib::AnsiCompareText(it->name, name) != 0) return nullptr;
  return &it->record;
}

// ---- TObjectList ---------------------------------------------------------------------------

TObjectList::~TObjectList() { FreeAll(); }

void TObjectList::Error(int32_t value) const {
  throw EListError(Format(LoadStr(support::sListIndexOutOfBounds), value));
}

void TObjectList::Grow() {
  const int32_t delta = capacity_ > 8 ? 16 : (capacity_ > 4 ? 8 : 4);
  SetCapacity(capacity_ + delta);
}

void TObjectList::Put(int32_t index, Object* item) {
  if (index < 0 || index >= count_) Error(index);
  items_[static_cast<size_t>(index)] = item;
}

void TObjectList::FreeItem(Object* item) {
  if (ownsItems_) delete item;
}

int32_t TObjectList::Add(Object* item) {
  if (count_ == capacity_) Grow();
  items_[static_cast<size_t>(count_)] = item;
  return count_++;
}

void TObjectList::Clear() {
  SetCount(0);
  SetCapacity(0);
}

int32_t TObjectList::IndexOf(const Object* item) const {
  for (int32_t i = 0; i < count_; ++i)
    if (items_[static_cast<size_t>(i)] == item) return i;
  return -1;
}

void TObjectList::Insert(int32_t index, Object* item) {
  if (index < 0 || index > count_) Error(index);
  if (count_ == capacity_) Grow();
  auto first = items_.begin() + index;
  std::move_backward(first, items_.begin() + count_, items_.begin() + count_ + 1);
  *first = item;
  ++count_;
}

Object* TObjectList::Get(int32_t index) const {
  if (index < 0 || index >= count_) Error(index);
  return items_[static_cast<size_t>(index)];
}

Object* TObjectList::First() const { return Get(0); }
Object* TObjectList::Last() const { return Get(count_ - 1); }

Object* TObjectList::Neighbour(const Object* item, bool forward) const {
  if (item == nullptr) return forward ? First() : Last();
  const int32_t i = IndexOf(item);
  if (i < 0)
    throw EListError(Format(LoadStr(support::sObjectNotInList), item->ClassName().c_str()));
  const int32_t next = forward ? i + 1 : i - 1;
  return next >= 0 && next < count_ ? items_[static_cast<size_t>(next)] : nullptr;
}

void TObjectList::SetCapacity(int32_t capacity) {
  if (capacity == capacity_) return;
  if (capacity < count_ || capacity >= kMaxListSize) Error(capacity);
  if (capacity == 0) {
    std::vector<Object*>().swap(items_);  // no array while the capacity is 0
  } else {
    items_.resize(static_cast<size_t>(capacity), nullptr);  // grows geometrically inside
  }
  capacity_ = capacity;
}

void TObjectList::SetCount(int32_t count) {
  if (count < 0 || count >= kMaxListSize) Error(count);
  if (count > capacity_) SetCapacity(count);
  const int32_t low = std::min(count, count_);
  const int32_t high = std::max(count, count_);
  std::fill(items_.begin() + low, items_.begin() + high, nullptr);
  count_ = count;
}

void TObjectList::FreeAll() {
  for (int32_t i = 0; i < count_; ++i) FreeItem(items_[static_cast<size_t>(i)]);
  Clear();
}

void TObjectList::LoadFromStream(classlib::Stream& stream) { LoadItems(stream); }
void TObjectList::SaveToStream(classlib::Stream& stream) const { SaveItems(stream); }

void TObjectList::LoadItems(classlib::Stream& stream) {
  ownsItems_ = ReadByte(stream) != 0;
  const int32_t n = ReadInt32(stream);
  // Reserve room for all n objects at once, unless the stream is too short to hold them (each
  // record takes at least one byte): then the reads below fail on their own, and a hostile
  // count never makes the list allocate for it.
  const int64_t remaining = stream.Size() - stream.Position();
  if (n > 0 && capacity_ - count_ < n && n <= remaining) SetCapacity(count_ + n);
  for (int32_t k = 0; k < n; ++k) {
    const uint8_t length = ReadByte(stream);
    std::string name(length, '\0');
    stream.ReadBuffer(name.data(), length);
    const tRegisterRec* record = FindRegisteredClass(name);
    if (record == nullptr)
      throw EClassNotFound(Format(LoadStr(support::sClassNotRegistered), name.c_str()));
    std::unique_ptr<Object> instance = record->create();
    record->load(*instance, stream);
    // A sorted list may decline an equal key: the instance is then freed here.
    if (Add(instance.get()) >= 0) instance.release();
  }
}

void TObjectList::SaveItems(classlib::Stream& stream) const {
  WriteByte(stream, ownsItems_ ? 1 : 0);
  WriteInt32(stream, count_);
  for (int32_t i = 0; i < count_; ++i) {
    const Object* item = items_[static_cast<size_t>(i)];
    if (item == nullptr) throw EClassNotFound(LoadStr(support::sNilSourceClass));
    const std::string className = item->ClassName();
    const tRegisterRec* record = FindRegisteredClass(className);
    if (record == nullptr)
      throw EClassNotFound(
          Format(LoadStr(support::sSourceClassNotRegistered), className.c_str()));
    const std::string name = RegistryName(className);
    WriteByte(stream, static_cast<uint8_t>(name.size()));
    stream.WriteBuffer(name.data(), static_cast<int32_t>(name.size()));
    record->store(*item, stream);
  }
}

void TObjectList::DefineProperties(classlib::Filer& filer) {
  filer.DefineBinaryProperty(
      "ObjectContainer", [this](classlib::Stream& s) { LoadFromStream(s); },
      [this](classlib::Stream& s) { SaveToStream(s); }, Count() > 0);
}

// ---- TSortedObjectList ---------------------------------------------------------------------

void TSortedObjectList::Put(int32_t, Object*) {
  throw EListError(LoadStr(support::sCannotPutInSortedList));
}

int32_t TSortedObjectList::Add(Object* item) { return SortedInsert(item); }

int32_t TSortedObjectList::IndexOf(const Object* item) const {
  int32_t index = 0;
  return Find(KeyOf(item), index) ? index : -1;
}

void TSortedObjectList::Insert(int32_t, Object* item) { SortedInsert(item); }

bool TSortedObjectList::Find(const Object* key, int32_t& index) const {
  int32_t lo = 0;
  int32_t hi = Count() - 1;
  bool found = false;
  while (lo <= hi) {
    const auto mid = static_cast<int32_t>((static_cast<uint32_t>(lo) + static_cast<uint32_t>(hi)) >> 1);
    const int c = Compare(KeyOf(Get(mid)), key);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) {
        found = true;
        if (duplicates_ != dupAcceptObject) lo = mid;
      }
    }
  }
  index = lo;
  return found;
}

int32_t TSortedObjectList::SortedInsert(Object* item) {
  int32_t position = 0;
  if (Find(KeyOf(item), position)) {
    if (duplicates_ == dupIgnoreObject) return -1;
    if (duplicates_ == dupErrorObject) throw EListError(LoadStr(support::sDuplicateObjectIndex));
  }
  TObjectList::Insert(position, item);
  return position;
}

void TSortedObjectList::LoadFromStream(classlib::Stream& stream) {
  uint8_t policy = 0;
  stream.ReadBuffer(&policy, 1);
  duplicates_ = policy;
  LoadItems(stream);
}

void TSortedObjectList::SaveToStream(classlib::Stream& stream) const {
  stream.WriteBuffer(&duplicates_, 1);
  SaveItems(stream);
}

}  // namespace kestrel::archive
