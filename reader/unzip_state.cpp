// unzip_state.cpp — the extraction driver's shared machinery: the input buffer and its
// refill, the bit reader, the output path with its running CRC, the message pump and the
// progress check with cancellation.
#include "reader/unzip_state.h"

#include <algorithm>
#include <cstring>

#include "reader/crc32.h"

namespace kestrel::reader {

namespace {

thread_local UnzipState state;
thread_local uint8_t inputBuffer[kInputBufferSize];
thread_local MemoryStreams* memory = nullptr;

}  // namespace

UnzipState& State() { return state; }
uint8_t* InputBuffer() { return inputBuffer; }

void UseMemoryStreams(MemoryStreams* streams) { memory = streams; }

void FillInput() {
  if (state.bytesFetched > state.compressedSize + 2) {
    // Far past the entry: serve the old contents again; decoders stop at their next check.
    state.inputExhausted = true;
    state.inputLast = int32_t(kRefillBlock) - 1;
    state.inputPosition = 0;
    return;
  }
  PumpMessages();
  ReportProgress();
  const uint32_t request = kRefillBlock;
  uint32_t count = 0;
  bool ok;
  if (memory != nullptr) {
    count = uint32_t(std::min<size_t>(request, memory->inputSize - memory->inputUsed));
    if (count != 0) std::memcpy(inputBuffer, memory->input + memory->inputUsed, count);
    memory->inputUsed += count;
    ok = true;
  } else {
    ok = state.input.Read(inputBuffer, request, count);
  }
  Decipher(inputBuffer, count);
  if (!ok || count == 0) {
    state.inputExhausted = true;
    count = 0;
    state.inputLast = int32_t(kRefillBlock) - 1;
  } else {
    state.inputLast = int32_t(count) - 1;
  }
  state.bytesFetched += count;
  state.inputPosition = 0;
}

uint8_t ReadByte() {
  if (state.inputPosition > state.inputLast) FillInput();
  return inputBuffer[state.inputPosition++];
}

void EnsureBits(uint32_t n) {
  while (state.bitCount < n) {
    state.bitBuffer |= uint32_t(ReadByte()) << state.bitCount;
    state.bitCount += 8;
  }
}

void ConsumeBits(uint32_t n) {
  state.bitBuffer = n >= 32 ? 0 : state.bitBuffer >> n;
  state.bitCount -= n;
}

void ResetInput() {
  state.inputPosition = 0;
  state.inputLast = -1;
  state.bitBuffer = 0;
  state.bitCount = 0;
}

void Decipher(uint8_t* bytes, uint32_t n) {
  const uint32_t ciphered = uint32_t(std::min<int64_t>(n, state.cipheredLeft));
  for (uint32_t i = 0; i < ciphered; ++i) {
    bytes[i] ^= state.keys.KeyStreamByte();
    state.keys.UpdateKeys(bytes[i]);
  }
  state.cipheredLeft -= ciphered;
}

bool WriteOutput(const uint8_t* bytes, uint32_t n) {
  if (n > state.outputLimit - state.bytesWritten) {
    state.outputLimitPassed = true;
    return false;
  }
  state.crc = UpdateCrc(state.crc, bytes, n);
  state.bytesWritten += n;
  if (n == 0 || state.discardOutput) return true;
  if (state.sink != nullptr) return state.sink(state.sinkContext, bytes, n);
  if (memory != nullptr) {
    if (memory->output != nullptr) memory->output->insert(memory->output->end(), bytes, bytes + n);
    return true;
  }
  uint32_t done = 0;
  return os::WriteFile(state.output, bytes, n, done) && done == n;
}

bool FlushWindow(uint32_t n) { return WriteOutput(state.window, n); }

void PumpMessages() {
  state.lastPumpTime = os::TickCount();
  os::PumpMessages(state.progressWindow);
}

void ReportProgress() {
  if (state.compressedSize == 0) return;
  int64_t percent;
  if (state.bytesFetched <= 1000000) {
    percent = state.bytesFetched * 100 / state.compressedSize;
  } else {
    percent = int64_t(double(state.bytesFetched) * 100.0 / double(state.compressedSize));
  }
  percent = std::clamp<int64_t>(percent, 0, 100);
  if (percent == state.lastPercent) return;
  state.lastPercent = int16_t(percent);
  if (state.progressWindow != nullptr) {
    int16_t answer = int16_t(percent);
    os::SendCommand(state.progressWindow, state.notifyId, &answer);
    state.cancelRequested = uint16_t(answer) == 0xFFFF;
  } else if (state.notifyId != 0) {
    state.cancelRequested = os::KeyDown(state.notifyId);
  }
  if (state.progressHook != nullptr && state.progressHook(state.progressContext, state.bytesWritten)) {
    state.cancelRequested = true;
  }
}

void BeginMemoryEntry(int32_t compressedSize) {
  state.compressedSize = compressedSize;
  state.uncompressedSize = compressedSize;
  state.bytesFetched = 0;
  state.bytesWritten = 0;
  state.outputLimit = UINT64_MAX;
  state.outputLimitPassed = false;
  state.flags = 0;
  state.progressWindow = nullptr;
  state.notifyId = 0;
  state.lastPercent = 0;
  state.cancelRequested = false;
  state.inputExhausted = false;
  state.discardOutput = false;
  state.cipheredLeft = 0;
  state.crc = 0xFFFFFFFFu;
  state.windowPosition = 0;
  ResetInput();
  delete[] state.window;
  state.window = new uint8_t[kWindowSize]();
}

void EndMemoryEntry() {
  delete[] state.window;
  state.window = nullptr;
}

}  // namespace kestrel::reader
