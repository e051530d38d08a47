// extract_entry.cpp — the extraction driver: local header, output file and directories,
// dispatch to the decoder of the entry's method, data descriptor, CRC check, time and
// attributes.
#include "reader/extract_entry.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_map>
#include <utility>
#include <vector>

#include "archive/zip64_records.h"
#include "classlib/ansi_string.h"
#include "reader/dos_time.h"
#include "reader/inflate.h"
#include "reader/zip_walker.h"
#include "reader/unzip_state.h"
#include "reader/explode.h"
#include "reader/unreduce.h"
#include "reader/unshrink.h"

namespace kestrel::reader {

namespace {

constexpr uint32_t kSupportedMethods = 383;  // methods 0 to 6 and 8
constexpr uint32_t kLocalHeaderSize = 30;
constexpr size_t kMaxOutputPath = os::kMaxPath - 1;  // the system's path buffers
constexpr uint32_t kBusyTimeoutMs = 30000;
using archive::kZip64Marker;  // the real size is in a zip64 extra field

// The archive kept open by an ArchiveHold, and what the hold remembers between entries.
// Per thread, like the extraction state it goes with.
thread_local std::string heldPath;
thread_local os::FileHandle heldFile = os::kInvalidFile;
thread_local bool inputOnHeldFile = false;  // the state's reader holds bytes of heldFile
// Local minute (FILETIME ticks / one minute) -> its start in UTC, for the entries' times.
thread_local std::unordered_map<uint64_t, uint64_t> heldMinutes;

constexpr uint64_t kTicksPerMinute = 600000000;

uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) { return uint32_t(Get16(p)) | uint32_t(Get16(p + 2)) << 16; }

bool ReadExactly(ArchiveReader& input, void* buffer, uint32_t count) {
  uint32_t done = 0;
  return input.Read(buffer, count, done) && done == count;
}

// Creates the directory path.substr(0, end) and, when its parent is missing, the parents
// first. True when it exists afterwards (or something of that name does). start: where the
// names begin (after a drive), as the drive root exists or nothing does.
bool CreateDirectoryUpTo(const std::string& path, size_t end, size_t start) {
  const std::string dir = path.substr(0, end);
  const auto create = [&dir] {
    if (!os::CreateDirectory(dir)) return false;
    if (State().createdDirectories != nullptr) State().createdDirectories->push_back(dir);
    return true;
  };
  const auto made = [&create] { return create() || os::LastError() == os::kErrorAlreadyExists; };
  if (made()) return true;
  if (os::LastError() != os::kErrorPathNotFound) return false;
  const size_t up = path.rfind('\\', end - 1);
  if (up == std::string::npos || up <= start) return false;
  // Another thread extracting beside this one may make it meanwhile: that counts as made.
  return CreateDirectoryUpTo(path, up, start) && made();
}

// Creates every directory before the last backslash of path, without entering any of them.
// Stops at the first one that neither exists nor can be created. Most parents exist already,
// so the deepest is tried first.
void CreateDirectoryChain(const std::string& path) {
  const size_t start = path.size() >= 2 && path[1] == ':' ? 2 : 0;
  const size_t last = path.rfind('\\');
  if (last == std::string::npos || last <= start) return;
  CreateDirectoryUpTo(path, last, start);
}

// LocalFileTimeToFileTime, remembered per local minute while an ArchiveHold is open: zone
// rules change the offset only on whole minutes, and converting reads the zone each time.
bool LocalToUtc(const os::FileTime& local, os::FileTime& utc) {
  if (heldFile == os::kInvalidFile) return os::LocalFileTimeToFileTime(local, utc);
  const uint64_t minute = local.ticks / kTicksPerMinute;
  auto it = heldMinutes.find(minute);
  if (it == heldMinutes.end()) {
    os::FileTime start{minute * kTicksPerMinute}, converted;
    if (!os::LocalFileTimeToFileTime(start, converted)) return false;
    it = heldMinutes.emplace(minute, converted.ticks).first;
  }
  utc.ticks = it->second + local.ticks % kTicksPerMinute;
  return true;
}

void StampLastWriteTime(os::FileHandle file, uint32_t dosDateTime) {
  const os::SystemTime system = DosToSystemTime(dosDateTime);
  os::FileTime local, utc;
  if (os::SystemTimeToFileTime(system, local) && LocalToUtc(local, utc)) {
    os::SetFileTime(file, nullptr, nullptr, &utc);  // a failure here is not reported
  }
}

void StampExactTime(os::FileHandle file, int64_t unixSeconds) {
  const os::FileTime utc = os::FileTimeFromUnix(unixSeconds);
  if (utc.ticks != 0) os::SetFileTime(file, nullptr, nullptr, &utc);  // a failure is not reported
}

// Method 0: the data is copied in large chunks straight from the archive.
int CopyStored() {
  UnzipState& s = State();
  uint8_t* chunk = InputBuffer();
  while (s.bytesFetched < s.compressedSize && !s.cancelRequested) {
    // The remainder is 64-bit: cut to 32 bits before the minimum, a size of 4 GiB + 40 left 40
    // and then 0 bytes per round, for ever.
    const int64_t left = s.compressedSize - s.bytesFetched;
    const uint32_t n = uint32_t(std::min<int64_t>(left, kInputBufferSize));
    if (!ReadExactly(s.input, chunk, n)) return ExtractReadError;
    Decipher(chunk, n);
    if (!WriteOutput(chunk, n)) return ExtractWriteError;
    s.bytesFetched += n;
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
// them; the other methods end by themselves and go by the sentinel when no size is known. The
// sentinel would cut the input of an entry of 2 GiB or more short: the directory's sizes are
// taken for such an entry.
void SettleSizes(uint16_t flags, uint16_t method, const DirectorySizes* directory,
                 uint64_t& compressed, uint64_t& uncompressed) {
  uint64_t dirCompressed = 0;
  uint64_t dirUncompressed = 0;
  if (directory != nullptr) {
    const bool wide = directory->headerPosition >= 0;
    dirCompressed = wide ? directory->compressed64 : directory->compressed;
    dirUncompressed = wide ? directory->uncompressed64 : directory->uncompressed;
    if (compressed == kZip64Marker && dirCompressed != kZip64Marker) compressed = dirCompressed;
    if (uncompressed == kZip64Marker && dirUncompressed != kZip64Marker) {
      uncompressed = dirUncompressed;
    }
    if ((flags & 8) && method == 0 && compressed == 0) {
      compressed = dirCompressed;
      uncompressed = dirUncompressed;
    }
  }
  if ((flags & 8) && method != 0 && (compressed == 0 || compressed == kZip64Marker)) {
    const bool beyondSentinel = dirCompressed >= uint64_t(kUnknownSize) &&
                                dirCompressed != kZip64Marker;
    compressed = beyondSentinel ? dirCompressed : uint64_t(kUnknownSize);
    uncompressed = beyondSentinel ? dirUncompressed : uint64_t(kUnknownSize);
  }
}

// A local header's sizes held in its zip64 extra field replace the markers. False when the
// extra field cannot be read.
bool TakeLocalZip64(const uint8_t (&header)[kLocalHeaderSize], uint32_t nameLength,
                    uint32_t extraLength, int64_t headerPosition, uint64_t& compressed,
                    uint64_t& uncompressed) {
  UnzipState& s = State();
  const archive::LocalFileHeader local = archive::LocalHeaderFields(header);
  if (!archive::MarkedFields(local).Any()) return true;
  std::vector<uint8_t> extra(extraLength);
  if (!s.input.Seek(headerPosition + kLocalHeaderSize + nameLength) ||
      !ReadExactly(s.input, extra.data(), extraLength)) {
    return false;
  }
  archive::Zip64Values values;
  // A local header without the field keeps its markers; the directory may still have them.
  if (archive::ResolveZip64(local, extra.data(), extra.size(), values)) {
    compressed = values.compressedSize;
    uncompressed = values.uncompressedSize;
  }
  return true;
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
  if (word[0] != archive::kDataDescriptorSignature) return word[0];
  if (directory != nullptr) {
    const auto sizesAt = [&](int i) {
      return word[i] == directory->compressed && word[i + 1] == directory->uncompressed;
    };
    if (sizesAt(1) && !sizesAt(2)) return word[0];
  }
  return word[1];
}

// Traditional encryption: reads and deciphers the 12-byte header and checks its last byte
// against the CRC's high byte (the time's, when a data descriptor follows), so a wrong
// password is told before any data; from then on every data byte is deciphered as it is read.
int BeginDeciphering(uint32_t dosDateTime, uint32_t crc, const DirectorySizes* directory) {
  constexpr uint32_t kCipherHeader = 12;
  UnzipState& s = State();
  if (s.password == nullptr) return ExtractEncrypted;
  if (s.compressedSize == kUnknownSize && directory != nullptr) {
    // The descriptor must stay plain.
    s.compressedSize = directory->headerPosition >= 0 ? int64_t(directory->compressed64)
                                                      : int64_t(directory->compressed);
  }
  if (s.compressedSize < int64_t(kCipherHeader)) return ExtractFormatError;
  uint8_t header[kCipherHeader];
  if (!ReadExactly(s.input, header, kCipherHeader)) return ExtractFormatError;
  s.keys.InitKeys(*s.password);
  s.cipheredLeft = kCipherHeader;
  Decipher(header, kCipherHeader);
  const uint8_t check = (s.flags & 8) ? uint8_t(dosDateTime >> 8) : uint8_t(crc >> 24);
  if (header[kCipherHeader - 1] != check) return ExtractBadPassword;
  s.compressedSize -= int64_t(kCipherHeader);
  s.cipheredLeft = s.compressedSize;
  return ExtractOk;
}

constexpr char kReplacementPrefix[] = "kst";

// An existing file is replaced only once the entry has been decoded and checked, so that a
// failed entry leaves it as it was: the data goes to a new file beside it, named in written.
// A file that could not be truncated (read-only, a directory) is refused as before. Where no
// name beside it can be had, the file is written in place, as it always was.
os::FileHandle OpenReplacement(const std::string& path, std::string& written) {
  const uint32_t attributes = os::GetFileAttributes(path);
  if (attributes == os::kInvalidAttributes ||
      (attributes & (os::kAttrReadOnly | os::kAttrDirectory))) {
    return os::kInvalidFile;
  }
  written = os::TempFileName(path.substr(0, path.rfind('\\') + 1), kReplacementPrefix, 0);
  if (!written.empty()) {
    const os::FileHandle file =
        os::OpenFile(written, os::Access::Write, os::Disposition::CreateAlways);
    if (file != os::kInvalidFile) return file;
    os::DeleteFile(written);
  }
  written = path;
  return os::OpenFile(path, os::Access::Write, os::Disposition::CreateAlways);
}

// Everything a call holds, released on every way out.
struct CallScope {
  UnzipState& s = State();
  bool ownsArchive = false;
  std::string written;  // the file being written, removed unless kept
  ~CallScope() {
    if (s.archive != os::kInvalidFile && ownsArchive) os::CloseFile(s.archive);
    s.archive = os::kInvalidFile;
    if (s.output != os::kInvalidFile) os::CloseFile(s.output);
    s.output = os::kInvalidFile;
    if (!written.empty()) os::DeleteFile(written);
    delete[] s.window;
    s.window = nullptr;
    s.discardOutput = false;
    s.sink = nullptr;
    s.cipheredLeft = 0;
    s.busy = false;
  }
};

// Where an entry's data goes: a file (outputPath), a caller's sink, or nowhere (testing).
struct Output {
  const char* path = nullptr;
  OutputSink sink = nullptr;
  void* context = nullptr;
};

int Run(const char* archivePath, const Output& out, uint16_t attributes, int64_t headerOffset,
        os::WindowHandle progressWindow, int16_t notifyId, const DirectorySizes* directory,
        const UnixMetadata* unixMetadata = nullptr) {
  UnzipState& s = State();
  const char* outputPath = out.path;
  const bool testing = outputPath == nullptr;
  s.cancelRequested = false;
  if (s.busy) {
    const uint32_t now = os::TickCount();
    const uint32_t idle = now > s.lastPumpTime ? now - s.lastPumpTime : s.lastPumpTime - now;
    if (s.lastPumpTime == 0 || idle <= kBusyTimeoutMs) return ExtractBusy;
  }
  s.busy = true;
  s.outputAttempted = false;
  CallScope scope;

  if (heldFile != os::kInvalidFile && heldPath == archivePath) {
    s.archive = heldFile;
    if (!inputOnHeldFile) s.input.Attach(heldFile);
    inputOnHeldFile = true;  // its bytes serve the next entries too
  } else {
    s.archive = os::OpenFile(archivePath, os::Access::Read, os::Disposition::OpenExisting);
    if (s.archive == os::kInvalidFile) return ExtractReadError;
    scope.ownsArchive = true;
    s.input.Attach(s.archive);
    inputOnHeldFile = false;
  }

  uint8_t header[kLocalHeaderSize];
  if (!s.input.Seek(headerOffset)) return ExtractFormatError;
  if (!ReadExactly(s.input, header, kLocalHeaderSize)) return ExtractFormatError;
  if (Get32(header) != 0x04034B50u) return ExtractFormatError;
  s.flags = Get16(header + 6);
  const uint16_t method = Get16(header + 8);
  const uint32_t dosDateTime = Get32(header + 10);
  uint32_t expectedCrc = Get32(header + 14);
  uint64_t compressedSize = Get32(header + 18);
  uint64_t uncompressedSize = Get32(header + 22);
  const uint32_t nameLength = Get16(header + 26);
  const uint32_t extraLength = Get16(header + 28);
  if (!TakeLocalZip64(header, nameLength, extraLength, headerOffset, compressedSize,
                      uncompressedSize)) {
    return ExtractFormatError;
  }
  SettleSizes(s.flags, method, directory, compressedSize, uncompressedSize);
  // Sizes no file can hold are a format error, never a position past the end of an int64.
  if (compressedSize > uint64_t(INT64_MAX / 2) || uncompressedSize > uint64_t(INT64_MAX / 2)) {
    return ExtractFormatError;
  }
  s.compressedSize = int64_t(compressedSize);
  s.uncompressedSize = int64_t(uncompressedSize);
  if (method > 31 || !((kSupportedMethods >> method) & 1)) return ExtractUnsupported;
  s.bytesFetched = 0;
  const int64_t dataOffset = headerOffset + kLocalHeaderSize + nameLength + extraLength;
  if (!s.input.Seek(dataOffset)) return ExtractFormatError;
  // Stored data is copied for as long as its size says: a size past the end of the archive
  // fails as the copy's read would, but before anything is created or written.
  if (method == 0 && s.compressedSize > os::FileSize(s.archive) - dataOffset) {
    return ExtractReadError;
  }
  if (s.flags & 1) {
    const int deciphering = BeginDeciphering(dosDateTime, expectedCrc, directory);
    if (deciphering != ExtractOk) return deciphering;
  }
  // Only the old methods decode into the shared window; stored data and Inflate bring their own.
  if (method >= 1 && method <= 6) {
    s.window = new (std::nothrow) uint8_t[kWindowSize]();
    if (s.window == nullptr) return ExtractReadError;
  }

  std::string path;
  bool fresh = true;  // the file written was created by this call (else truncated)
  if (!testing) {
    s.outputAttempted = true;
    path = outputPath;
    if ((attributes & os::kAttrDirectory) && !path.empty() && path.back() != '\\') path += '\\';
    if (path.empty() || path.size() > kMaxOutputPath) return ExtractWriteError;
    const bool directory = path.back() == '\\';
    if (!directory) {
      s.output = os::OpenFile(path, os::Access::Write, os::Disposition::CreateNew);
    }
    if (directory || (s.output == os::kInvalidFile && os::LastError() == os::kErrorPathNotFound)) {
      CreateDirectoryChain(path);
      if (directory) return ExtractOk;
      s.output = os::OpenFile(path, os::Access::Write, os::Disposition::CreateNew);
    }
    std::string written = path;
    if (s.output == os::kInvalidFile && os::LastError() == os::kErrorFileExists) {
      s.output = OpenReplacement(path, written);
      fresh = written != path;
    }
    if (s.output == os::kInvalidFile) return ExtractWriteError;
    scope.written = written;
  } else {
    if (attributes & os::kAttrDirectory) return ExtractOk;
    s.sink = out.sink;
    s.sinkContext = out.context;
    s.discardOutput = out.sink == nullptr;
  }

  s.inputExhausted = false;
  s.progressWindow = progressWindow;
  s.notifyId = notifyId;
  s.bytesWritten = 0;
  s.outputLimitPassed = false;
  s.outputLimit = directory != nullptr && directory->headerPosition >= 0
                      ? directory->uncompressed64
                      : UINT64_MAX;
  PumpMessages();
  s.lastPercent = 0;
  if (progressWindow != nullptr) os::SendCommand(progressWindow, notifyId, &s.lastPercent);
  s.crc = 0xFFFFFFFFu;
  ResetInput();

  int result = Decode(method);
  if (s.outputLimitPassed) result = ExtractFormatError;  // more than the directory declared
  s.outputLimit = UINT64_MAX;
  if (result == ExtractOk && (s.flags & 8)) expectedCrc = ReadDescriptorCrc(method, directory);
  const uint32_t finalCrc = s.crc ^ 0xFFFFFFFFu;
  if (scope.ownsArchive) os::CloseFile(s.archive);
  s.archive = os::kInvalidFile;

  if (testing) {
    if (result == ExtractOk && finalCrc != expectedCrc) result = ExtractCrcError;
    return result;
  }
  if (unixMetadata != nullptr && unixMetadata->modificationTime) {
    StampExactTime(s.output, *unixMetadata->modificationTime);
  } else {
    StampLastWriteTime(s.output, dosDateTime);
  }
  if (result == ExtractOk && finalCrc != expectedCrc) result = ExtractCrcError;
  if (result == ExtractOk) {
    s.lastPercent = 100;
    if (progressWindow != nullptr) {
      os::SendCommand(progressWindow, notifyId, &s.lastPercent);
      if (uint16_t(s.lastPercent) == 0xFFFF) result = ExtractCancelled;
    }
  }
  if (result != ExtractOk) return result;  // the scope closes and removes the file
  const bool replacing = scope.written != path;
  os::SetOpenFileAttributes(s.output, scope.written, attributes, fresh);  // not reported
  if (unixMetadata != nullptr && unixMetadata->permissions) {
    os::SetOpenFileMode(s.output, *unixMetadata->permissions);
  }
  os::CloseFile(s.output);
  s.output = os::kInvalidFile;
  if (replacing && s.deferredReplacement != nullptr) {
    *s.deferredReplacement = std::exchange(scope.written, {});
    return result;
  }
  if (replacing && !os::MoveFileReplace(scope.written, path)) {
    os::SetFileAttributes(scope.written, os::kAttrNormal);  // so that it can be removed
    return ExtractWriteError;
  }
  scope.written.clear();  // kept
  return result;
}

// The local header's place: the walk's full-width position when there is one.
int64_t HeaderPosition(int32_t headerOffset, const DirectorySizes* directory) {
  return directory != nullptr && directory->headerPosition >= 0 ? directory->headerPosition
                                                                : headerOffset;
}

}  // namespace

DirectorySizes DirectorySizesOf(const ZipDirEntry& entry) {
  DirectorySizes sizes;
  sizes.compressed = entry.compressedSize;
  sizes.uncompressed = entry.uncompressedSize;
  sizes.compressed64 = entry.compressedSize64;
  sizes.uncompressed64 = entry.uncompressedSize64;
  sizes.headerPosition = entry.localHeaderPosition > uint64_t(INT64_MAX)
                             ? INT64_MAX
                             : int64_t(entry.localHeaderPosition);
  return sizes;
}

bool IsReplacementName(const std::string& name) {
  const std::string folded = classlib::AsciiLowerCase(name);
  return folded.size() > 7 && folded.compare(0, 3, kReplacementPrefix) == 0 &&
         folded.compare(folded.size() - 4, 4, ".tmp") == 0;
}

int ExtractEntry(const char* archivePath, const char* outputPath, uint16_t attributes,
                 int32_t headerOffset, os::WindowHandle progressWindow, int16_t notifyId,
                 const DirectorySizes* directory, const UnixMetadata* unixMetadata) {
  if (archivePath == nullptr || outputPath == nullptr) return ExtractWriteError;
  return Run(archivePath, Output{outputPath}, attributes, HeaderPosition(headerOffset, directory),
             progressWindow, notifyId, directory, unixMetadata);
}

int TestEntry(const char* archivePath, uint16_t attributes, int32_t headerOffset,
              int16_t notifyId, const DirectorySizes* directory) {
  if (archivePath == nullptr) return ExtractReadError;
  return Run(archivePath, Output{}, attributes, HeaderPosition(headerOffset, directory), nullptr,
             notifyId, directory);
}

int StreamEntry(const char* archivePath, OutputSink sink, void* context, uint16_t attributes,
                int32_t headerOffset, const DirectorySizes* directory) {
  if (archivePath == nullptr || sink == nullptr) return ExtractReadError;
  return Run(archivePath, Output{nullptr, sink, context}, attributes,
             HeaderPosition(headerOffset, directory), nullptr, 0, directory);
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
  inputOnHeldFile = false;
  heldMinutes.clear();  // the zone may change before the next hold
}

void SetProgressHook(ProgressHook hook, void* context) {
  State().progressHook = hook;
  State().progressContext = context;
}

void SetPassword(const std::string* password) { State().password = password; }

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
    case ExtractEncrypted: return "encrypted (a password is needed)";
    case ExtractBadPassword: return "incorrect password";
    default: return "unknown error";
  }
}

}  // namespace kestrel::reader
