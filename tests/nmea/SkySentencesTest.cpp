#include "nmea/SkySentences.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nmea/Format.h"
#include "nmea/Presets.h"
#include "nmea/Sentences.h"

namespace fixcaster {
namespace {

SkySatellite Sat(GnssSystem system, int number, double el, double az, int cn0, bool used,
                 bool healthy = true) {
  SkySatellite s;
  s.System = system;
  s.Number = number;
  s.Elevation = el;
  s.Azimuth = az;
  s.Cn0 = cn0;
  s.Used = used;
  s.Healthy = healthy;
  return s;
}

// Five GPS satellites (one unhealthy), two GLONASS, no Galileo in view, one BeiDou
// numbered past Galileo's range; angles that round up across 90 and 360.
Sky FourSystemSky() {
  Sky sky;
  sky.Systems = {true, true, true, true};
  sky.Satellites = {
      Sat(GnssSystem::Gps, 1, 45.4, 10.2, 43, true),
      Sat(GnssSystem::Gps, 4, 89.6, 359.7, 50, true),
      Sat(GnssSystem::Gps, 7, 5.2, 180.5, 30, false),
      Sat(GnssSystem::Gps, 12, 30.0, 90.0, 40, false, false),
      Sat(GnssSystem::Gps, 30, 60.4, 269.5, 46, true),
      Sat(GnssSystem::Glonass, 1, 20.2, 300.1, 35, true),
      Sat(GnssSystem::Glonass, 24, 70.0, 45.0, 48, true),
      Sat(GnssSystem::BeiDou, 40, 12.0, 5.0, 28, true),
  };
  sky.UsedCount = 6;
  sky.FixMode = 3;
  sky.Pdop = 1.234;
  sky.Hdop = 0.8712;
  sky.Vdop = 100.5;
  return sky;
}

std::vector<std::string> Gsa(const Sky& sky, const char* version) {
  std::vector<std::string> out;
  AppendSkyGsa(sky, version, out);
  return out;
}

std::vector<std::string> Gsv(const Sky& sky, const char* version) {
  std::vector<std::string> out;
  AppendSkyGsv(sky, version, out);
  return out;
}

TEST(SkySentences, GsaPerSystemBefore41) {
  const std::vector<std::string> expected = {
      "$GPGSA,A,3,01,04,30,,,,,,,,,,1.23,0.87,99.99*3B",
      "$GLGSA,A,3,65,88,,,,,,,,,,,1.23,0.87,99.99*22",
      "$GAGSA,A,3,,,,,,,,,,,,,1.23,0.87,99.99*2C",
      "$GBGSA,A,3,40,,,,,,,,,,,,1.23,0.87,99.99*2B",
  };
  EXPECT_EQ(Gsa(FourSystemSky(), "2.3"), expected);
  EXPECT_EQ(Gsa(FourSystemSky(), "2.1"), expected);
}

TEST(SkySentences, GsaWithSystemIdsFrom41) {
  const std::vector<std::string> expected = {
      "$GNGSA,A,3,01,04,30,,,,,,,,,,1.23,0.87,99.99,1*38",
      "$GNGSA,A,3,65,88,,,,,,,,,,,1.23,0.87,99.99,2*3E",
      "$GNGSA,A,3,,,,,,,,,,,,,1.23,0.87,99.99,3*3C",
      "$GNGSA,A,3,40,,,,,,,,,,,,1.23,0.87,99.99,4*3F",
  };
  EXPECT_EQ(Gsa(FourSystemSky(), "4.1"), expected);
  // A GPS-only receiver keeps its own talker.
  Sky gps = FourSystemSky();
  gps.Systems = {true, false, false, false};
  EXPECT_EQ(Gsa(gps, "4.1"),
            std::vector<std::string>{"$GPGSA,A,3,01,04,30,,,,,,,,,,1.23,0.87,99.99,1*26"});
}

TEST(SkySentences, GsaWithoutAFixAndWithTwelveUsed) {
  Sky none;
  none.Systems = {true, false, false, false};
  EXPECT_EQ(Gsa(none, "2.3"),
            std::vector<std::string>{"$GPGSA,A,1,,,,,,,,,,,,,99.99,99.99,99.99*30"});
  Sky full = none;
  for (int n = 1; n <= 14; ++n) full.Satellites.push_back(Sat(GnssSystem::Gps, n, 40, 0, 40, true));
  full.FixMode = 3;
  full.Pdop = full.Hdop = full.Vdop = 1;
  const std::vector<std::string> lines = Gsa(full, "2.3");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0],
            AppendChecksum("$GPGSA,A,3,01,02,03,04,05,06,07,08,09,10,11,12,1.00,1.00,1.00"));
}

