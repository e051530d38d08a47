// user_interface_test.cpp — message boxes through the host handler and its non-blocking
// default, the cancel key, and the code page settings.
#include "tests/platform/scratch_drive.h"

namespace kestrel::test {
namespace {

using namespace os;

class UserInterface : public ScratchDrive {};

TEST_F(UserInterface, DefaultAnswersNeverConsent) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBox("\xCC\xE1\xCA\xBE", "t", kMbTaskModal), kIdOk);  // 提示
  EXPECT_EQ(MessageBox("x", "t", kMbTaskModal | kMbOkCancel), kIdCancel);
  EXPECT_EQ(MessageBox("x", "t", kMbTaskModal | kMbYesNo), kIdNo);
  EXPECT_EQ(MessageBox("x", "t", kMbYesNoCancel), kIdCancel);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("\xE6\x8F\x90\xE7\xA4\xBA"), std::string::npos) << err;  // as UTF-8
}

TEST_F(UserInterface, HandlerGetsTheExactBytes) {
  std::string caption, text;
  uint32_t flags = 0;
  host::SetMessageHandler([&](const std::string& c, const std::string& t, uint32_t f) {
    caption = c;
    text = t;
    flags = f;
    return kIdYes;
  });
  EXPECT_EQ(MessageBox("\xC8\xB7\xC8\xCF?", "\xBE\xAF\xB8\xE6", 0x2004), kIdYes);  // 确认? 警告
  EXPECT_EQ(caption, "\xBE\xAF\xB8\xE6");
  EXPECT_EQ(text, "\xC8\xB7\xC8\xCF?");
  EXPECT_EQ(flags, 0x2004u);
  host::SetMessageHandler(nullptr);
  testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBox("x", "t", 0x2004), kIdNo);
  testing::internal::GetCapturedStderr();
}

TEST_F(UserInterface, HandlerMayRemapDrivesWhileAsked) {
  host::SetMessageHandler([&](const std::string&, const std::string&, uint32_t) {
    return host::MapDrive('A', root_, true) ? kIdOk : kIdCancel;
  });
  EXPECT_EQ(MessageBox("insert", "t", kMbOkCancel), kIdOk);
  EXPECT_EQ(GetDriveType("A:\\"), kDriveRemovable);
}

TEST_F(UserInterface, EscapeIsTheCancelFlag) {
  EXPECT_FALSE(KeyDown(27));
  host::SetCancel(true);
  EXPECT_TRUE(KeyDown(27));
  EXPECT_FALSE(KeyDown(13));
  host::SetCancel(false);
  EXPECT_FALSE(KeyDown(27));
  PumpMessages();  // nothing to pump on the host; must simply return
  EXPECT_EQ(SendCommand(nullptr, 27, nullptr), 0);
}

TEST_F(UserInterface, CodePages) {
  EXPECT_EQ(AnsiCodePage(), 936);
  EXPECT_EQ(OemCodePage(), 936);
  EXPECT_EQ(AnsiToOem("\xD6\xD0\xCE\xC4"), "\xD6\xD0\xCE\xC4");
  ASSERT_TRUE(host::SetCodePages(1252, 437));
  EXPECT_EQ(AnsiToOem("\xE9"), "\x82");  // é
  EXPECT_EQ(OemToAnsi("\x82"), "\xE9");
  EXPECT_EQ(AnsiToOem("\xA4"), "?");     // ¤ has no place in 437
  std::string host;
  ASSERT_TRUE(host::HostPath("T:\\caf\xE9", host));
  EXPECT_EQ(host, root_ + "/caf\xC3\xA9");
  EXPECT_FALSE(host::SetCodePages(99999, 437));
  EXPECT_EQ(AnsiCodePage(), 1252);
  ASSERT_TRUE(host::SetCodePages(936, 936));
}

}  // namespace
}  // namespace kestrel::test
