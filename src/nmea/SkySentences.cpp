#include "nmea/SkySentences.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "nmea/Format.h"
#include "nmea/Sentences.h"

namespace fixcaster {

namespace {

constexpr int SatellitesPerGsv = 4;
constexpr int MaxGsvSentences = 9;

// Decimal digits of a non-negative value, zero-padded to `width`.
void AppendPadded(std::string& out, long value, int width) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  for (int i = static_cast<int>(r.ptr - buf); i < width; ++i) out.push_back('0');
  out.append(buf, r.ptr);
}

int SystemId(GnssSystem system) {
  return static_cast<int>(system) + 1;
}

char SignalId(GnssSystem system) {
  return system == GnssSystem::Galileo ? '7' : '1';
}

// The satellites of one system: a run of the sky's list.
struct Run {
  const SkySatellite* Begin = nullptr;
  const SkySatellite* End = nullptr;
};

Run SatellitesOf(const Sky& sky, GnssSystem system) {
  const SkySatellite* first = sky.Satellites.data();
  const SkySatellite* last = first + sky.Satellites.size();
  const SkySatellite* b =
      std::find_if(first, last, [&](const SkySatellite& s) { return s.System == system; });
  const SkySatellite* e =
      std::find_if(b, last, [&](const SkySatellite& s) { return s.System != system; });
  return {b, e};
}

}  // namespace

void AppendSkyGsa(const Sky& sky, std::string_view nmeaVersion, std::vector<std::string>& out) {
  const bool v41 = NavStatusAvailable(nmeaVersion);
  const bool several = std::count(sky.Systems.begin(), sky.Systems.end(), true) > 1;
  const std::string dops = DopText(sky.Pdop) + "," + DopText(sky.Hdop) + "," + DopText(sky.Vdop);
  for (int s = 0; s < GnssSystemCount; ++s) {
    if (!sky.Systems[s]) continue;
    const GnssSystem system = static_cast<GnssSystem>(s);
    std::string line = "$";
    line.append(v41 && several ? std::string_view("GN") : SystemTalker(system));
    line.append("GSA,A,");
    line.push_back(static_cast<char>('0' + sky.FixMode));
    int fields = 0;
    const Run run = SatellitesOf(sky, system);
    for (const SkySatellite* p = run.Begin; p != run.End && fields < MaxUsedPerSystem; ++p) {
      if (!p->Used) continue;
      line.push_back(',');
      AppendPadded(line, NmeaSatelliteId(system, p->Number), 2);
      ++fields;
    }
    for (; fields < MaxUsedPerSystem; ++fields) line.push_back(',');
    line.push_back(',');
    line.append(dops);
    if (v41) {
      line.push_back(',');
      AppendPadded(line, SystemId(system), 1);
    }
    out.push_back(AppendChecksum(line));
  }
}

void AppendSkyGsv(const Sky& sky, std::string_view nmeaVersion, std::vector<std::string>& out) {
  const bool v41 = NavStatusAvailable(nmeaVersion);
  for (int s = 0; s < GnssSystemCount; ++s) {
    if (!sky.Systems[s]) continue;
    const GnssSystem system = static_cast<GnssSystem>(s);
    const Run run = SatellitesOf(sky, system);
    const int inView = static_cast<int>(
        std::min<ptrdiff_t>(run.End - run.Begin, SatellitesPerGsv * MaxGsvSentences));
    const int sentences = std::max(1, (inView + SatellitesPerGsv - 1) / SatellitesPerGsv);
    for (int k = 0; k < sentences; ++k) {
      std::string line = "$";
      line.append(SystemTalker(system));
      line.append("GSV,");
      AppendPadded(line, sentences, 1);
      line.push_back(',');
      AppendPadded(line, k + 1, 1);
      line.push_back(',');
      AppendPadded(line, inView, 2);
      const int first = k * SatellitesPerGsv;
      const int last = std::min(inView, first + SatellitesPerGsv);
      for (int i = first; i < last; ++i) {
        const SkySatellite& v = run.Begin[i];
        line.push_back(',');
        AppendPadded(line, NmeaSatelliteId(system, v.Number), 2);
        line.push_back(',');
        AppendPadded(line, std::clamp(std::lround(v.Elevation), 0l, 90l), 2);
        line.push_back(',');
        AppendPadded(line, std::lround(v.Azimuth) % 360, 3);
        line.push_back(',');
        AppendPadded(line, std::clamp(v.Cn0, 0, 99), 2);
      }
      if (v41) {
        line.push_back(',');
        line.push_back(SignalId(system));
      }
      out.push_back(AppendChecksum(line));
    }
  }
}

}  // namespace fixcaster
