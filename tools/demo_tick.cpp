// Prints to standard output the sentences of one tick of the default track, as
// the simulator sends them at the start of a run: every sentence type on, the
// window's default settings, the real UTC clock. Each line is framed with its
// checksum and ends with CR LF.
//
// Usage: fixcaster_demo [--nmea 2.1|2.3|4.1] [--preset 1..4] [--ticks N]
// Further ticks repeat the fix once per second of UTC, for feeding a
// receiver-side program such as gpsd.

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

#include "nmea/Format.h"
#include "nmea/Presets.h"
#include "nmea/Sentences.h"

namespace {

using namespace fixcaster;

// The first two rows of the default track: latitude, longitude (degrees,
// minutes, seconds as typed into the table) and altitude in metres.
constexpr const char* DefaultLat1 = "35 40 49.448";
constexpr const char* DefaultLon1 = "139 46 8.793";
constexpr const char* DefaultLat2 = "35 41 0.977";
constexpr const char* DefaultLon2 = "139 46 15.489";
constexpr double DefaultAltitude = 3.0;
// Speed of the first span at 1 Hz: 30 km/h stretched so that the 393.2 m span
// takes a whole 47 ticks (what route preparation computes for this track).
constexpr double DefaultSpeedKnots = 16.26219807411144;
constexpr double DegToRad = 0.017453292519943295;

// "d m s" with blanks between the parts, all north/east; NaN when unreadable.
double ParseDms(std::string_view text) {
  double parts[3] = {0, 0, 0};
  const char* p = text.data();
  const char* end = p + text.size();
  for (double& part : parts) {
    while (p < end && *p == ' ') ++p;
    auto r = std::from_chars(p, end, part);
    if (r.ec != std::errc{}) return std::nan("");
    p = r.ptr;
  }
  return parts[0] + parts[1] / 60 + parts[2] / 3600;
}

struct Xyz {
  double x, y, z;
};

Xyz ToXyz(double lat, double lon) {
  return {std::cos(lat * DegToRad) * std::cos(lon * DegToRad),
          std::cos(lat * DegToRad) * std::sin(lon * DegToRad), std::sin(lat * DegToRad)};
}

// Course at the first point: from the position one tick before the start, on
// the chord towards the second point, as a run's first tick reports it.
double FirstCourse(double lat1, double lon1, double lat2, double lon2, int spanTicks) {
  const Xyz a = ToXyz(lat1, lon1);
  const Xyz b = ToXyz(lat2, lon2);
  const double f = -1.0 / spanTicks;
  const Xyz p{a.x + (b.x - a.x) * f, a.y + (b.y - a.y) * f, a.z + (b.z - a.z) * f};
  const double prevLon = std::atan2(p.y, p.x) / DegToRad;
  const double prevLat = std::asin(p.z / std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z)) / DegToRad;
  double course =
      std::atan2((lon1 - prevLon) * std::cos(lat1 * DegToRad), lat1 - prevLat) / DegToRad;
  if (course < 0) course += 360;
  return course;
}

double UtcNow() {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count();
  return 25569.0 + static_cast<double>(ms) / 86400000.0;  // 1970-01-01 is day 25569
}

std::string OneTick(double utc, const TickFields& fix, const SentenceSettings& settings,
                    const PresetGsaTable& gsa, const PresetGsvTable& gsv, int preset) {
  TickFields tick = fix;
  tick.UtcDateTime = utc;
  tick.Time = FormatUtc(utc, "hhnnss", 0);
  tick.Date = FormatUtc(utc, "DDMMYY", 0);
  std::string out;
  auto add = [&out](const std::string& sentence) { out += sentence + "\r\n"; };
  add(BuildRMC("$GP", tick, settings));
  if (auto gga = BuildGGA("$GP", tick, settings)) add(*gga);
  if (GnsAvailable(settings.NmeaVersion)) {
    if (auto gns = BuildGNS("$GN", tick, settings)) add(*gns);
  }
  add(BuildGLL("$GP", tick, settings));
  add(BuildVTG("$GP", tick, settings));
  add(BuildZDA("$GP", tick, settings));
  add(BuildHDT("$GP", tick));
  out += FramePresetGsa(gsa, preset);
  out += FramePresetGsv(gsv, preset);
  return out;
}

}  // namespace

bool ParseInt(const char* text, int low, int high, int& value) {
  auto r = std::from_chars(text, text + std::strlen(text), value);
  return r.ec == std::errc{} && *r.ptr == '\0' && value >= low && value <= high;
}

int main(int argc, char** argv) {
  int ticks = 1;
  int preset = 1;
  std::string version = "2.3";
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool hasValue = i + 1 < argc;
    bool ok = hasValue;
    if (ok && arg == "--ticks") {
      ok = ParseInt(argv[++i], 1, 1000000, ticks);
    } else if (ok && arg == "--preset") {
      ok = ParseInt(argv[++i], 1, PresetCount, preset);
    } else if (ok && arg == "--nmea") {
      version = argv[++i];
    } else {
      ok = false;
    }
    if (!ok) {
      std::fprintf(stderr,
                   "usage: fixcaster_demo [--nmea 2.1|2.3|4.1] [--preset 1..4] [--ticks N]\n");
      return 2;
    }
  }
  const double lat1 = ParseDms(DefaultLat1);
  const double lon1 = ParseDms(DefaultLon1);
  const double course = FirstCourse(lat1, lon1, ParseDms(DefaultLat2), ParseDms(DefaultLon2), 47);

  PresetGsaTable gsa;
  PresetGsvTable gsv;
  RefillEmptyPresets(gsa, gsv);

  SentenceSettings settings;  // navigational status "V"
  settings.NmeaVersion = version;
  UpdateFixIndicators(1, 0, settings.Fix);  // "GPS fix (SPS)", RMC "Same as GGA"
  settings.Satellites = AnalysePreset(gsa, preset);
  settings.DgpsAge[2] = "30";
  settings.DgpsStation[2] = "0137";

  const TickFields fix =
      FormatTickFields(UtcNow(), lat1, lon1, DefaultAltitude, 0.0, DefaultSpeedKnots, course, 0, 6);
  for (int i = 0; i < ticks; ++i) {
    if (i > 0) std::this_thread::sleep_for(std::chrono::seconds(1));
    const std::string text = OneTick(UtcNow(), fix, settings, gsa, gsv, preset);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }
  return 0;
}
