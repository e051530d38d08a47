// Key registers and primitives of the traditional cipher, and the component's CRC-32 table.
#include "archive/zip_cipher.h"

#include <gtest/gtest.h>

#include "archive/lyn_unzip.h"
#include "archive_fixtures.h"

#include <string>
#include <vector>

namespace kestrel::archive {
namespace {

// Deciphering is not part of the library; the tests need it to check the enciphering.
uint8_t DecryptByte(TZipKeys& keys, uint8_t c) {
  uint8_t p = c ^ keys.KeyStreamByte();
  keys.UpdateKeys(p);
  return p;
}

TEST(ZipCipher, CrcTableIsTheZipCrc) {
  const std::string check = "123456789";
  EXPECT_EQ(Crc32Update(0xFFFFFFFFu, check.data(), check.size()) ^ 0xFFFFFFFFu, 0xCBF43926u);
  EXPECT_EQ(ZipCrcTable()[1], 0x77073096u);
  EXPECT_EQ(ZipCrcTable()[255], 0x2D02EF8Du);
  TZipKeys keys;
  keys.crc = 0xFFFFFFFFu;
  keys.FoldCrc(reinterpret_cast<const uint8_t*>(check.data()), 4);
  keys.FoldCrc(reinterpret_cast<const uint8_t*>(check.data()) + 4, 5);
  EXPECT_EQ(keys.crc ^ 0xFFFFFFFFu, 0xCBF43926u);
}

TEST(ZipCipher, InitKeysRunsOneUpdatePerPasswordByte) {
  TZipKeys empty;
  empty.k0 = empty.k1 = empty.k2 = 7;
  empty.InitKeys("");
  EXPECT_EQ(empty.k0, 0x12345678u);
  EXPECT_EQ(empty.k1, 0x23456789u);
  EXPECT_EQ(empty.k2, 0x34567890u);

  TZipKeys one, manual;
  one.InitKeys("\xE9");  // a byte above 127 is taken as stored
  manual.UpdateKeys(0xE9);
  EXPECT_EQ(one.k0, manual.k0);
  EXPECT_EQ(one.k1, manual.k1);
  EXPECT_EQ(one.k2, manual.k2);
  // By hand: k0 = crc step of the initial k0 with the byte, and so on.
  uint32_t k0 = Crc32Step(0x12345678u, 0xE9);
  uint32_t k1 = (0x23456789u + (k0 & 0xFF)) * 0x08088405u + 1;
  uint32_t k2 = Crc32Step(0x34567890u, static_cast<uint8_t>(k1 >> 24));
  EXPECT_EQ(one.k0, k0);
  EXPECT_EQ(one.k1, k1);
  EXPECT_EQ(one.k2, k2);
}

TEST(ZipCipher, KeyStreamByteIsBitsEightToFifteenOfTheProduct) {
  TZipKeys keys;
  for (uint32_t k2 : {0u, 1u, 2u, 3u, 0xFFFFu, 0x12345678u, 0xFFFFFFFFu}) {
    keys.k2 = k2;
    uint32_t t = (k2 & 0xFFFF) | 2;
    EXPECT_EQ(keys.KeyStreamByte(), static_cast<uint8_t>(((t * (t ^ 1)) & 0xFFFF) >> 8));
  }
}

TEST(ZipCipher, EncipheredBufferDeciphersWithTheSameKeys) {
  std::vector<uint8_t> plain(1000);
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<uint8_t>(i * 7 + 3);
  std::vector<uint8_t> data = plain;
  TZipKeys writer;
  writer.InitKeys("secret");
  writer.EncryptBuffer(data.data(), 10);
  for (size_t i = 10; i < data.size(); ++i) data[i] = writer.EncryptByte(data[i]);
  EXPECT_NE(data, plain);
  TZipKeys reader;
  reader.InitKeys("secret");
  for (auto& b : data) b = DecryptByte(reader, b);
  EXPECT_EQ(data, plain);
}

// Entries enciphered by peers decipher with these keys to the original bytes.
TEST(ZipCipher, PeerEncipheredEntriesDecipher) {
  using namespace fixtures;
  ScratchDir dir;
  std::string plain;
  for (int i = 0; i < 5000; ++i) plain.push_back(static_cast<char>((i * 131) % 256));
  WriteText(dir / "plain.bin", plain);
  std::vector<std::string> made;
  if (HaveTool("zip") &&
      Shell("cd " + dir.path().string() + " && zip -q -0 -P s3cret z.zip plain.bin") == 0) {
    made.push_back("z.zip");
  }
  if (HaveTool("7z") && Shell("cd " + dir.path().string() +
                              " && 7z a -tzip -mx=0 -mem=ZipCrypto -ps3cret s.zip plain.bin") == 0) {
    made.push_back("s.zip");
  }
  if (made.empty()) GTEST_SKIP() << "no peer can encipher";
  for (const std::string& name : made) {
    SCOPED_TRACE(name);
    TLynUnZip z;
    z.SetZipName(DrivePath(dir / name));
    z.OpenZip();
    ASSERT_EQ(z.Count(), 1);
    TZipHeaderInfo& h = z.Entry(0);
    ASSERT_EQ(h.flags & 1, 1);
    ASSERT_EQ(h.method, 0);
    ASSERT_EQ(h.compressedSize, plain.size() + 12);
    std::vector<uint8_t> file = ReadAll(dir / name);
    size_t data = h.localHeaderOffset + 30 + Get16(file, h.localHeaderOffset + 26) +
                  Get16(file, h.localHeaderOffset + 28);
    TZipKeys keys;
    keys.InitKeys("s3cret");
    std::vector<uint8_t> header(file.begin() + data, file.begin() + data + 12);
    for (auto& b : header) b = DecryptByte(keys, b);
    // The check byte is the CRC's high byte, or the time's when a data descriptor follows.
    uint8_t check = h.HasDataDescriptor() ? static_cast<uint8_t>(h.dateTime >> 8)
                                          : static_cast<uint8_t>(h.crc32 >> 24);
    EXPECT_EQ(header[11], check);
    std::string back;
    for (size_t i = 0; i < plain.size(); ++i) {
      back.push_back(static_cast<char>(DecryptByte(keys, file[data + 12 + i])));
    }
    EXPECT_EQ(back, plain);
  }
}

}  // namespace
}  // namespace kestrel::archive
