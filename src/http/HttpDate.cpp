// RFC 1123 dates from the standard calendar, so no OS time call is needed.
#include "http/HttpDate.h"

#include <chrono>
#include <cstdio>

namespace vp {

std::int64_t UnixTimeNow() {
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

namespace {

// The calendar fields of a moment, UTC.
struct UtcFields {
  int year;
  unsigned month, day, weekday;  // month and day from 1, weekday from Sunday = 0
  long hour, minute, second;
};

UtcFields Split(std::int64_t unix_seconds) {
  using namespace std::chrono;
  sys_seconds time{seconds{unix_seconds}};
  sys_days day = floor<days>(time);
  year_month_day date{day};
  hh_mm_ss<seconds> clock{time - day};
  return {static_cast<int>(date.year()),
          static_cast<unsigned>(date.month()),
          static_cast<unsigned>(date.day()),
          weekday{day}.c_encoding(),
          static_cast<long>(clock.hours().count()),
          static_cast<long>(clock.minutes().count()),
          static_cast<long>(clock.seconds().count())};
}

}  // namespace

std::string FormatHttpDate(std::int64_t unix_seconds) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  UtcFields f = Split(unix_seconds);
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02u %s %04d %02ld:%02ld:%02ld GMT", kDays[f.weekday],
                f.day, kMonths[f.month - 1], f.year, f.hour, f.minute, f.second);
  return text;
}

std::string FormatIsoUtc(std::int64_t unix_seconds) {
  UtcFields f = Split(unix_seconds);
  // Room for the widest fields the compiler cannot rule out (38 bytes), so that a fortified
  // build sees no truncation.
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02ld:%02ld:%02ldZ", f.year, f.month, f.day,
                f.hour, f.minute, f.second);
  return text;
}

bool ParseIsoUtc(const std::string& text, std::int64_t& unix_seconds) {
  int year = 0;
  unsigned month = 0, day = 0, hour = 0, minute = 0, second = 0;
  char zone = 0;
  int end = 0;
  if (text.size() != 20 ||
      std::sscanf(text.c_str(), "%4d-%2u-%2uT%2u:%2u:%2u%c%n", &year, &month, &day, &hour, &minute,
                  &second, &zone, &end) != 7 ||
      zone != 'Z' || end != 20 || hour > 23 || minute > 59 || second > 60)
    return false;
  using namespace std::chrono;
  year_month_day date{std::chrono::year{year}, std::chrono::month{month}, std::chrono::day{day}};
  if (!date.ok()) return false;
  std::int64_t days_since_epoch = sys_days{date}.time_since_epoch().count();
  unix_seconds = days_since_epoch * 86400 + hour * 3600 + minute * 60 + second;
  return true;
}

}  // namespace vp
