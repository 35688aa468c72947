#include "track/TrackGrammar.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace fixcaster {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Surrounding characters with codes up to U+0020 go; in UTF-8 every byte of a
// longer character is above that, so trimming bytes is the same.
std::string_view Trim(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 0x20) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 0x20) --e;
  return s.substr(b, e - b);
}

// Converts a trimmed, non-empty text of the grammar
//   [+-] digits* ["." digits*] [(E|e) [+-] digits+]   (at least one mantissa digit)
// or gives nothing. A value beyond the double range is a failure; one too small
// for it is 0, as in any decimal conversion.
std::optional<double> ConvertNumber(std::string_view s) {
  size_t i = 0;
  const size_t n = s.size();
  bool negative = false;
  if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  const size_t mantissaBegin = i;
  size_t intDigits = 0;
  size_t fracDigits = 0;
  // Decimal magnitude of the mantissa's first non-zero digit, for telling an
  // overflow from an underflow.
  int64_t magnitude = 0;
  bool nonZeroSeen = false;
  while (i < n && IsDigit(s[i])) {
    if (nonZeroSeen) {
      if (magnitude < (int64_t{1} << 40)) ++magnitude;
    } else if (s[i] != '0') {
      nonZeroSeen = true;
      magnitude = 1;
    }
    ++i;
    ++intDigits;
  }
  if (i < n && s[i] == '.') {
    ++i;
    while (i < n && IsDigit(s[i])) {
      if (!nonZeroSeen) {
        if (s[i] != '0') {
          nonZeroSeen = true;
        } else if (magnitude > -(int64_t{1} << 40)) {
          --magnitude;
        }
      }
      ++i;
      ++fracDigits;
    }
  }
  if (intDigits + fracDigits == 0) return std::nullopt;
  int64_t exponent = 0;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool expNegative = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) expNegative = s[i++] == '-';
    const size_t expBegin = i;
    while (i < n && IsDigit(s[i])) {
      if (exponent < (int64_t{1} << 40)) exponent = exponent * 10 + (s[i] - '0');
      ++i;
    }
    if (i == expBegin) return std::nullopt;
    if (expNegative) exponent = -exponent;
  }
  if (i != n) return std::nullopt;
  if (!nonZeroSeen) return negative ? -0.0 : 0.0;

  // from_chars takes no "+"; the sign was read above, so convert from the mantissa.
  double value = 0;
  const char* first = s.data() + mantissaBegin;
  const char* last = s.data() + n;
  auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    if (magnitude + exponent > 0) return std::nullopt;  // too large for a double
    value = 0;
  } else if (ec != std::errc() || ptr != last) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

}  // namespace

// The marker reads as "north" and a separator, so a value the user corrects behind
// it is accepted; but a cell that is still blank behind its marker stays unusable,
// or a second Start would take it for 0 degrees.
double ParsePositionCell(std::string_view text) {
  if (text.substr(0, BadCellMarker.size()) == BadCellMarker &&
      Trim(text.substr(BadCellMarker.size())).empty())
    return kNaN;
  return ParseAngle(text);
}

std::optional<double> SpeedFactorOf(int speedUnit) {
  switch (speedUnit) {
    case 0:
      return KmhSpeedFactor;
    case 1:
      return MphSpeedFactor;
    case 2:
      return KnotSpeedFactor;
    default:
      return std::nullopt;
  }
}

double ParseNumber(std::string_view text) {
  const std::string_view t = Trim(text);
  if (t.empty()) return 0;
  return ConvertNumber(t).value_or(kNaN);
}

double ParseNumberOrZero(std::string_view text) {
  const std::string_view t = Trim(text);
  if (t.empty()) return 0;
  return ConvertNumber(t).value_or(0);
}

double ParseAngle(std::string_view text) {
  const std::string_view t = Trim(text);
  if (t.empty()) return kNaN;

  double slots[3] = {0, 0, 0};
  int completed = 0;
  bool negative = false;
  bool malformed = false;
  std::string digits;
  // The scan sees one space after the text, which completes the last number.
  for (size_t i = 0; i <= t.size(); ++i) {
    char c = i < t.size() ? t[i] : ' ';
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    switch (c) {
      case '+':
        if (completed == 0) negative = false;
        break;
      case '-':
        if (completed == 0) negative = true;
        break;
      case 'N':
      case 'E':
        negative = false;
        break;
      case 'S':
      case 'W':
        negative = true;
        break;
      default:
        if (c == '.' || IsDigit(c)) {
          // Digits of a fourth or later number are not kept: they have no effect.
          if (completed < 3) digits.push_back(c);
        } else if (!digits.empty()) {
          const std::optional<double> v = ConvertNumber(digits);
          if (!v) malformed = true;
          slots[completed] = v.value_or(0);
          ++completed;
          digits.clear();
        }
        break;
    }
  }
  if (malformed) return kNaN;
  const double value = (slots[2] / 60 + slots[1]) / 60 + slots[0];
  return negative ? -value : value;
}

std::string MarkBadCell(std::string_view text) {
  if (text.substr(0, BadCellMarker.size()) == BadCellMarker) return std::string(text);
  std::string marked;
  marked.reserve(BadCellMarker.size() + text.size());
  marked.append(BadCellMarker);
  marked.append(text);
  return marked;
}

double ParseMagVariation(std::string_view text) {
  if (text.empty()) return kNaN;
  std::string kept;
  bool west = false;
  for (char c : text) {
    if (IsDigit(c) || c == '.') kept.push_back(c);
    if (c == '-' || c == 'W') west = true;
  }
  const double value = ParseNumberOrZero(kept);
  return west ? -value : value;
}

std::string FormatMagVariation(double value) {
  if (std::isnan(value)) return ",";
  // "%3.1f" of the magnitude; the shortest such text is "0.0", so no padding.
  char buf[400];
  auto [ptr, ec] =
      std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::fixed, 1);
  std::string out(buf, ec == std::errc() ? ptr : buf);
  out += value < 0 ? ",W" : ",E";
  return out;
}

TrackRowValues ReadTrackRow(TrackTable& table, int64_t row, double speedFactor,
                            double altitudeFactor) {
  TrackRowValues v;
  auto markIfNaN = [&](int col, double value) {
    if (!std::isnan(value)) return;
    table.SetCell(row, col, MarkBadCell(table.Cell(row, col)));
    v.FormatError = true;
  };
  v.Lat = ParsePositionCell(table.Cell(row, TrackTable::ColLat));
  markIfNaN(TrackTable::ColLat, v.Lat);
  v.Lon = ParsePositionCell(table.Cell(row, TrackTable::ColLon));
  markIfNaN(TrackTable::ColLon, v.Lon);
  v.Alt = ParseNumber(table.Cell(row, TrackTable::ColAlt));
  markIfNaN(TrackTable::ColAlt, v.Alt);
  if (!std::isnan(v.Alt)) v.Alt *= altitudeFactor;
  v.Speed = ParseNumber(table.Cell(row, TrackTable::ColSpeed));
  markIfNaN(TrackTable::ColSpeed, v.Speed);
  if (!std::isnan(v.Speed)) v.Speed = std::fabs(v.Speed * speedFactor);
  v.LatOutOfRange = !std::isnan(v.Lat) && std::fabs(v.Lat) > 90;
  v.LonOutOfRange = !std::isnan(v.Lon) && std::fabs(v.Lon) > 180;
  return v;
}

}  // namespace fixcaster