TEST(SkySentences, GsvPerTalkerBefore41) {
  const std::vector<std::string> expected = {
      "$GPGSV,2,1,05,01,45,010,43,04,90,000,50,07,05,181,30,12,30,090,40*75",
      "$GPGSV,2,2,05,30,60,270,46*4E",
      "$GLGSV,1,1,02,65,20,300,35,88,70,045,48*69",
      "$GAGSV,1,1,00*68",
      "$GBGSV,1,1,01,40,12,005,28*52",
  };
  EXPECT_EQ(Gsv(FourSystemSky(), "2.3"), expected);
}

TEST(SkySentences, GsvWithSignalIdsFrom41) {
  const std::vector<std::string> expected = {
      "$GPGSV,2,1,05,01,45,010,43,04,90,000,50,07,05,181,30,12,30,090,40,1*68",
      "$GPGSV,2,2,05,30,60,270,46,1*53",
      "$GLGSV,1,1,02,65,20,300,35,88,70,045,48,1*74",
      "$GAGSV,1,1,00,7*73",
      "$GBGSV,1,1,01,40,12,005,28,1*4F",
  };
  EXPECT_EQ(Gsv(FourSystemSky(), "4.1"), expected);
}

TEST(SkySentences, GsvCountsAndTheOneDigitLimit) {
  // 4 fill one sentence exactly; 37 are more than nine sentences hold.
  struct Case {
    int inView;
    size_t sentences;
    const char* lastStart;
  } cases[] = {
      {4, 1, "$GBGSV,1,1,04,01,"}, {5, 2, "$GBGSV,2,2,05,05,"}, {37, 9, "$GBGSV,9,9,36,33,"}};
  for (const Case& c : cases) {
    Sky sky;
    sky.Systems = {false, false, false, true};
    for (int n = 1; n <= c.inView; ++n)
      sky.Satellites.push_back(Sat(GnssSystem::BeiDou, n, 10, 0, 30, false));
    const std::vector<std::string> lines = Gsv(sky, "2.3");
    ASSERT_EQ(lines.size(), c.sentences) << c.inView;
    EXPECT_EQ(lines.back().substr(0, 17), c.lastStart) << c.inView;
    for (const std::string& line : lines) EXPECT_LE(line.size() + 2, 82u) << line;
  }
}

TEST(SkySentences, SummaryFeedsGgaAndGns) {
  Sky sky = FourSystemSky();
  const PresetSummary summary = SkySummary(sky);
  SentenceSettings settings;
  settings.NmeaVersion = "4.1";
  UpdateFixIndicators(1, 0, settings.Fix);
  settings.Satellites = summary;
  const TickFields tick =
      FormatTickFields(EncodeDateTime({2026, 1, 2, 3, 4, 5, 0}), 35.5, 139.5, 10, 36, 5, 90, 0, 4);
  const std::string gga = *BuildGGA("$GP", tick, settings);
  const std::string gns = *BuildGNS("$GN", tick, settings);
  EXPECT_EQ(GetField(gga, 8), "6");  // every used satellite of every system
  EXPECT_EQ(GetField(gga, 9), "0.87");
  EXPECT_EQ(GetField(gns, 8), "6");
  EXPECT_EQ(GetField(gns, 9), "0.87");
  sky.UsedCount = 0;
  sky.Hdop = std::numeric_limits<double>::quiet_NaN();
  settings.Satellites = SkySummary(sky);
  EXPECT_EQ(GetField(*BuildGGA("$GP", tick, settings), 8), "");
  EXPECT_EQ(GetField(*BuildGGA("$GP", tick, settings), 9), "99.99");
}

}  // namespace
}  // namespace fixcaster
