// object_list_test.cpp — owning and sorted object lists: random operation sequences against a
// std::vector model (items, count, the observable capacity, who destroys what), the documented
// edge cases, and the saved "ObjectContainer" format byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "archive/object_list.h"
#include "classlib/exception.h"
#include "classlib/memory_stream.h"

namespace kestrel::archive {
namespace {

using classlib::EClassNotFound;
using classlib::EListError;
using classlib::EReadError;
using classlib::MemoryStream;

// A test object that counts the live instances, so leaks and double frees show.
struct Item : Object {
  explicit Item(int k = 0) : key(k) { ++alive; }
  ~Item() override { --alive; }
  std::string ClassName() const override { return "TItem"; }
  int key;
  static int alive;
};
int Item::alive = 0;

struct Other : Object {
  std::string ClassName() const override { return "TOther"; }
};

class KeyList : public TSortedObjectList {
 public:
  using TSortedObjectList::TSortedObjectList;
  int Compare(const Object* a, const Object* b) const override {
    return static_cast<const Item*>(a)->key - static_cast<const Item*>(b)->key;
  }
};

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EListError& e) {
    return e.Message();
  }
  return "(no error)";
}

int32_t GrowStep(int32_t capacity) { return capacity > 8 ? 16 : (capacity > 4 ? 8 : 4); }

class ObjectListTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(Item::alive, 0); }
};

// The unsorted list against a model of its observable state.
TEST_F(ObjectListTest, RandomOperationsMatchVectorModel) {
  for (unsigned seed = 1; seed <= 60; ++seed) {
    std::mt19937 random(seed);
    std::vector<Object*> detached;  // items the list no longer holds: the test frees them
    {
      TObjectList list;
      std::vector<Object*> model;
      int32_t capacity = 0;
      auto grow = [&] {
        if (static_cast<int32_t>(model.size()) == capacity) capacity += GrowStep(capacity);
      };
      for (int step = 0; step < 400; ++step) {
        const int count = static_cast<int>(model.size());
        switch (random() % 10) {
          case 0:
          case 1: {
            auto* item = new Item(step);
            grow();
            ASSERT_EQ(list.Add(item), count);
            model.push_back(item);
            break;
          }
          case 2: {
            const int index = static_cast<int>(random() % (count + 3)) - 1;
            auto* item = new Item(step);
            if (index < 0 || index > count) {
              EXPECT_THROW(list.Insert(index, item), EListError);
              delete item;
            } else {
              grow();
              list.Insert(index, item);
              model.insert(model.begin() + index, item);
            }
            break;
          }
          case 3: {
            if (count == 0) break;
            const int index = static_cast<int>(random() % count);
            auto* item = new Item(step);
            detached.push_back(model[static_cast<size_t>(index)]);  // Put destroys nothing
            list.Put(index, item);
            model[static_cast<size_t>(index)] = item;
            break;
          }
          case 4: {
            const int index = static_cast<int>(random() % (count + 2)) - 1;
            if (index < 0 || index >= count)
              EXPECT_THROW(list.Get(index), EListError);
            else
              EXPECT_EQ(list.Get(index), model[static_cast<size_t>(index)]);
            break;
          }
          case 5: {
            const int32_t n = static_cast<int32_t>(random() % 80) - 5;
            if (n < count) {
              EXPECT_THROW(list.SetCapacity(n), EListError);
            } else {
              list.SetCapacity(n);
              capacity = n;
            }
            break;
          }
          case 6: {
            const int32_t n = static_cast<int32_t>(random() % (count + 6));
            for (int32_t k = n; k < count; ++k) detached.push_back(model[static_cast<size_t>(k)]);
            list.SetCount(n);
            if (n > capacity) capacity = n;
            model.resize(static_cast<size_t>(n), nullptr);
            break;
          }
          case 7: {
            if (count == 0 || random() % 8 != 0) break;
            detached.insert(detached.end(), model.begin(), model.end());
            list.Clear();
            model.clear();
            capacity = 0;
            break;
          }
          case 8: {
            if (count == 0) {
              EXPECT_THROW(list.First(), EListError);
              EXPECT_THROW(list.Last(), EListError);
              break;
            }
            const int index = static_cast<int>(random() % count);
            Object* item = model[static_cast<size_t>(index)];
            if (item == nullptr) break;
            const auto first = std::find(model.begin(), model.end(), item) - model.begin();
            EXPECT_EQ(list.IndexOf(item), first);
            Object* after = first + 1 < count ? model[static_cast<size_t>(first + 1)] : nullptr;
            Object* before = first > 0 ? model[static_cast<size_t>(first - 1)] : nullptr;
            EXPECT_EQ(list.Neighbour(item, true), after);
            EXPECT_EQ(list.Neighbour(item, false), before);
            EXPECT_EQ(list.First(), model.front());
            EXPECT_EQ(list.Last(), model.back());
            break;
          }
          default: {
            Item stranger;
            EXPECT_EQ(list.IndexOf(&stranger), -1);
            break;
          }
        }
        ASSERT_EQ(list.Count(), static_cast<int32_t>(model.size())) << "seed " << seed;
        ASSERT_EQ(list.Capacity(), capacity) << "seed " << seed << " step " << step;
        for (int32_t k = 0; k < list.Count(); ++k)
          ASSERT_EQ(list.Get(k), model[static_cast<size_t>(k)]);
      }
    }  // the list destroys what it still holds
    for (Object* item : detached) delete item;
    ASSERT_EQ(Item::alive, 0) << "seed " << seed;
  }
}

