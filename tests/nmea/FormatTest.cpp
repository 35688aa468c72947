#include "nmea/Format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <locale>
#include <sstream>
#include <string>

namespace fixcaster {
namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

struct ChecksumCase {
  const char* name;
  const char* body;
  const char* framed;
};

const ChecksumCase ChecksumCases[] = {
    {"computed", "$GPHDT,25.3,T", "$GPHDT,25.3,T*01"},
    {"trailing star removed", "$GPGSV,3,1,12*", "$GPGSV,3,1,12"},
    {"own checksum kept even when wrong", "$GPGSV,3,1,12*47", "$GPGSV,3,1,12*47"},
    {"star inside kept unchanged", "$GP*GSV,1", "$GP*GSV,1"},
    {"dollar only", "$", "$*00"},
    {"high bytes use their low 8 bits", "$\xC3\xA9", "$\xC3\xA9*6A"},
    {"factory GSA of preset 1", "$GPGSA,A,3,07,25,16,01,18,22,26,30,08,47,24,06,1.32,0.78,1.07",
     "$GPGSA,A,3,07,25,16,01,18,22,26,30,08,47,24,06,1.32,0.78,1.07*08"},
};

TEST(AppendChecksum, FramesOrPassesLiteralLines) {
  for (const auto& c : ChecksumCases) {
    EXPECT_EQ(AppendChecksum(c.body), c.framed) << c.name;
  }
}

struct LatLonCase {
  double value;
  int width;
  int decimals;
  const char* text;
};

const LatLonCase LatLonCases[] = {
    {35.68040222, 4, 6, "3540.824133"},
    {139.76910917, 5, 6, "13946.146550"},
    {-0.5, 4, 6, "0030.000000"},
    {-0.5, 5, 6, "00030.000000"},
    {35.68040222, 4, 1, "3540.8"},
    {35.68040222, 4, 8, "3540.82413320"},
    {5.0 + 5.123456 / 60, 4, 6, "0505.123456"},
    {0.0, 4, 6, "0000.000000"},
    {-179.999, 5, 4, "17959.9400"},
    // Minutes that round up to 60 carry into the degrees.
    {35.0 + 59.9999999 / 60, 4, 6, "3600.000000"},
    {179.99999999999, 5, 4, "18000.0000"},
    {-9.99999999, 4, 2, "1000.00"},
    // Decimals outside 1..8 are clamped, never looping or overrunning.
    {35.68040222, 4, 0, "3540.8"},
    {35.68040222, 4, -3, "3540.8"},
    {35.68040222, 4, 12, "3540.82413320"},
};

TEST(FormatLatLon, FormatsDegreesAndMinutes) {
  for (const auto& c : LatLonCases) {
    EXPECT_EQ(FormatLatLon(c.value, c.width, c.decimals), c.text)
        << c.value << " width " << c.width << " decimals " << c.decimals;
  }
}

TEST(FormatLatLon, DecimalsTextAndUnformattableValues) {
  EXPECT_EQ(FormatLatLon(35.68040222, 4, std::string_view("6")), "3540.824133");
  EXPECT_EQ(FormatLatLon(35.68040222, 4, std::string_view("0")), "3540.8");
  EXPECT_EQ(FormatLatLon(35.68040222, 4, std::string_view("")), "");
  EXPECT_EQ(FormatLatLon(35.68040222, 4, std::string_view("six")), "");
  EXPECT_EQ(FormatLatLon(35.68040222, 4, std::string_view("6 ")), "");
  EXPECT_EQ(FormatLatLon(NaN, 4, 6), "");
  EXPECT_EQ(FormatLatLon(std::numeric_limits<double>::infinity(), 5, 6), "");
}

TEST(Hemisphere, LettersAndNaN) {
  EXPECT_EQ(HemiNS(-0.5), "S");
  EXPECT_EQ(HemiNS(0.0), "N");
  EXPECT_EQ(HemiNS(-0.0), "N");
  EXPECT_EQ(HemiNS(NaN), "");
  EXPECT_EQ(HemiEW(-1e-9), "W");
  EXPECT_EQ(HemiEW(-0.0), "E");
  EXPECT_EQ(HemiEW(139.7), "E");
  EXPECT_EQ(HemiEW(NaN), "");
}

double At(int y, int mo, int d, int h, int mi, int s, int ms) {
  return EncodeDateTime({y, mo, d, h, mi, s, ms});
}

struct UtcCase {
  double dateTime;
  const char* pattern;
  int decimals;
  const char* text;
};

const UtcCase UtcCases[] = {
    {At(2024, 5, 6, 1, 23, 45, 678), "hhnnss", 0, "012345"},
    {At(2024, 5, 6, 1, 23, 45, 678), "hhnnss", 1, "012345.6"},
    {At(2024, 5, 6, 1, 23, 45, 678), "hhnnss", 2, "012345.67"},
    {At(2024, 5, 6, 1, 23, 45, 678), "hhnnss", 3, "012345.678"},
    {At(2024, 5, 6, 1, 23, 45, 678), "hhnnss", 7, "012345.678"},
    {At(2024, 5, 6, 1, 23, 45, 678), "hhnnss", -1, "012345"},
    {At(2024, 5, 6, 1, 23, 45, 678), "hh:nn:ss", 2, "01:23:45.67"},
    {At(2024, 5, 6, 1, 23, 45, 678), "DDMMYY", 0, "060524"},
    {At(2000, 1, 1, 0, 0, 0, 0), "DDMMYY", 0, "010100"},
    {At(1999, 12, 31, 23, 59, 59, 999), "hhnnss DD.MM.YYYY", 3, "235959 31.12.1999.999"},
    {0.0, "YYYY-MM-DD hh:nn:ss", 0, "1899-12-30 00:00:00"},
    {0.25, "hhnnss", 1, "060000.0"},
    // A clock reading a hair below a whole millisecond still gives that millisecond.
    {At(2024, 2, 29, 12, 0, 0, 0) - 1e-10, "DDMMYY hhnnss", 3, "290224 120000.000"},
    // The rounding to the millisecond may carry into the next day.
    {At(2024, 12, 31, 0, 0, 0, 0) + (86400000 - 0.4) / 86400000.0, "DDMMYY hhnnss", 3,
     "010125 000000.000"},
    {NaN, "hhnnss", 2, ""},
    {1e9, "hhnnss", 0, ""},
};

TEST(FormatUtc, PatternsAndTruncatedFraction) {
  for (const auto& c : UtcCases) {
    EXPECT_EQ(FormatUtc(c.dateTime, c.pattern, c.decimals), c.text)
        << c.pattern << " decimals " << c.decimals;
  }
}

TEST(DateTime, EncodeDecodeRoundTrip) {
  const DateTimeParts cases[] = {{1, 1, 1, 0, 0, 0, 0},
                                 {1899, 12, 29, 6, 0, 0, 0},
                                 {1970, 1, 1, 0, 0, 0, 1},
                                 {2024, 2, 29, 23, 59, 59, 999},
                                 {9999, 12, 31, 12, 30, 15, 500}};
  for (const auto& p : cases) {
    DateTimeParts back;
    ASSERT_TRUE(DecodeDateTime(EncodeDateTime(p), back)) << p.Year;
    EXPECT_EQ(back.Year, p.Year);
    EXPECT_EQ(back.Month, p.Month);
    EXPECT_EQ(back.Day, p.Day);
    EXPECT_EQ(back.Hour, p.Hour);
    EXPECT_EQ(back.Minute, p.Minute);
    EXPECT_EQ(back.Second, p.Second);
    EXPECT_EQ(back.Millisecond, p.Millisecond) << p.Year;
  }
  EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 30, 0, 0, 0, 0}), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime({1970, 1, 1, 0, 0, 0, 0}), 25569.0);
}

