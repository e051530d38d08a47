// unzip_state.h — the extraction driver's module-level state and the primitives that every
// decoder (inflate, explode, unshrink, unreduce) reads and writes through.
//
// One extraction runs at a time (the busy flag refuses nested calls), so the state is a
// single module-level record. Decoders read compressed bytes with ReadByte / EnsureBits /
// ConsumeBits (least significant bit first) and write into the 32 KB window, handing full
// windows to FlushWindow, which writes them to the output file and folds them into the CRC.
// They stop at their next loop check once cancelRequested or inputExhausted is set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/zip_cipher.h"
#include "platform/platform.h"
#include "reader/archive_reader.h"

namespace kestrel::reader {

// Results of ExtractEntry and of the decoders.
enum ExtractResult : int {
  ExtractBusy = -1,
  ExtractOk = 0,
  ExtractCrcError = 1,
  ExtractWriteError = 2,
  ExtractReadError = 3,
  ExtractFormatError = 4,
  ExtractCancelled = 5,
  ExtractUnsupported = 6,
  ExtractEncrypted = 7,
  ExtractBadPassword = 8,
};

inline constexpr uint32_t kWindowSize = 32768;
// Sizes stand at this sentinel when an entry's sizes are known only from its data descriptor.
inline constexpr int32_t kUnknownSize = 2147483547;
// Compressed bytes read per refill: the message pump and the progress and cancel check run
// once per block, so the block stays small enough for a held cancel key to be seen promptly.
inline constexpr uint32_t kRefillBlock = 2048;
// The static input buffer; stored entries are copied through it in chunks of this size.
inline constexpr uint32_t kInputBufferSize = 65536;

struct UnzipState {
  os::FileHandle archive = os::kInvalidFile;
  ArchiveReader input;         // every read of the archive goes through it
  os::FileHandle output = os::kInvalidFile;
  int32_t inputPosition = 0;   // next byte of the input buffer to deliver
  int32_t inputLast = -1;      // last valid index of the input buffer; -1 when empty
  uint32_t bitBuffer = 0;      // unconsumed bits, least significant first
  uint32_t bitCount = 0;       // valid bits in bitBuffer
  uint8_t* window = nullptr;   // kWindowSize bytes, zero-filled, for the old methods only
  uint32_t windowPosition = 0; // bytes in the window not yet flushed (inflate)
  uint32_t crc = 0xFFFFFFFFu;  // running CRC-32 register
  int64_t compressedSize = 0;
  int64_t uncompressedSize = 0;
  int64_t bytesFetched = 0;    // compressed bytes read from the archive for this entry
  uint16_t flags = 0;          // general-purpose bit flag of the entry
  os::WindowHandle progressWindow = nullptr;
  int16_t notifyId = 0;
  int16_t lastPercent = 0;
  bool cancelRequested = false;
  bool inputExhausted = false;
  bool busy = false;
  uint32_t lastPumpTime = 0;
  // Testing an archive: output is checked (CRC) but written nowhere.
  bool discardOutput = false;
  // Uncompressed bytes handed to the output so far (progress of callers that count bytes).
  uint64_t bytesWritten = 0;
  // Output past this many bytes is refused (the size the directory declares), and noted.
  uint64_t outputLimit = UINT64_MAX;
  bool outputLimitPassed = false;
  // Told of every percentage change (a caller's progress); returns true to cancel. Null: nobody.
  bool (*progressHook)(void* context, uint64_t entryBytes) = nullptr;
  void* progressContext = nullptr;
  // Takes the output instead of the output file (a caller's stream); false stops the entry
  // with a write error. Null: the file.
  bool (*sink)(void* context, const uint8_t* bytes, uint32_t n) = nullptr;
  void* sinkContext = nullptr;
  // The password for enciphered entries; null: they are refused as encrypted.
  const std::string* password = nullptr;
  // Deciphering an entry: the keys, and how many of the bytes still to be read are ciphered
  // (the data descriptor behind the data is not).
  archive::TZipKeys keys;
  int64_t cipheredLeft = 0;
  // Set once an extraction comes to creating its output (directories on its way may then
  // have been made), so that a caller that runs entries ahead of time can tell what to take
  // back. While createdDirectories is set, every directory the driver makes is added to it.
  bool outputAttempted = false;
  std::vector<std::string>* createdDirectories = nullptr;
  // While set, a file that replaces an existing one is left checked but under its temporary
  // name beside the target, named here: the caller moves it over the target when the entry's
  // turn comes, or removes it.
  std::string* deferredReplacement = nullptr;
};

// The extraction state of the calling thread: one extraction at a time per thread (the busy
// flag refuses nested calls), while threads unpacking different archives never meet.
UnzipState& State();

// Deciphers the first of n bytes just read that are still ciphered, in place.
void Decipher(uint8_t* bytes, uint32_t n);

// The input buffer (kInputBufferSize bytes, one per thread): bytes inputPosition..inputLast are
// still to be delivered.
uint8_t* InputBuffer();

// Refills the input buffer from the archive and sets the input position to 0.
void FillInput();
// Next compressed byte, refilling first when the buffer is used up.
uint8_t ReadByte();
// Makes at least n (<= 16) bits available in bitBuffer.
void EnsureBits(uint32_t n);
// Drops n bits from bitBuffer.
void ConsumeBits(uint32_t n);
// Empties the input buffer and the bit buffer, so the bit reader starts at the file position.
void ResetInput();
// Writes the first n window bytes to the output file; folds them into the CRC in every case.
// True when all n bytes were written.
bool FlushWindow(uint32_t n);
// Same for any n bytes (decoders with their own output buffer): CRC, then write.
bool WriteOutput(const uint8_t* bytes, uint32_t n);
// Lets window messages run; records the pump time.
void PumpMessages();
// Updates the percentage and the cancel request.
void ReportProgress();

// Decoding from memory instead of files, for the decoder tests, fuzz targets and benchmarks:
// while set, refills copy from input and output is appended to *output (dropped when null).
struct MemoryStreams {
  const uint8_t* input = nullptr;
  size_t inputSize = 0;
  size_t inputUsed = 0;
  std::vector<uint8_t>* output = nullptr;
};
void UseMemoryStreams(MemoryStreams* streams);  // nullptr: back to the files

// Prepares the state for decoding one entry from memory (sizes, empty buffers, CRC preset,
// a zeroed window), as the driver does before it dispatches; the caller owns nothing.
void BeginMemoryEntry(int32_t compressedSize);
void EndMemoryEntry();

}  // namespace kestrel::reader
