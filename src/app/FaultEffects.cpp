#include "app/FaultEffects.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "nmea/Format.h"

namespace fixcaster {

namespace {

// The parts of a framed line: the body before "*", whether a checksum of two hex
// digits follows, and the line end kept as it was.
struct FramedLine {
  std::string_view Body;
  bool HasChecksum = false;
  size_t ChecksumAt = 0;  // index of the first hex digit
  std::string_view Ending;
};

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

FramedLine Split(const std::string& line) {
  FramedLine f;
  size_t end = line.size();
  while (end > 0 && (line[end - 1] == '\r' || line[end - 1] == '\n')) --end;
  f.Ending = std::string_view(line).substr(end);
  const size_t star = line.rfind('*', end);
  if (star != std::string::npos && star + 3 == end && IsHex(line[star + 1]) &&
      IsHex(line[star + 2])) {
    f.HasChecksum = true;
    f.ChecksumAt = star + 1;
    f.Body = std::string_view(line).substr(0, star);
  } else {
    f.Body = std::string_view(line).substr(0, end);
  }
  return f;
}

}  // namespace

FixPoint ApplyFixFaults(const ActiveFaults& faults, const FixPoint& fix) {
  if (faults.JumpNorth == 0 && faults.JumpEast == 0) return fix;
  return OffsetFix(fix, faults.JumpNorth, faults.JumpEast, 0);
}

void ApplySkyFaults(const ActiveFaults& faults, Sky& sky) {
  if (faults.SatsLimit >= 0) LimitInView(sky, faults.SatsLimit);
  if (!std::isnan(faults.Hdop) && sky.FixMode >= 2) {
    sky.Hdop = faults.Hdop;
    sky.Pdop = std::isnan(sky.Vdop) ? faults.Hdop : std::hypot(faults.Hdop, sky.Vdop);
  }
  if (faults.FixLost) {
    for (SkySatellite& s : sky.Satellites) s.Used = false;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    sky.UsedCount = 0;
    sky.FixMode = 1;
    sky.Pdop = sky.Hdop = sky.Vdop = nan;
  }
}

void ApplySummaryFaults(const ActiveFaults& faults, PresetSummary& summary) {
  if (faults.SatsLimit >= 0) {
    summary.SatsUsed1 = std::clamp(summary.SatsUsed1, 0, faults.SatsLimit);
    summary.SatsUsed2 = std::clamp(summary.SatsUsed2, 0, faults.SatsLimit - summary.SatsUsed1);
  }
  if (!std::isnan(faults.Hdop)) summary.Hdop1 = summary.Hdop2 = DopText(faults.Hdop);
}

void ApplyTickFaults(const ActiveFaults& faults, TickFields& fields, SentenceSettings& settings) {
  ApplySummaryFaults(faults, settings.Satellites);
  FixIndicators& fix = settings.Fix;
  if (faults.DgpsLost) {
    if (fix.GgaQuality == "2" || fix.GgaQuality == "4" || fix.GgaQuality == "5") {
      fix.GgaQuality = "1";
    }
    if (fix.ModeIndicator == "D" || fix.ModeIndicator == "R" || fix.ModeIndicator == "F") {
      fix.ModeIndicator = "A";
    }
    if (fix.FixStatus == "D") fix.FixStatus = "A";
    // Without corrections there is no age or station to report.
    settings.DgpsAge[1].clear();
    settings.DgpsStation[1].clear();
  }
  if (faults.FixLost) {
    for (std::string* f :
         {&fields.Latitude, &fields.NorthSouth, &fields.Longitude, &fields.EastWest,
          &fields.Altitude, &fields.Geoid, &fields.SpeedText, &fields.CourseText}) {
      f->clear();
    }
    fields.Speed = fields.Course = std::numeric_limits<double>::quiet_NaN();
    fix = {"0", "N", "V"};
    settings.Satellites = {DopText(std::nan("")), 0, DopText(std::nan("")), 0};
    settings.DgpsAge[0].clear();
    settings.DgpsStation[0].clear();
    // Holding still is a speed of 0.0; without a fix there is no speed at all.
    settings.Idling = false;
  }
}

std::string SentenceType(const std::string& line) {
  if (line.size() < 6 || line[0] != '$') return "";
  return line.substr(3, 3);
}

void ApplyLineFaults(const ActiveFaults& faults, std::vector<std::string>& lines) {
  if (faults.Silent) {
    lines.clear();
    return;
  }
  if (!faults.Dropped.empty()) {
    std::erase_if(lines, [&](const std::string& line) {
      const std::string type = SentenceType(line);
      return std::find(faults.Dropped.begin(), faults.Dropped.end(), type) != faults.Dropped.end();
    });
  }
  if (!faults.FixLost) return;
  for (std::string& line : lines) {
    if (SentenceType(line) != "GSA") continue;
    const FramedLine f = Split(line);
    // $xxGSA,<selection mode>,<fix mode>,...
    const size_t first = f.Body.find(',');
    const size_t second = first == std::string_view::npos ? first : f.Body.find(',', first + 1);
    if (second == std::string_view::npos) continue;
    const size_t third = f.Body.find(',', second + 1);
    const std::string_view mode =
        f.Body.substr(second + 1, third == std::string_view::npos ? third : third - second - 1);
    if (mode == "1") continue;
    std::string body(f.Body.substr(0, second + 1));
    body.push_back('1');
    if (third != std::string_view::npos) body.append(f.Body.substr(third));
    // A line that came with a checksum gets the right one again; one without keeps none.
    std::string framed = f.HasChecksum ? AppendChecksum(body) : body;
    framed.append(f.Ending);
    line = std::move(framed);
  }
}

int CorruptChecksums(std::vector<std::string>& lines, int count) {
  int done = 0;
  for (std::string& line : lines) {
    if (done >= count) break;
    const FramedLine f = Split(line);
    if (!f.HasChecksum) continue;
    const int value = std::stoi(line.substr(f.ChecksumAt, 2), nullptr, 16) ^ 0x5A;
    static constexpr char Hex[] = "0123456789ABCDEF";
    line[f.ChecksumAt] = Hex[value >> 4];
    line[f.ChecksumAt + 1] = Hex[value & 0xF];
    ++done;
  }
  return done;
}

}  // namespace fixcaster
