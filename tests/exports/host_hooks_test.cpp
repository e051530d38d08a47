// host_hooks_test.cpp — the C host hooks of kestrel.h reach the platform layer.
#include <gtest/gtest.h>

#include <string>

#include "kestrel.h"
#include "platform/platform.h"

namespace kestrel::test {
namespace {

struct Seen {
  std::string caption, text;
  unsigned flags = 0;
};

int Record(void* context, const char* caption, const char* text, unsigned flags) {
  auto* seen = static_cast<Seen*>(context);
  seen->caption = caption;
  seen->text = text;
  seen->flags = flags;
  return 6;
}

TEST(HostHooks, MessageHandlerWithContext) {
  Seen seen;
  kestrel_set_message_handler(Record, &seen);
  EXPECT_EQ(os::MessageBox("\xCC\xE1\xCA\xBE", "\xC8\xB7\xC8\xCF", 0x2004), 6);  // 提示, 确认
  EXPECT_EQ(seen.caption, "\xC8\xB7\xC8\xCF");
  EXPECT_EQ(seen.text, "\xCC\xE1\xCA\xBE");
  EXPECT_EQ(seen.flags, 0x2004u);
  kestrel_set_message_handler(nullptr, nullptr);
  testing::internal::CaptureStderr();
  EXPECT_EQ(os::MessageBox("x", "y", 0x2001), 2);
  testing::internal::GetCapturedStderr();
}

TEST(HostHooks, DrivesCancelAndCodePages) {
  EXPECT_EQ(kestrel_map_drive('R', "/tmp", 1), 1);
  EXPECT_EQ(os::GetDriveType("R:\\"), os::kDriveRemovable);
  os::host::UnmapDrive('R');
  EXPECT_EQ(kestrel_map_drive('R', "/no/such/dir", 0), 0);
  EXPECT_EQ(kestrel_map_drive('R', nullptr, 0), 0);
  kestrel_set_cancel(1);
  EXPECT_TRUE(os::KeyDown(27));
  kestrel_set_cancel(0);
  EXPECT_FALSE(os::KeyDown(27));
  EXPECT_EQ(kestrel_set_code_pages(1252, 850), 1);
  EXPECT_EQ(os::AnsiCodePage(), 1252);
  EXPECT_EQ(kestrel_set_code_pages(-5, 850), 0);
  EXPECT_EQ(kestrel_set_code_pages(936, 936), 1);
  EXPECT_STREQ(kestrel_last_error(), "");
}

}  // namespace
}  // namespace kestrel::test
