// Name conversion: arbitrary stored names, flags and extra fields under several ANSI code
// pages. A name that has an internal form must store and read back to the same name, and
// code page conversion must round-trip whatever it accepts.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "archive/entry_name.h"
#include "platform/platform.h"

namespace {

// Code pages whose conversions are one-to-one (the double-byte pages of Japan and Taiwan map
// some characters twice, so a round trip there may rightly change bytes).
constexpr int kPages[] = {936, 65001, 1252, 437};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kestrel;
  if (size < 3) return 0;
  // Byte 0 picks the code pages and the flags, byte 1 where the name ends and the extra
  // field begins; the rest is the name, then the extra field.
  const int ansi = kPages[data[0] % 4];
  const int legacy = (data[0] & 0x40) ? 0 : kPages[(data[0] >> 3) % 4];
  const uint16_t flags = (data[0] & 0x80) ? archive::kFlagUtf8Name : 0;
  const size_t nameLength = std::min<size_t>(data[1], size - 2);
  const std::string raw(reinterpret_cast<const char*>(data + 2), nameLength);
  const uint8_t* extra = data + 2 + nameLength;
  const size_t extraLength = size - 2 - nameLength;

  os::CodePageScope pages(ansi, ansi);
  std::string name, comment, stored;
  archive::InternalEntryComment(raw, flags, extra, extraLength, legacy, comment);
  if (archive::StoredEntryComment(raw, flags, stored)) {
    std::string back;
    if (archive::InternalEntryText(stored, flags, 0, back) == archive::NameProblem::None &&
        (flags & archive::kFlagUtf8Name) == 0 && back != raw) {
      std::abort();  // a comment kept as it is must read back as it is
    }
  }
  if (archive::InternalEntryName(raw, flags, extra, extraLength, legacy, name) !=
      archive::NameProblem::None) {
    return 0;
  }
  const int storeCodePage = archive::DefaultStoreCodePage();
  bool utf8 = false;
  if (!archive::StoredEntryName(name, storeCodePage, stored, utf8)) return 0;
  std::string again;
  const uint16_t storedFlags = utf8 ? archive::kFlagUtf8Name : 0;
  if (archive::InternalEntryName(stored, storedFlags, nullptr, 0, storeCodePage, again) !=
          archive::NameProblem::None ||
      again != name) {
    std::abort();  // what the writer stores, the reader must read back unchanged
  }
  std::string utf8Text, ansiText;
  if (os::ConvertCodePage(ansi, os::kUtf8CodePage, name, utf8Text) &&
      (!os::ConvertCodePage(os::kUtf8CodePage, ansi, utf8Text, ansiText) || ansiText != name)) {
    std::abort();
  }
  return 0;
}
