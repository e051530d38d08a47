// entry_encryption.cpp — CRC pre-pass, encryption header and data enciphering of an entry.
#include "writer/entry_encryption.h"

#include <vector>

#include "archive/stream_io.h"
#include "classlib/exception.h"
#include "platform/platform.h"

namespace kestrel::writer {

namespace {

constexpr uint32_t kCrcPassChunk = 8192;
constexpr int kRandomHeaderBytes = 10;

}  // namespace

uint32_t CrcPrePass(classlib::Stream& source, archive::TZipKeys& keys) {
  std::vector<uint8_t> chunk(kCrcPassChunk);
  keys.crc = 0xFFFFFFFFu;
  archive::StreamSeek(source, 0);
  for (;;) {
    uint32_t got = archive::ReadUpTo(source, chunk.data(), kCrcPassChunk);
    if (got == 0) break;
    keys.FoldCrc(chunk.data(), got);
  }
  archive::StreamSeek(source, 0);
  return keys.crc ^ 0xFFFFFFFFu;
}

EncryptionHeader BuildEncryptionHeader(archive::TZipKeys& keys, const std::string& password,
                                       uint32_t crc, const RandomSource& random) {
  EncryptionHeader header{};
  if (!(random ? random(header.data(), kRandomHeaderBytes)
               : os::RandomBytes(header.data(), kRandomHeaderBytes))) {
    throw classlib::Exception("Unable to obtain random bytes for the encryption header");
  }
  header[10] = static_cast<uint8_t>(crc >> 16);
  header[11] = static_cast<uint8_t>(crc >> 24);
  keys.InitKeys(password);
  keys.EncryptBuffer(header.data(), header.size());
  return header;
}

void EncipherData(archive::TZipKeys& keys, const EncryptHandler& onEncrypt,
                  classlib::Object* sender, const std::string& password, uint8_t* buffer,
                  uint32_t n) {
  if (onEncrypt) {
    onEncrypt(sender, buffer, static_cast<int32_t>(n), password);
  } else {
    keys.EncryptBuffer(buffer, n);
  }
}

}  // namespace kestrel::writer
