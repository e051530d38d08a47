// message_box_test.cpp — the library's message boxes are real task-modal dialogs: shown by
// the platform layer, answered through the WH_CBT hook, with the caption and text bytes
// (code page 936) and the flags exactly as the library passed them.
#include <gtest/gtest.h>

#include "answerer/message_box_answerer.h"
#include "platform/win32/windows_api.h"  // last: takes back the A/W macros

namespace kestrel::os {
namespace {

using wintest::MessageBoxAnswerer;

// "提示" (notice)
const std::string kNotice = "\xCC\xE1\xCA\xBE";
// "确认" (confirm)
const std::string kConfirm = "\xC8\xB7\xC8\xCF";
// "目标文件存在,是否覆盖?" (the target file exists, overwrite it?)
const std::string kOverwrite =
    "\xC4\xBF\xB1\xEA\xCE\xC4\xBC\xFE\xB4\xE6\xD4\xDA,\xCA\xC7\xB7\xF1\xB8\xB2\xB8\xC7?";

TEST(MessageBox, OkCancelAnsweredOkReturnsOkAndShowsTheExactBytes) {
  MessageBoxAnswerer answerer;
  answerer.Answer(kIdOk);
  EXPECT_EQ(MessageBox(kOverwrite, kNotice, kMbTaskModal | kMbOkCancel), kIdOk);
  ASSERT_EQ(answerer.Boxes().size(), 1u);
  const auto& box = answerer.Boxes()[0];
  EXPECT_TRUE(box.expected);
  EXPECT_EQ(wintest::Escaped(box.caption), wintest::Escaped(kNotice));
  EXPECT_EQ(wintest::Escaped(box.text), wintest::Escaped(kOverwrite));
  EXPECT_EQ(wintest::FormatFlags(box.flags), "0x2001");
}

TEST(MessageBox, EachButtonSetReturnsTheButtonPressed) {
  MessageBoxAnswerer answerer;
  answerer.Answer(kIdCancel);
  EXPECT_EQ(MessageBox(kOverwrite, kNotice, kMbTaskModal | kMbOkCancel), kIdCancel);
  answerer.Answer(kIdNo);
  EXPECT_EQ(MessageBox(kOverwrite, kConfirm, kMbTaskModal | kMbYesNo), kIdNo);
  answerer.Answer(kIdYes);
  EXPECT_EQ(MessageBox(kOverwrite, kConfirm, kMbTaskModal | kMbYesNo), kIdYes);
  answerer.Answer(kIdOk);
  EXPECT_EQ(MessageBox("ok", kNotice, kMbTaskModal | kMbOk), kIdOk);
  ASSERT_EQ(answerer.Boxes().size(), 4u);
  EXPECT_EQ(wintest::FormatFlags(answerer.Boxes()[1].flags), "0x2004");
  EXPECT_EQ(wintest::FormatFlags(answerer.Boxes()[2].flags), "0x2004");
  EXPECT_EQ(wintest::FormatFlags(answerer.Boxes()[3].flags), "0x2000");
  EXPECT_EQ(wintest::Escaped(answerer.Boxes()[1].caption), wintest::Escaped(kConfirm));
}

TEST(MessageBox, FlagsOtherThanTheLibrarysAreToldApart) {
  // Guards the hook's reading of the flags: without the task-modal bit and with an icon the
  // recorded flags must differ from the library's plain 0x2000-based sets.
  MessageBoxAnswerer answerer;
  answerer.Answer(kIdOk);
  EXPECT_EQ(MessageBox("plain", "caption", kMbOk | kMbIconWarning), kIdOk);
  ASSERT_EQ(answerer.Boxes().size(), 1u);
  EXPECT_EQ(wintest::FormatFlags(answerer.Boxes()[0].flags), "0x0030");
}

TEST(MessageBox, AnUnscriptedBoxIsDeclinedNotLeftHanging) {
  MessageBoxAnswerer answerer;
  EXPECT_EQ(MessageBox(kOverwrite, kConfirm, kMbTaskModal | kMbYesNo), kIdNo);
  EXPECT_EQ(MessageBox(kOverwrite, kNotice, kMbTaskModal | kMbOkCancel), kIdCancel);
  ASSERT_EQ(answerer.Boxes().size(), 2u);
  EXPECT_FALSE(answerer.Boxes()[0].expected);
}

}  // namespace
}  // namespace kestrel::os
