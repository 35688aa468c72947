#include "app/UtcTime.h"

#include <cmath>

#include "nmea/Format.h"

namespace fixcaster {
namespace {

// 0001-01-01 and 10000-01-01 as day numbers: the range the date formatters accept.
constexpr int64_t FirstDayNumber = -693'593;
constexpr int64_t EndDayNumber = 2'958'466;

bool IsLeapYear(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
  static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : days[m - 1];
}

// Reads exactly `count` digits at `pos`.
bool Digits(std::string_view s, size_t& pos, size_t count, int& value) {
  if (pos + count > s.size()) return false;
  value = 0;
  for (size_t i = 0; i < count; ++i) {
    const char c = s[pos + i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  pos += count;
  return true;
}

bool Expect(std::string_view s, size_t& pos, char c) {
  if (pos >= s.size() || s[pos] != c) return false;
  ++pos;
  return true;
}

}  // namespace

double DateTimeFromMs(int64_t ms) {
  const int64_t day = FloorDiv(ms, MillisecondsPerDay);
  const double fraction =
      static_cast<double>(ms - day * MillisecondsPerDay) / static_cast<double>(MillisecondsPerDay);
  const double d = static_cast<double>(day);
  return day >= 0 ? d + fraction : d - fraction;
}

int64_t MsFromDateTime(double dateTime) {
  const double day = std::trunc(dateTime);
  const auto timeMs = static_cast<int64_t>(
      std::llround(std::fabs(dateTime - day) * static_cast<double>(MillisecondsPerDay)));
  return static_cast<int64_t>(day) * MillisecondsPerDay + timeMs;
}

bool ParseIsoUtc(std::string_view s, int64_t& ms, std::string& error) {
  const std::string example = " (for example 2030-12-31T23:59:50Z)";
  size_t pos = 0;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!Digits(s, pos, 4, year) || !Expect(s, pos, '-') || !Digits(s, pos, 2, month) ||
      !Expect(s, pos, '-') || !Digits(s, pos, 2, day) ||
      !(Expect(s, pos, 'T') || Expect(s, pos, 't')) || !Digits(s, pos, 2, hour) ||
      !Expect(s, pos, ':') || !Digits(s, pos, 2, minute) || !Expect(s, pos, ':') ||
      !Digits(s, pos, 2, second)) {
    error = "\"" + std::string(s) + "\" is not an ISO 8601 date and time" + example;
    return false;
  }
  int millisecond = 0;
  if (pos < s.size() && (s[pos] == '.' || s[pos] == ',')) {
    ++pos;
    int scale = 100;
    const size_t first = pos;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
      millisecond += (s[pos] - '0') * scale;
      scale /= 10;
      ++pos;
    }
    if (pos == first) {
      error = "\"" + std::string(s) + "\" has no digits after the decimal point";
      return false;
    }
  }
  int offsetMinutes = 0;
  if (pos < s.size() && (s[pos] == 'Z' || s[pos] == 'z')) {
    ++pos;
  } else if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) {
    const int sign = s[pos] == '-' ? -1 : 1;
    ++pos;
    int oh = 0, om = 0;
    bool good = Digits(s, pos, 2, oh);
    if (good && pos < s.size()) {
      Expect(s, pos, ':');
      good = Digits(s, pos, 2, om);
    }
    if (!good || oh > 23 || om > 59) {
      error = "\"" + std::string(s) + "\" has a malformed UTC offset (Z or +hh:mm)";
      return false;
    }
    offsetMinutes = sign * (oh * 60 + om);
  } else {
    error = "\"" + std::string(s) + "\" needs its UTC offset: Z or +hh:mm" + example;
    return false;
  }
  if (pos != s.size()) {
    error = "\"" + std::string(s) + "\" has text after the time" + example;
    return false;
  }
  if (year < 1 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) ||
      hour > 23 || minute > 59 || second > 59) {
    error = "\"" + std::string(s) + "\" is not a valid date and time";
    return false;
  }

  DateTimeParts midnight;
  midnight.Year = year;
  midnight.Month = month;
  midnight.Day = day;
  const auto dayNumber = static_cast<int64_t>(EncodeDateTime(midnight));
  const int64_t value = dayNumber * MillisecondsPerDay +
                        ((hour * 60LL + minute - offsetMinutes) * 60 + second) * 1000 + millisecond;
  if (value < FirstDayNumber * MillisecondsPerDay || value >= EndDayNumber * MillisecondsPerDay) {
    error = "\"" + std::string(s) + "\" lies outside the years 1 to 9999 in UTC";
    return false;
  }
  ms = value;
  return true;
}

}  // namespace fixcaster
