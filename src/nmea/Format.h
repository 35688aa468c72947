#pragma once

#include <string>
#include <string_view>

namespace fixcaster {

// Small formatters every sentence is built from. All of them are pure, never
// throw, and write "." as the decimal point whatever the process locale is
// (they use std::to_chars, never the locale-aware stream or printf paths).
// Where a value cannot be formatted (NaN, infinity, out of range) the result is
// empty text, so the sentence still goes out with that field empty.

// "˚" (U+02DA RING ABOVE), shown after the degrees of a position label.
inline constexpr std::string_view DegreeSign = "\xCB\x9A";

// Frames a sentence body that begins with "$": appends "*" and two upper-case
// hexadecimal digits of the XOR of every byte after the "$". A body that already
// holds a "*" is a literal line: when that first "*" is its last character it is
// removed (the line goes out without a checksum), otherwise the line is returned
// unchanged (its checksum is neither checked nor recomputed).
std::string AppendChecksum(std::string_view body);

// Minute decimals of coordinates are kept within this range; outside it the
// padding of the minutes would never see a "." in the right place.
inline constexpr int MinMinuteDecimals = 1;
inline constexpr int MaxMinuteDecimals = 8;

// NMEA coordinate ddmm.mmmm (width 4, latitude) or dddmm.mmmm (width 5,
// longitude) of |value| with `minuteDecimals` decimals of the minute, clamped into
// 1..8. Minutes that round up to 60 carry into the degrees. The sign is left to
// HemiNS/HemiEW.
std::string FormatLatLon(double value, int width, int minuteDecimals);
// The same with the decimals given as the coordinate-decimals box's text
// ("1" .. "8"); text that is not an integer gives empty text.
std::string FormatLatLon(double value, int width, std::string_view minuteDecimalsText);

// "N" / "S" ("E" / "W"); 0 and -0 count as north (east); NaN gives empty text.
std::string HemiNS(double latitude);
std::string HemiEW(double longitude);

// Formats a date-time (days since 1899-12-30 00:00, the fraction being the time
// of day) with a pattern of "hh" hour, "nn" minute, "ss" second, "zzz"
// milliseconds, "DD" day, "MM" month, "YY" two-digit year, "YYYY" year (letters in
// either case); any other character is copied. With 1..3 decimals the seconds get
// that many decimals of the second, truncated (not rounded) from the
// milliseconds; more than 3 counts as 3, fewer than 1 as none.
std::string FormatUtc(double dateTime, std::string_view pattern, int decimals);

// Calendar fields of a date-time, milliseconds rounded to the nearest.
struct DateTimeParts {
  int Year = 0, Month = 0, Day = 0;
  int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};
// False for NaN or a date outside the years 1 .. 9999.
bool DecodeDateTime(double dateTime, DateTimeParts& parts);
// The inverse, for clocks and tests: days since 1899-12-30.
double EncodeDateTime(const DateTimeParts& parts);

// The proleptic Gregorian calendar: days since 1970-01-01 of a date (month 1..12),
// and the date of such a count.
long long DaysFromCivil(int year, int month, int day);
void CivilFromDays(long long days, int& year, int& month, int& day);

// The fixed one-decimal format "%3.1f": at least one integer digit, ".", one
// decimal, rounded; "-" for negative values. NaN and infinity give empty text.
std::string FormatOneDecimal(double value);

// Digits of |value|, one "0" put in front when shorter than `width` (only one,
// whatever the shortfall), then "-" for a negative value.
std::string ZeroPad(long long value, int width);

// Empty text for 0, the decimal digits otherwise (satellites-in-use field).
std::string CountText(long long value);

// Display form of a coordinate for the position labels: degrees right-aligned in
// three characters, DegreeSign, two-digit minutes, "'", seconds with `decimals`
// decimals (never "60"), '"', " ", and hemiLetters[0] for a value >= 0 or
// hemiLetters[1] for a negative one ("NS" or "EW"). NaN gives empty text.
std::string FormatDms(double value, int decimals, std::string_view hemiLetters);

}  // namespace fixcaster
