// version_block.cpp — builds and searches VS_VERSIONINFO trees. Each node is: WORD length
// (of the node with its children, without trailing padding), WORD value length, WORD type
// (1 text, 0 binary), the key in UTF-16LE with a terminating zero, padding to 4 bytes, the
// value, padding to 4 bytes, then the children.
#include "platform/version_block.h"

#include <cctype>

namespace kestrel::os {

namespace {

void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, static_cast<uint16_t>(v));
  Put16(out, static_cast<uint16_t>(v >> 16));
}
void PutUtf16(std::vector<uint8_t>& out, const std::string& ascii) {
  for (unsigned char c : ascii) Put16(out, c);
  Put16(out, 0);
}
void Pad(std::vector<uint8_t>& out) {
  while (out.size() % 4 != 0) out.push_back(0);
}

// One node: header, key, value, children (each already a complete node).
std::vector<uint8_t> Node(const std::string& key, uint16_t type, const std::vector<uint8_t>& value,
                          uint16_t valueLength, const std::vector<std::vector<uint8_t>>& children) {
  std::vector<uint8_t> out(6, 0);
  PutUtf16(out, key);
  if (!value.empty()) {
    Pad(out);
    out.insert(out.end(), value.begin(), value.end());
  }
  for (const auto& child : children) {
    Pad(out);
    out.insert(out.end(), child.begin(), child.end());
  }
  out[0] = static_cast<uint8_t>(out.size());
  out[1] = static_cast<uint8_t>(out.size() >> 8);
  out[2] = static_cast<uint8_t>(valueLength);
  out[3] = static_cast<uint8_t>(valueLength >> 8);
  out[4] = static_cast<uint8_t>(type);
  out[5] = 0;
  return out;
}

uint16_t Get16(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

bool KeyEquals(const std::vector<uint8_t>& b, size_t at, size_t end, const std::string& key,
               size_t& after) {
  size_t i = 0;
  for (;; ++i) {
    if (at + 2 * i + 2 > end) return false;
    uint16_t unit = Get16(b, at + 2 * i);
    if (unit == 0) break;
    if (i >= key.size() || unit > 0x7F ||
        std::tolower(unit) != std::tolower(static_cast<unsigned char>(key[i]))) {
      return false;
    }
  }
  after = at + 2 * i + 2;
  return i == key.size();
}

size_t Align(size_t v) { return (v + 3) & ~size_t{3}; }

}  // namespace

std::vector<uint8_t> BuildVersionBlock(const VersionDescription& d) {
  std::vector<uint8_t> fixed;
  Put32(fixed, 0xFEEF04BD);
  Put32(fixed, 0x00010000);
  Put32(fixed, (uint32_t{d.fileVersion[0]} << 16) | d.fileVersion[1]);
  Put32(fixed, (uint32_t{d.fileVersion[2]} << 16) | d.fileVersion[3]);
  Put32(fixed, (uint32_t{d.productVersion[0]} << 16) | d.productVersion[1]);
  Put32(fixed, (uint32_t{d.productVersion[2]} << 16) | d.productVersion[3]);
  for (uint32_t v : {d.fileFlagsMask, d.fileFlags, d.fileOs, d.fileType, d.fileSubtype, 0u, 0u}) {
    Put32(fixed, v);
  }
  std::vector<std::vector<uint8_t>> strings;
  for (const auto& [key, text] : d.strings) {
    std::vector<uint8_t> value;
    PutUtf16(value, text);
    strings.push_back(Node(key, 1, value, static_cast<uint16_t>(text.size() + 1), {}));
  }
  std::vector<uint8_t> table = Node(d.tableKey, 1, {}, 0, strings);
  std::vector<uint8_t> stringInfo = Node("StringFileInfo", 1, {}, 0, {table});
  std::vector<uint8_t> translation;
  for (const auto& [language, codePage] : d.translations) {
    Put16(translation, language);
    Put16(translation, codePage);
  }
  std::vector<uint8_t> var =
      Node("Translation", 0, translation, static_cast<uint16_t>(translation.size()), {});
  std::vector<uint8_t> varInfo = Node("VarFileInfo", 1, {}, 0, {var});
  return Node("VS_VERSION_INFO", 0, fixed, static_cast<uint16_t>(fixed.size()),
              {stringInfo, varInfo});
}

bool FindVersionValue(const std::vector<uint8_t>& block, const std::string& subBlock,
                      VersionValue& found) {
  // Split the path into keys; "\" alone is the root's own value.
  std::vector<std::string> keys;
  size_t start = 0;
  while (start <= subBlock.size()) {
    size_t end = subBlock.find('\\', start);
    if (end == std::string::npos) end = subBlock.size();
    if (end > start) keys.push_back(subBlock.substr(start, end - start));
    start = end + 1;
  }
  if (block.size() < 6) return false;
  size_t node = 0;
  size_t nodeEnd = std::min<size_t>(Get16(block, 0), block.size());
  size_t depth = 0;
  for (;;) {
    if (nodeEnd < node + 6) return false;
    uint16_t valueLength = Get16(block, node + 2);
    bool text = Get16(block, node + 4) == 1;
    // Skip the key.
    size_t keyEnd = node + 6;
    while (keyEnd + 2 <= nodeEnd && Get16(block, keyEnd) != 0) keyEnd += 2;
    if (keyEnd + 2 > nodeEnd) return false;
    size_t valueAt = Align(keyEnd + 2);
    size_t valueBytes = text ? size_t{valueLength} * 2 : valueLength;
    if (depth == keys.size()) {
      if (valueAt + valueBytes > nodeEnd) return false;
      found.value = block.data() + valueAt;
      found.length = valueLength;
      found.text = text;
      found.offset = valueAt;
      return valueLength > 0;
    }
    // Look for the next key among the children.
    size_t child = Align(valueAt + valueBytes);
    bool matched = false;
    while (child + 6 <= nodeEnd) {
      size_t childLength = Get16(block, child);
      if (childLength < 6 || child + childLength > nodeEnd) return false;
      size_t after = 0;
      if (KeyEquals(block, child + 6, child + childLength, keys[depth], after)) {
        node = child;
        nodeEnd = child + childLength;
        ++depth;
        matched = true;
        break;
      }
      child = Align(child + childLength);
    }
    if (!matched) return false;
  }
}

const VersionDescription& KestrelVersionDescription() {
  // Keep in step with packaging/kestrel.rc; a test compares this with the compiled resource.
  static const VersionDescription description = [] {
    VersionDescription d;
    d.fileVersion[0] = d.productVersion[0] = 1;
    d.tableKey = "080403A8";
    d.strings = {{"FileDescription", "Kestrel zip library"}, {"FileVersion", "1.0.0.0"},
                 {"InternalName", "Kestrel"},               {"OriginalFilename", "Kestrel.dll"},
                 {"ProductName", "Kestrel"},                {"ProductVersion", "1.0.0.0"}};
    d.translations = {{0x0804, 936}};
    return d;
  }();
  return description;
}

}  // namespace kestrel::os
