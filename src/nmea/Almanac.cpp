#include "nmea/Almanac.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>

#include "nmea/GnssTime.h"

namespace fixcaster {

namespace {

constexpr double Pi = std::numbers::pi;
// No almanac comes near this; a bigger file is the wrong file, not read whole.
constexpr std::streamoff MaxFileBytes = 1 << 20;
// A semi-major axis inside the Earth is a typing error, not an orbit.
constexpr double MinSemiMajorAxis = 6378137.0;

struct Line {
  std::string_view Text;
  int Number = 0;
};

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Lines split at CR LF, LF or CR, numbered from 1; a leading UTF-8 byte-order mark
// is dropped.
std::vector<Line> SplitLines(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<Line> lines;
  int number = 1;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != '\n' && text[i] != '\r') continue;
    lines.push_back({text.substr(start, i - start), number++});
    if (i + 1 < text.size() && text[i] == '\r' && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  return lines;
}

bool ParseDouble(std::string_view s, double& value) {
  s = Trim(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  return ec == std::errc() && end == s.data() + s.size() && std::isfinite(value);
}

bool ParseWhole(std::string_view s, int& value) {
  double d = 0;
  if (!ParseDouble(s, d) || d != std::floor(d) || std::fabs(d) > 1e9) return false;
  value = static_cast<int>(d);
  return true;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

AlmanacResult Failure(AlmanacErrorCode code, int line, std::string text, int found = 0) {
  AlmanacResult r;
  r.Error = {code, line, std::move(text), found};
  return r;
}

// Checks shared by both formats; the line is where the record starts.
AlmanacError CheckRecord(const AlmanacRecord& r, int line) {
  if (!(r.Eccentricity >= 0 && r.Eccentricity < 1))
    return {AlmanacErrorCode::ValueOutOfRange, line, "eccentricity"};
  if (!(r.SqrtA * r.SqrtA > MinSemiMajorAxis))
    return {AlmanacErrorCode::ValueOutOfRange, line, "semi-major axis"};
  if (!(r.Toa >= 0 && r.Toa <= SecondsPerWeek))
    return {AlmanacErrorCode::ValueOutOfRange, line, "time of applicability"};
  if (r.Week < 0) return {AlmanacErrorCode::ValueOutOfRange, line, "week"};
  if (r.Health < 0) return {AlmanacErrorCode::ValueOutOfRange, line, "health"};
  return {};
}

// Numbers and weeks shared by both formats, once every record is read.
AlmanacResult Finish(Almanac almanac, const std::vector<int>& recordLines) {
  if (almanac.Records.empty()) return Failure(AlmanacErrorCode::Empty, 0, "");
  std::vector<bool> seen(MaxSatelliteNumber(almanac.System) + 1, false);
  bool fullWeeks = false;
  for (size_t i = 0; i < almanac.Records.size(); ++i) {
    const AlmanacRecord& r = almanac.Records[i];
    if (r.Prn < 1 || r.Prn > MaxSatelliteNumber(almanac.System))
      return Failure(AlmanacErrorCode::NumberOutOfRange, recordLines[i], std::to_string(r.Prn));
    if (seen[r.Prn])
      return Failure(AlmanacErrorCode::DuplicateNumber, recordLines[i], std::to_string(r.Prn));
    seen[r.Prn] = true;
    if (AlmanacError e = CheckRecord(r, recordLines[i]); e.Code != AlmanacErrorCode::None) {
      AlmanacResult out;
      out.Error = std::move(e);
      return out;
    }
    fullWeeks = fullWeeks || r.Week >= 1024;
  }
  almanac.WeekModulus = fullWeeks ? 0 : 1024;
  std::sort(almanac.Records.begin(), almanac.Records.end(),
            [](const AlmanacRecord& a, const AlmanacRecord& b) { return a.Prn < b.Prn; });
  AlmanacResult out;
  out.Value = std::move(almanac);
  return out;
}

// --- YUMA ----------------------------------------------------------------------------

enum YumaField {
  yId,
  yHealth,
  yEccentricity,
  yToa,
  yInclination,
  yOmegaDot,
  ySqrtA,
  yOmega0,
  yPerigee,
  yMeanAnomaly,
  yAf0,
  yAf1,
  yWeek,
  YumaFieldCount
};

struct YumaLabel {
  const char* Prefix;  // lower case; the label may go on with its unit
  bool Exact;
  const char* Name;  // as errors name it
};

constexpr std::array<YumaLabel, YumaFieldCount> YumaLabels = {{
    {"id", true, "ID"},
    {"health", true, "Health"},
    {"eccentricity", true, "Eccentricity"},
    {"time of applicability", false, "Time of Applicability"},
    {"orbital inclination", false, "Orbital Inclination"},
    {"rate of right ascen", false, "Rate of Right Ascen"},
    {"sqrt(a)", false, "SQRT(A)"},
    {"right ascen at week", false, "Right Ascen at Week"},
    {"argument of perigee", false, "Argument of Perigee"},
    {"mean anom", false, "Mean Anom"},
    {"af0", false, "Af0"},
    {"af1", false, "Af1"},
    {"week", true, "week"},
}};

int YumaFieldOf(std::string_view label) {
  const std::string l = Lower(Trim(label));
  for (int f = 0; f < YumaFieldCount; ++f) {
    const std::string_view prefix = YumaLabels[f].Prefix;
    if (YumaLabels[f].Exact ? l == prefix : l.starts_with(prefix)) return f;
  }
  return -1;
}

}  // namespace

int MaxSatelliteNumber(GnssSystem system) {
  switch (system) {
    case GnssSystem::Gps:
    case GnssSystem::Glonass:
      return 32;
    case GnssSystem::Galileo:
      return 36;
    case GnssSystem::BeiDou:
      return 63;
  }
  return 0;
}

AlmanacResult ReadYuma(std::string_view text, GnssSystem system) {
  Almanac almanac;
  almanac.System = system;
  std::vector<int> recordLines;
  AlmanacRecord record;
  std::array<bool, YumaFieldCount> have{};
  int recordLine = 0;  // 0: no record open
  bool anyField = false;

  auto close = [&]() -> AlmanacResult {
    for (int f = 0; f < YumaFieldCount; ++f) {
      if (!have[f]) return Failure(AlmanacErrorCode::MissingValue, recordLine, YumaLabels[f].Name);
    }
    almanac.Records.push_back(record);
    recordLines.push_back(recordLine);
    record = {};
    have = {};
    anyField = false;
    return {};
  };

  for (const Line& line : SplitLines(text)) {
    const std::string_view t = Trim(line.Text);
    if (t.empty()) continue;
    if (t.front() == '*') {
      if (recordLine != 0 && anyField) {
        if (AlmanacResult r = close(); !r.Ok()) return r;
      }
      recordLine = line.Number;
      continue;
    }
    const size_t colon = t.find(':');
    const int field = colon == std::string_view::npos ? -1 : YumaFieldOf(t.substr(0, colon));
    if (field < 0) return Failure(AlmanacErrorCode::UnexpectedLine, line.Number, std::string(t));
    // A file without header lines starts each record at its ID.
    if (field == yId && (recordLine == 0 || have[yId])) {
      if (recordLine != 0 && anyField) {
        if (AlmanacResult r = close(); !r.Ok()) return r;
      }
      recordLine = line.Number;
    }
    if (recordLine == 0)
      return Failure(AlmanacErrorCode::UnexpectedLine, line.Number, std::string(t));
    if (have[field])
      return Failure(AlmanacErrorCode::RepeatedValue, line.Number, YumaLabels[field].Name);
    const std::string_view value = Trim(t.substr(colon + 1));
    double d = 0;
    int n = 0;
    const bool whole = field == yId || field == yHealth || field == yWeek;
    if (whole ? !ParseWhole(value, n) : !ParseDouble(value, d))
      return Failure(AlmanacErrorCode::BadNumber, line.Number, std::string(value));
    switch (field) {
      case yId:
        record.Prn = n;
        break;
      case yHealth:
        record.Health = n;
        break;
      case yEccentricity:
        record.Eccentricity = d;
        break;
      case yToa:
        record.Toa = d;
        break;
      case yInclination:
        record.Inclination = d;
        break;
      case yOmegaDot:
        record.OmegaDot = d;
        break;
      case ySqrtA:
        record.SqrtA = d;
        break;
      case yOmega0:
        record.Omega0 = d;
        break;
      case yPerigee:
        record.ArgumentOfPerigee = d;
        break;
      case yMeanAnomaly:
        record.MeanAnomaly = d;
        break;
      case yAf0:
        record.Af0 = d;
        break;
      case yAf1:
        record.Af1 = d;
        break;
      case yWeek:
        record.Week = n;
        break;
    }
    have[field] = true;
    anyField = true;
  }
  if (anyField) {
    if (AlmanacResult r = close(); !r.Ok()) return r;
  }
  return Finish(std::move(almanac), recordLines);
}

// --- SEM -----------------------------------------------------------------------------

namespace {

struct Token {
  std::string_view Text;
  int Line = 0;
};

std::vector<Token> Tokens(const std::vector<Line>& lines, size_t from) {
  std::vector<Token> out;
  for (size_t i = from; i < lines.size(); ++i) {
    std::string_view t = lines[i].Text;
    while (!t.empty()) {
      const size_t start = t.find_first_not_of(" \t");
      if (start == std::string_view::npos) break;
      t.remove_prefix(start);
      const size_t end = std::min(t.find_first_of(" \t"), t.size());
      out.push_back({t.substr(0, end), lines[i].Number});
      t.remove_prefix(end);
    }
  }
  return out;
}

constexpr int SemValues = 14;
constexpr std::array<const char*, SemValues> SemNames = {"PRN",
                                                         "SVN",
                                                         "URA",
                                                         "eccentricity",
                                                         "inclination offset",
                                                         "rate of right ascension",
                                                         "square root of A",
                                                         "longitude of the node",
                                                         "argument of perigee",
                                                         "mean anomaly",
                                                         "af0",
                                                         "af1",
                                                         "health",
                                                         "configuration"};

size_t NextNonBlank(const std::vector<Line>& lines, size_t i) {
  while (i < lines.size() && Trim(lines[i].Text).empty()) ++i;
  return i;
}

}  // namespace

AlmanacResult ReadSem(std::string_view text, GnssSystem system) {
  const std::vector<Line> lines = SplitLines(text);
  size_t i = NextNonBlank(lines, 0);
  if (i == lines.size()) return Failure(AlmanacErrorCode::Empty, 0, "");
  // Header: the record count and the almanac's name (ignored).
  const std::vector<Token> first = Tokens({lines[i]}, 0);
  int announced = 0;
  if (!ParseWhole(first[0].Text, announced) || announced < 0)
    return Failure(AlmanacErrorCode::BadNumber, lines[i].Number, std::string(first[0].Text));
  i = NextNonBlank(lines, i + 1);
  if (i == lines.size())
    return Failure(AlmanacErrorCode::MissingValue, lines.back().Number, "week");
  const std::vector<Token> second = Tokens({lines[i]}, 0);
  int week = 0;
  double toa = 0;
  if (!ParseWhole(second[0].Text, week))
    return Failure(AlmanacErrorCode::BadNumber, lines[i].Number, std::string(second[0].Text));
  if (second.size() < 2)
    return Failure(AlmanacErrorCode::MissingValue, lines[i].Number, "time of applicability");
  if (second.size() > 2)
    return Failure(AlmanacErrorCode::UnexpectedLine, lines[i].Number, std::string(lines[i].Text));
  if (!ParseDouble(second[1].Text, toa))
    return Failure(AlmanacErrorCode::BadNumber, lines[i].Number, std::string(second[1].Text));

  Almanac almanac;
  almanac.System = system;
  std::vector<int> recordLines;
  const std::vector<Token> tokens = Tokens(lines, i + 1);
  for (size_t k = 0; k < tokens.size(); k += SemValues) {
    if (tokens.size() - k < SemValues) {
      return Failure(AlmanacErrorCode::MissingValue, tokens.back().Line,
                     SemNames[tokens.size() - k]);
    }
    std::array<double, SemValues> v{};
    for (int j = 0; j < SemValues; ++j) {
      const Token& t = tokens[k + j];
      int whole = 0;
      const bool integral = j < 3 || j >= 12;
      if (integral ? !ParseWhole(t.Text, whole) : !ParseDouble(t.Text, v[j]))
        return Failure(AlmanacErrorCode::BadNumber, t.Line, std::string(t.Text));
      if (integral) v[j] = whole;
    }
    AlmanacRecord r;
    r.Prn = static_cast<int>(v[0]);
    r.Eccentricity = v[3];
    r.Inclination = (0.30 + v[4]) * Pi;
    r.OmegaDot = v[5] * Pi;
    r.SqrtA = v[6];
    r.Omega0 = v[7] * Pi;
    r.ArgumentOfPerigee = v[8] * Pi;
    r.MeanAnomaly = v[9] * Pi;
    r.Af0 = v[10];
    r.Af1 = v[11];
    r.Health = static_cast<int>(v[12]);
    r.Week = week;
    r.Toa = toa;
    almanac.Records.push_back(r);
    recordLines.push_back(tokens[k].Line);
  }
  if (static_cast<int>(almanac.Records.size()) != announced && !almanac.Records.empty()) {
    return Failure(AlmanacErrorCode::RecordCount, lines[NextNonBlank(lines, 0)].Number,
                   std::to_string(announced), static_cast<int>(almanac.Records.size()));
  }
  return Finish(std::move(almanac), recordLines);
}

AlmanacResult ReadAlmanac(std::string_view text, GnssSystem system) {
  for (const Line& line : SplitLines(text)) {
    const std::string_view t = Trim(line.Text);
    if (t.empty()) continue;
    if (t.front() == '*' || t.find(':') != std::string_view::npos) return ReadYuma(text, system);
    if ((t.front() >= '0' && t.front() <= '9') || t.front() == '+') return ReadSem(text, system);
    return Failure(AlmanacErrorCode::UnknownFormat, line.Number, std::string(t));
  }
  return Failure(AlmanacErrorCode::Empty, 0, "");
}

AlmanacResult LoadAlmanacFile(const std::string& path, GnssSystem system) {
  // A folder opens as a stream on Linux and reports a nonsense size.
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec))
    return Failure(AlmanacErrorCode::Unreadable, 0, path);
  std::ifstream in(path, std::ios::binary);
  if (!in) return Failure(AlmanacErrorCode::Unreadable, 0, path);
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0) return Failure(AlmanacErrorCode::Unreadable, 0, path);
  if (size > MaxFileBytes) return Failure(AlmanacErrorCode::TooLarge, 0, path);
  std::string text(static_cast<size_t>(size), '\0');
  in.seekg(0);
  if (!in.read(text.data(), size)) return Failure(AlmanacErrorCode::Unreadable, 0, path);
  return ReadAlmanac(text, system);
}

