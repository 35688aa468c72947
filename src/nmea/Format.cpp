#include "nmea/Format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <system_error>

namespace fixcaster {

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

// Fixed-point text of a finite value; false when it does not fit the buffer.
bool FixedText(double value, int decimals, std::string& out) {
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  if (r.ec != std::errc{}) return false;
  out.assign(buf, r.ptr);
  return true;
}

std::string IntegerText(long long value) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, r.ptr);
}

// Unsigned digits of |value| without overflow for the most negative value.
std::string MagnitudeText(long long value) {
  unsigned long long m = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                   : static_cast<unsigned long long>(value);
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, m);
  return std::string(buf, r.ptr);
}

void AppendTwoDigits(std::string& out, int v) {
  out.push_back(static_cast<char>('0' + (v / 10) % 10));
  out.push_back(static_cast<char>('0' + v % 10));
}

// Day 0 of the date-time is 1899-12-30; these are its days before 1970-01-01.
constexpr long long DaysBefore1970 = 25569;
constexpr long long MsPerDay = 86400000;
// 0001-01-01 and 10000-01-01 in days since 1899-12-30.
constexpr double FirstDay = -693593.0;
constexpr double EndDay = 2958466.0;

bool IsTokenAt(std::string_view pattern, size_t i, std::string_view token) {
  if (pattern.size() - i < token.size()) return false;
  for (size_t k = 0; k < token.size(); ++k) {
    char c = pattern[i + k];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != token[k]) return false;
  }
  return true;
}

}  // namespace