// Sorted lists under each duplicates policy against a model kept in the documented order.
TEST_F(ObjectListTest, SortedRandomInsertionsMatchModel) {
  for (uint8_t policy = 0; policy <= 2; ++policy) {
    for (unsigned seed = 1; seed <= 40; ++seed) {
      std::mt19937 random(seed * 7 + policy);
      KeyList list(policy);
      std::vector<Item*> model;
      for (int step = 0; step < 200; ++step) {
        auto item = std::make_unique<Item>(static_cast<int>(random() % 40));
        const auto lower = std::lower_bound(model.begin(), model.end(), item->key,
                                            [](Item* a, int k) { return a->key < k; });
        const bool present = lower != model.end() && (*lower)->key == item->key;
        Item* raw = item.get();
        if (present && policy == dupIgnoreObject) {
          EXPECT_EQ(list.Add(raw), -1);
        } else if (present && policy == dupErrorObject) {
          EXPECT_EQ(ErrorOf([&] { list.Add(raw); }), "Duplicate Object index");
        } else {
          const auto position = static_cast<int32_t>(lower - model.begin());
          EXPECT_EQ(list.Add(item.release()), position);
          model.insert(model.begin() + position, raw);  // before its equals
        }
        ASSERT_EQ(list.Count(), static_cast<int32_t>(model.size()));
        for (int32_t k = 0; k < list.Count(); ++k)
          ASSERT_EQ(list.Get(k), model[static_cast<size_t>(k)]) << "policy " << int(policy);
        Item probe(static_cast<int>(random() % 42));
        int32_t index = -1;
        const auto at = std::lower_bound(model.begin(), model.end(), probe.key,
                                         [](Item* a, int k) { return a->key < k; });
        const bool found = at != model.end() && (*at)->key == probe.key;
        EXPECT_EQ(list.Find(&probe, index), found);
        if (!found) {
          EXPECT_EQ(index, at - model.begin());
        }
        if (policy == dupAcceptObject) {
          EXPECT_EQ(list.IndexOf(&probe), found ? at - model.begin() : -1);
        } else {
          EXPECT_EQ(list.IndexOf(&probe), found ? index : -1);
          if (found) {
            EXPECT_EQ(static_cast<Item*>(list.Get(index))->key, probe.key);
          }
        }
      }
    }
  }
}

