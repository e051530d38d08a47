// times.cpp — FILETIME ticks (100 ns since 1601-01-01), broken-down system times, DOS date
// and time words, local time conversion and the millisecond tick count.
//
// Local conversions use the host's time zone rules at the instant converted (so a summer date
// converts with summer time), which is what a user reading DOS times in an archive expects.
#include <time.h>

#include "platform/posix/posix_internal.h"

namespace kestrel::os {

namespace {

constexpr uint64_t kTicksPerSecond = 10000000;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
constexpr int64_t kDaysFrom1601To1970 = 134774;

// Days from 1970-01-01 of a proleptic Gregorian date, and back (400-year era arithmetic).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2);
}

bool IsLeap(unsigned y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned DaysInMonth(unsigned y, unsigned m) {
  static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// Seconds since 1970 of a FILETIME, and back.
int64_t UnixSeconds(const FileTime& ft) {
  return static_cast<int64_t>(ft.ticks / kTicksPerSecond) - kSecondsFrom1601To1970;
}

FileTime FromUnixSeconds(int64_t seconds, uint64_t subTicks) {
  return FileTime{static_cast<uint64_t>(seconds + kSecondsFrom1601To1970) * kTicksPerSecond +
                  subTicks};
}

}  // namespace

namespace posix {

FileTime FromTimespec(const timespec& ts) {
  if (ts.tv_sec < -kSecondsFrom1601To1970) return FileTime{0};
  return FromUnixSeconds(ts.tv_sec, static_cast<uint64_t>(ts.tv_nsec) / 100);
}

timespec ToTimespec(const FileTime& ft) {
  return timespec{static_cast<time_t>(UnixSeconds(ft)),
                  static_cast<long>((ft.ticks % kTicksPerSecond) * 100)};
}

}  // namespace posix

bool SystemTimeToFileTime(const SystemTime& s, FileTime& file) {
  if (s.year < 1601 || s.year > 30827 || s.month < 1 || s.month > 12 || s.day < 1 ||
      s.day > DaysInMonth(s.year, s.month) || s.hour > 23 || s.minute > 59 || s.second > 59 ||
      s.milliseconds > 999) {
    return posix::Fail(kErrorInvalidParameter);
  }
  int64_t days = DaysFromCivil(s.year, s.month, s.day) + kDaysFrom1601To1970;
  uint64_t seconds = static_cast<uint64_t>(days) * 86400 + s.hour * 3600u + s.minute * 60u +
                     s.second;
  file.ticks = seconds * kTicksPerSecond + s.milliseconds * 10000ull;
  return true;
}

bool FileTimeToSystemTime(const FileTime& file, SystemTime& s) {
  if (file.ticks >= 0x8000000000000000ull) return posix::Fail(kErrorInvalidParameter);
  uint64_t seconds = file.ticks / kTicksPerSecond;
  int64_t days = static_cast<int64_t>(seconds / 86400);
  uint64_t rem = seconds % 86400;
  int64_t y;
  unsigned m, d;
  CivilFromDays(days - kDaysFrom1601To1970, y, m, d);
  s.year = static_cast<uint16_t>(y);
  s.month = static_cast<uint16_t>(m);
  s.day = static_cast<uint16_t>(d);
  s.dayOfWeek = static_cast<uint16_t>((days + 1) % 7);  // 1601-01-01 was a Monday
  s.hour = static_cast<uint16_t>(rem / 3600);
  s.minute = static_cast<uint16_t>(rem / 60 % 60);
  s.second = static_cast<uint16_t>(rem % 60);
  s.milliseconds = static_cast<uint16_t>(file.ticks % kTicksPerSecond / 10000);
  return true;
}

bool FileTimeToLocalFileTime(const FileTime& utc, FileTime& local) {
  time_t t = static_cast<time_t>(UnixSeconds(utc));
  struct tm tm;
  if (localtime_r(&t, &tm) == nullptr) return posix::Fail(kErrorInvalidParameter);
  int64_t ticks = static_cast<int64_t>(utc.ticks) + tm.tm_gmtoff * int64_t{10000000};
  if (ticks < 0) return posix::Fail(kErrorInvalidParameter);
  local.ticks = static_cast<uint64_t>(ticks);
  return true;
}

bool LocalFileTimeToFileTime(const FileTime& local, FileTime& utc) {
  SystemTime s;
  if (!FileTimeToSystemTime(local, s)) return false;
  struct tm tm {};
  tm.tm_year = s.year - 1900;
  tm.tm_mon = s.month - 1;
  tm.tm_mday = s.day;
  tm.tm_hour = s.hour;
  tm.tm_min = s.minute;
  tm.tm_sec = s.second;
  tm.tm_isdst = -1;
  time_t t = mktime(&tm);
  if (t == static_cast<time_t>(-1)) return posix::Fail(kErrorInvalidParameter);
  utc = FromUnixSeconds(t, local.ticks % kTicksPerSecond);
  return true;
}

bool FileTimeToDosDateTime(const FileTime& file, uint16_t& date, uint16_t& time) {
  SystemTime s;
  if (!FileTimeToSystemTime(file, s) || s.year < 1980 || s.year > 2107) {
    return posix::Fail(kErrorInvalidParameter);
  }
  date = static_cast<uint16_t>(((s.year - 1980) << 9) | (s.month << 5) | s.day);
  time = static_cast<uint16_t>((s.hour << 11) | (s.minute << 5) | (s.second / 2));
  return true;
}

bool DosDateTimeToFileTime(uint16_t date, uint16_t time, FileTime& file) {
  SystemTime s;
  s.year = static_cast<uint16_t>(1980 + (date >> 9));
  s.month = static_cast<uint16_t>((date >> 5) & 15);
  s.day = static_cast<uint16_t>(date & 31);
  s.hour = static_cast<uint16_t>(time >> 11);
  s.minute = static_cast<uint16_t>((time >> 5) & 63);
  s.second = static_cast<uint16_t>(2 * (time & 31));
  return SystemTimeToFileTime(s, file);
}

SystemTime LocalTime() {
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  FileTime utc = posix::FromTimespec(now), local;
  SystemTime s;
  if (FileTimeToLocalFileTime(utc, local)) FileTimeToSystemTime(local, s);
  return s;
}

uint32_t TickCount() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000 +
                               static_cast<uint64_t>(now.tv_nsec) / 1000000);
}

}  // namespace kestrel::os