struct OneDecimalCase {
  double value;
  const char* text;
};

const OneDecimalCase OneDecimalCases[] = {
    {0.0, "0.0"},
    {10.8, "10.8"},
    {25.3, "25.3"},
    {3.0, "3.0"},
    {-50.0, "-50.0"},
    {0.05, "0.1"},
    {0.25, "0.2"},
    {359.96, "360.0"},
    {20.0016, "20.0"},
    {-0.04, "-0.0"},
    {12345.67, "12345.7"},
    {NaN, ""},
    {std::numeric_limits<double>::infinity(), ""},
};

TEST(FormatOneDecimal, RoundsToOneDecimal) {
  for (const auto& c : OneDecimalCases) {
    EXPECT_EQ(FormatOneDecimal(c.value), c.text) << c.value;
  }
}

TEST(ZeroPadAndCountText, PadsWithOneZeroOnly) {
  EXPECT_EQ(ZeroPad(-9, 2), "-09");
  EXPECT_EQ(ZeroPad(5, 4), "05");
  EXPECT_EQ(ZeroPad(2024, 4), "2024");
  EXPECT_EQ(ZeroPad(12, 2), "12");
  EXPECT_EQ(ZeroPad(0, 2), "00");
  EXPECT_EQ(ZeroPad(-30, 2), "-30");
  EXPECT_EQ(ZeroPad(std::numeric_limits<long long>::min(), 2), "-9223372036854775808");
  EXPECT_EQ(CountText(0), "");
  EXPECT_EQ(CountText(13), "13");
  EXPECT_EQ(CountText(-1), "-1");
}

