// extract_entry.cpp — the extraction driver: local header, output file and directories,
// dispatch to the decoder of the entry's method, data descriptor, CRC check, time and
// attributes.
#include "reader/extract_entry.h"

#include <cstring>
#include <new>

#include "reader/inflate.h"
#include "reader/unzip_state.h"
#include "reader/explode.h"
#include "reader/unreduce.h"
#include "reader/unshrink.h"

namespace kestrel::reader {

namespace {

constexpr uint32_t kSupportedMethods = 383;  // methods 0 to 6 and 8
constexpr uint32_t kLocalHeaderSize = 30;
constexpr size_t kMaxOutputPath = 259;       // the driver's 260-byte path buffer
constexpr uint32_t kBusyTimeoutMs = 30000;
constexpr uint32_t kZip64Marker = 0xFFFFFFFFu;  // the real size is in a zip64 extra field
constexpr uint32_t kDescriptorSignature = 0x08074B50u;

// The archive kept open by an ArchiveHold.
std::string heldPath;
os::FileHandle heldFile = os::kInvalidFile;

uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) { return uint32_t(Get16(p)) | uint32_t(Get16(p + 2)) << 16; }

bool ReadExactly(os::FileHandle file, void* buffer, uint32_t count) {
  uint32_t done = 0;
  return os::ReadFile(file, buffer, count, done) && done == count;
}

// Creates every directory before the last backslash of path, without entering any of them.
// Stops at the first one that neither exists nor can be created.
void CreateDirectoryChain(const std::string& path) {
  size_t start = 0;
  if (path.size() >= 2 && path[1] == ':') start = 2;  // the drive root exists or nothing does
  for (size_t slash = path.find('\\', start + 1); slash != std::string::npos;
       slash = path.find('\\', slash + 1)) {
    const std::string prefix = path.substr(0, slash);
    const uint32_t attributes = os::GetFileAttributes(prefix);
    if (attributes != os::kInvalidAttributes && (attributes & os::kAttrDirectory)) continue;
    if (!os::CreateDirectory(prefix)) return;
  }
}

void StampLastWriteTime(os::FileHandle file, uint32_t dosDateTime) {
  const uint16_t date = uint16_t(dosDateTime >> 16);
  const uint16_t time = uint16_t(dosDateTime);
  os::SystemTime system;
  system.year = uint16_t(1980 + (date >> 9));
  system.month = (date >> 5) & 15;
  system.day = date & 31;
  system.hour = time >> 11;
  system.minute = (time >> 5) & 63;
  system.second = uint16_t(2 * (time & 31));
  os::FileTime local, utc;
  if (os::SystemTimeToFileTime(system, local) && os::LocalFileTimeToFileTime(local, utc)) {
    os::SetFileTime(file, nullptr, nullptr, &utc);  // a failure here is not reported
  }
}

// Method 0: the data is copied in large chunks straight from the archive.
int CopyStored() {
  UnzipState& s = State();
  uint8_t* chunk = InputBuffer();
  while (s.bytesFetched < s.compressedSize && !s.cancelRequested) {
    uint32_t n = uint32_t(s.compressedSize - s.bytesFetched);
    if (n > kInputBufferSize) n = kInputBufferSize;
    if (!ReadExactly(s.archive, chunk, n)) return ExtractReadError;
    if (!WriteOutput(chunk, n)) return ExtractWriteError;
    s.bytesFetched += int32_t(n);
    PumpMessages();
    ReportProgress();
  }
  return s.cancelRequested ? ExtractCancelled : ExtractOk;
}

int Decode(uint16_t method) {
  switch (method) {
    case 0:
      return CopyStored();
    case 8:
      return Inflate();
    case 1:
      return Unshrink();
    case 2:
    case 3:
    case 4:
    case 5:
      return Unreduce(method);
    case 6:
      return Explode();
    default:
      return ExtractUnsupported;
  }
}

// The sizes to decode with. A local header written before the data was known (flag bit 3)
// may hold zeros, and one whose sizes sit in a zip64 extra field holds the marker; the
// central directory has the real sizes then. Stored data has no end of its own and needs
// them; the other methods end by themselves and go by the sentinel when no size is known.
void SettleSizes(uint16_t flags, uint16_t method, const DirectorySizes* directory,
                 uint32_t& compressed, uint32_t& uncompressed) {
  if (directory != nullptr) {
    if (compressed == kZip64Marker && directory->compressed != kZip64Marker) {
      compressed = directory->compressed;
    }
    if (uncompressed == kZip64Marker && directory->uncompressed != kZip64Marker) {
      uncompressed = directory->uncompressed;
    }
    if ((flags & 8) && method == 0 && compressed == 0) {
      compressed = directory->compressed;
      uncompressed = directory->uncompressed;
    }
  }
  if ((flags & 8) && method != 0 && (compressed == 0 || compressed == kZip64Marker)) {
    compressed = uncompressed = uint32_t(kUnknownSize);
  }
}

uint32_t Read32() {
  UnzipState& s = State();
  EnsureBits(16);
  uint32_t value = s.bitBuffer & 0xFFFF;
  ConsumeBits(16);
  EnsureBits(16);
  value |= (s.bitBuffer & 0xFFFF) << 16;
  ConsumeBits(16);
  return value;
}

// Reads the data descriptor behind the data and returns its CRC. Its signature is optional:
// a first word equal to it is taken for it, unless the directory's sizes show the layout
// without one (whose CRC then happens to equal the signature).
uint32_t ReadDescriptorCrc(uint16_t method, const DirectorySizes* directory) {
  UnzipState& s = State();
  if (method == 0) {
    ResetInput();
  } else {
    ConsumeBits(s.bitCount % 8);
  }
  uint32_t word[4];
  for (uint32_t& w : word) w = Read32();
  if (word[0] != kDescriptorSignature) return word[0];
  if (directory != nullptr) {
    const auto sizesAt = [&](int i) {
      return word[i] == directory->compressed && word[i + 1] == directory->uncompressed;
    };
    if (sizesAt(1) && !sizesAt(2)) return word[0];
  }
  return word[1];
}

// Everything a call holds, released on every way out.
struct CallScope {
  UnzipState& s = State();
  bool ownsArchive = false;
  ~CallScope() {
    if (s.archive != os::kInvalidFile && ownsArchive) os::CloseFile(s.archive);
    s.archive = os::kInvalidFile;
    if (s.output != os::kInvalidFile) os::CloseFile(s.output);
    s.output = os::kInvalidFile;
    delete[] s.window;
    s.window = nullptr;
    s.discardOutput = false;
    s.busy = false;
  }
};

int Run(const char* archivePath, const char* outputPath, uint16_t attributes,
        int32_t headerOffset, os::WindowHandle progressWindow, int16_t notifyId,
        const DirectorySizes* directory) {
  UnzipState& s = State();
  const bool testing = outputPath == nullptr;
  s.cancelRequested = false;
  if (s.busy) {
    const uint32_t now = os::TickCount();
    const uint32_t idle = now > s.lastPumpTime ? now - s.lastPumpTime : s.lastPumpTime - now;
    if (s.lastPumpTime == 0 || idle <= kBusyTimeoutMs) return ExtractBusy;
  }
  s.busy = true;
  CallScope scope;

  s.window = new (std::nothrow) uint8_t[kWindowSize]();
  if (s.window == nullptr) return ExtractReadError;
  if (heldFile != os::kInvalidFile && heldPath == archivePath) {
    s.archive = heldFile;
  } else {
    s.archive = os::OpenFile(archivePath, os::Access::Read, os::Disposition::OpenExisting);
    if (s.archive == os::kInvalidFile) return ExtractReadError;
    scope.ownsArchive = true;
  }

  uint8_t header[kLocalHeaderSize];
  if (os::SeekFile(s.archive, headerOffset, os::SeekFrom::Begin) < 0) return ExtractFormatError;
  if (!ReadExactly(s.archive, header, kLocalHeaderSize)) return ExtractFormatError;
  if (Get32(header) != 0x04034B50u) return ExtractFormatError;
  s.flags = Get16(header + 6);
  const uint16_t method = Get16(header + 8);
  const uint32_t dosDateTime = Get32(header + 10);
  uint32_t expectedCrc = Get32(header + 14);
  uint32_t compressedSize = Get32(header + 18);
  uint32_t uncompressedSize = Get32(header + 22);
  const uint32_t nameLength = Get16(header + 26);
  const uint32_t extraLength = Get16(header + 28);
  SettleSizes(s.flags, method, directory, compressedSize, uncompressedSize);
  s.compressedSize = int32_t(compressedSize);
  s.uncompressedSize = int32_t(uncompressedSize);
  if (method > 31 || !((kSupportedMethods >> method) & 1)) return ExtractUnsupported;
  if (s.flags & 1) return ExtractEncrypted;
  s.bytesFetched = 0;
  const int64_t dataOffset = int64_t(headerOffset) + kLocalHeaderSize + nameLength + extraLength;
  if (os::SeekFile(s.archive, dataOffset, os::SeekFrom::Begin) < 0) return ExtractFormatError;

  std::string path;
  if (!testing) {
    path = outputPath;
    if ((attributes & os::kAttrDirectory) && !path.empty() && path.back() != '\\') path += '\\';
    if (path.empty() || path.size() > kMaxOutputPath) return ExtractWriteError;
    const bool directory = path.back() == '\\';
    if (!directory) {
      s.output = os::OpenFile(path, os::Access::Write, os::Disposition::CreateAlways);
    }
    if (directory || (s.output == os::kInvalidFile && os::LastError() == os::kErrorPathNotFound)) {
      CreateDirectoryChain(path);
      if (directory) return ExtractOk;
      s.output = os::OpenFile(path, os::Access::Write, os::Disposition::CreateAlways);
    }
    if (s.output == os::kInvalidFile) return ExtractWriteError;
  } else {
    if (attributes & os::kAttrDirectory) return ExtractOk;
    s.discardOutput = true;
  }

  s.inputExhausted = false;
  s.progressWindow = progressWindow;
  s.notifyId = notifyId;
  s.bytesWritten = 0;
  PumpMessages();
  s.lastPercent = 0;
  if (progressWindow != nullptr) os::SendCommand(progressWindow, notifyId, &s.lastPercent);
  s.crc = 0xFFFFFFFFu;
  ResetInput();

  int result = Decode(method);
  if (result == ExtractOk && (s.flags & 8)) expectedCrc = ReadDescriptorCrc(method, directory);
  const uint32_t finalCrc = s.crc ^ 0xFFFFFFFFu;
  if (scope.ownsArchive) os::CloseFile(s.archive);
  s.archive = os::kInvalidFile;

  if (testing) {
    if (result == ExtractOk && finalCrc != expectedCrc) result = ExtractCrcError;
    return result;
  }
  StampLastWriteTime(s.output, dosDateTime);
  os::CloseFile(s.output);
  s.output = os::kInvalidFile;
  if (result == ExtractOk && finalCrc != expectedCrc) result = ExtractCrcError;
  if (result == ExtractOk) {
    s.lastPercent = 100;
    if (progressWindow != nullptr) {
      os::SendCommand(progressWindow, notifyId, &s.lastPercent);
      if (uint16_t(s.lastPercent) == 0xFFFF) result = ExtractCancelled;
    }
  }
  if (result != ExtractOk) {
    os::DeleteFile(path);
  } else {
    os::SetFileAttributes(path, attributes);  // a failure here is not reported
  }
  return result;
}

}  // namespace