TEST_F(ObjectListTest, DocumentedEdgeCases) {
  KeyList empty(dupErrorObject);
  Item key(5);
  int32_t index = -1;
  EXPECT_FALSE(empty.Find(&key, index));
  EXPECT_EQ(index, 0);

  KeyList ignoring(dupIgnoreObject);
  ignoring.Add(new Item(1));
  Item twin(1);
  EXPECT_EQ(ignoring.Add(&twin), -1);
  EXPECT_EQ(ignoring.Count(), 1);
  EXPECT_EQ(Item::alive, 3);  // key, twin, and the listed item: nothing destroyed

  KeyList accepting(dupAcceptObject);
  auto* a = new Item(2);
  auto* b = new Item(2);
  accepting.Add(new Item(1));
  accepting.Add(a);
  accepting.Add(new Item(3));
  accepting.Add(b);
  EXPECT_EQ(accepting.Get(1), b);  // the newcomer goes before its equals
  EXPECT_EQ(accepting.Get(2), a);
  EXPECT_EQ(ErrorOf([&] { accepting.Put(0, a); }), "Cannot <Put> an Object in a sorted list!");

  TObjectList three;
  Object* items[3] = {new Item, new Item, new Item};
  for (Object* item : items) three.Add(item);
  EXPECT_EQ(three.Neighbour(nullptr, false), items[2]);
  EXPECT_EQ(three.Neighbour(nullptr, true), items[0]);
  EXPECT_EQ(three.Neighbour(items[2], true), nullptr);
  Item outsider;
  EXPECT_EQ(ErrorOf([&] { three.Neighbour(&outsider, true); }), "tObject TItem not in item list");
  EXPECT_EQ(ErrorOf([&] { three.SetCapacity(three.Count() - 1); }),
            "List index out of bounds (2)");
  EXPECT_EQ(three.Count(), 3);
  EXPECT_EQ(three.Capacity(), 4);
  EXPECT_EQ(ErrorOf([&] { three.Get(3); }), "List index out of bounds (3)");
  EXPECT_EQ(ErrorOf([&] { three.SetCount(kMaxListSize); }),
            "List index out of bounds (536870911)");
  EXPECT_EQ(ErrorOf([&] { three.SetCount(-1); }), "List index out of bounds (-1)");

  const int before = Item::alive;
  three.Clear();  // an owning list's Clear leaves the items alive
  EXPECT_EQ(Item::alive, before);
  EXPECT_EQ(three.Capacity(), 0);
  for (Object* item : items) delete item;
}

TEST_F(ObjectListTest, GrowthStepsAndOwnership) {
  TObjectList list;
  std::vector<int32_t> capacities;
  for (int k = 0; k < 60; ++k) {
    list.Add(new Item(k));
    if (capacities.empty() || capacities.back() != list.Capacity())
      capacities.push_back(list.Capacity());
  }
  EXPECT_EQ(capacities, (std::vector<int32_t>{4, 8, 16, 32, 48, 64}));

  TObjectList borrowed;
  borrowed.SetOwnsItems(false);
  Item kept;
  borrowed.Add(&kept);
  borrowed.FreeAll();  // not owning: nothing destroyed
  EXPECT_EQ(borrowed.Count(), 0);
}

// ---- Saved format -----------------------------------------------------------------------

class SavedListTest : public ObjectListTest {
 protected:
  void SetUp() override {
    RegisterClass("TItem", tRegisterRec{
                               [] { return std::make_unique<Item>(); },
                               [](Object& o, classlib::Stream& s) {
                                 int32_t key = 0;
                                 s.ReadBuffer(&key, 4);
                                 static_cast<Item&>(o).key = key;
                               },
                               [](const Object& o, classlib::Stream& s) {
                                 const int32_t key = static_cast<const Item&>(o).key;
                                 s.WriteBuffer(&key, 4);
                               }});
  }
  void TearDown() override {
    UnregisterClass("TItem");
    ObjectListTest::TearDown();
  }
};

std::vector<uint8_t> Saved(const TObjectList& list) {
  MemoryStream stream;
  list.SaveToStream(stream);
  return stream.Bytes();
}

TEST_F(SavedListTest, EmptyListsAreFiveOrSixBytes) {
  TObjectList plain;
  EXPECT_EQ(Saved(plain), (std::vector<uint8_t>{1, 0, 0, 0, 0}));
  plain.SetOwnsItems(false);
  EXPECT_EQ(Saved(plain), (std::vector<uint8_t>{0, 0, 0, 0, 0}));
  KeyList sorted(dupErrorObject);
  EXPECT_EQ(Saved(sorted), (std::vector<uint8_t>{2, 1, 0, 0, 0, 0}));
}

