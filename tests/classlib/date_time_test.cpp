// date_time_test.cpp — day counts from 30 December 1899 and the DOS date-time conversions,
// with round trips over the whole DOS range and its edges.
#include <gtest/gtest.h>

#include "classlib/date_time.h"
#include "classlib/exception.h"

namespace kestrel::classlib {
namespace {

uint32_t Dos(int year, int month, int day, int hour, int minute, int second) {
  const auto date = static_cast<uint32_t>(day | (month << 5) | ((year - 1980) << 9));
  const auto time = static_cast<uint32_t>((second / 2) | (minute << 5) | (hour << 11));
  return (date << 16) | time;
}

TEST(DateTime, DayCountsFromTheEpoch) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
  EXPECT_EQ(EncodeDate(1980, 1, 1), 29221.0);
  EXPECT_EQ(EncodeDate(2000, 3, 1) - EncodeDate(2000, 2, 28), 2.0);  // 2000 is a leap year
  EXPECT_EQ(EncodeDate(2100, 3, 1) - EncodeDate(2100, 2, 28), 1.0);  // 2100 is not
  EXPECT_DOUBLE_EQ(EncodeTime(12, 0, 0, 0), 0.5);
  EXPECT_THROW(EncodeDate(2001, 2, 29), EConvertError);
  EXPECT_THROW(EncodeDate(2000, 13, 1), EConvertError);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  int y = 0, m = 0, d = 0;
  DecodeDate(EncodeDate(2024, 2, 29) + 0.75, y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 20240229);
  int h = 0, mi = 0, s = 0, ms = 0;
  DecodeTime(EncodeDate(2024, 2, 29) + EncodeTime(23, 59, 58, 999), h, mi, s, ms);
  EXPECT_EQ(h * 10000000 + mi * 100000 + s * 1000 + ms, 235958999);
}

TEST(DateTime, DosRangeEdges) {
  EXPECT_EQ(DateTimeToFileDate(FileDateToDateTime(Dos(1980, 1, 1, 0, 0, 0))),
            Dos(1980, 1, 1, 0, 0, 0));
  EXPECT_EQ(DateTimeToFileDate(FileDateToDateTime(0xFF9FBF7Du)), 0xFF9FBF7Du);  // 2107-12-31
  EXPECT_EQ(FileDateToDateTime(Dos(1980, 1, 1, 0, 0, 0)), 29221.0);
  EXPECT_EQ(DateTimeToFileDate(EncodeDate(1979, 12, 31) + EncodeTime(23, 59, 59, 0)), 0u);
  EXPECT_EQ(DateTimeToFileDate(EncodeDate(2108, 1, 1)), 0u);
  // Odd seconds cannot be stored: they go down to the even second.
  EXPECT_EQ(DateTimeToFileDate(EncodeDate(2000, 6, 15) + EncodeTime(10, 20, 31, 0)),
            Dos(2000, 6, 15, 10, 20, 30));
}

TEST(DateTime, InvalidDosValuesRaise) {
  EXPECT_THROW(FileDateToDateTime(Dos(1990, 1, 1, 0, 0, 0) & ~(15u << 21)), EConvertError);
  EXPECT_THROW(FileDateToDateTime(Dos(1990, 2, 30, 0, 0, 0)), EConvertError);
  EXPECT_THROW(FileDateToDateTime(Dos(1990, 4, 31, 0, 0, 0)), EConvertError);
  EXPECT_THROW(FileDateToDateTime(Dos(1990, 1, 0, 0, 0, 0)), EConvertError);
  EXPECT_THROW(FileDateToDateTime(Dos(1990, 1, 1, 24, 0, 0)), EConvertError);
  EXPECT_THROW(FileDateToDateTime(Dos(1990, 1, 1, 0, 60, 0)), EConvertError);
  EXPECT_THROW(FileDateToDateTime(Dos(1990, 1, 1, 0, 0, 60)), EConvertError);
  EXPECT_THROW(FileDateToDateTime(0xFFFFFFFFu), EConvertError);
  DateTime value = -1;
  EXPECT_FALSE(TryFileDateToDateTime(0, value));  // month 0, day 0
  EXPECT_EQ(value, -1);
}

// Every valid DOS date at a few times, and every time on a few dates, survives the trip.
TEST(DateTime, EveryDosDateAndTimeRoundTrips) {
  DateTime previous = 0;
  for (int year = 1980; year <= 2107; ++year)
    for (int month = 1; month <= 12; ++month)
      for (int day = 1; day <= 31; ++day) {
        DateTime date = 0;
        const uint32_t dos = Dos(year, month, day, 23, 59, 58);
        if (!TryEncodeDate(year, month, day, date)) {
          EXPECT_THROW(FileDateToDateTime(dos), EConvertError);
          continue;
        }
        const DateTime value = FileDateToDateTime(dos);
        ASSERT_GT(value, previous);
        previous = value;
        ASSERT_EQ(DateTimeToFileDate(value), dos) << year << "-" << month << "-" << day;
        ASSERT_EQ(DateTimeToFileDate(FileDateToDateTime(Dos(year, month, day, 0, 0, 0))),
                  Dos(year, month, day, 0, 0, 0));
      }
  for (int hour = 0; hour < 24; ++hour)
    for (int minute = 0; minute < 60; ++minute)
      for (int second = 0; second < 60; second += 2)
        for (const int year : {1980, 2043, 2107}) {
          const uint32_t dos = Dos(year, 12, 31, hour, minute, second);
          ASSERT_EQ(DateTimeToFileDate(FileDateToDateTime(dos)), dos);
        }
}

}  // namespace
}  // namespace kestrel::classlib
