// zip_encryption.cpp — the encryption header of an entry: the CRC pre-pass over the source
// and the twelve header bytes, written straight to the entry's output (not enciphered again).
#include "writer/entry_encryption.h"
#include "writer/zip_run_state.h"

namespace kestrel::writer {

void TLynZip::WriteEncryptionHeader() {
  // A worker's file was read once already, its CRC taken on the way.
  run_->prePassCrc = run_->packed ? run_->packed->crc : CrcPrePass(*run_->input, Keys());
  run_->header->crc32 = run_->prePassCrc;
  const EncryptionHeader bytes = BuildEncryptionHeader(Keys(), Password(), run_->prePassCrc, randomSource_);
  WriteToArchive(bytes.data(), kEncryptionHeaderSize);
}

}  // namespace kestrel::writer
