// object_list_fuzz.cpp — loading saved object lists from arbitrary bytes: a load either
// succeeds or raises the class library's exceptions (never crashes, leaks or allocates for a
// count the stream cannot hold), and what loaded saves and loads back to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "archive/object_list.h"
#include "classlib/exception.h"
#include "classlib/memory_stream.h"

namespace {

using kestrel::archive::Object;

// An object whose own data is one length byte and that many bytes.
struct Blob : Object {
  std::string ClassName() const override { return "TBlob"; }
  std::string bytes;
};

class BlobList : public kestrel::archive::TSortedObjectList {
 public:
  BlobList() : TSortedObjectList(0) {}
  int Compare(const Object* a, const Object* b) const override {
    return static_cast<const Blob*>(a)->bytes.compare(static_cast<const Blob*>(b)->bytes);
  }
};

bool Register() {
  kestrel::archive::RegisterClass(
      "TBlob", {[] { return std::make_unique<Blob>(); },
                [](Object& o, kestrel::classlib::Stream& s) {
                  uint8_t n = 0;
                  s.ReadBuffer(&n, 1);
                  auto& blob = static_cast<Blob&>(o);
                  blob.bytes.resize(n);
                  s.ReadBuffer(blob.bytes.data(), n);
                },
                [](const Object& o, kestrel::classlib::Stream& s) {
                  const auto& blob = static_cast<const Blob&>(o);
                  const auto n = static_cast<uint8_t>(blob.bytes.size());
                  s.WriteBuffer(&n, 1);
                  s.WriteBuffer(blob.bytes.data(), n);
                }});
  return true;
}

// A list loaded without owning its items leaves them to the caller.
void FreeBorrowed(kestrel::archive::TObjectList& list) {
  if (!list.OwnsItems())
    for (int32_t i = 0; i < list.Count(); ++i) delete list.Get(i);
}

template <typename List>
void RoundTrip(const std::vector<uint8_t>& bytes) {
  List list;
  kestrel::classlib::MemoryStream in(bytes);
  try {
    list.LoadFromStream(in);
  } catch (const kestrel::classlib::Exception&) {
    FreeBorrowed(list);
    return;
  }
  kestrel::classlib::MemoryStream saved;
  list.SaveToStream(saved);
  List again;
  kestrel::classlib::MemoryStream reread(saved.Bytes());
  again.LoadFromStream(reread);
  kestrel::classlib::MemoryStream resaved;
  again.SaveToStream(resaved);
  if (resaved.Bytes() != saved.Bytes()) std::abort();
  FreeBorrowed(list);
  FreeBorrowed(again);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool registered = Register();
  (void)registered;
  const std::vector<uint8_t> bytes(data, data + size);
  RoundTrip<kestrel::archive::TObjectList>(bytes);
  RoundTrip<BlobList>(bytes);
  return 0;
}
