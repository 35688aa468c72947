#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace fixcaster {

// ISO 8601 time stamps in whole microseconds, for the recorded times of track
// files and logs (UTC; the calendar is DaysFromCivil of nmea/Format.h).

inline constexpr int64_t MicrosPerSecond = 1'000'000;
inline constexpr int64_t MicrosPerDay = 86'400 * MicrosPerSecond;

// Days from 1970-01-01 to 1899-12-30, the origin of the program's date-time.
inline constexpr int64_t DateTimeEpochDays = -25'569;

// "YYYY-MM-DDThh:mm:ss[.f...][Z|+hh:mm|-hh:mm|+hhmm|+hh]" (also with a space or a
// lower-case "t" between date and time, and "z"): microseconds since 1970-01-01 UTC.
// Without a zone the time counts as UTC. Fractions beyond the microsecond are cut.
// A second of 60 (a leap second) is taken as the first instant of the next minute.
// Nothing for any other text or an impossible date or time.
std::optional<int64_t> ParseIsoTime(std::string_view text);

// "hh:mm:ss[.f...]" or "hhmmss[.f...]": microseconds since midnight.
std::optional<int64_t> ParseTimeOfDay(std::string_view text);

}  // namespace fixcaster
