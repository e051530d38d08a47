// messages_test.cpp — the library's Chinese message texts in English outside a zh_* locale,
// with the numbers they carry, and left as they are in a Chinese locale.
#include <gtest/gtest.h>

#include "cli/messages.h"

namespace kestrel::cli {
namespace {

TEST(Messages, ChineseTextsAreTranslatedOutsideAChineseLocale) {
  EXPECT_EQ(ForUser("请插入第 3张软盘", "en_US.UTF-8"), "Please insert disk 3");
  EXPECT_EQ(ForUser("磁盘顺序错误,应该是第12张盘", "C"), "Disks out of order: this should be disk 12");
  EXPECT_EQ(ForUser("目标文件存在,是否覆盖?", ""), "The target file exists. Overwrite it?");
  EXPECT_EQ(ForUser("请插入第 3张软盘", "zh_CN.UTF-8"), "请插入第 3张软盘");
  EXPECT_EQ(ForUser("请插入第 张软盘", "C"), "请插入第 张软盘");  // no number: not the known text
  EXPECT_EQ(ForUser("something else", "C"), "something else");
}

}  // namespace
}  // namespace kestrel::cli
