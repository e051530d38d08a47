// times.cpp — file times of open handles, the conversions between FILETIME, SYSTEMTIME,
// local time and DOS date/time words, the local clock and the tick count.
#include "platform/win32/windows_api.h"

namespace kestrel::os {

using win32::FromFiletime;
using win32::ToFiletime;
using win32::ToHandle;

namespace {

SYSTEMTIME ToSystemtime(const SystemTime& s) {
  SYSTEMTIME st;
  st.wYear = s.year;
  st.wMonth = s.month;
  st.wDayOfWeek = s.dayOfWeek;
  st.wDay = s.day;
  st.wHour = s.hour;
  st.wMinute = s.minute;
  st.wSecond = s.second;
  st.wMilliseconds = s.milliseconds;
  return st;
}

SystemTime FromSystemtime(const SYSTEMTIME& st) {
  SystemTime s;
  s.year = st.wYear;
  s.month = st.wMonth;
  s.dayOfWeek = st.wDayOfWeek;
  s.day = st.wDay;
  s.hour = st.wHour;
  s.minute = st.wMinute;
  s.second = st.wSecond;
  s.milliseconds = st.wMilliseconds;
  return s;
}

}  // namespace

bool GetFileTime(FileHandle file, FileTime* creation, FileTime* access, FileTime* lastWrite) {
  FILETIME c, a, w;
  if (!::GetFileTime(ToHandle(file), &c, &a, &w)) return false;
  if (creation) *creation = FromFiletime(c);
  if (access) *access = FromFiletime(a);
  if (lastWrite) *lastWrite = FromFiletime(w);
  return true;
}

bool SetFileTime(FileHandle file, const FileTime* creation, const FileTime* access,
                 const FileTime* lastWrite) {
  FILETIME c, a, w;
  if (creation) c = ToFiletime(*creation);
  if (access) a = ToFiletime(*access);
  if (lastWrite) w = ToFiletime(*lastWrite);
  return ::SetFileTime(ToHandle(file), creation ? &c : nullptr, access ? &a : nullptr,
                       lastWrite ? &w : nullptr) != FALSE;
}

bool SystemTimeToFileTime(const SystemTime& system, FileTime& file) {
  SYSTEMTIME st = ToSystemtime(system);
  FILETIME ft;
  if (!::SystemTimeToFileTime(&st, &ft)) return false;
  file = FromFiletime(ft);
  return true;
}

bool FileTimeToSystemTime(const FileTime& file, SystemTime& system) {
  FILETIME ft = ToFiletime(file);
  SYSTEMTIME st;
  if (!::FileTimeToSystemTime(&ft, &st)) return false;
  system = FromSystemtime(st);
  return true;
}

bool LocalFileTimeToFileTime(const FileTime& local, FileTime& utc) {
  FILETIME in = ToFiletime(local), out;
  if (!::LocalFileTimeToFileTime(&in, &out)) return false;
  utc = FromFiletime(out);
  return true;
}

bool FileTimeToLocalFileTime(const FileTime& utc, FileTime& local) {
  FILETIME in = ToFiletime(utc), out;
  if (!::FileTimeToLocalFileTime(&in, &out)) return false;
  local = FromFiletime(out);
  return true;
}

bool FileTimeToDosDateTime(const FileTime& file, uint16_t& date, uint16_t& time) {
  FILETIME ft = ToFiletime(file);
  WORD d = 0, t = 0;
  if (!::FileTimeToDosDateTime(&ft, &d, &t)) return false;
  date = d;
  time = t;
  return true;
}

bool DosDateTimeToFileTime(uint16_t date, uint16_t time, FileTime& file) {
  FILETIME ft;
  if (!::DosDateTimeToFileTime(date, time, &ft)) return false;
  file = FromFiletime(ft);
  return true;
}

SystemTime LocalTime() {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  return FromSystemtime(st);
}

uint32_t TickCount() { return ::GetTickCount(); }

}  // namespace kestrel::os