TEST_F(SavedListTest, RecordsByteForByteAndBack) {
  KeyList list(dupAcceptObject);
  list.Add(new Item(0x0102));
  list.Add(new Item(-1));
  const std::vector<uint8_t> expected = {
      1,          1,   2,   0,   0,   0,                       // policy, owns, count 2
      5,          'T', 'I', 't', 'e', 'm', 0xFF, 0xFF, 0xFF, 0xFF,  // key -1 sorts first
      5,          'T', 'I', 't', 'e', 'm', 0x02, 0x01, 0,    0};
  EXPECT_EQ(Saved(list), expected);

  KeyList loaded(dupIgnoreObject);
  loaded.Add(new Item(7));
  MemoryStream stream(expected);
  loaded.LoadFromStream(stream);  // adds in order, and takes the stream's policy
  EXPECT_EQ(loaded.Duplicates(), dupAcceptObject);
  ASSERT_EQ(loaded.Count(), 3);
  EXPECT_EQ(static_cast<Item*>(loaded.Get(0))->key, -1);
  EXPECT_EQ(static_cast<Item*>(loaded.Get(1))->key, 7);
  EXPECT_EQ(static_cast<Item*>(loaded.Get(2))->key, 0x0102);

  TObjectList plain;
  plain.Add(new Item(1));
  MemoryStream second(std::vector<uint8_t>(expected.begin() + 1, expected.end()));
  plain.LoadFromStream(second);
  EXPECT_EQ(plain.Count(), 3);
  EXPECT_EQ(plain.Capacity(), 4);  // room for both already: nothing reserved
}

TEST_F(SavedListTest, LoadReservesCountPlusN) {
  TObjectList source;
  for (int k = 0; k < 10; ++k) source.Add(new Item(k));
  MemoryStream stream(Saved(source));
  TObjectList target;
  target.Add(new Item(99));
  target.LoadFromStream(stream);
  EXPECT_EQ(target.Count(), 11);
  EXPECT_EQ(target.Capacity(), 11);
}

TEST_F(SavedListTest, RegistryErrors) {
  EXPECT_FALSE(RegisterClass("titem", tRegisterRec{}));  // already present, any case
  TObjectList list;
  list.Add(new Item(1));
  list.Add(nullptr);
  MemoryStream sink;
  try {
    list.SaveToStream(sink);
    FAIL() << "saved a null item";
  } catch (const EClassNotFound& e) {
    EXPECT_EQ(e.Message(), "Nil Source Class!");
  }
  list.Put(1, new Other);
  try {
    list.SaveToStream(sink);
    FAIL() << "saved an unregistered class";
  } catch (const EClassNotFound& e) {
    EXPECT_EQ(e.Message(), "Source Class <TOther> not registered");
  }

  const std::vector<uint8_t> unknown = {1, 1, 0, 0, 0, 4, 'T', 'X', 'y', 'z'};
  MemoryStream in(unknown);
  try {
    list.LoadFromStream(in);
    FAIL() << "loaded an unregistered class";
  } catch (const EClassNotFound& e) {
    EXPECT_EQ(e.Message(), "Class <TXyz> not registered");
  }
}

TEST_F(SavedListTest, TruncatedStreamKeepsWhatWasLoaded) {
  TObjectList source;
  for (int k = 0; k < 3; ++k) source.Add(new Item(k));
  std::vector<uint8_t> bytes = Saved(source);
  bytes.resize(bytes.size() - 2);  // the third record's data is cut
  MemoryStream stream(bytes);
  TObjectList target;
  EXPECT_THROW(target.LoadFromStream(stream), EReadError);
  EXPECT_EQ(target.Count(), 2);

  // A hostile count: the stream cannot hold it, so nothing is reserved for it.
  const std::vector<uint8_t> hostile = {1, 0xFE, 0xFF, 0xFF, 0x1F, 5, 'T', 'I'};
  MemoryStream bad(hostile);
  TObjectList victim;
  EXPECT_THROW(victim.LoadFromStream(bad), EReadError);
  EXPECT_EQ(victim.Capacity(), 0);
}

TEST_F(SavedListTest, ObjectContainerProperty) {
  struct Recorder : classlib::Filer {
    void DefineBinaryProperty(const std::string& n, const std::function<void(classlib::Stream&)>&,
                              const std::function<void(classlib::Stream&)>& write,
                              bool has) override {
      name = n;
      hasData = has;
      if (has) write(data);
    }
    std::string name;
    bool hasData = false;
    MemoryStream data;
  };
  TObjectList list;
  Recorder empty;
  list.DefineProperties(empty);
  EXPECT_EQ(empty.name, "ObjectContainer");
  EXPECT_FALSE(empty.hasData);
  list.Add(new Item(3));
  Recorder full;
  list.DefineProperties(full);
  EXPECT_TRUE(full.hasData);
  EXPECT_EQ(full.data.Bytes(), Saved(list));
}

}  // namespace
}  // namespace kestrel::archive
