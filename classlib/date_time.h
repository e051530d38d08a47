// date_time.h — calendar date-time values counted in days from 30 December 1899 (the
// fraction is the time of day), and their conversions to and from packed DOS date-times
// (date in the high 16 bits, time in the low 16 bits, two-second resolution, local time).
#pragma once

#include <cstdint>

namespace kestrel::classlib {

using DateTime = double;

// Year 1601-9999, month 1-12, day within the month: false (and no result) otherwise.
bool TryEncodeDate(int year, int month, int day, DateTime& date);
bool TryEncodeTime(int hour, int minute, int second, int millisecond, DateTime& time);
// The same, raising EConvertError "Invalid argument to date encode" / "... time encode".
DateTime EncodeDate(int year, int month, int day);
DateTime EncodeTime(int hour, int minute, int second, int millisecond);
void DecodeDate(DateTime value, int& year, int& month, int& day);
void DecodeTime(DateTime value, int& hour, int& minute, int& second, int& millisecond);

// The local date and time now, and today at midnight.
DateTime Now();
DateTime Date();

// A packed DOS date-time as a calendar value; raises EConvertError when the fields do not
// form a valid date and time (month 0, day 31 in April, hour 24 …).
DateTime FileDateToDateTime(uint32_t dosDateTime);
bool TryFileDateToDateTime(uint32_t dosDateTime, DateTime& value);
// A calendar value as a packed DOS date-time; 0 outside the DOS years 1980-2107. Seconds
// are rounded down to an even number.
uint32_t DateTimeToFileDate(DateTime value);

}  // namespace kestrel::classlib