std::string Dms(const char* deg, const char* min, const char* sec, char hemi) {
  return std::string(deg) + std::string(DegreeSign) + min + "'" + sec + "\" " + hemi;
}

struct DmsCase {
  double value;
  int decimals;
  const char* hemi;
  std::string text;
};

TEST(FormatDms, DisplayForm) {
  const DmsCase cases[] = {
      {35.6804022, 3, "NS", Dms(" 35", "40", "49.448", 'N')},
      {-0.5, 3, "EW", Dms("  0", "30", "00.000", 'W')},
      {139.7691091, 3, "EW", Dms("139", "46", "08.793", 'E')},
      {35.0 + 41.0 / 60 + 0.977 / 3600, 3, "NS", Dms(" 35", "41", "00.977", 'N')},
      {-33.5 - 5.5 / 3600, 1, "NS", Dms(" 33", "30", "05.5", 'S')},
      // Seconds that round to 60 are shown as the largest value below it.
      {10.0 + 59.0 / 60 + 59.9996 / 3600, 3, "NS", Dms(" 10", "59", "59.999", 'N')},
      {10.0 + 59.0 / 60 + 59.6 / 3600, 0, "NS", Dms(" 10", "59", "59", 'N')},
      {1.0 + 5.0 / 3600, 0, "EW", Dms("  1", "00", "05", 'E')},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatDms(c.value, c.decimals, c.hemi), c.text) << c.value;
  }
  EXPECT_EQ(FormatDms(NaN, 3, "NS"), "");
  EXPECT_EQ(DegreeSign, "\u02DA");
}

// A global C++ locale whose numbers use "," must not leak into any field.
struct CommaDecimal : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

class CommaLocale : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::locale::global(std::locale(std::locale::classic(), new CommaDecimal));
  }
  void TearDown() override { std::locale::global(previous_); }

 private:
  std::locale previous_;
};

TEST_F(CommaLocale, NumbersKeepThePoint) {
  // The locale is really in force for locale-aware formatting.
  std::ostringstream probe;
  probe << 1234.5;
  ASSERT_EQ(probe.str(), "1.234,5");
  EXPECT_EQ(FormatOneDecimal(12345.67), "12345.7");
  EXPECT_EQ(FormatLatLon(139.76910917, 5, 6), "13946.146550");
  EXPECT_EQ(FormatUtc(At(2024, 5, 6, 1, 23, 45, 678), "hhnnss", 2), "012345.67");
  EXPECT_EQ(FormatDms(35.6804022, 3, "NS"), Dms(" 35", "40", "49.448", 'N'));
  EXPECT_EQ(ZeroPad(2024, 4), "2024");
  EXPECT_EQ(CountText(1234), "1234");
}

}  // namespace
}  // namespace fixcaster