int ExtractEntry(const char* archivePath, const char* outputPath, uint16_t attributes,
                 int32_t headerOffset, os::WindowHandle progressWindow, int16_t notifyId,
                 const DirectorySizes* directory) {
  if (archivePath == nullptr || outputPath == nullptr) return ExtractWriteError;
  return Run(archivePath, outputPath, attributes, headerOffset, progressWindow, notifyId,
             directory);
}

int TestEntry(const char* archivePath, uint16_t attributes, int32_t headerOffset,
              int16_t notifyId, const DirectorySizes* directory) {
  if (archivePath == nullptr) return ExtractReadError;
  return Run(archivePath, nullptr, attributes, headerOffset, nullptr, notifyId, directory);
}

ArchiveHold::ArchiveHold(const std::string& archivePath) {
  if (heldFile != os::kInvalidFile) return;  // an outer hold already keeps one open
  heldFile = os::OpenFile(archivePath, os::Access::Read, os::Disposition::OpenExisting);
  if (heldFile != os::kInvalidFile) heldPath = archivePath;
  owner_ = heldFile != os::kInvalidFile;
}

ArchiveHold::~ArchiveHold() {
  if (!owner_) return;
  os::CloseFile(heldFile);
  heldFile = os::kInvalidFile;
  heldPath.clear();
}

void SetProgressHook(ProgressHook hook, void* context) {
  State().progressHook = hook;
  State().progressContext = context;
}

const char* ExtractResultText(int result) {
  switch (result) {
    case ExtractBusy: return "another extraction is in progress";
    case ExtractOk: return "ok";
    case ExtractCrcError: return "CRC error";
    case ExtractWriteError: return "cannot create or write the file";
    case ExtractReadError: return "cannot read the archive";
    case ExtractFormatError: return "bad local header or invalid compressed data";
    case ExtractCancelled: return "cancelled";
    case ExtractUnsupported: return "unsupported compression method";
    case ExtractEncrypted: return "encrypted";
    default: return "unknown error";
  }
}

}  // namespace kestrel::reader
