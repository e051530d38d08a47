// times_test.cpp — file times on handles and the FILETIME / SYSTEMTIME / local / DOS
// conversions, with the DOS range limits.
#include <gtest/gtest.h>

#include "scratch_dir.h"
#include "platform/win32/windows_api.h"  // last: takes back the A/W macros

namespace kestrel::os {
namespace {

using wintest::ScratchDir;

TEST(Times, LastWriteTimeSetOnAHandleIsReadBack) {
  ScratchDir dir;
  FileHandle f = OpenFile(dir / "t.txt", Access::ReadWrite, Disposition::CreateAlways);
  ASSERT_NE(f, kInvalidFile);
  SystemTime st;
  st.year = 2001;
  st.month = 2;
  st.day = 3;
  st.hour = 4;
  st.minute = 5;
  st.second = 6;
  FileTime written;
  ASSERT_TRUE(SystemTimeToFileTime(st, written));
  ASSERT_TRUE(SetFileTime(f, nullptr, nullptr, &written));
  FileTime creation, lastWrite;
  ASSERT_TRUE(GetFileTime(f, &creation, nullptr, &lastWrite));
  EXPECT_EQ(lastWrite, written);
  CloseFile(f);
  EXPECT_FALSE(GetFileTime(kInvalidFile, nullptr, nullptr, &lastWrite));
}

TEST(Times, DosDateTimeRoundTripsThroughLocalFileTime) {
  // 2024-02-29 13:45:58: date (44 << 9) | (2 << 5) | 29, time (13 << 11) | (45 << 5) | 29.
  const uint16_t date = (44 << 9) | (2 << 5) | 29, time = (13 << 11) | (45 << 5) | 29;
  FileTime local;
  ASSERT_TRUE(DosDateTimeToFileTime(date, time, local));
  SystemTime st;
  ASSERT_TRUE(FileTimeToSystemTime(local, st));
  EXPECT_EQ(st.year, 2024);
  EXPECT_EQ(st.month, 2);
  EXPECT_EQ(st.day, 29);
  EXPECT_EQ(st.hour, 13);
  EXPECT_EQ(st.minute, 45);
  EXPECT_EQ(st.second, 58);
  uint16_t d = 0, t = 0;
  ASSERT_TRUE(FileTimeToDosDateTime(local, d, t));
  EXPECT_EQ(d, date);
  EXPECT_EQ(t, time);

  FileTime utc, back;
  ASSERT_TRUE(LocalFileTimeToFileTime(local, utc));
  ASSERT_TRUE(FileTimeToLocalFileTime(utc, back));
  EXPECT_EQ(back, local);
}

TEST(Times, DosTimesOutsideTheirRangeFail) {
  SystemTime st;
  st.year = 1979;
  st.month = 12;
  st.day = 31;
  FileTime early;
  ASSERT_TRUE(SystemTimeToFileTime(st, early));
  uint16_t d = 0, t = 0;
  EXPECT_FALSE(FileTimeToDosDateTime(early, d, t));
  SystemTime bad;
  bad.year = 2020;
  bad.month = 13;
  bad.day = 1;
  FileTime ignored;
  EXPECT_FALSE(SystemTimeToFileTime(bad, ignored));
}

TEST(Times, LocalClockIsPlausible) {
  SystemTime now = LocalTime();
  EXPECT_GE(now.year, 2020);
  EXPECT_GE(now.month, 1);
  EXPECT_LE(now.month, 12);
}

}  // namespace
}  // namespace kestrel::os
