// dos_date_time.h — packed DOS date-times (date in the high 16 bits, time in the low 16 bits):
// clamping a stored value into range, and a file's last-write time as a calendar value.
#pragma once

#include <cstdint>
#include <string>

#include "classlib/date_time.h"

namespace kestrel::support {

// Clamps hour <= 23, minute <= 59, second <= 59, year 1980-2099, month 1-12, day 1-31; a value
// with nothing to clamp comes back bit for bit (odd seconds bits included).
uint32_t ValidateDosDateTime(uint32_t value);
// The file's last-write time (local), validated and converted; the current local time when
// the conversion fails. A missing file gives 31 December 2099 23:59:58.
classlib::DateTime FileDateTime(const std::string& fileName);

}  // namespace kestrel::support
