// data_descriptor_test.cpp — entries whose CRC and sizes follow the data (flag bit 3) or sit in
// a zip64 extra field, built byte by byte in the layouts that streaming writers use: stored
// data sized by the central directory, descriptors with and without their optional
// signature, and a CRC that equals the signature's value.
#include <array>

#include "exports/unpack_walk.h"
#include "reader/unzip_state.h"
#include "tests/exports/unpack_fixture.h"

namespace kestrel::testing {
namespace {

constexpr uint32_t kDescriptorSignature = 0x08074B50u;

std::array<uint32_t, 256> CrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    table[i] = c;
  }
  return table;
}

// data followed by four bytes that make its CRC-32 equal to target: the table's top bytes are
// all different, so the last four table indices follow from target, and the bytes from them.
std::string WithCrc(std::string data, uint32_t target) {
  const auto table = CrcTable();
  uint8_t index[4];
  uint32_t want = ~target;
  for (int k = 3; k >= 0; --k) {
    for (uint32_t i = 0; i < 256; ++i) {
      if (table[i] >> 24 == want >> 24) index[k] = uint8_t(i);
    }
    want = (want ^ table[index[k]]) << 8;
  }
  uint32_t crc = ~BitwiseCrc32(data);
  for (uint8_t i : index) {
    data += char((crc ^ i) & 0xFF);
    crc = (crc >> 8) ^ table[i];
  }
  return data;
}

struct Entry {
  std::string name;
  std::string data;
  bool deflate = false;     // the data in one stored Deflate block, method 8
  bool descriptor = true;   // flag bit 3: zeros in the local header, a descriptor behind
  bool signature = true;    // the descriptor starts with its optional signature
  bool zip64Local = false;  // no descriptor; local sizes 0xFFFFFFFF, real ones in a zip64 extra
};