std::string AlmanacErrorMessage(const AlmanacError& e) {
  const std::string q = "\"" + e.Text + "\"";
  std::string m;
  switch (e.Code) {
    case AlmanacErrorCode::None:
      return "";
    case AlmanacErrorCode::Unreadable:
      return "cannot read the almanac file " + q;
    case AlmanacErrorCode::TooLarge:
      return q + " is too large for an almanac file";
    case AlmanacErrorCode::UnknownFormat:
      m = "not a YUMA or SEM almanac: " + q;
      break;
    case AlmanacErrorCode::Empty:
      return "the almanac holds no satellite";
    case AlmanacErrorCode::BadNumber:
      m = q + " is not a usable number";
      break;
    case AlmanacErrorCode::MissingValue:
      m = "the record has no " + e.Text;
      break;
    case AlmanacErrorCode::RepeatedValue:
      m = e.Text + " is given twice in one record";
      break;
    case AlmanacErrorCode::UnexpectedLine:
      m = "unexpected text " + q;
      break;
    case AlmanacErrorCode::NumberOutOfRange:
      m = "satellite number " + e.Text + " is out of range";
      break;
    case AlmanacErrorCode::DuplicateNumber:
      m = "a second record for satellite " + e.Text;
      break;
    case AlmanacErrorCode::ValueOutOfRange:
      m = "the " + e.Text + " is out of range";
      break;
    case AlmanacErrorCode::RecordCount:
      m = "the header announces " + e.Text + " records, the file holds " + std::to_string(e.Found);
      break;
  }
  return e.Line > 0 ? "line " + std::to_string(e.Line) + ": " + m : m;
}

}  // namespace fixcaster
