// date_time.cpp — calendar arithmetic for day counts from 30 December 1899 (proleptic
// Gregorian), and the DOS packed date-time conversions.
#include "classlib/date_time.h"

#include <cmath>

#include "classlib/exception.h"
#include "platform/platform.h"

namespace kestrel::classlib {

namespace {

constexpr double kMsPerDay = 86400000.0;
// Days from 1 January 1970 back to 30 December 1899.
constexpr int64_t kEpochOffset = 25569;

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days since 1 January 1970 of a civil date (any year).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (month <= 2));
}

// Milliseconds of the time of day of value.
int64_t TimeOfDayMs(DateTime value) {
  const double fraction = std::fabs(value - std::trunc(value));
  auto ms = static_cast<int64_t>(std::llround(fraction * kMsPerDay));
  if (ms >= static_cast<int64_t>(kMsPerDay)) ms = static_cast<int64_t>(kMsPerDay) - 1;
  return ms;
}

DateTime Combine(DateTime date, DateTime time) { return date >= 0 ? date + time : date - time; }

}  // namespace

bool TryEncodeDate(int year, int month, int day, DateTime& date) {
  if (year < 1 || year > 9999 || month < 1 || month > 12) return false;
  if (day < 1 || day > DaysInMonth(year, month)) return false;
  date = static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month),
                                           static_cast<unsigned>(day)) +
                             kEpochOffset);
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, DateTime& time) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
      millisecond < 0 || millisecond > 999)
    return false;
  time = ((hour * 3600000.0) + (minute * 60000.0) + (second * 1000.0) + millisecond) / kMsPerDay;
  return true;
}

DateTime EncodeDate(int year, int month, int day) {
  DateTime date = 0;
  if (!TryEncodeDate(year, month, day, date))
    throw EConvertError("Invalid argument to date encode");
  return date;
}

DateTime EncodeTime(int hour, int minute, int second, int millisecond) {
  DateTime time = 0;
  if (!TryEncodeTime(hour, minute, second, millisecond, time))
    throw EConvertError("Invalid argument to time encode");
  return time;
}

void DecodeDate(DateTime value, int& year, int& month, int& day) {
  CivilFromDays(static_cast<int64_t>(std::trunc(value)) - kEpochOffset, year, month, day);
}

void DecodeTime(DateTime value, int& hour, int& minute, int& second, int& millisecond) {
  const int64_t ms = TimeOfDayMs(value);
  hour = static_cast<int>(ms / 3600000);
  minute = static_cast<int>(ms / 60000 % 60);
  second = static_cast<int>(ms / 1000 % 60);
  millisecond = static_cast<int>(ms % 1000);
}

DateTime Now() {
  const os::SystemTime t = os::LocalTime();
  DateTime date = 0;
  DateTime time = 0;
  if (!TryEncodeDate(t.year, t.month, t.day, date)) return 0;
  TryEncodeTime(t.hour, t.minute, t.second, t.milliseconds, time);
  return Combine(date, time);
}

DateTime Date() { return std::trunc(Now()); }

bool TryFileDateToDateTime(uint32_t dosDateTime, DateTime& value) {
  const uint32_t date = dosDateTime >> 16;
  const uint32_t time = dosDateTime & 0xFFFF;
  DateTime d = 0;
  DateTime t = 0;
  if (!TryEncodeDate(static_cast<int>((date >> 9) + 1980), static_cast<int>((date >> 5) & 15),
                     static_cast<int>(date & 31), d))
    return false;
  if (!TryEncodeTime(static_cast<int>(time >> 11), static_cast<int>((time >> 5) & 63),
                     static_cast<int>((time & 31) * 2), 0, t))
    return false;
  value = Combine(d, t);
  return true;
}

DateTime FileDateToDateTime(uint32_t dosDateTime) {
  DateTime value = 0;
  if (!TryFileDateToDateTime(dosDateTime, value))
    throw EConvertError("Invalid DOS date and time");
  return value;
}

uint32_t DateTimeToFileDate(DateTime value) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, ms = 0;
  DecodeDate(value, year, month, day);
  if (year < 1980 || year > 2107) return 0;
  DecodeTime(value, hour, minute, second, ms);
  const auto date = static_cast<uint32_t>(day | (month << 5) | ((year - 1980) << 9));
  const auto time = static_cast<uint32_t>((second >> 1) | (minute << 5) | (hour << 11));
  return (date << 16) | time;
}

}  // namespace kestrel::classlib
