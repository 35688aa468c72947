#include "track/IsoTime.h"

#include "nmea/Format.h"

namespace fixcaster {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Exactly `n` digits at `pos`, advancing it.
std::optional<int> Digits(std::string_view s, size_t& pos, size_t n) {
  if (pos + n > s.size()) return std::nullopt;
  int v = 0;
  for (size_t i = 0; i < n; ++i) {
    const char c = s[pos + i];
    if (!IsDigit(c)) return std::nullopt;
    v = v * 10 + (c - '0');
  }
  pos += n;
  return v;
}

// "." or "," and at least one digit, as microseconds (later digits cut); 0 when the
// text has no fraction at `pos`. Nothing for a separator without digits.
std::optional<int64_t> Fraction(std::string_view s, size_t& pos) {
  if (pos >= s.size() || (s[pos] != '.' && s[pos] != ',')) return 0;
  ++pos;
  int64_t micros = 0;
  int64_t scale = 100'000;
  const size_t first = pos;
  while (pos < s.size() && IsDigit(s[pos])) {
    micros += (s[pos] - '0') * scale;
    scale /= 10;
    ++pos;
  }
  if (pos == first) return std::nullopt;
  return micros;
}

bool IsLeap(int64_t y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int64_t y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// hh, mm, ss (with or without ":") and a fraction; the leap second 60 is allowed.
std::optional<int64_t> TimeAt(std::string_view s, size_t& pos, bool colons) {
  const auto h = Digits(s, pos, 2);
  if (!h || (colons && (pos >= s.size() || s[pos++] != ':'))) return std::nullopt;
  const auto m = Digits(s, pos, 2);
  if (!m || (colons && (pos >= s.size() || s[pos++] != ':'))) return std::nullopt;
  const auto sec = Digits(s, pos, 2);
  if (!sec || *h > 23 || *m > 59 || *sec > 60) return std::nullopt;
  const auto frac = Fraction(s, pos);
  if (!frac) return std::nullopt;
  return ((int64_t{*h} * 60 + *m) * 60 + *sec) * MicrosPerSecond + *frac;
}

}  // namespace

std::optional<int64_t> ParseIsoTime(std::string_view s) {
  size_t pos = 0;
  const auto y = Digits(s, pos, 4);
  if (!y || pos >= s.size() || s[pos++] != '-') return std::nullopt;
  const auto mo = Digits(s, pos, 2);
  if (!mo || pos >= s.size() || s[pos++] != '-') return std::nullopt;
  const auto d = Digits(s, pos, 2);
  if (!d || *mo < 1 || *mo > 12 || *d < 1 || *d > DaysInMonth(*y, *mo)) return std::nullopt;
  if (pos >= s.size() || (s[pos] != 'T' && s[pos] != 't' && s[pos] != ' ')) return std::nullopt;
  ++pos;
  const auto tod = TimeAt(s, pos, true);
  if (!tod) return std::nullopt;
  int64_t zone = 0;  // minutes east of UTC
  if (pos < s.size()) {
    const char z = s[pos++];
    if (z == 'Z' || z == 'z') {
      // UTC
    } else if (z == '+' || z == '-') {
      const auto zh = Digits(s, pos, 2);
      if (!zh) return std::nullopt;
      int zm = 0;
      if (pos < s.size()) {
        if (s[pos] == ':') ++pos;
        const auto m = Digits(s, pos, 2);
        if (!m) return std::nullopt;
        zm = *m;
      }
      if (*zh > 23 || zm > 59) return std::nullopt;
      zone = (z == '-' ? -1 : 1) * (int64_t{*zh} * 60 + zm);
    } else {
      return std::nullopt;
    }
  }
  if (pos != s.size()) return std::nullopt;
  return DaysFromCivil(*y, *mo, *d) * MicrosPerDay + *tod - zone * 60 * MicrosPerSecond;
}

std::optional<int64_t> ParseTimeOfDay(std::string_view s) {
  size_t pos = 0;
  const bool colons = s.size() > 2 && s[2] == ':';
  const auto tod = TimeAt(s, pos, colons);
  if (!tod || pos != s.size()) return std::nullopt;
  return tod;
}

}  // namespace fixcaster
