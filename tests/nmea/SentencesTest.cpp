#include "nmea/Sentences.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <limits>
#include <ostream>
#include <string>

#include "nmea/Format.h"

namespace fixcaster {
namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

// The worked-example tick: 01:23:45.678 UTC on 6 May 2024, two decimals of the
// second, six minute decimals, GPS fix, a preset of 12 satellites at HDOP 0.78.
TickFields ExampleTick() {
  return FormatTickFields(EncodeDateTime({2024, 5, 6, 1, 23, 45, 678}), 35.68040222, 139.76910917,
                          3.0, 0.0, 10.8, 25.3, 2, 6);
}

SentenceSettings ExampleSettings() {
  SentenceSettings s;
  UpdateFixIndicators(1, 0, s.Fix);
  s.Satellites = {"0.78", 12, "", 0};
  s.DgpsAge[2] = "30";  // the factory differential texts
  s.DgpsStation[2] = "0137";
  return s;
}

enum Kind { GGA, GNS, RMC, GLL, VTG, ZDA, HDT };

std::optional<std::string> Build(Kind kind, const TickFields& t, const SentenceSettings& s) {
  switch (kind) {
    case GGA:
      return BuildGGA("$GP", t, s);
    case GNS:
      return BuildGNS("$GN", t, s);
    case RMC:
      return BuildRMC("$GP", t, s);
    case GLL:
      return BuildGLL("$GP", t, s);
    case VTG:
      return BuildVTG("$GP", t, s);
    case ZDA:
      return BuildZDA("$GP", t, s);
    case HDT:
      return BuildHDT("$GP", t);
  }
  return std::nullopt;
}

struct SentenceCase {
  const char* name;
  Kind kind;
  std::function<void(TickFields&, SentenceSettings&)> change;
  const char* expected;
};

void PrintTo(const SentenceCase& c, std::ostream* os) {
  *os << c.name;
}

// Test names from the case names: letters and digits, "_" for the rest.
std::string CaseName(const ::testing::TestParamInfo<SentenceCase>& info) {
  std::string name = info.param.name;
  for (char& ch : name) {
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  }
  return name;
}

void Version(SentenceSettings& s, const char* v) {
  s.NmeaVersion = v;
}

const auto V21 = [](TickFields&, SentenceSettings& s) { Version(s, "2.1"); };
const auto V23 = [](TickFields&, SentenceSettings& s) { Version(s, "2.3"); };
const auto V41 = [](TickFields&, SentenceSettings& s) {
  Version(s, "4.1");
  s.NavStatus = "V";
};

class WorkedExample : public ::testing::TestWithParam<SentenceCase> {};

TEST_P(WorkedExample, IsProducedByteForByte) {
  const SentenceCase& c = GetParam();
  TickFields tick = ExampleTick();
  SentenceSettings settings = ExampleSettings();
  if (c.change) c.change(tick, settings);
  const auto sentence = Build(c.kind, tick, settings);
  ASSERT_TRUE(sentence.has_value());
  EXPECT_EQ(*sentence, c.expected);
}

const SentenceCase WorkedExamples[] = {
    {"GGA_2_1", GGA, V21,
     "$GPGGA,012345.67,3540.824133,N,13946.146550,E,1,12,0.78,3.0,M,0.0,M,,*64"},
    {"GGA_4_1", GGA, V41,
     "$GPGGA,012345.67,3540.824133,N,13946.146550,E,1,12,0.78,3.0,M,0.0,M,,*64"},
    {"RMC_2_1", RMC, V21, "$GPRMC,012345.67,A,3540.824133,N,13946.146550,E,10.8,25.3,060524,,*3C"},
    {"RMC_2_3", RMC, V23,
     "$GPRMC,012345.67,A,3540.824133,N,13946.146550,E,10.8,25.3,060524,,,A*51"},
    {"RMC_4_1", RMC, V41,
     "$GPRMC,012345.67,A,3540.824133,N,13946.146550,E,10.8,25.3,060524,,,A,V*2B"},
    {"GLL_2_1", GLL, V21, "$GPGLL,3540.824133,N,13946.146550,E,012345.67,A*03"},
    {"GLL_2_3", GLL, V23, "$GPGLL,3540.824133,N,13946.146550,E,012345.67,A,A*6E"},
    {"GLL_4_1", GLL, V41, "$GPGLL,3540.824133,N,13946.146550,E,012345.67,A,A*6E"},
    {"VTG_2_1", VTG, V21, "$GPVTG,25.3,T,,,10.8,N,20.0,K*12"},
    {"VTG_2_3", VTG, V23, "$GPVTG,25.3,T,,,10.8,N,20.0,K,A*7F"},
    {"ZDA_2_1", ZDA, V21, "$GPZDA,012345.67,06,05,2024,,*61"},
    {"ZDA_4_1", ZDA, V41, "$GPZDA,012345.67,06,05,2024,,*61"},
    {"HDT", HDT, V23, "$GPHDT,25.3,T*01"},
    {"GNS_2_3", GNS, V23, "$GNGNS,012345.67,3540.824133,N,13946.146550,E,A,,,3.0,0.0,,*03"},
    {"GNS_4_1", GNS, V41, "$GNGNS,012345.67,3540.824133,N,13946.146550,E,A,,,3.0,0.0,,,V*79"},
    {"GGA_DGPS", GGA, [](TickFields&, SentenceSettings& s) { UpdateFixIndicators(2, 0, s.Fix); },
     "$GPGGA,012345.67,3540.824133,N,13946.146550,E,2,12,0.78,3.0,M,0.0,M,30,0137*61"},
    {"RMC_MagVari_7W", RMC,
     [](TickFields&, SentenceSettings& s) {
       s.MagVariation = -7.0;
       s.MagVariationText = "7.0,W";
     },
     "$GPRMC,012345.67,A,3540.824133,N,13946.146550,E,10.8,25.3,060524,7.0,W,A*2F"},
    {"VTG_MagVari_7W", VTG,
     [](TickFields&, SentenceSettings& s) {
       s.MagVariation = -7.0;
       s.MagVariationText = "7.0,W";
     },
     "$GPVTG,25.3,T,32.3,M,10.8,N,20.0,K,A*2E"},
    {"ZDA_Zone_9", ZDA, [](TickFields&, SentenceSettings& s) { s.ZoneText = "09,00"; },
     "$GPZDA,012345.67,06,05,2024,09,00*68"},
    {"RMC_Idling", RMC, [](TickFields&, SentenceSettings& s) { s.Idling = true; },
     "$GPRMC,012345.67,A,3540.824133,N,13946.146550,E,0.0,25.3,060524,,,A*68"},
};

INSTANTIATE_TEST_SUITE_P(Tick, WorkedExample, ::testing::ValuesIn(WorkedExamples), CaseName);

int DataFields(const std::string& sentence) {
  const std::string body = sentence.substr(0, sentence.find('*'));
  return static_cast<int>(std::count(body.begin(), body.end(), ','));
}

const SentenceCase EdgeCases[] = {
    {"RMC ends with the navigational status under 4.1", RMC,
     [](TickFields&, SentenceSettings& s) {
       s.NmeaVersion = "4.1";
       s.NavStatus = "U: Unsafe";
     },
     ",A,U*"},
    {"GNS ends with the navigational status under 4.1", GNS,
     [](TickFields&, SentenceSettings& s) {
       s.NmeaVersion = "4.1";
       s.NavStatus = "U";
     },
     ",,,U*"},
    {"empty navigational status leaves its field empty", RMC,
     [](TickFields&, SentenceSettings& s) {
       s.NmeaVersion = "4.1";
       s.NavStatus = "";
     },
     ",A,*"},
    {"magnetic course wraps below 0", VTG,
     [](TickFields& t, SentenceSettings& s) {
       t.Course = 5.0;
       s.MagVariation = 10.0;
     },
     "$GPVTG,5.0,T,355.0,M,"},
    {"magnetic course wraps above 360", VTG,
     [](TickFields& t, SentenceSettings& s) {
       t.Course = 355.0;
       s.MagVariation = -10.0;
     },
     "$GPVTG,355.0,T,5.0,M,"},
    {"zero variation is still written", VTG,
     [](TickFields& t, SentenceSettings& s) {
       t.Course = 0.0;
       s.MagVariation = 0.0;
     },
     "$GPVTG,0.0,T,0.0,M,"},
    {"zero variation in RMC", RMC,
     [](TickFields& t, SentenceSettings& s) {
       t.CourseText = "0.0";
       s.MagVariation = 0.0;
       s.MagVariationText = "0.0,E";
     },
     ",0.0,060524,0.0,E,A*"},
    {"idling VTG reports speed 0", VTG, [](TickFields&, SentenceSettings& s) { s.Idling = true; },
     ",0.0,N,0.0,K,A*"},
    {"no satellite count leaves the GGA field empty", GGA,
     [](TickFields&, SentenceSettings& s) { s.Satellites = {}; }, ",E,1,,,3.0,M,"},
    {"GGA counts the satellites of both GSA lines", GGA,
     [](TickFields&, SentenceSettings& s) {
       s.Satellites = {"0.55", 9, "0.55", 4};
     },
     ",E,1,13,0.55,3.0,"},
    {"GNS reports the second GSA line", GNS,
     [](TickFields&, SentenceSettings& s) {
       s.Satellites = {"0.55", 9, "0.66", 4};
     },
     ",E,A,4,0.66,3.0,"},
    {"RMC status from its own box", RMC,
     [](TickFields&, SentenceSettings& s) { UpdateFixIndicators(1, 3, s.Fix); },
     "$GPRMC,012345.67,D,"},
    {"NaN position keeps every comma", GLL,
     [](TickFields& t, SentenceSettings&) {
       t = FormatTickFields(EncodeDateTime({2024, 5, 6, 1, 23, 45, 678}), NaN, NaN, 3.0, 0.0, 10.8,
                            25.3, 2, 6);
     },
     "$GPGLL,,,,,012345.67,A,A*"},
    {"negative altitude and geoid", GGA,
     [](TickFields& t, SentenceSettings&) {
       t.Altitude = FormatOneDecimal(-12.34);
       t.Geoid = FormatOneDecimal(-40.0);
     },
     ",-12.3,M,-40.0,M,,*"},
    {"ZDA without a usable clock keeps its fields", ZDA,
     [](TickFields& t, SentenceSettings&) { t.UtcDateTime = NaN; }, "$GPZDA,012345.67,,,,,*"},
    {"HDT of an unknown course has an empty heading", HDT,
     [](TickFields& t, SentenceSettings&) { t.Course = NaN; }, "$GPHDT,,T*"},
};

class SentenceEdge : public ::testing::TestWithParam<SentenceCase> {};

TEST_P(SentenceEdge, HoldsTheExpectedText) {
  const SentenceCase& c = GetParam();
  TickFields tick = ExampleTick();
  SentenceSettings settings = ExampleSettings();
  c.change(tick, settings);
  const auto sentence = Build(c.kind, tick, settings);
  ASSERT_TRUE(sentence.has_value());
  EXPECT_NE(sentence->find(c.expected), std::string::npos) << *sentence;
  // Whatever the fields hold, the sentence is framed with its own checksum.
  const std::string body = sentence->substr(0, sentence->size() - 3);
  EXPECT_EQ(AppendChecksum(body), *sentence);
}

INSTANTIATE_TEST_SUITE_P(Tick, SentenceEdge, ::testing::ValuesIn(EdgeCases), CaseName);

TEST(SentenceFieldCounts, FollowTheVersion) {
  struct Row {
    const char* version;
    Kind kind;
    int fields;
  };
  const Row rows[] = {{"2.1", RMC, 11}, {"2.3", RMC, 12}, {"4.1", RMC, 13}, {"2.1", GLL, 6},
                      {"2.3", GLL, 7},  {"4.1", GLL, 7},  {"2.1", VTG, 8},  {"2.3", VTG, 9},
                      {"4.1", VTG, 9},  {"2.1", GGA, 14}, {"4.1", GGA, 14}, {"2.3", GNS, 12},
                      {"4.1", GNS, 13}, {"2.1", ZDA, 6},  {"4.1", HDT, 2}};
  for (const auto& r : rows) {
    SentenceSettings s = ExampleSettings();
    s.NmeaVersion = r.version;
    const auto sentence = Build(r.kind, ExampleTick(), s);
    ASSERT_TRUE(sentence.has_value());
    EXPECT_EQ(DataFields(*sentence), r.fields) << *sentence;
  }
}

TEST(SentenceVersion, ComparedAsText) {
  EXPECT_FALSE(GnsAvailable("2.1"));
  EXPECT_TRUE(GnsAvailable("2.3"));
  EXPECT_TRUE(GnsAvailable("4.1"));
  EXPECT_TRUE(GnsAvailable("3"));
  EXPECT_FALSE(GnsAvailable("10.0"));  // ordinal: "1" sorts before "2"
  EXPECT_FALSE(GnsAvailable(""));
  EXPECT_FALSE(NavStatusAvailable("2.3"));
  EXPECT_TRUE(NavStatusAvailable("4.1"));
  EXPECT_TRUE(NavStatusAvailable("4.11"));
  EXPECT_FALSE(NavStatusAvailable("4.0"));
}

TEST(GgaQuality, WithoutUsableQualityGgaAndGnsFailCleanly) {
  TickFields tick = ExampleTick();
  for (const char* quality : {"", "9", "x", "10", "-1"}) {
    SentenceSettings s = ExampleSettings();
    s.Fix.GgaQuality = quality;
    EXPECT_FALSE(BuildGGA("$GP", tick, s).has_value()) << '"' << quality << '"';
    EXPECT_FALSE(BuildGNS("$GN", tick, s).has_value()) << '"' << quality << '"';
    // The other sentences do not depend on the quality digit.
    EXPECT_FALSE(BuildRMC("$GP", tick, s).empty());
  }
  SentenceSettings typedOver = ExampleSettings();
  UpdateFixIndicators(-1, 0, typedOver.Fix);
  EXPECT_FALSE(BuildGGA("$GP", tick, typedOver).has_value());
  UpdateFixIndicators(8, 0, typedOver.Fix);
  EXPECT_NE(BuildGGA("$GP", tick, typedOver).value().find(",E,8,12,"), std::string::npos);
}

struct IndicatorCase {
  int status;
  int rmcStatus;
  const char* quality;
  const char* mode;
  const char* fixStatus;
};

const IndicatorCase IndicatorCases[] = {
    // "Same as GGA": every row of the table from the GGA status box.
    {0, 0, "0", "N", "V"},
    {1, 0, "1", "A", "A"},
    {2, 0, "2", "D", "D"},
    {3, 0, "3", "P", "A"},
    {4, 0, "4", "R", "A"},
    {5, 0, "5", "F", "A"},
    {6, 0, "6", "E", "V"},
    {7, 0, "7", "M", "V"},
    {8, 0, "8", "S", "V"},
    // The RMC status box chooses its row (item minus one); quality stays GGA's.
    {1, 1, "1", "N", "V"},
    {1, 3, "1", "D", "D"},
    {0, 2, "0", "A", "A"},
    {1, 4, "1", "P", "A"},
    {8, 5, "8", "R", "A"},
    {1, 6, "1", "F", "A"},
    {1, 7, "1", "E", "V"},
    {1, 8, "1", "M", "V"},
    {2, 9, "2", "S", "V"},
    // GGA status typed over: nothing unless the RMC box selects a row.
    {-1, 0, "", "", ""},
    {9, 0, "", "", ""},
    {-1, 3, "", "D", "D"},
};

TEST(UpdateFixIndicators, FullTable) {
  for (const auto& c : IndicatorCases) {
    FixIndicators fix{"x", "x", "x"};
    UpdateFixIndicators(c.status, c.rmcStatus, fix);
    EXPECT_EQ(fix.GgaQuality, c.quality) << c.status << "/" << c.rmcStatus;
    EXPECT_EQ(fix.ModeIndicator, c.mode) << c.status << "/" << c.rmcStatus;
    EXPECT_EQ(fix.FixStatus, c.fixStatus) << c.status << "/" << c.rmcStatus;
  }
}

TEST(UpdateFixIndicators, RmcBoxTypedOverKeepsTheModeOnly) {
  FixIndicators fix;
  UpdateFixIndicators(4, 0, fix);
  for (int rmc : {-1, 10}) {
    FixIndicators f = fix;
    UpdateFixIndicators(2, rmc, f);
    EXPECT_EQ(f.GgaQuality, "2");
    EXPECT_EQ(f.ModeIndicator, "R");
    EXPECT_EQ(f.FixStatus, "");
  }
}

}  // namespace
}  // namespace fixcaster
