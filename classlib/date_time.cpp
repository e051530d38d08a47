// date_time.cpp — day counts from 30 December 1899 on the system calendar (file times), and
// the DOS packed date-time conversions.
#include "classlib/date_time.h"

#include <cmath>

#include "classlib/exception.h"
#include "platform/platform.h"

namespace kestrel::classlib {

namespace {

constexpr double kMsPerDay = 86400000.0;
constexpr uint64_t kTicksPerDay = 864000000000;  // 100-nanosecond file time ticks
// Days from 1 January 1601 (the file time epoch) to 30 December 1899.
constexpr int64_t kEpochOffset = 109205;

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
  // The calendar is the system's (proleptic Gregorian from 1601).
  if (year < 1601 || year > 9999) return false;
  os::SystemTime system;
  system.year = static_cast<uint16_t>(year);
  system.month = static_cast<uint16_t>(month);
  system.day = static_cast<uint16_t>(day);
  os::FileTime file;
  if (month < 1 || month > 12 || day < 1 || !os::SystemTimeToFileTime(system, file)) return false;
  // Some systems roll an impossible day over (29 February 2001 → 1 March) instead of refusing
  // it: the date must come back unchanged.
  os::SystemTime back;
  if (!os::FileTimeToSystemTime(file, back) || back.year != system.year ||
      back.month != system.month || back.day != system.day)
    return false;
  date = static_cast<double>(static_cast<int64_t>(file.ticks / kTicksPerDay) - kEpochOffset);
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
  year = month = day = 0;
  const int64_t days = static_cast<int64_t>(std::trunc(value)) + kEpochOffset;
  os::SystemTime system;
  if (days < 0 || !os::FileTimeToSystemTime(os::FileTime{static_cast<uint64_t>(days) * kTicksPerDay},
                                             system))
    return;
  year = system.year;
  month = system.month;
  day = system.day;
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
