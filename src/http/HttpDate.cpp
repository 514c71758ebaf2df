// RFC 1123 dates from the standard calendar, so no OS time call is needed.
#include "http/HttpDate.h"

#include <chrono>
#include <cstdio>

namespace vp {

std::int64_t UnixTimeNow() {
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

std::string FormatHttpDate(std::int64_t unix_seconds) {
  using namespace std::chrono;
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  sys_seconds time{seconds{unix_seconds}};
  sys_days day = floor<days>(time);
  year_month_day date{day};
  hh_mm_ss<seconds> clock{time - day};
  weekday week{day};
  char text[64];
  std::snprintf(
      text, sizeof text, "%s, %02u %s %04d %02ld:%02ld:%02ld GMT", kDays[week.c_encoding()],
      static_cast<unsigned>(date.day()), kMonths[static_cast<unsigned>(date.month()) - 1],
      static_cast<int>(date.year()), static_cast<long>(clock.hours().count()),
      static_cast<long>(clock.minutes().count()), static_cast<long>(clock.seconds().count()));
  return text;
}

}  // namespace vp
