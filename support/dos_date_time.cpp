// dos_date_time.cpp — clamping packed DOS date-times and a file's date as a calendar value.
#include "support/dos_date_time.h"

#include "classlib/file_utils.h"

namespace kestrel::support {

namespace {
// Clamps value into [low, high] and notes a change.
uint32_t Clamp(uint32_t value, uint32_t low, uint32_t high, bool& changed) {
  const uint32_t clamped = value < low ? low : (value > high ? high : value);
  changed = changed || clamped != value;
  return clamped;
}
}  // namespace

uint32_t ValidateDosDateTime(uint32_t value) {
  const uint32_t date = value >> 16;
  const uint32_t time = value & 0xFFFF;
  bool changed = false;
  const uint32_t hour = Clamp(time >> 11, 0, 23, changed);
  const uint32_t minute = Clamp((time >> 5) & 63, 0, 59, changed);
  const uint32_t second = Clamp((time & 31) * 2, 0, 59, changed);
  const uint32_t year = Clamp((date >> 9) + 1980, 1980, 2099, changed);
  const uint32_t month = Clamp((date >> 5) & 15, 1, 12, changed);
  const uint32_t day = Clamp(date & 31, 1, 31, changed);
  if (!changed) return value;
  const uint32_t newDate = day + month * 32 + (year - 1980) * 512;
  const uint32_t newTime = second / 2 + minute * 32 + hour * 2048;
  return newDate * 65536 + newTime;
}

classlib::DateTime FileDateTime(const std::string& fileName) {
  classlib::DateTime value = 0;
  if (classlib::TryFileDateToDateTime(ValidateDosDateTime(classlib::FileAge(fileName)), value))
    return value;
  return classlib::Now();
}

}  // namespace kestrel::support
