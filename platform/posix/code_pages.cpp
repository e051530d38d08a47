// code_pages.cpp — the ANSI and OEM code pages (936 by default, per thread while a
// CodePageScope is open) and conversions between code pages through iconv. ASCII text passes
// through untouched: every code page the library meets agrees with UTF-8 on it, and most names
// are plain ASCII.
#include <iconv.h>

#include <atomic>
#include <cerrno>
#include <map>
#include <mutex>
#include <utility>

#include "platform/code_page_scope.h"
#include "platform/posix/posix_internal.h"

namespace kestrel::os {
namespace posix {

namespace {

std::mutex mutex;  // guards the cached descriptors (an iconv_t is not shared-safe)
// Read on every byte-scanning step of a name, so without a lock.
std::atomic<int> ansiCodePage{936};
std::atomic<int> oemCodePage{936};
// The open descriptors, closed when the library is unloaded.
struct DescriptorCache : std::map<std::pair<int, int>, iconv_t> {
  ~DescriptorCache() {
    for (auto& entry : *this) iconv_close(entry.second);
  }
};
DescriptorCache descriptors;

std::string IconvName(int codePage) {
  if (codePage == kUtf8CodePage) return "UTF-8";
  return "CP" + std::to_string(codePage);
}

// A cached descriptor converting between two code pages; (iconv_t)-1 when iconv lacks one.
iconv_t Descriptor(int from, int to) {
  auto key = std::make_pair(from, to);
  auto it = descriptors.find(key);
  if (it != descriptors.end()) return it->second;
  iconv_t cd = iconv_open(IconvName(to).c_str(), IconvName(from).c_str());
  if (cd != reinterpret_cast<iconv_t>(-1)) descriptors.emplace(key, cd);
  return cd;
}

bool IsAscii(const std::string& text) {
  for (unsigned char c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

// Converts with the lock held. A character the target lacks, or an invalid input sequence,
// fails the conversion or, with substitute, becomes one "?" (the input skips one byte for an
// invalid sequence, one whole character for an unrepresentable one).
bool ConvertLocked(int from, int to, const std::string& in, std::string& out, bool substitute) {
  iconv_t cd = Descriptor(from, to);
  if (cd == reinterpret_cast<iconv_t>(-1)) return Fail(kErrorInvalidParameter);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  out.clear();
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char buffer[256];
  while (srcLeft > 0) {
    char* dst = buffer;
    size_t dstLeft = sizeof buffer;
    size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out.append(buffer, dst);
    if (r != static_cast<size_t>(-1)) {
      // glibc counts irreversible (approximated) conversions; those are not exact either.
      if (r > 0 && !substitute) return Fail(kErrorNoUnicodeTranslation);
      continue;
    }
    if (errno == E2BIG) continue;
    if (!substitute) return Fail(kErrorNoUnicodeTranslation);
    // EILSEQ or EINVAL: skip the offending character and put "?" in its place.
    size_t skip = 1;
    if (from == kUtf8CodePage) {
      unsigned char lead = static_cast<unsigned char>(*src);
      skip = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
      if (skip > srcLeft) skip = srcLeft;
    }
    src += skip;
    srcLeft -= skip;
    out.push_back('?');
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  char* dst = buffer;
  size_t dstLeft = sizeof buffer;
  iconv(cd, nullptr, nullptr, &dst, &dstLeft);  // flush any shift state
  out.append(buffer, dst);
  return true;
}

}  // namespace

bool Convert(int from, int to, const std::string& in, std::string& out, bool substitute) {
  if (from == to || IsAscii(in)) {
    out = in;
    return true;
  }
  std::lock_guard<std::mutex> lock(mutex);
  return ConvertLocked(from, to, in, out, substitute);
}

bool AnsiToUtf8(const std::string& ansi, std::string& utf8) {
  return Convert(AnsiCodePage(), kUtf8CodePage, ansi, utf8, false);
}

bool Utf8ToAnsi(const std::string& utf8, std::string& ansi, bool substitute) {
  return Convert(kUtf8CodePage, AnsiCodePage(), utf8, ansi, substitute);
}

}  // namespace posix

int AnsiCodePage() {
  const int scoped = detail::ScopedAnsiCodePage();
  return scoped != 0 ? scoped : posix::ansiCodePage.load(std::memory_order_relaxed);
}

int OemCodePage() {
  const int scoped = detail::ScopedOemCodePage();
  return scoped != 0 ? scoped : posix::oemCodePage.load(std::memory_order_relaxed);
}

bool IsCodePageSupported(int page) {
  if (page == kUtf8CodePage) return true;
  if (page <= 0) return false;
  std::lock_guard<std::mutex> lock(posix::mutex);
  return posix::Descriptor(page, kUtf8CodePage) != reinterpret_cast<iconv_t>(-1) &&
         posix::Descriptor(kUtf8CodePage, page) != reinterpret_cast<iconv_t>(-1);
}

bool ConvertCodePage(int from, int to, const std::string& in, std::string& out) {
  return posix::Convert(from, to, in, out, false);
}

// Like CharToOemA: a character the OEM code page lacks becomes "?".
std::string AnsiToOem(const std::string& text) {
  std::string out;
  if (!posix::Convert(AnsiCodePage(), OemCodePage(), text, out, true)) return text;
  return out;
}

std::string OemToAnsi(const std::string& text) {
  std::string out;
  if (!posix::Convert(OemCodePage(), AnsiCodePage(), text, out, true)) return text;
  return out;
}

namespace host {

bool SetCodePages(int ansi, int oem) {
  if (!IsCodePageSupported(ansi) || !IsCodePageSupported(oem)) {
    return posix::Fail(kErrorInvalidParameter);
  }
  posix::ansiCodePage = ansi;
  posix::oemCodePage = oem;
  return true;
}

bool CodePageToUtf8(int codePage, const std::string& text, std::string& utf8) {
  std::string out;
  if (!posix::Convert(codePage == 0 ? AnsiCodePage() : codePage, kUtf8CodePage, text, out,
                      true)) {
    return false;
  }
  utf8 = std::move(out);
  return true;
}

std::string AnsiToHostText(const std::string& ansi) {
  std::string utf8;
  if (!posix::Convert(AnsiCodePage(), kUtf8CodePage, ansi, utf8, true)) return ansi;
  return utf8;
}

bool HostTextToAnsi(const std::string& text, std::string& ansi) {
  return posix::Utf8ToAnsi(text, ansi);
}

}  // namespace host
}  // namespace kestrel::os
