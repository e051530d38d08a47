// dos_time.h — a packed DOS date-time (date in the high 16 bits, time in the low 16) as the
// calendar fields of the system's time conversions.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace kestrel::reader {

inline os::SystemTime DosToSystemTime(uint32_t dosDateTime) {
  const uint16_t date = uint16_t(dosDateTime >> 16);
  const uint16_t time = uint16_t(dosDateTime);
  os::SystemTime system;
  system.year = uint16_t(1980 + (date >> 9));
  system.month = (date >> 5) & 15;
  system.day = date & 31;
  system.hour = time >> 11;
  system.minute = (time >> 5) & 63;
  system.second = uint16_t(2 * (time & 31));
  return system;
}

}  // namespace kestrel::reader
