// Enciphering an entry: the CRC pre-pass, the encryption header and its check bytes, the
// data cipher continuing the header's keys, the host's own cipher, and a hand-built
// enciphered archive opened by peers with the right and a wrong password.
#include "writer/entry_encryption.h"

#include <gtest/gtest.h>

#include <numeric>

#include "archive/archive_fixtures.h"
#include "archive/end_central.h"
#include "archive/zip_cipher.h"
#include "archive/zip_header_info.h"
#include "classlib/file_stream.h"
#include "classlib/memory_stream.h"

namespace kestrel::writer {
namespace {

using namespace archive::fixtures;

std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>((i * 7) ^ (i >> 5));
  return b;
}

uint32_t Crc(const std::vector<uint8_t>& b) {
  return archive::Crc32Update(0xFFFFFFFFu, b.data(), b.size()) ^ 0xFFFFFFFFu;
}

// Deciphers in place with keys set up from password, as a reader of the format would.
void Decipher(const std::string& password, std::vector<uint8_t>& b) {
  archive::TZipKeys keys;
  keys.InitKeys(password);
  for (uint8_t& c : b) {
    c = static_cast<uint8_t>(c ^ keys.KeyStreamByte());
    keys.UpdateKeys(c);
  }
}

TEST(EntryEncryption, CrcPrePassReadsTheWholeSourceAndRewinds) {
  for (size_t n : {size_t{0}, size_t{1}, size_t{8192}, size_t{20001}}) {
    std::vector<uint8_t> data = Pattern(n);
    classlib::MemoryStream source(data);
    source.Seek(5 < n ? 5 : 0, classlib::soFromBeginning);  // starts from the top regardless
    archive::TZipKeys keys;
    EXPECT_EQ(CrcPrePass(source, keys), Crc(data)) << n;
    EXPECT_EQ(source.Position(), 0) << n;
  }
}

TEST(EntryEncryption, HeaderChecksOutAndItsLeadingBytesAreRandom) {
  const uint32_t crc = 0xA1B2C3D4u;
  archive::TZipKeys keys;
  EncryptionHeader first = BuildEncryptionHeader(keys, "secret", crc);
  EncryptionHeader second = BuildEncryptionHeader(keys, "secret", crc);
  std::vector<uint8_t> plain(first.begin(), first.end());
  Decipher("secret", plain);
  EXPECT_EQ(plain[10], 0xB2);
  EXPECT_EQ(plain[11], 0xA1);
  std::vector<uint8_t> other(second.begin(), second.end());
  Decipher("secret", other);
  EXPECT_EQ(other[11], 0xA1);
  // Ten bytes from the random source: two headers agreeing in all of them would mean none.
  EXPECT_FALSE(std::equal(plain.begin(), plain.begin() + 10, other.begin()));
  // A wrong password does not give the check byte back (for this fixed header it does not).
  std::vector<uint8_t> wrong(first.begin(), first.end());
  Decipher("Secret", wrong);
  EXPECT_FALSE(wrong[10] == 0xB2 && wrong[11] == 0xA1);
}

TEST(EntryEncryption, DataContinuesTheHeadersKeys) {
  std::vector<uint8_t> data = Pattern(3000);
  archive::TZipKeys keys;
  EncryptionHeader header = BuildEncryptionHeader(keys, "pw", Crc(data));
  std::vector<uint8_t> stream(header.begin(), header.end());
  std::vector<uint8_t> body = data;
  // Two buffers, as the compressor hands them over.
  EncipherData(keys, {}, nullptr, "pw", body.data(), 1000);
  EncipherData(keys, {}, nullptr, "pw", body.data() + 1000, 2000);
  EXPECT_NE(body, data);
  stream.insert(stream.end(), body.begin(), body.end());
  Decipher("pw", stream);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), stream.begin() + kEncryptionHeaderSize));
}

TEST(EntryEncryption, HostCipherReplacesTheBuiltInOne) {
  archive::TZipKeys keys;
  keys.InitKeys("pw");
  const archive::TZipKeys before = keys;
  std::vector<uint8_t> body = {1, 2, 3, 4};
  std::string seenPassword;
  int32_t seenLength = 0;
  EncryptHandler handler = [&](classlib::Object*, uint8_t* b, int32_t n, const std::string& p) {
    seenPassword = p;
    seenLength = n;
    for (int32_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(b[i] + 100);
  };
  EncipherData(keys, handler, nullptr, "pw", body.data(), 4);
  EXPECT_EQ(body, (std::vector<uint8_t>{101, 102, 103, 104}));
  EXPECT_EQ(seenPassword, "pw");
  EXPECT_EQ(seenLength, 4);
  EXPECT_EQ(keys.k0, before.k0);  // the built-in cipher did not run
  EXPECT_EQ(keys.k2, before.k2);
}

// One stored entry, enciphered, with its records written by the archive model.
void WriteEncryptedStoredZip(const fs::path& out, const std::string& password,
                             const std::vector<uint8_t>& data) {
  classlib::FileStream file(DrivePath(out), classlib::fmCreate);
  archive::TZipHeaderInfo h;
  h.SetFileName("secret.bin");
  h.method = 0;
  h.flags = 1;
  h.crc32 = Crc(data);
  h.uncompressedSize = static_cast<uint32_t>(data.size());
  h.compressedSize = static_cast<uint32_t>(data.size() + kEncryptionHeaderSize);
  h.dateTime = (45u << 25) | (1u << 21) | (1u << 16);
  h.WriteLocal(file);
  archive::TZipKeys keys;
  EncryptionHeader header = BuildEncryptionHeader(keys, password, h.crc32);
  file.WriteBuffer(header.data(), static_cast<int32_t>(header.size()));
  std::vector<uint8_t> body = data;
  EncipherData(keys, {}, nullptr, password, body.data(), static_cast<uint32_t>(body.size()));
  file.WriteBuffer(body.data(), static_cast<int32_t>(body.size()));
  archive::TEndCentral end;
  end.centralOffset = static_cast<uint32_t>(file.Position());
  h.WriteCentral(file);
  end.centralSize = static_cast<uint32_t>(file.Position()) - end.centralOffset;
  end.totalEntries = end.entriesOnDisk = 1;
  end.Write(file);
}

TEST(EntryEncryption, PeersOpenAHandBuiltEntryOnlyWithThePassword) {
  ScratchDir dir;
  std::vector<uint8_t> data = Pattern(5000);
  WriteAll(dir / "plain.bin", data);
  WriteEncryptedStoredZip(dir / "e.zip", "open sesame", data);
  const std::string zip = (dir / "e.zip").string();
  const std::string py =
      "python3 -c \"import sys,zipfile; z=zipfile.ZipFile(sys.argv[1]); "
      "d=z.read('secret.bin', pwd=sys.argv[2].encode()); "
      "sys.exit(0 if d==open(sys.argv[3],'rb').read() else 3)\" ";
  EXPECT_EQ(Shell(py + zip + " 'open sesame' " + (dir / "plain.bin").string() + " 2>/dev/null"), 0);
  EXPECT_NE(Shell(py + zip + " 'open sesamE' " + (dir / "plain.bin").string() + " 2>/dev/null"), 0);
  if (HaveTool("unzip")) {
    EXPECT_EQ(Shell("unzip -tq -P 'open sesame' " + zip + " >/dev/null"), 0);
    EXPECT_NE(Shell("unzip -tq -P 'wrong' " + zip + " >/dev/null 2>&1"), 0);
  }
}

}  // namespace
}  // namespace kestrel::writer
