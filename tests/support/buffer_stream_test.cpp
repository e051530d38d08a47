// buffer_stream_test.cpp — TS_BufferStream and TLFNFileStream: a model-based test that drives
// a buffered stream and a plain stream with the same random reads, writes, seeks and putbacks
// (many seeds and buffer sizes, over memory and over real files), and the documented cases.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "classlib/exception.h"
#include "classlib/file_stream.h"
#include "classlib/memory_stream.h"
#include "support/buffer_stream.h"
#include "support/lfn_file_stream.h"
#include "tests/support/test_dir.h"

namespace kestrel::support {
namespace {

using classlib::EStreamError;
using classlib::MemoryStream;
using classlib::soFromBeginning;
using classlib::soFromCurrent;
using classlib::soFromEnd;
using classlib::Stream;

std::vector<uint8_t> RandomBytes(std::mt19937& random, size_t n) {
  std::vector<uint8_t> bytes(n);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

// Drives buffered and model with the same operations; every answer must agree.
void DriveTogether(Stream& buffered, Stream& model, int32_t bufferSize, std::mt19937& random,
                   int steps) {
  auto* bs = dynamic_cast<TS_BufferStream*>(&buffered);
  ASSERT_NE(bs, nullptr);
  bool lastWasRead = false;
  const int32_t span = 3 * bufferSize + 2;
  for (int step = 0; step < steps; ++step) {
    const unsigned op = random() % 100;
    bool readNow = false;
    if (op < 30) {
      const auto count = static_cast<int32_t>(random() % static_cast<unsigned>(span));
      std::vector<uint8_t> a(static_cast<size_t>(count) + 1, 0xAA);
      std::vector<uint8_t> b(static_cast<size_t>(count) + 1, 0xAA);
      const int32_t got = buffered.Read(a.data(), count);
      ASSERT_EQ(got, model.Read(b.data(), count)) << "read, step " << step;
      ASSERT_EQ(a, b) << "read bytes, step " << step;
      readNow = got > 0 && got == count;  // a short read tried a refill at the end
    } else if (op < 55) {
      const auto bytes = RandomBytes(random, random() % static_cast<unsigned>(span));
      const auto count = static_cast<int32_t>(bytes.size());
      ASSERT_EQ(buffered.Write(bytes.data(), count), model.Write(bytes.data(), count));
    } else if (op < 75) {
      const int64_t size = model.Size();
      const int64_t position = model.Position();
      const int64_t target = static_cast<int64_t>(random() % static_cast<unsigned>(size + 8));
      const unsigned origin = random() % 3;
      int64_t expected = 0;
      int64_t got = 0;
      if (origin == 0) {
        got = buffered.Seek(target, soFromBeginning);
        expected = model.Seek(target, soFromBeginning);
      } else if (origin == 1) {
        got = buffered.Seek(target - position, soFromCurrent);
        expected = model.Seek(target - position, soFromCurrent);
      } else {
        const int64_t back = static_cast<int64_t>(random() % static_cast<unsigned>(size + 1));
        got = buffered.Seek(random() % 2 ? back : -back, soFromEnd);  // the sign is ignored
        expected = model.Seek(-back, soFromEnd);
      }
      ASSERT_EQ(got, expected) << "seek, step " << step;
    } else if (op < 85) {
      ASSERT_EQ(buffered.Seek(0, soFromCurrent), model.Position()) << "position, step " << step;
      readNow = lastWasRead;  // asking the position keeps the read-ahead
    } else if (op < 90) {
      ASSERT_EQ(buffered.Size(), model.Size()) << "size, step " << step;
      readNow = lastWasRead;
    } else if (model.Position() > 0 && model.Position() <= model.Size()) {
      uint8_t previous = 0;
      const int64_t position = model.Position();
      model.Seek(position - 1, soFromBeginning);
      model.Read(&previous, 1);
      model.Seek(position, soFromBeginning);
      try {
        bs->UnreadByte(previous);
        model.Seek(-1, soFromCurrent);
      } catch (const EStreamError&) {
        ASSERT_FALSE(lastWasRead) << "putback refused right after a read, step " << step;
      }
    }
    lastWasRead = readNow;
  }
}

class BufferModel : public ::testing::TestWithParam<int32_t> {};

TEST_P(BufferModel, OverMemoryAgreesWithPlainStream) {
  const int32_t bufferSize = GetParam();
  for (unsigned seed = 1; seed <= 150; ++seed) {
    std::mt19937 random(seed * 1000 + static_cast<unsigned>(bufferSize));
    const auto initial = RandomBytes(random, random() % 200);
    MemoryStream underlying(initial);
    MemoryStream model(initial);
    {
      TS_BufferStream buffered(&underlying, bufferSize);
      DriveTogether(buffered, model, bufferSize, random, 300);
      if (::testing::Test::HasFatalFailure()) {
        ADD_FAILURE() << "seed " << seed;
        return;
      }
    }  // destruction writes what is pending
    ASSERT_EQ(underlying.Bytes(), model.Bytes()) << "seed " << seed;
  }
}

TEST_P(BufferModel, OverFilesAgreesWithPlainFileStream) {
  const int32_t bufferSize = GetParam();
  testing::TestDir dir;
  ASSERT_TRUE(dir.ok());
  for (unsigned seed = 1; seed <= 25; ++seed) {
    std::mt19937 random(seed * 77 + static_cast<unsigned>(bufferSize));
    const auto initial = RandomBytes(random, random() % 300);
    const std::string content(initial.begin(), initial.end());
    ASSERT_TRUE(testing::WriteWholeFile(dir / "buffered.bin", content));
    ASSERT_TRUE(testing::WriteWholeFile(dir / "plain.bin", content));
    {
      TLFNFileStream buffered(dir / "buffered.bin", classlib::fmOpenReadWrite, true, bufferSize);
      classlib::FileStream model(dir / "plain.bin", classlib::fmOpenReadWrite);
      DriveTogether(buffered, model, bufferSize, random, 200);
      if (::testing::Test::HasFatalFailure()) {
        ADD_FAILURE() << "seed " << seed;
        return;
      }
    }
    ASSERT_EQ(testing::ReadWholeFile(dir / "buffered.bin"),
              testing::ReadWholeFile(dir / "plain.bin"))
        << "seed " << seed;
  }
}

INSTANTIATE_TEST_SUITE_P(BufferSizes, BufferModel, ::testing::Values(1, 2, 3, 7, 16, 64));

// A stream that accepts at most `room` bytes in all, like a disk that fills up.
class FullDisk : public MemoryStream {
 public:
  explicit FullDisk(int64_t room) : room_(room) {}
  int32_t Write(const void* buffer, int32_t count) override {
    const auto n = static_cast<int32_t>(std::min<int64_t>(count, room_));
    room_ -= n;
    return MemoryStream::Write(buffer, n);
  }

 private:
  int64_t room_;
};

std::vector<uint8_t> Counting(size_t n) {
  std::vector<uint8_t> bytes(n);
  for (size_t k = 0; k < n; ++k) bytes[k] = static_cast<uint8_t>(k);
  return bytes;
}

TEST(BufferStream, PositionAfterPartialReadKeepsReadAhead) {
  MemoryStream underlying(Counting(100));
  TS_BufferStream stream(&underlying, 32);
  int refills = 0;
  stream.OnRefill = [&](classlib::Object* sender) {
    EXPECT_EQ(sender, &stream);
    ++refills;
  };
  uint8_t bytes[5] = {};
  ASSERT_EQ(stream.Read(bytes, 5), 5);
  EXPECT_EQ(underlying.Position(), 32);
  EXPECT_EQ(stream.Seek(0, soFromCurrent), 5);
  ASSERT_EQ(stream.Read(bytes, 1), 1);
  EXPECT_EQ(bytes[0], 5);
  EXPECT_EQ(refills, 1);
}

TEST(BufferStream, SeekFromEndIgnoresTheSign) {
  MemoryStream underlying(Counting(100));
  TS_BufferStream stream(&underlying, 16);
  EXPECT_EQ(stream.Seek(-10, soFromEnd), 90);
  EXPECT_EQ(stream.Seek(10, soFromEnd), 90);
  try {
    stream.Seek(0, static_cast<classlib::SeekOrigin>(3));
    FAIL() << "accepted origin 3";
  } catch (const classlib::Exception& e) {
    EXPECT_EQ(e.Message(), "Invalid seek origin (3)");
  }
}

TEST(BufferStream, SeekToCurrentPositionWhileWritingDoesNotFlush) {
  MemoryStream underlying;
  int writeOuts = 0;
  {
    TS_BufferStream stream(&underlying, 64);
    stream.OnWriteOut = [&](classlib::Object*) { ++writeOuts; };
    stream.Write("abcdef", 6);
    EXPECT_EQ(stream.Seek(0, soFromCurrent), 6);
    EXPECT_EQ(stream.Seek(6, soFromBeginning), 6);
    EXPECT_EQ(writeOuts, 0);
    EXPECT_EQ(underlying.Size(), 0);
    EXPECT_EQ(stream.Size(), 6);
  }
  EXPECT_EQ(writeOuts, 1);  // destruction wrote the pending bytes
  EXPECT_EQ(underlying.Bytes(), (std::vector<uint8_t>{'a', 'b', 'c', 'd', 'e', 'f'}));
}

TEST(BufferStream, ReadAfterWriteContinuesInTheUnderlyingData) {
  MemoryStream underlying(Counting(20));
  TS_BufferStream stream(&underlying, 8);
  stream.Write("\xFF\xFF\xFF", 3);
  uint8_t next = 0;
  ASSERT_EQ(stream.Read(&next, 1), 1);
  EXPECT_EQ(next, 3);
  EXPECT_EQ(underlying.Bytes()[0], 0xFF);
}

TEST(BufferStream, WriteAfterReadingToTheEnd) {
  MemoryStream underlying(Counting(3));
  {
    TS_BufferStream stream(&underlying, 4);
    uint8_t bytes[8] = {};
    EXPECT_EQ(stream.Read(bytes, 8), 3);
    EXPECT_EQ(stream.Read(bytes, 8), 0);  // the refill found nothing
    EXPECT_EQ(stream.Write("xyz", 3), 3);
  }
  EXPECT_EQ(underlying.Bytes(), (std::vector<uint8_t>{0, 1, 2, 'x', 'y', 'z'}));
}

TEST(BufferStream, PutbackRules) {
  MemoryStream underlying(Counting(10));
  TS_BufferStream stream(&underlying, 4);
  try {
    stream.UnreadByte(1);
    FAIL() << "putback on a fresh stream";
  } catch (const EStreamError& e) {
    EXPECT_EQ(e.Message(), "Putback overflow");
  }
  uint8_t b = 0;
  stream.Read(&b, 1);
  stream.UnreadByte(0x55);
  stream.Read(&b, 1);
  EXPECT_EQ(b, 0x55);
  stream.Write("w", 1);
  EXPECT_THROW(stream.UnreadByte(1), EStreamError);  // nothing read to put back
}

TEST(BufferStream, ShortUnderlyingWrite) {
  FullDisk disk(5);
  TS_BufferStream stream(&disk, 4);
  // Two full buffers go out: the second write-out is short, so Write stops there.
  EXPECT_EQ(stream.Write("0123456789", 10), 8);
  EXPECT_EQ(disk.Size(), 5);
  stream.Write("ab", 2);
  try {
    stream.Seek(0, soFromBeginning);
    FAIL() << "seek hid a failed write-out";
  } catch (const classlib::Exception& e) {
    EXPECT_EQ(e.Message(), " Seek error");
  }
  stream.Write("cd", 2);
  EXPECT_THROW(stream.FlushBuffer(), classlib::EWriteError);
}

TEST(BufferStream, LongNameFileStreamOwnsItsFile) {
  testing::TestDir dir;
  ASSERT_TRUE(dir.ok());
  const std::string name = dir / "a long name.dat";
  {
    TLFNFileStream out(name, classlib::fmCreate, true, 16);
    EXPECT_TRUE(out.FlushOnDestroy());
    EXPECT_NE(out.Handle(), os::kInvalidFile);
    for (int k = 0; k < 100; ++k) out.Write("0123456789", 10);
  }
  EXPECT_EQ(testing::ReadWholeFile(name).size(), 1000u);
  {
    TLFNFileStream in(name, classlib::fmOpenRead, true);
    EXPECT_FALSE(in.FlushOnDestroy());  // opened for reading only
    EXPECT_EQ(in.Size(), 1000);
  }
  EXPECT_THROW(TLFNFileStream(dir / "missing.dat", classlib::fmOpenRead),
               classlib::EFOpenError);
  EXPECT_THROW(TLFNFileStream(dir / "no dir\\x.dat", classlib::fmCreate),
               classlib::EFCreateError);
}

}  // namespace
}  // namespace kestrel::support
