#include "nmea/Sky.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>

#include "nmea/Constellations.h"
#include "nmea/GnssTime.h"
#include "nmea/Random.h"

namespace fixcaster {

namespace {

constexpr double DegToRad = std::numbers::pi / 180;
constexpr int MaxInViewPerSystem = 64;  // numbers never go past 63

bool HigherFirst(const SkySatellite* a, const SkySatellite* b) {
  return a->Elevation > b->Elevation;
}

}  // namespace

SkyModel::SkyModel() {
  for (int s = 0; s < GnssSystemCount; ++s) SetAlmanac(NominalAlmanac(static_cast<GnssSystem>(s)));
}

void SkyModel::SetAlmanac(const Almanac& almanac) {
  std::vector<Satellite>& list = systems_[static_cast<int>(almanac.System)];
  list.clear();
  for (const AlmanacRecord& r : almanac.Records) {
    list.push_back({r.Prn, r.Health == 0, PrepareOrbit(r, almanac.WeekModulus)});
  }
}

size_t SkyModel::SatelliteCount(GnssSystem system) const {
  return systems_[static_cast<int>(system)].size();
}

void SkyModel::Compute(double utcDateTime, double latitudeDeg, double longitudeDeg, double heightM,
                       const SkyOptions& options, Sky& out) const {
  out.Systems = options.Systems;
  out.Satellites.clear();
  const double t = GpsSecondsFromUtc(utcDateTime);
  const Observer observer = MakeObserver(latitudeDeg, longitudeDeg, heightM);
  for (int s = 0; s < GnssSystemCount; ++s) {
    if (!options.Systems[s]) continue;
    const GnssSystem system = static_cast<GnssSystem>(s);
    for (const Satellite& sat : systems_[s]) {
      const LookAngles look = LookAt(observer, SatellitePosition(sat.Path, t));
      if (!(look.Elevation > options.MaskDeg)) continue;
      SkySatellite v;
      v.System = system;
      v.Number = sat.Number;
      v.Azimuth = look.Azimuth;
      v.Elevation = look.Elevation;
      v.Cn0 =
          CarrierToNoise(look.Elevation, options.Seed, system, sat.Number, t, options.Cn0SpreadDb);
      v.Healthy = sat.Healthy;
      v.Los = {look.East, look.North, look.Up};
      out.Satellites.push_back(v);
    }
  }
  ChooseUsed(out);
}

void ChooseUsed(Sky& sky) {
  std::array<LineOfSight, MaxUsedPerSystem * GnssSystemCount> used{};
  size_t usedCount = 0;
  auto& sats = sky.Satellites;
  for (size_t begin = 0; begin < sats.size();) {
    size_t end = begin;
    while (end < sats.size() && sats[end].System == sats[begin].System) ++end;
    std::array<SkySatellite*, MaxInViewPerSystem> healthy{};
    size_t n = 0;
    for (size_t i = begin; i < end; ++i) {
      sats[i].Used = false;
      if (sats[i].Healthy && n < healthy.size()) healthy[n++] = &sats[i];
    }
    const size_t take = std::min<size_t>(n, MaxUsedPerSystem);
    std::partial_sort(healthy.begin(), healthy.begin() + take, healthy.begin() + n, HigherFirst);
    for (size_t i = 0; i < take; ++i) {
      healthy[i]->Used = true;
      used[usedCount++] = healthy[i]->Los;
    }
    begin = end;
  }
  sky.UsedCount = static_cast<int>(usedCount);
  const std::optional<DilutionOfPrecision> dop = ComputeDop({used.data(), usedCount});
  const double nan = std::numeric_limits<double>::quiet_NaN();
  sky.FixMode = dop ? dop->Dimensions : 1;
  sky.Pdop = dop ? dop->Pdop : nan;
  sky.Hdop = dop ? dop->Hdop : nan;
  sky.Vdop = dop && dop->Dimensions == 3 ? dop->Vdop : nan;
}

void LimitInView(Sky& sky, int count) {
  auto& sats = sky.Satellites;
  const size_t keep = static_cast<size_t>(std::max(count, 0));
  if (keep < sats.size()) {
    // The lowest go first; ties keep the earlier satellite.
    std::vector<size_t> order(sats.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return sats[a].Elevation > sats[b].Elevation; });
    std::vector<bool> kept(sats.size(), false);
    for (size_t i = 0; i < keep; ++i) kept[order[i]] = true;
    size_t w = 0;
    for (size_t i = 0; i < sats.size(); ++i) {
      if (kept[i]) sats[w++] = sats[i];
    }
    sats.resize(w);
  }
  ChooseUsed(sky);
}

int CarrierToNoise(double elevationDeg, uint64_t seed, GnssSystem system, int number,
                   double gpsSeconds, double spreadDb) {
  const uint64_t second = static_cast<uint64_t>(static_cast<int64_t>(std::floor(gpsSeconds)));
  const uint64_t key =
      seed ^ Mix64((static_cast<uint64_t>(system) << 8 | static_cast<uint64_t>(number & 0xFF)) ^
                   Mix64(second));
  const double u = static_cast<double>(Mix64(key) >> 11) * 0x1.0p-53;
  const double db = 20 + 30 * std::sin(elevationDeg * DegToRad) + (2 * u - 1) * spreadDb;
  return static_cast<int>(std::clamp(std::lround(db), 0l, 99l));
}

int NmeaSatelliteId(GnssSystem system, int number) {
  return system == GnssSystem::Glonass ? number + 64 : number;
}

std::string_view SystemTalker(GnssSystem system) {
  switch (system) {
    case GnssSystem::Gps:
      return "GP";
    case GnssSystem::Glonass:
      return "GL";
    case GnssSystem::Galileo:
      return "GA";
    case GnssSystem::BeiDou:
      return "GB";
  }
  return "GN";
}

std::optional<SystemSet> ParseSystems(std::string_view text) {
  SystemSet set{};
  bool any = false;
  while (true) {
    const size_t comma = text.find(',');
    std::string_view name = text.substr(0, comma);
    while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
    if (name.size() != 2) return std::nullopt;
    const char a = static_cast<char>(name[0] & ~0x20), b = static_cast<char>(name[1] & ~0x20);
    int found = -1;
    for (int s = 0; s < GnssSystemCount; ++s) {
      const std::string_view talker = SystemTalker(static_cast<GnssSystem>(s));
      if (talker[0] == a && talker[1] == b) found = s;
    }
    if (found < 0) return std::nullopt;
    set[found] = true;
    any = true;
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  if (!any) return std::nullopt;
  return set;
}

std::string DopText(double dop) {
  if (!(dop >= 0) || dop > 99.99) return "99.99";
  char buf[16];
  const auto r = std::to_chars(buf, buf + sizeof buf, dop, std::chars_format::fixed, 2);
  return std::string(buf, r.ptr);
}

PresetSummary SkySummary(const Sky& sky) {
  PresetSummary s;
  s.Hdop1 = DopText(sky.Hdop);
  s.SatsUsed1 = 0;
  s.Hdop2 = s.Hdop1;
  s.SatsUsed2 = sky.UsedCount;
  return s;
}

}  // namespace fixcaster
