// Calendar times as the FTP listings give them (no time zone attached), the local clock, and the
// user's locale text for a time.
#pragma once

#include <string>

namespace kestrel::platform {

// A date and time of day, read as wall-clock time. month 1..12, day 1..31, hour 0..23.
struct CalendarTime {
  int year = 0;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;

  friend bool operator==(const CalendarTime& a, const CalendarTime& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second;
  }
  friend bool operator!=(const CalendarTime& a, const CalendarTime& b) { return !(a == b); }
};

// The local clock, now.
CalendarTime LocalNow();

// Days from 1970-01-01 to the date of `t` (negative before it), by the proleptic Gregorian
// calendar; and seconds likewise. Used to compare calendar times.
long long DaysFromCivil(int year, int month, int day);
long long SecondsSinceEpoch(const CalendarTime& t);
// The calendar time `seconds` after 1970-01-01 00:00:00 (the inverse of SecondsSinceEpoch).
CalendarTime CalendarFromSeconds(long long seconds);

// True when the fields form a real date and time (29 February only in leap years).
bool IsValidCalendarTime(const CalendarTime& t);

// The time as text in the user's locale: the short date, a blank, then the long time (the C
// library's %x and %X of the current LC_TIME locale).
std::string LocaleDateTimeText(const CalendarTime& t);

// The time as "YYYY-MM-DD HH:MM:SS", the same in every locale (for scripts and logs).
std::string IsoDateTimeText(const CalendarTime& t);

}  // namespace kestrel::platform