void CivilFromDays(long long z, int& y, int& m, int& d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

long long DaysFromCivil(int y, int m, int d) {
  y -= m <= 2 ? 1 : 0;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153LL * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

std::string AppendChecksum(std::string_view body) {
  const size_t star = body.find('*');
  if (star != std::string_view::npos) {
    if (star + 1 == body.size()) return std::string(body.substr(0, star));
    return std::string(body);
  }
  unsigned char sum = 0;
  for (size_t i = 1; i < body.size(); ++i) sum ^= static_cast<unsigned char>(body[i]);
  std::string out;
  out.reserve(body.size() + 3);
  out.append(body);
  out.push_back('*');
  out.push_back(HexDigits[sum >> 4]);
  out.push_back(HexDigits[sum & 0x0F]);
  return out;
}

std::string FormatLatLon(double value, int width, int minuteDecimals) {
  if (!std::isfinite(value)) return {};
  const int n = std::clamp(minuteDecimals, MinMinuteDecimals, MaxMinuteDecimals);
  const double a = std::fabs(value);
  double d = std::trunc(a);
  std::string minutes;
  if (!FixedText((a - d) * 60.0, n, minutes)) return {};
  // Minutes that round up to a whole 60 belong to the next degree.
  if (minutes.compare(0, 3, "60.") == 0) {
    d += 1.0;
    minutes.assign("00.");
    minutes.append(static_cast<size_t>(n), '0');
  }
  if (minutes.find('.') < 2) minutes.insert(0, "0");
  std::string text;
  if (!FixedText(d, 0, text)) return {};
  text.append(minutes);
  const size_t dot = text.find('.');
  if (dot < static_cast<size_t>(std::max(width, 0))) {
    text.insert(0, static_cast<size_t>(width) - dot, '0');
  }
  return text;
}

std::string FormatLatLon(double value, int width, std::string_view minuteDecimalsText) {
  int n = 0;
  const char* first = minuteDecimalsText.data();
  const char* last = first + minuteDecimalsText.size();
  if (first != last && *first == '+') ++first;
  auto r = std::from_chars(first, last, n);
  if (r.ec != std::errc{} || r.ptr != last) return {};
  return FormatLatLon(value, width, n);
}

std::string HemiNS(double latitude) {
  if (std::isnan(latitude)) return {};
  return latitude < 0 ? "S" : "N";
}

std::string HemiEW(double longitude) {
  if (std::isnan(longitude)) return {};
  return longitude < 0 ? "W" : "E";
}

bool DecodeDateTime(double dateTime, DateTimeParts& parts) {
  if (!(dateTime >= FirstDay && dateTime < EndDay)) return false;
  // As the calendar routines of the original platform: the date is the integer
  // part toward zero, the time of day the absolute fraction.
  double dayPart = std::trunc(dateTime);
  long long timeMs = std::llround(std::fabs(dateTime - dayPart) * static_cast<double>(MsPerDay));
  long long day = static_cast<long long>(dayPart);
  if (timeMs >= MsPerDay) {
    timeMs -= MsPerDay;
    day += dateTime < 0 ? -1 : 1;
  }
  CivilFromDays(day - DaysBefore1970, parts.Year, parts.Month, parts.Day);
  if (parts.Year < 1 || parts.Year > 9999) return false;
  parts.Hour = static_cast<int>(timeMs / 3600000);
  parts.Minute = static_cast<int>(timeMs / 60000 % 60);
  parts.Second = static_cast<int>(timeMs / 1000 % 60);
  parts.Millisecond = static_cast<int>(timeMs % 1000);
  return true;
}

double EncodeDateTime(const DateTimeParts& p) {
  const double day = static_cast<double>(DaysFromCivil(p.Year, p.Month, p.Day) + DaysBefore1970);
  const double ms =
      ((p.Hour * 60.0 + p.Minute) * 60.0 + p.Second) * 1000.0 + static_cast<double>(p.Millisecond);
  const double frac = ms / static_cast<double>(MsPerDay);
  return day >= 0 ? day + frac : day - frac;
}

std::string FormatUtc(double dateTime, std::string_view pattern, int decimals) {
  DateTimeParts t;
  if (!DecodeDateTime(dateTime, t)) return {};
  const int dec = std::min(decimals, 3);
  std::string out;
  out.reserve(pattern.size() + 4);
  for (size_t i = 0; i < pattern.size();) {
    if (IsTokenAt(pattern, i, "hh")) {
      AppendTwoDigits(out, t.Hour);
      i += 2;
    } else if (IsTokenAt(pattern, i, "nn")) {
      AppendTwoDigits(out, t.Minute);
      i += 2;
    } else if (IsTokenAt(pattern, i, "ss")) {
      AppendTwoDigits(out, t.Second);
      i += 2;
    } else if (IsTokenAt(pattern, i, "zzz")) {
      out.push_back(static_cast<char>('0' + t.Millisecond / 100));
      AppendTwoDigits(out, t.Millisecond % 100);
      i += 3;
    } else if (IsTokenAt(pattern, i, "dd")) {
      AppendTwoDigits(out, t.Day);
      i += 2;
    } else if (IsTokenAt(pattern, i, "mm")) {
      AppendTwoDigits(out, t.Month);
      i += 2;
    } else if (IsTokenAt(pattern, i, "yyyy")) {
      AppendTwoDigits(out, t.Year / 100);
      AppendTwoDigits(out, t.Year % 100);
      i += 4;
    } else if (IsTokenAt(pattern, i, "yy")) {
      AppendTwoDigits(out, t.Year % 100);
      i += 2;
    } else {
      out.push_back(pattern[i]);
      ++i;
    }
  }
  if (dec > 0) {
    // The fraction of the second is cut from the milliseconds, not rounded.
    out.push_back('.');
    out.push_back(static_cast<char>('0' + t.Millisecond / 100));
    if (dec > 1) out.push_back(static_cast<char>('0' + t.Millisecond / 10 % 10));
    if (dec > 2) out.push_back(static_cast<char>('0' + t.Millisecond % 10));
  }
  return out;
}

std::string FormatOneDecimal(double value) {
  std::string out;
  if (!std::isfinite(value) || !FixedText(value, 1, out)) return {};
  return out;
}

std::string ZeroPad(long long value, int width) {
  std::string digits = MagnitudeText(value);
  if (static_cast<int>(digits.size()) < width) digits.insert(0, "0");
  if (value < 0) digits.insert(0, "-");
  return digits;
}

std::string CountText(long long value) {
  if (value == 0) return {};
  return IntegerText(value);
}

std::string FormatDms(double value, int decimals, std::string_view hemiLetters) {
  if (!std::isfinite(value) || decimals < 0 || decimals > 15) return {};
  // Half a twentieth of the last second's decimal, in degrees: keeps values that
  // are a hair below a printed digit (binary fractions) from losing it.
  static constexpr double Nudge[] = {1.388888888888889e-5,  1.388888888888889e-6,
                                     1.3888888888888888e-7, 1.388888888888889e-8,
                                     1.388888888888889e-9,  1.3888888888888888e-10};
  const bool negative = value < 0;
  double a = std::fabs(value);
  if (decimals < 6) a += Nudge[decimals];
  const double deg = std::trunc(a);
  std::string degrees;
  if (!FixedText(deg, 0, degrees)) return {};
  if (degrees.size() < 3) degrees.insert(0, 3 - degrees.size(), ' ');
  const double totalMinutes = (a - deg) * 60.0;
  const int minutes = std::clamp(static_cast<int>(totalMinutes), 0, 59);
  std::string seconds;
  if (!FixedText((totalMinutes - minutes) * 60.0, decimals, seconds)) return {};
  // Two integer digits: "ss" without decimals, "ss." and the decimals otherwise.
  const size_t wanted = decimals > 0 ? static_cast<size_t>(decimals) + 3 : 2;
  if (seconds.size() < wanted) {
    seconds.insert(0, "0");
  } else if (seconds.compare(0, 2, "60") == 0) {
    seconds = std::string("59.9999999999999999").substr(0, wanted);
  }
  std::string out;
  out.reserve(24);
  out.append(degrees);
  out.append(DegreeSign);
  AppendTwoDigits(out, minutes);
  out.push_back('\'');
  out.append(seconds);
  out.append("\" ");
  if (hemiLetters.size() >= 2) out.push_back(negative ? hemiLetters[1] : hemiLetters[0]);
  return out;
}

}  // namespace fixcaster