void Put16(std::string& out, uint32_t v) {
  out += char(v & 0xFF);
  out += char((v >> 8) & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

std::string Archive(const std::vector<Entry>& entries) {
  std::string out, directory;
  for (const Entry& e : entries) {
    std::string packed = e.data;
    if (e.deflate) {
      packed = std::string(1, '\x01');  // final block, stored
      Put16(packed, uint32_t(e.data.size()));
      Put16(packed, uint32_t(~e.data.size() & 0xFFFF));
      packed += e.data;
    }
    const uint32_t crc = BitwiseCrc32(e.data);
    const uint16_t flags = e.descriptor ? 8 : 0;
    const uint16_t method = e.deflate ? 8 : 0;
    std::string extra;
    if (e.zip64Local) {
      Put16(extra, 1);
      Put16(extra, 16);
      Put32(extra, uint32_t(e.data.size()));
      Put32(extra, 0);
      Put32(extra, uint32_t(packed.size()));
      Put32(extra, 0);
    }
    const uint32_t offset = uint32_t(out.size());
    Put32(out, 0x04034B50u);
    Put16(out, e.zip64Local ? 45 : 20);
    Put16(out, flags);
    Put16(out, method);
    Put32(out, 0x50B15200u);  // 2020-05-17 10:16:00
    Put32(out, e.descriptor ? 0 : crc);
    const uint32_t localSize = e.zip64Local ? 0xFFFFFFFFu : 0;
    Put32(out, e.descriptor || e.zip64Local ? localSize : uint32_t(packed.size()));
    Put32(out, e.descriptor || e.zip64Local ? localSize : uint32_t(e.data.size()));
    Put16(out, uint32_t(e.name.size()));
    Put16(out, uint32_t(extra.size()));
    out += e.name + extra + packed;
    if (e.descriptor) {
      if (e.signature) Put32(out, kDescriptorSignature);
      Put32(out, crc);
      Put32(out, uint32_t(packed.size()));
      Put32(out, uint32_t(e.data.size()));
    }
    Put32(directory, 0x02014B50u);
    Put16(directory, 20);
    Put16(directory, 20);
    Put16(directory, flags);
    Put16(directory, method);
    Put32(directory, 0x50B15200u);
    Put32(directory, crc);
    Put32(directory, uint32_t(packed.size()));
    Put32(directory, uint32_t(e.data.size()));
    Put16(directory, uint32_t(e.name.size()));
    for (int i = 0; i < 4; ++i) Put16(directory, 0);  // extra, comment, disk, internal
    Put32(directory, 0x20);
    Put32(directory, offset);
    directory += e.name;
  }
  const uint32_t directoryOffset = uint32_t(out.size());
  out += directory;
  Put32(out, 0x06054B50u);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, uint32_t(entries.size()));
  Put16(out, uint32_t(entries.size()));
  Put32(out, uint32_t(directory.size()));
  Put32(out, directoryOffset);
  Put16(out, 0);
  return out;
}

struct Recorder : exports::WalkObserver {
  std::vector<int> results;
  bool AfterEntry(const reader::ZipDirEntry&, int result) override {
    results.push_back(result);
    return true;
  }
};

class DataDescriptors : public ::testing::Test {
 protected:
  ScratchFolder scratch{"descriptors"};
  fs::path archive = scratch / "a.zip";
  fs::path dest = scratch / "out";

  std::vector<int> Walk(exports::WalkMode mode) {
    Recorder recorder;
    exports::UnpackArchive(DriveOf(archive), DriveOf(dest), mode, &recorder);
    return recorder.results;
  }
};

TEST_F(DataDescriptors, EveryLayoutUnpacksByteForByte) {
  const std::string text = std::string(70000, 't') + "end";  // more than one copy chunk
  const std::string sigCrc = WithCrc("crc like a signature ", kDescriptorSignature);
  ASSERT_EQ(BitwiseCrc32(sigCrc), kDescriptorSignature);
  const std::vector<Entry> entries = {
      {"stored.txt", text},
      {"nosig.txt", text, false, true, false},
      {"sigcrc.txt", sigCrc},
      {"sigcrc-nosig.txt", sigCrc, false, true, false},
      {"empty.txt", ""},
      {"empty-nosig.txt", "", false, true, false},
      {"deflated.txt", text.substr(0, 60000), true},
      {"deflated-nosig.txt", text.substr(0, 60000), true, true, false},
      {"zip64-local.txt", text, false, false, false, true},
      {"zip64-deflated.txt", "deflated, sizes in zip64", true, false, false, true},
      {"plain.txt", "plain", false, false},
  };
  WriteBytes(archive, Archive(entries));
  if (HavePeer("unzip")) {
    ASSERT_EQ(Shell("unzip -tqq " + Quoted(archive)), 0) << "the built archive is not valid";
  }

  const std::vector<int> tested = Walk(exports::WalkMode::Test);
  EXPECT_EQ(tested, std::vector<int>(entries.size(), reader::ExtractOk));
  const std::vector<int> extracted = Walk(exports::WalkMode::Extract);
  EXPECT_EQ(extracted, std::vector<int>(entries.size(), reader::ExtractOk));
  for (const Entry& e : entries) EXPECT_TRUE(ReadBytes(dest / e.name) == e.data) << e.name;
  EXPECT_EQ(ExpectCentralCrcs(archive, dest), int(entries.size()));
}

// A descriptor whose CRC does not match the data fails the entry, which leaves no file; the
// walk goes on.
TEST_F(DataDescriptors, WrongDescriptorCrcIsACrcError) {
  for (bool signature : {true, false}) {
    SCOPED_TRACE(signature);
    std::string bytes = Archive({{"bad.txt", "some stored data", false, true, signature},
                                 {"next.txt", "next"}});
    bytes[30 + 7 + 16 + (signature ? 4 : 0)] ^= 0x01;  // the descriptor's CRC
    WriteBytes(archive, bytes);
    EXPECT_EQ(Walk(exports::WalkMode::Test),
              (std::vector<int>{reader::ExtractCrcError, reader::ExtractOk}));
    EXPECT_EQ(Walk(exports::WalkMode::Extract),
              (std::vector<int>{reader::ExtractCrcError, reader::ExtractOk}));
    EXPECT_FALSE(fs::exists(dest / "bad.txt"));
    EXPECT_EQ(ReadBytes(dest / "next.txt"), "next");
  }
}

}  // namespace
}  // namespace kestrel::testing
