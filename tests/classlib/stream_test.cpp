// stream_test.cpp — the abstract stream's exact-transfer helpers, the memory stream, the
// handle-based file stream, and the component base's ownership.
#include <gtest/gtest.h>

#include <memory>

#include "classlib/component.h"
#include "classlib/exception.h"
#include "classlib/file_stream.h"
#include "classlib/memory_stream.h"
#include "tests/support/test_dir.h"

namespace kestrel::classlib {
namespace {

TEST(Stream, ExactTransfersRaiseOnShortOnes) {
  MemoryStream source(std::vector<uint8_t>{1, 2, 3, 4, 5});
  uint8_t bytes[8] = {};
  source.ReadBuffer(bytes, 3);
  EXPECT_EQ(bytes[2], 3);
  try {
    source.ReadBuffer(bytes, 3);
    FAIL();
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), "Stream read error");
  }
  MemoryStream target;
  source.SetPosition(1);
  EXPECT_EQ(target.CopyFrom(source, 3), 3);
  EXPECT_EQ(target.Bytes(), (std::vector<uint8_t>{2, 3, 4}));
  EXPECT_EQ(target.CopyFrom(source, 0), 0);  // zero copies nothing
  EXPECT_THROW(target.CopyFrom(source, 5), EReadError);
  MemoryStream all;
  EXPECT_EQ(all.CopyAllFrom(source), 5);
  EXPECT_EQ(all.Size(), 5);
}

TEST(Stream, MemoryStreamSeeksAndGrows) {
  MemoryStream s;
  EXPECT_EQ(s.Seek(4, soFromBeginning), 4);
  s.Write("x", 1);
  EXPECT_EQ(s.Bytes(), (std::vector<uint8_t>{0, 0, 0, 0, 'x'}));
  EXPECT_EQ(s.Seek(-2, soFromEnd), 3);
  EXPECT_EQ(s.Seek(1, soFromCurrent), 4);
  EXPECT_THROW(s.Seek(-1, soFromBeginning), EStreamError);
  s.SetSize(2);
  EXPECT_EQ(s.Position(), 2);
}

// A failure the system explains carries its reason; /dev/full refuses every write.
TEST(Stream, FileErrorsCarryTheSystemsReason) {
#ifndef _WIN32
  FileStream full("C:\\dev\\full", fmOpenWrite);
  try {
    full.WriteBuffer("x", 1);
    FAIL();
  } catch (const EWriteError& e) {
    EXPECT_EQ(e.Message(), "Stream write error: no space left on the device");
  }
#endif
  testing::TestDir dir;
  ASSERT_TRUE(dir.ok());
  const std::string name = dir / "missing\\f.bin";
  try {
    FileStream nowhere(name, fmCreate);
    FAIL();
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message(), "Cannot create file " + name + ": no such directory");
  }
}

TEST(Stream, FileStreamOpensCreatesAndSizes) {
  testing::TestDir dir;
  ASSERT_TRUE(dir.ok());
  const std::string name = dir / "f.bin";
  try {
    FileStream missing(name, fmOpenRead);
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file " + name + ": no such file");
  }
  {
    FileStream out(name, fmCreate);
    EXPECT_EQ(out.Write("hello world", 11), 11);
    out.SetSize(5);
    EXPECT_EQ(out.Size(), 5);
    EXPECT_EQ(out.Position(), 5);
  }
  FileStream in(name, fmOpenRead | fmShareDenyNone);
  char text[16] = {};
  EXPECT_EQ(in.Read(text, 16), 5);
  EXPECT_STREQ(text, "hello");
  EXPECT_THROW(in.Seek(-1, soFromBeginning), EStreamError);
  EXPECT_THROW(FileStream(dir / "no\\such\\dir.bin", fmCreate), EFCreateError);
}

class Counted : public Component {
 public:
  Counted(Component* owner, int& alive) : Component(owner), alive_(alive) { ++alive_; }
  ~Counted() override { --alive_; }

 private:
  int& alive_;
};

TEST(Component, OwnerDestroysWhatItOwns) {
  int alive = 0;
  auto owner = std::make_unique<Counted>(nullptr, alive);
  auto* a = new Counted(owner.get(), alive);
  new Counted(a, alive);  // owned by a, destroyed with it
  auto* b = new Counted(owner.get(), alive);
  EXPECT_EQ(owner->ComponentCount(), 2);
  EXPECT_EQ(a->Owner(), owner.get());
  delete b;  // leaves its owner's list
  EXPECT_EQ(owner->ComponentCount(), 1);
  EXPECT_EQ(alive, 3);
  owner.reset();
  EXPECT_EQ(alive, 0);
}

}  // namespace
}  // namespace kestrel::classlib
