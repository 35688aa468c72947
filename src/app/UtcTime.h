#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace fixcaster {

// The program's date-time (days since 1899-12-30 00:00, the fraction being the time
// of day) and a plain count of milliseconds since that instant. Clocks count in
// milliseconds so that start + k * period stays exact; the date-time is made from
// the count only when it is read.

inline constexpr int64_t MillisecondsPerDay = 86'400'000;

// a / b rounded toward minus infinity (b > 0).
constexpr int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// Milliseconds since 1899-12-30 00:00 (negative before it) as a date-time. Before
// 1899-12-30 the date-time keeps the old calendar convention (the integer part
// toward zero is the day, the fraction its time), as EncodeDateTime does.
double DateTimeFromMs(int64_t ms);
// The inverse, rounded to the millisecond.
int64_t MsFromDateTime(double dateTime);

// An ISO 8601 instant with its offset: "YYYY-MM-DDThh:mm:ss[.fff]" followed by "Z",
// "+hh:mm", "+hhmm" or "+hh" (or "-"). Fractions beyond the millisecond are
// truncated. The result must lie in the years 1 .. 9999 in UTC. On failure `error`
// says what is wrong, in one line.
bool ParseIsoUtc(std::string_view text, int64_t& ms, std::string& error);

}  // namespace fixcaster
