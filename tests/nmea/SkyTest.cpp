#include "nmea/Sky.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <set>
#include <vector>

#include "nmea/Constellations.h"
#include "nmea/Format.h"
#include "nmea/GnssTime.h"

namespace fixcaster {
namespace {

const double Noon = EncodeDateTime({2026, 6, 15, 12, 0, 0, 0});

SkyOptions AllSystems() {
  SkyOptions o;
  o.Systems = {true, true, true, true};
  return o;
}

TEST(Sky, InViewMeansAboveTheMask) {
  const SkyModel model;
  Sky low, high, none;
  SkyOptions options = AllSystems();
  options.MaskDeg = 0;
  model.Compute(Noon, 35.68, 139.77, 40, options, low);
  options.MaskDeg = 20;
  model.Compute(Noon, 35.68, 139.77, 40, options, high);
  options.MaskDeg = 90;
  model.Compute(Noon, 35.68, 139.77, 40, options, none);
  EXPECT_TRUE(none.Satellites.empty());
  EXPECT_EQ(none.FixMode, 1);
  EXPECT_TRUE(std::isnan(none.Hdop));
  // About half of each 24-satellite sky is above the horizon.
  EXPECT_GT(low.Satellites.size(), 30u);
  EXPECT_LT(low.Satellites.size(), 66u);
  EXPECT_LT(high.Satellites.size(), low.Satellites.size());
  for (const SkySatellite& s : high.Satellites) EXPECT_GT(s.Elevation, 20);
  // Every satellite above 20 degrees is also in the sky of mask 0, at the same place.
  for (const SkySatellite& s : high.Satellites) {
    const auto same = std::find_if(low.Satellites.begin(), low.Satellites.end(), [&](auto& t) {
      return t.System == s.System && t.Number == s.Number;
    });
    ASSERT_NE(same, low.Satellites.end());
    EXPECT_DOUBLE_EQ(same->Azimuth, s.Azimuth);
  }
  // Ordered by system, then number.
  for (size_t i = 1; i < low.Satellites.size(); ++i) {
    const SkySatellite& a = low.Satellites[i - 1];
    const SkySatellite& b = low.Satellites[i];
    EXPECT_TRUE(a.System < b.System || (a.System == b.System && a.Number < b.Number));
  }
}

TEST(Sky, OnlyTheSystemsSwitchedOn) {
  const SkyModel model;
  SkyOptions options;
  options.Systems = {false, true, false, true};
  Sky sky;
  model.Compute(Noon, -33.9, 18.4, 100, options, sky);
  EXPECT_EQ(sky.Systems, options.Systems);
  ASSERT_FALSE(sky.Satellites.empty());
  for (const SkySatellite& s : sky.Satellites) {
    EXPECT_TRUE(s.System == GnssSystem::Glonass || s.System == GnssSystem::BeiDou);
  }
}

TEST(Sky, UsedAreTheHighestHealthyTwelvePerSystem) {
  // 63 BeiDou satellites put some 30 in view; a few are unhealthy.
  WalkerConstellation w;
  w.System = GnssSystem::BeiDou;
  w.Satellites = 63;
  w.InclinationDeg = 55;
  w.SemiMajorAxisM = 27900e3;
  Almanac dense = WalkerAlmanac(w);
  for (int n : {2, 17, 33, 50}) dense.Records[n - 1].Health = 1;
  SkyModel model;
  model.SetAlmanac(dense);
  EXPECT_EQ(model.SatelliteCount(GnssSystem::BeiDou), 63u);
  SkyOptions options;
  options.Systems = {false, false, false, true};
  for (double hour = 0; hour < 24; hour += 1.5) {
    Sky sky;
    model.Compute(Noon + hour / 24, 10, 100, 0, options, sky);
    ASSERT_GT(sky.Satellites.size(), 12u) << hour;
    std::vector<double> healthy, used;
    for (const SkySatellite& s : sky.Satellites) {
      if (s.Used) used.push_back(s.Elevation);
      if (s.Healthy) healthy.push_back(s.Elevation);
      EXPECT_FALSE(s.Used && !s.Healthy) << s.Number;
    }
    std::sort(healthy.rbegin(), healthy.rend());
    std::sort(used.rbegin(), used.rend());
    healthy.resize(12);
    EXPECT_EQ(used, healthy) << hour;
    EXPECT_EQ(sky.UsedCount, 12);
    EXPECT_EQ(sky.FixMode, 3);
  }
}

TEST(Sky, FewerInViewWeakenTheFix) {
  const SkyModel model;
  Sky sky;
  SkyOptions options = AllSystems();
  model.Compute(Noon, 52.5, 13.4, 50, options, sky);
  const double allHdop = sky.Hdop;
  ASSERT_GT(sky.UsedCount, 20);
  LimitInView(sky, 6);
  ASSERT_EQ(sky.Satellites.size(), 6u);
  EXPECT_EQ(sky.UsedCount, 6);
  EXPECT_GT(sky.Hdop, allHdop);
  const double lowest =
      std::min_element(sky.Satellites.begin(), sky.Satellites.end(), [](auto& a, auto& b) {
        return a.Elevation < b.Elevation;
      })->Elevation;
  Sky full;
  model.Compute(Noon, 52.5, 13.4, 50, options, full);
  int higher = 0;
  for (const SkySatellite& s : full.Satellites) higher += s.Elevation >= lowest;
  EXPECT_EQ(higher, 6) << "the six kept are the six highest";
  LimitInView(sky, 3);
  EXPECT_EQ(sky.FixMode, 2);
  EXPECT_TRUE(std::isnan(sky.Vdop));
  EXPECT_DOUBLE_EQ(sky.Pdop, sky.Hdop);
  LimitInView(sky, 2);
  EXPECT_EQ(sky.FixMode, 1);
  EXPECT_EQ(sky.UsedCount, 2);
  LimitInView(sky, -1);
  EXPECT_TRUE(sky.Satellites.empty());
}

TEST(Sky, NominalGpsGivesAFixEverywhere) {
  // The 24-slot constellation was designed for PDOP <= 6 nearly everywhere at a
  // 5 degree mask; a grid of places over two days finds no gap in it.
  const SkyModel model;
  SkyOptions options;
  double worst = 0;
  for (double lat = -80; lat <= 80; lat += 20) {
    for (double lon = -180; lon < 180; lon += 45) {
      for (double hour = 0; hour < 48; hour += 2.7) {
        Sky sky;
        model.Compute(Noon + hour / 24, lat, lon, 0, options, sky);
        ASSERT_GE(sky.UsedCount, 4) << lat << " " << lon << " " << hour;
        ASSERT_EQ(sky.FixMode, 3);
        worst = std::max(worst, sky.Pdop);
      }
    }
  }
  EXPECT_LT(worst, 10);
}

TEST(Sky, SignalStrengthFollowsElevation) {
  for (double el : {5.0, 30.0, 60.0, 90.0}) {
    const double mean = 20 + 30 * std::sin(el * std::numbers::pi / 180);
    std::set<int> seen;
    for (int second = 0; second < 200; ++second) {
      const int cn0 = CarrierToNoise(el, 7, GnssSystem::Gps, 5, 1e9 + second, 2);
      EXPECT_LE(std::fabs(cn0 - mean), 2.5) << el;
      seen.insert(cn0);
    }
    EXPECT_GE(seen.size(), 4u) << "it varies";
    EXPECT_EQ(CarrierToNoise(el, 7, GnssSystem::Gps, 5, 1e9, 0), std::lround(mean));
  }
  // The same seed, satellite and second give the same value; the fraction of the
  // second does not matter.
  EXPECT_EQ(CarrierToNoise(40, 7, GnssSystem::Gps, 5, 1e9 + 0.1, 2),
            CarrierToNoise(40, 7, GnssSystem::Gps, 5, 1e9 + 0.9, 2));
  int differ = 0;
  for (int second = 0; second < 50; ++second) {
    differ += CarrierToNoise(40, 7, GnssSystem::Gps, 5, 1e9 + second, 2) !=
              CarrierToNoise(40, 8, GnssSystem::Gps, 5, 1e9 + second, 2);
    differ += CarrierToNoise(40, 7, GnssSystem::Gps, 5, 1e9 + second, 2) !=
              CarrierToNoise(40, 7, GnssSystem::Galileo, 5, 1e9 + second, 2);
  }
  EXPECT_GT(differ, 30);
}

TEST(Sky, NumbersTalkersSystemsAndDopText) {
  EXPECT_EQ(NmeaSatelliteId(GnssSystem::Gps, 32), 32);
  EXPECT_EQ(NmeaSatelliteId(GnssSystem::Glonass, 1), 65);
  EXPECT_EQ(NmeaSatelliteId(GnssSystem::Glonass, 32), 96);
  EXPECT_EQ(NmeaSatelliteId(GnssSystem::Galileo, 36), 36);
  EXPECT_EQ(NmeaSatelliteId(GnssSystem::BeiDou, 63), 63);

  struct SystemsCase {
    const char* text;
    std::optional<SystemSet> set;
  } systems[] = {
      {"GP,GL,GA,GB", SystemSet{true, true, true, true}},
      {"gb, ga", SystemSet{false, false, true, true}},
      {"GP", SystemSet{true, false, false, false}},
      {"GP,GP", SystemSet{true, false, false, false}},
      {"", std::nullopt},
      {"GP,", std::nullopt},
      {"GP,QZ", std::nullopt},
      {"GPS", std::nullopt},
  };
  for (const SystemsCase& c : systems) EXPECT_EQ(ParseSystems(c.text), c.set) << c.text;

  struct DopCase {
    double value;
    const char* text;
  } dops[] = {{0.8712, "0.87"}, {1, "1.00"},   {12.346, "12.35"},      {99.99, "99.99"},
              {150, "99.99"},   {-1, "99.99"}, {std::nan(""), "99.99"}};
  for (const DopCase& c : dops) EXPECT_EQ(DopText(c.value), c.text) << c.value;
}

}  // namespace
}  // namespace fixcaster
