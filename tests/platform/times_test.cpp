// times_test.cpp — FILETIME, system time and DOS date/time conversions, and local time.
#include <stdlib.h>
#include <time.h>

#include "tests/platform/scratch_drive.h"

namespace kestrel::test {
namespace {

using namespace os;

// Puts the process in a fixed time zone for one test.
class FixedZone {
 public:
  explicit FixedZone(const char* tz) {
    const char* old = getenv("TZ");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~FixedZone() {
    if (had_) {
      setenv("TZ", old_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool had_ = false;
  std::string old_;
};

TEST(Times, KnownInstants) {
  FileTime ft;
  ASSERT_TRUE(SystemTimeToFileTime(SystemTime{1970, 1, 0, 1, 0, 0, 0, 0}, ft));
  EXPECT_EQ(ft.ticks, 116444736000000000ull);
  ASSERT_TRUE(SystemTimeToFileTime(SystemTime{1601, 1, 0, 1, 0, 0, 0, 0}, ft));
  EXPECT_EQ(ft.ticks, 0ull);
  ASSERT_TRUE(SystemTimeToFileTime(SystemTime{2024, 2, 0, 29, 23, 59, 59, 999}, ft));
  SystemTime back;
  ASSERT_TRUE(FileTimeToSystemTime(ft, back));
  EXPECT_EQ(back.year, 2024);
  EXPECT_EQ(back.month, 2);
  EXPECT_EQ(back.day, 29);
  EXPECT_EQ(back.dayOfWeek, 4);  // a Thursday
  EXPECT_EQ(back.hour, 23);
  EXPECT_EQ(back.minute, 59);
  EXPECT_EQ(back.second, 59);
  EXPECT_EQ(back.milliseconds, 999);
}

TEST(Times, InvalidSystemTimesAreRefused) {
  FileTime ft;
  EXPECT_FALSE(SystemTimeToFileTime(SystemTime{2023, 2, 0, 29, 0, 0, 0, 0}, ft));
  EXPECT_FALSE(SystemTimeToFileTime(SystemTime{2023, 13, 0, 1, 0, 0, 0, 0}, ft));
  EXPECT_FALSE(SystemTimeToFileTime(SystemTime{2023, 1, 0, 1, 24, 0, 0, 0}, ft));
  EXPECT_FALSE(SystemTimeToFileTime(SystemTime{1600, 1, 0, 1, 0, 0, 0, 0}, ft));
}

TEST(Times, DosDateAndTimeRoundTrip) {
  uint16_t date = (45 << 9) | (12 << 5) | 31;  // 2025-12-31
  uint16_t time = (23 << 11) | (59 << 5) | 29;  // 23:59:58
  FileTime ft;
  ASSERT_TRUE(DosDateTimeToFileTime(date, time, ft));
  SystemTime s;
  ASSERT_TRUE(FileTimeToSystemTime(ft, s));
  EXPECT_EQ(s.year, 2025);
  EXPECT_EQ(s.second, 58);
  uint16_t d2 = 0, t2 = 0;
  ASSERT_TRUE(FileTimeToDosDateTime(ft, d2, t2));
  EXPECT_EQ(d2, date);
  EXPECT_EQ(t2, time);
  // Odd seconds are rounded down to the two-second grid.
  ASSERT_TRUE(SystemTimeToFileTime(SystemTime{1980, 1, 0, 1, 0, 0, 1, 0}, ft));
  ASSERT_TRUE(FileTimeToDosDateTime(ft, d2, t2));
  EXPECT_EQ(d2, (0 << 9) | (1 << 5) | 1);
  EXPECT_EQ(t2, 0);
  ASSERT_TRUE(SystemTimeToFileTime(SystemTime{1979, 12, 0, 31, 0, 0, 0, 0}, ft));
  EXPECT_FALSE(FileTimeToDosDateTime(ft, d2, t2));
  EXPECT_FALSE(DosDateTimeToFileTime((1 << 5) | 0, 0, ft));  // day 0
}

TEST(Times, LocalConversionsFollowTheTimeZone) {
  FixedZone zone("CST-8");  // UTC+8, no summer time
  FileTime utc, local, back;
  ASSERT_TRUE(SystemTimeToFileTime(SystemTime{2020, 6, 0, 1, 12, 0, 0, 0}, utc));
  ASSERT_TRUE(FileTimeToLocalFileTime(utc, local));
  EXPECT_EQ(local.ticks - utc.ticks, 8ull * 3600 * 10000000);
  ASSERT_TRUE(LocalFileTimeToFileTime(local, back));
  EXPECT_EQ(back, utc);
}

TEST(Times, SummerTimeIsTakenAtTheConvertedInstant) {
  FixedZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
  FileTime winter, summer, local;
  ASSERT_TRUE(SystemTimeToFileTime(SystemTime{2021, 1, 0, 15, 12, 0, 0, 0}, winter));
  ASSERT_TRUE(SystemTimeToFileTime(SystemTime{2021, 7, 0, 15, 12, 0, 0, 0}, summer));
  ASSERT_TRUE(FileTimeToLocalFileTime(winter, local));
  EXPECT_EQ(local.ticks - winter.ticks, 1ull * 3600 * 10000000);
  ASSERT_TRUE(FileTimeToLocalFileTime(summer, local));
  EXPECT_EQ(local.ticks - summer.ticks, 2ull * 3600 * 10000000);
}

TEST(Times, TickCountAdvances) {
  uint32_t a = TickCount();
  timespec pause{0, 20 * 1000 * 1000};
  nanosleep(&pause, nullptr);
  EXPECT_NE(TickCount(), a);
  SystemTime now = LocalTime();
  EXPECT_GE(now.year, 2020);
}

}  // namespace
}  // namespace kestrel::test
