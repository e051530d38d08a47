// entry_encryption.h — enciphering one file entry with the traditional zip cipher: the CRC
// pre-pass over the source, the 12-byte encryption header and the enciphering of each buffer
// of entry data.
//
// The header needs the entry's CRC-32 before any data is written (its last byte is the check
// byte a decipherer compares), hence the pre-pass. Its ten leading bytes come from the
// system's random source: predictable bytes there weaken the cipher further.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "archive/zip_cipher.h"
#include "classlib/object.h"
#include "classlib/stream.h"

namespace kestrel::writer {

inline constexpr uint32_t kEncryptionHeaderSize = 12;
// General-purpose flag bit of an enciphered entry.
inline constexpr uint16_t kFlagEncrypted = 0x0001;
using EncryptionHeader = std::array<uint8_t, kEncryptionHeaderSize>;

// Reads source from its start to its end in 8,192-byte chunks, folding them into keys.crc
// (restarted at all ones), and seeks it back to the start. Returns the inverted CRC-32.
uint32_t CrcPrePass(classlib::Stream& source, archive::TZipKeys& keys);

// Fills n bytes with random values; false when it cannot.
using RandomSource = std::function<bool(void* buffer, size_t n)>;

// InitKeys(password), then ten random bytes and bits 16-23 and 24-31 of crc, each through
// EncryptByte. The keys are left ready to encipher the entry's data. The random bytes come
// from random, or from the system's source when it is empty. Raises classlib::Exception when
// the source fails.
EncryptionHeader BuildEncryptionHeader(archive::TZipKeys& keys, const std::string& password,
                                       uint32_t crc, const RandomSource& random = {});

// The host's own cipher for entry data (TLynZip's OnEncrypt): sender, buffer, length, password.
using EncryptHandler = std::function<void(classlib::Object* sender, uint8_t* buffer, int32_t length,
                                          const std::string& password)>;

// Enciphers n bytes of entry data in place: through onEncrypt when the host assigned one
// (the built-in cipher is then not applied), otherwise with the keys.
void EncipherData(archive::TZipKeys& keys, const EncryptHandler& onEncrypt,
                  classlib::Object* sender, const std::string& password, uint8_t* buffer,
                  uint32_t n);

}  // namespace kestrel::writer
