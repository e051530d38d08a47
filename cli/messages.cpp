// messages.cpp — English for the library's Chinese message texts. A "{}" in a pattern stands
// for the number or name the library puts there and is carried into the translation.
#include "cli/messages.h"

#include <cstdlib>
#include <iterator>

namespace kestrel::cli {

namespace {

struct Translation {
  const char* chinese;
  const char* english;
};

// Longer texts first where one is the start of another.
constexpr Translation kTranslations[] = {
    {"提示", "Notice"},
    {"警告", "Warning"},
    {"确认", "Confirm"},
    {"目标文件已经存在,是否覆盖?", "The target file exists already. Overwrite it?"},
    {"目标文件存在,是否覆盖?", "The target file exists. Overwrite it?"},
    {"输入的文件或路径必须是全路径!", "The file or path must be a full path!"},
    {"输入的文件或路径必须是全路径", "The file or path must be a full path"},
    {"输入文件不存在!", "The input file does not exist!"},
    {"文件读写错误!", "File read or write error!"},
    {"文件读写错误", "File read or write error"},
    {"压缩数据共需要 {} 张软盘!", "The compressed data needs {} floppy disks!"},
    {"请插入第 {}张软盘", "Please insert disk {}"},
    {"磁盘空间不够,请换一张盘", "Not enough space on the disk; please insert another one"},
    {"输入的路径非法!", "The path is not valid!"},
    {"源文件错误,请检查", "The source file is wrong; please check it"},
    {"请换一张正确的盘,然后点击确定", "Please insert the right disk, then press OK"},
    {"磁盘不是程序支持的盘,请检查", "This disk is not one the program supports; please check it"},
    {"磁盘顺序错误,应该是第{}张盘", "Disks out of order: this should be disk {}"},
    {"请插入下一张盘", "Please insert the next disk"},
    {"操作被用户取消", "Cancelled by the user"},
    {"用户取消操作!", "Cancelled by the user!"},
    {"用户取消操作", "Cancelled by the user"},
};

}  // namespace

bool MatchesMessage(const std::string& pattern, const std::string& text, std::string& part) {
  const size_t hole = pattern.find("{}");
  if (hole == std::string::npos) return pattern == text;
  const std::string before = pattern.substr(0, hole), after = pattern.substr(hole + 2);
  if (text.size() <= before.size() + after.size() || text.compare(0, before.size(), before) != 0 ||
      text.compare(text.size() - after.size(), after.size(), after) != 0) {
    return false;
  }
  part = text.substr(before.size(), text.size() - before.size() - after.size());
  return true;
}

namespace {

std::string LocaleName() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return value;
  }
  return "";
}

}  // namespace

std::string ForUser(const std::string& text, const std::string& localeName) {
  if (localeName.rfind("zh", 0) == 0) return text;
  std::string part;
  for (const Translation& t : kTranslations) {
    if (!MatchesMessage(t.chinese, text, part)) continue;
    std::string english = t.english;
    const size_t hole = english.find("{}");
    if (hole != std::string::npos) english.replace(hole, 2, part);
    return english;
  }
  return text;
}

std::string ForUser(const std::string& text) { return ForUser(text, LocaleName()); }

}  // namespace kestrel::cli
