#pragma once

#include <cmath>

namespace fixcaster {

// The program's date-time counts days since 1899-12-30 00:00 UTC; orbits run on
// GPS time, seconds since the GPS epoch 1980-01-06 00:00 UTC.
inline constexpr double GpsEpochDateTime = 29226;  // 1980-01-06 as a date-time
inline constexpr double SecondsPerDay = 86400;
inline constexpr double SecondsPerWeek = 604800;

// GPS time has run ahead of UTC by 18 s since 2017-01-01. One constant is enough for
// a sky: before 2017 the offset was a few seconds smaller, which moves a satellite
// by less than 0.03 degrees of its orbit, and no leap second is announced after it.
inline constexpr double GpsUtcLeapSeconds = 18;

inline double GpsSecondsFromUtc(double utcDateTime) {
  return (utcDateTime - GpsEpochDateTime) * SecondsPerDay + GpsUtcLeapSeconds;
}

inline double UtcFromGpsSeconds(double gpsSeconds) {
  return (gpsSeconds - GpsUtcLeapSeconds) / SecondsPerDay + GpsEpochDateTime;
}

// Full week number since the GPS epoch and seconds into that week.
struct GpsWeekTime {
  int Week = 0;
  double Seconds = 0;
};

inline GpsWeekTime ToWeekTime(double gpsSeconds) {
  const double week = std::floor(gpsSeconds / SecondsPerWeek);
  return {static_cast<int>(week), gpsSeconds - week * SecondsPerWeek};
}

}  // namespace fixcaster
