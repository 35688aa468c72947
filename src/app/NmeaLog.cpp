#include "app/NmeaLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <set>

#include "nmea/Format.h"
#include "track/IsoTime.h"

namespace fixcaster {

namespace {

constexpr int64_t kHalfDay = MicrosPerDay / 2;
constexpr int64_t kDefaultSpacing = MicrosPerSecond;
constexpr size_t kMinAddress = 2;
constexpr size_t kMaxAddress = 10;

int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

std::string_view TrimRight(std::string_view s, std::string_view chars) {
  while (!s.empty() && chars.find(s.back()) != std::string_view::npos) s.remove_suffix(1);
  return s;
}

std::string_view TrimLeft(std::string_view s, std::string_view chars) {
  while (!s.empty() && chars.find(s.front()) != std::string_view::npos) s.remove_prefix(1);
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void AppendHex(std::string& out, uint8_t v) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  out.push_back(kDigits[v >> 4]);
  out.push_back(kDigits[v & 15]);
}

// The recorded checksum's value, when it is two hexadecimal digits at the end.
std::optional<uint8_t> RecordedChecksum(std::string_view text) {
  const size_t star = text.find('*');
  if (star == std::string_view::npos || text.size() - star != 3) return std::nullopt;
  const int hi = HexDigit(text[star + 1]);
  const int lo = HexDigit(text[star + 2]);
  if (hi < 0 || lo < 0) return std::nullopt;
  return static_cast<uint8_t>(hi * 16 + lo);
}

std::string_view BodyOf(std::string_view text) {
  return text.substr(0, text.find('*'));
}

// Field `n` (0 = the address) of a sentence body.
std::string_view FieldOf(std::string_view body, size_t n) {
  size_t start = 0;
  for (size_t i = 0; i < n; ++i) {
    const size_t comma = body.find(',', start);
    if (comma == std::string_view::npos) return {};
    start = comma + 1;
  }
  return body.substr(start, body.find(',', start) - start);
}

// Index of the UTC time field, 0 for a type without one.
size_t TimeFieldIndex(std::string_view type) {
  if (type == "RMC" || type == "GGA" || type == "GNS" || type == "ZDA") return 1;
  if (type == "GLL") return 5;
  return 0;
}

// "hhmmss" with an optional fraction, as the sentences write it.
std::optional<int64_t> ParseNmeaTime(std::string_view field) {
  if (field.size() < 6 || field.find(':') != std::string_view::npos) return std::nullopt;
  return ParseTimeOfDay(field);
}

std::optional<int> SmallNumber(std::string_view s) {
  int v = 0;
  if (s.empty() || s.size() > 4) return std::nullopt;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

// The date of an RMC ("ddmmyy"; years 80..99 are 1980..1999) or ZDA sentence, as
// days since 1970.
std::optional<int64_t> SentenceDate(std::string_view type, std::string_view body) {
  int d = 0, m = 0, y = 0;
  if (type == "RMC") {
    const std::string_view f = FieldOf(body, 9);
    if (f.size() != 6) return std::nullopt;
    const auto dd = SmallNumber(f.substr(0, 2)), mm = SmallNumber(f.substr(2, 2)),
               yy = SmallNumber(f.substr(4, 2));
    if (!dd || !mm || !yy) return std::nullopt;
    d = *dd, m = *mm, y = *yy + (*yy < 80 ? 2000 : 1900);
  } else if (type == "ZDA") {
    const auto dd = SmallNumber(FieldOf(body, 2)), mm = SmallNumber(FieldOf(body, 3)),
               yyyy = SmallNumber(FieldOf(body, 4));
    if (!dd || !mm || !yyyy || FieldOf(body, 4).size() != 4) return std::nullopt;
    d = *dd, m = *mm, y = *yyyy;
  } else {
    return std::nullopt;
  }
  if (m < 1 || m > 12 || d < 1 || d > 31) return std::nullopt;
  return DaysFromCivil(y, m, d);
}

// A timestamp prefix: ISO 8601 (with "T" or a space, "/" or "-" in the date), a
// time of day "hh:mm:ss[.f]", or Unix seconds with at least nine digits.
std::optional<int64_t> ParsePrefix(std::string_view p, bool& hasDate) {
  p = TrimLeft(TrimRight(p, " \t:,;|]>)"), " \t[<(");
  hasDate = true;
  if (p.size() >= 10 && p[4] == '/' && p[7] == '/') {
    std::string dashed(p);
    dashed[4] = dashed[7] = '-';
    if (const auto t = ParseIsoTime(dashed)) return t;
  }
  if (const auto t = ParseIsoTime(p)) return t;
  if (p.size() >= 8 && p[2] == ':') {
    hasDate = false;
    return ParseTimeOfDay(p);
  }
  const size_t dot = p.find('.');
  const std::string_view whole = p.substr(0, dot);
  if (whole.size() < 9 || whole.size() > 12 ||
      !std::all_of(whole.begin(), whole.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  int64_t seconds = 0;
  std::from_chars(whole.data(), whole.data() + whole.size(), seconds);
  int64_t micros = 0;
  if (dot != std::string_view::npos) {
    int64_t scale = 100'000;
    for (size_t i = dot + 1; i < p.size(); ++i) {
      if (p[i] < '0' || p[i] > '9') return std::nullopt;
      micros += (p[i] - '0') * scale;
      scale /= 10;
    }
  }
  return seconds * MicrosPerSecond + micros;
}

// Parses one line into `out`; false when it holds no sentence.
bool ParseLine(std::string_view line, LogSentence& out) {
  const size_t start = line.find_first_of("$!");
  if (start == std::string_view::npos) return false;
  const std::string_view text = TrimRight(line.substr(start), " \t");
  for (char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) return false;
  const size_t addressEnd = std::min(text.find_first_of(",*", 1), text.size());
  const std::string_view address = text.substr(1, addressEnd - 1);
  if (address.size() < kMinAddress || address.size() > kMaxAddress) return false;
  for (char c : address)
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;

  out.Text.assign(text);
  if (address[0] == 'P' || address.size() < 5) {
    out.Type.assign(address);
  } else {
    out.Type.assign(address.substr(2));
  }
  if (text.find('*') == std::string_view::npos) {
    out.Checksum = ChecksumState::Absent;
  } else {
    const auto recorded = RecordedChecksum(text);
    out.Checksum =
        recorded && *recorded == NmeaChecksum(text) ? ChecksumState::Valid : ChecksumState::Invalid;
  }
  out.PrefixTime.reset();
  out.PrefixHasDate = false;
  if (start > 0) {
    bool hasDate = false;
    out.PrefixTime = ParsePrefix(line.substr(0, start), hasDate);
    out.PrefixHasDate = out.PrefixTime && hasDate;
  }
  return true;
}

// Spacing from one epoch's time to the next's; time-of-day values wrap at midnight.
int64_t Spacing(int64_t from, int64_t to, bool timeOfDay) {
  int64_t d = to - from;
  if (timeOfDay && d < -kHalfDay) d += MicrosPerDay;
  return std::max<int64_t>(d, 0);
}

void BuildEpochs(NmeaLog& log) {
  const size_t n = log.Sentences.size();
  std::vector<std::optional<int64_t>> tod(n);
  bool anyTime = false;
  bool anyPrefix = false;
  for (size_t i = 0; i < n; ++i) {
    const LogSentence& s = log.Sentences[i];
    if (const size_t f = TimeFieldIndex(s.Type)) tod[i] = ParseNmeaTime(FieldOf(BodyOf(s.Text), f));
    anyTime = anyTime || tod[i].has_value();
    anyPrefix = anyPrefix || s.PrefixTime.has_value();
  }

  struct Building {
    std::optional<int64_t> tod, date, prefix;
    bool prefixHasDate = false;
    std::set<std::string> types;
  };
  std::vector<Building> info;
  for (size_t i = 0; i < n; ++i) {
    const LogSentence& s = log.Sentences[i];
    bool split = false;
    if (!log.Epochs.empty()) {
      const Building& cur = info.back();
      if (anyTime) {
        // A new time, or a timed type again without the epoch's own time (the
        // receiver's next cycle, with or without a fix).
        const bool sameTime = tod[i] && cur.tod && *cur.tod == *tod[i];
        split = (tod[i] && cur.tod && !sameTime) ||
                (TimeFieldIndex(s.Type) != 0 && cur.types.count(s.Type) != 0 && !sameTime);
      } else if (anyPrefix) {
        split = s.PrefixTime != cur.prefix;
      } else {
        split = cur.types.count(s.Type) != 0;
      }
    }
    if (log.Epochs.empty() || split) {
      log.Epochs.push_back({i, 0, 0, std::nullopt});
      info.emplace_back();
    }
    Building& cur = info.back();
    ++log.Epochs.back().Count;
    cur.types.insert(s.Type);
    if (tod[i] && !cur.tod) cur.tod = tod[i];
    if (!cur.date) cur.date = SentenceDate(s.Type, BodyOf(s.Text));
    if (s.PrefixTime && !cur.prefix) {
      cur.prefix = s.PrefixTime;
      cur.prefixHasDate = s.PrefixHasDate;
    }
  }

  // Days of the timed epochs: from the recorded dates where there are any, carried
  // to the epochs between them across midnight (a time of day that goes back by
  // more than half a day).
  const size_t count = log.Epochs.size();
  std::vector<std::optional<int64_t>> day(count);
  std::optional<size_t> dated;
  for (size_t k = 0; k < count && !dated; ++k)
    if (info[k].tod && info[k].date) dated = k;
  log.HasDate = dated.has_value();
  // +1 when the time of day from `earlier` to `later` passed midnight, -1 when it
  // went back across it, 0 otherwise.
  const auto midnights = [](int64_t earlier, int64_t later) {
    return later < earlier - kHalfDay ? 1 : later > earlier + kHalfDay ? -1 : 0;
  };
  size_t anchor = 0;
  if (dated) {
    anchor = *dated;
  } else {
    while (anchor < count && !info[anchor].tod) ++anchor;
  }
  if (anchor < count) {
    day[anchor] = dated ? *info[anchor].date : 0;
    size_t last = anchor;
    for (size_t k = anchor + 1; k < count; ++k) {
      if (!info[k].tod) continue;
      day[k] = info[k].date ? *info[k].date : *day[last] + midnights(*info[last].tod, *info[k].tod);
      last = k;
    }
    last = anchor;
    for (size_t k = anchor; k-- > 0;) {
      if (!info[k].tod) continue;
      day[k] = info[k].date ? *info[k].date : *day[last] - midnights(*info[k].tod, *info[last].tod);
      last = k;
    }
  }
  for (size_t k = 0; k < count; ++k)
    if (info[k].tod && day[k]) log.Epochs[k].RecordedUtc = *day[k] * MicrosPerDay + *info[k].tod;

  for (size_t k = 1; k < count; ++k) {
    const LogEpoch& a = log.Epochs[k - 1];
    const LogEpoch& b = log.Epochs[k];
    int64_t spacing = kDefaultSpacing;
    if (a.RecordedUtc && b.RecordedUtc) {
      spacing = Spacing(*a.RecordedUtc, *b.RecordedUtc, false);
    } else if (info[k - 1].prefix && info[k].prefix) {
      spacing = Spacing(*info[k - 1].prefix, *info[k].prefix,
                        !info[k - 1].prefixHasDate || !info[k].prefixHasDate);
    }
    log.Epochs[k].Offset = a.Offset + spacing;
  }
}

// hhmmss with the given number of decimals (cut, not rounded).
void AppendTime(std::string& out, int64_t utc, size_t decimals) {
  int64_t t = utc - FloorDiv(utc, MicrosPerDay) * MicrosPerDay;
  const int64_t micros = t % MicrosPerSecond;
  t /= MicrosPerSecond;
  char buf[16];
  const int fields[] = {static_cast<int>(t / 3600), static_cast<int>(t / 60 % 60),
                        static_cast<int>(t % 60)};
  for (int f : fields) {
    buf[0] = static_cast<char>('0' + f / 10);
    buf[1] = static_cast<char>('0' + f % 10);
    out.append(buf, 2);
  }
  if (decimals == 0) return;
  out.push_back('.');
  int64_t scale = MicrosPerSecond / 10;
  for (size_t i = 0; i < decimals; ++i) {
    out.push_back(scale ? static_cast<char>('0' + micros / scale % 10) : '0');
    scale /= 10;
  }
}

void AppendTwoDigits(std::string& out, int64_t v) {
  out.push_back(static_cast<char>('0' + v / 10 % 10));
  out.push_back(static_cast<char>('0' + v % 10));
}

// The body with its time and date fields moved to `utc`.
std::string RewriteBody(std::string_view body, std::string_view type, int64_t utc, bool dates) {
  const size_t timeField = TimeFieldIndex(type);
  int year = 0, month = 0, day = 0;
  CivilFromDays(FloorDiv(utc, MicrosPerDay), year, month, day);
  std::string out;
  out.reserve(body.size() + 8);
  size_t index = 0;
  size_t start = 0;
  for (;;) {
    const size_t comma = body.find(',', start);
    const std::string_view f = body.substr(start, comma - start);
    if (index > 0) out.push_back(',');
    if (index == timeField && !f.empty() && ParseNmeaTime(f)) {
      const size_t dot = f.find('.');
      AppendTime(out, utc, dot == std::string_view::npos ? 0 : f.size() - dot - 1);
    } else if (dates && !f.empty() && type == "RMC" && index == 9) {
      AppendTwoDigits(out, day);
      AppendTwoDigits(out, month);
      AppendTwoDigits(out, year % 100);
    } else if (dates && !f.empty() && type == "ZDA" && index == 2) {
      AppendTwoDigits(out, day);
    } else if (dates && !f.empty() && type == "ZDA" && index == 3) {
      AppendTwoDigits(out, month);
    } else if (dates && !f.empty() && type == "ZDA" && index == 4) {
      AppendTwoDigits(out, year / 100);
      AppendTwoDigits(out, year);
    } else {
      out.append(f);
    }
    if (comma == std::string_view::npos) break;
    start = comma + 1;
    ++index;
  }
  return out;
}

// NMEA "ddmm.mmmm" / "dddmm.mmmm" with its hemisphere letter, in signed degrees.
std::optional<double> NmeaDegrees(std::string_view value, std::string_view hemi) {
  const size_t dot = value.find('.');
  const size_t intDigits = dot == std::string_view::npos ? value.size() : dot;
  if (intDigits < 3 || (hemi != "N" && hemi != "S" && hemi != "E" && hemi != "W"))
    return std::nullopt;
  double deg = 0, min = 0;
  const std::string_view d = value.substr(0, intDigits - 2);
  const std::string_view m = value.substr(intDigits - 2);
  auto r1 = std::from_chars(d.data(), d.data() + d.size(), deg);
  auto r2 = std::from_chars(m.data(), m.data() + m.size(), min);
  if (r1.ec != std::errc() || r1.ptr != d.data() + d.size() || r2.ec != std::errc() ||
      r2.ptr != m.data() + m.size() || min >= 60)
    return std::nullopt;
  const double v = deg + min / 60;
  return (hemi == "S" || hemi == "W") ? -v : v;
}

std::optional<double> Number(std::string_view s) {
  double v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

}  // namespace

uint8_t NmeaChecksum(std::string_view sentence) {
  uint8_t x = 0;
  for (char c : BodyOf(sentence).substr(sentence.empty() ? 0 : 1)) x ^= static_cast<uint8_t>(c);
  return x;
}

bool IsKnownSentenceType(std::string_view type) {
  static constexpr std::string_view kKnown[] = {"GGA", "RMC", "GNS", "GLL", "VTG",
                                                "ZDA", "HDT", "GSA", "GSV"};
  return std::find(std::begin(kKnown), std::end(kKnown), type) != std::end(kKnown);
}

NmeaLog ParseNmeaLog(std::string_view bytes) {
  NmeaLog log;
  LogSentence sentence;
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t end = bytes.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = bytes.size();
    const std::string_view line = bytes.substr(pos, end - pos);
    pos = end + 1;
    if (TrimLeft(line, " \t").empty()) continue;
    ++log.Lines;
    if (ParseLine(line, sentence)) {
      log.Sentences.push_back(sentence);
    } else {
      ++log.SkippedLines;
    }
  }
  BuildEpochs(log);
  return log;
}

LogReadStatus ReadNmeaLogFile(const std::string& path, NmeaLog& log) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return LogReadStatus::CannotOpen;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return LogReadStatus::CannotOpen;
  }
  std::string bytes;
  bytes.reserve(static_cast<size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    bytes.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  log = ParseNmeaLog(bytes);
  return LogReadStatus::Ok;
}

std::vector<std::string> EpochLines(const NmeaLog& log, size_t epoch, int64_t shiftMicros,
                                    bool fixChecksums) {
  std::vector<std::string> lines;
  if (epoch >= log.Epochs.size()) return lines;
  const LogEpoch& e = log.Epochs[epoch];
  lines.reserve(e.Count);
  for (size_t i = e.First; i < e.First + e.Count; ++i) {
    const LogSentence& s = log.Sentences[i];
    const std::string_view body = BodyOf(s.Text);
    std::string line;
    if (!IsKnownSentenceType(s.Type)) {
      if (fixChecksums && s.Checksum == ChecksumState::Invalid) {
        line.assign(body);
        line.push_back('*');
        AppendHex(line, NmeaChecksum(body));
      } else {
        line = s.Text;
      }
    } else {
      line = e.RecordedUtc ? RewriteBody(body, s.Type, *e.RecordedUtc + shiftMicros, log.HasDate)
                           : std::string(body);
      const uint8_t sum = NmeaChecksum(line);
      const auto recorded = RecordedChecksum(s.Text);
      if (s.Checksum != ChecksumState::Invalid || fixChecksums) {
        line.push_back('*');
        AppendHex(line, sum);
      } else if (recorded) {
        // Wrong by the same bits as in the recording, so it stays wrong.
        line.push_back('*');
        AppendHex(line, sum ^ (*recorded ^ NmeaChecksum(s.Text)));
      } else {
        line.append(std::string_view(s.Text).substr(body.size()));
      }
    }
    line += "\r\n";
    lines.push_back(std::move(line));
  }
  return lines;
}

std::vector<TrackPoint> LogTrackPoints(const NmeaLog& log) {
  std::vector<TrackPoint> points;
  for (const LogEpoch& e : log.Epochs) {
    TrackPoint p;
    std::optional<double> rmcLat, rmcLon, ggaLat, ggaLon;
    for (size_t i = e.First; i < e.First + e.Count; ++i) {
      const LogSentence& s = log.Sentences[i];
      const std::string_view body = BodyOf(s.Text);
      if (s.Type == "RMC" && FieldOf(body, 2) == "A" && !rmcLat) {
        rmcLat = NmeaDegrees(FieldOf(body, 3), FieldOf(body, 4));
        rmcLon = NmeaDegrees(FieldOf(body, 5), FieldOf(body, 6));
        if (const auto v = Number(FieldOf(body, 7))) p.SpeedKnots = *v;
      } else if (s.Type == "GGA" && !ggaLat) {
        const auto quality = Number(FieldOf(body, 6));
        if (!quality || *quality <= 0) continue;
        ggaLat = NmeaDegrees(FieldOf(body, 2), FieldOf(body, 3));
        ggaLon = NmeaDegrees(FieldOf(body, 4), FieldOf(body, 5));
        if (const auto v = Number(FieldOf(body, 9))) p.Ele = *v;
      }
    }
    if (rmcLat && rmcLon) {
      p.Lat = *rmcLat, p.Lon = *rmcLon;
    } else if (ggaLat && ggaLon) {
      p.Lat = *ggaLat, p.Lon = *ggaLon;
    } else {
      continue;
    }
    if (std::fabs(p.Lat) > 90 || std::fabs(p.Lon) > 180) continue;
    if (e.RecordedUtc) p.Time = static_cast<double>(*e.RecordedUtc) / MicrosPerSecond;
    points.push_back(p);
  }
  return points;
}

}  // namespace fixcaster
