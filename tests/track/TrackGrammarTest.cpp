#include "track/TrackGrammar.h"

#include <gtest/gtest.h>

#include <cmath>
#include <locale>
#include <string>

namespace fixcaster {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Compares two results where NaN stands for "unusable": NaN matches NaN only.
void ExpectSame(double expected, double actual, double tolerance, const std::string& what) {
  if (std::isnan(expected)) {
    EXPECT_TRUE(std::isnan(actual)) << what << " gave " << actual;
  } else {
    EXPECT_NEAR(expected, actual, tolerance) << what;
  }
}

struct AngleCase {
  const char* text;
  double expected;
};

const AngleCase kAngleCases[] = {
    {"35 40 49.448", 35.68040222222222},
    {"139 46 8.793", 139.76910916666668},
    {"-35.5", -35.5},
    {"35.5S", -35.5},
    {"S35 30", -35.5},
    {"s35 30", -35.5},  // letters count in either case
    {"35\xCB\x9A"
     "30'S",
     -35.5},  // the degree sign (UTF-8) separates numbers
    {"35\xC2\xB0"
     "30'S",
     -35.5},           // and so does U+00B0
    {"35 -30", 35.5},  // a minus after a completed number is ignored
    {"35,30", 35.5},   // a comma separates, it is no decimal point
    {"W139 46", -139.76666666666667},
    {"S 35 30 N", 35.5},  // the last hemisphere letter wins
    {"+35", 35},
    {"abc", 0},  // no digits at all: 0, no error
    {"5.", 5},
    {".5", 0.5},
    {".", kNaN},
    {"1.2.3", kNaN},
    {"", kNaN},
    {"   ", kNaN},
    {"\t 12 \r\n", 12},
    {"NG 35.5", 35.5},  // the bad-cell marker reads as north and a separator
    {"NG 1.2.3", kNaN},
    {"35 30 36 99", 35.51},         // a fourth number has no effect
    {"35 30 36 1.2.3 7 8", 35.51},  // nor anything after it
    {"1e5", 15},                    // "E" is east and no exponent: the digits join
    {"35\xE3\x80\x80"
     "30",
     35.5},  // a non-ASCII space separates as well
};

TEST(ParseAngle, Table) {
  for (const AngleCase& c : kAngleCases) ExpectSame(c.expected, ParseAngle(c.text), 1e-12, c.text);
}

TEST(ParseAngle, ExactExamples) {
  EXPECT_EQ(ParseAngle("35 40 49.448"), 35.68040222222222);
  EXPECT_EQ(ParseAngle("139 46 8.793"), 139.76910916666668);
}

TEST(ParseAngle, HugeInputsGiveNaNOrNumbers) {
  const std::string manyDigits(1 << 20, '7');
  EXPECT_TRUE(std::isnan(ParseAngle(manyDigits)));  // beyond the double range
  EXPECT_EQ(ParseAngle("0." + manyDigits), 0.7777777777777778);
  EXPECT_EQ(ParseAngle(std::string(300, '0') + "12"), 12);
}

struct NumberCase {
  const char* text;
  double number;  // ParseNumber
  double orZero;  // ParseNumberOrZero
};

const NumberCase kNumberCases[] = {
    {"", 0, 0},
    {"   ", 0, 0},
    {" 7 ", 7, 7},
    {"+7", 7, 7},
    {"-7.25", -7.25, -7.25},
    {"5.", 5, 5},
    {".5", 0.5, 0.5},
    {"1e3", 1000, 1000},
    {"1E+3", 1000, 1000},
    {"-2.5e-1", -0.25, -0.25},
    {"12m", kNaN, 0},
    {".", kNaN, 0},
    {"1.2.3", kNaN, 0},
    {"1e", kNaN, 0},
    {"e5", kNaN, 0},
    {"+-1", kNaN, 0},
    {"1 2", kNaN, 0},
    {"1,5", kNaN, 0},
    {"NaN", kNaN, 0},
    {"inf", kNaN, 0},
    {"-infinity", kNaN, 0},
    {"0x10", kNaN, 0},
    {"1e308", 1e308, 1e308},
    {"1e309", kNaN, 0},  // beyond the double range
    {"-1e309", kNaN, 0},
    {"1e-400", 0, 0},  // too small: 0
    {"1e99999999999999999999", kNaN, 0},
    {"1e-99999999999999999999", 0, 0},
    {"NG 12", kNaN, 0},
};

TEST(ParseNumber, Table) {
  for (const NumberCase& c : kNumberCases) {
    ExpectSame(c.number, ParseNumber(c.text), 0, std::string("ParseNumber ") + c.text);
    ExpectSame(c.orZero, ParseNumberOrZero(c.text), 0, std::string("ParseNumberOrZero ") + c.text);
  }
}

TEST(ParseNumber, MegabytesOfDigits) {
  const std::string digits(2 << 20, '9');
  EXPECT_TRUE(std::isnan(ParseNumber(digits)));
  EXPECT_EQ(ParseNumber("0." + digits), 1.0);
  EXPECT_EQ(ParseNumber(std::string(2 << 20, '0') + "3"), 3.0);
  EXPECT_EQ(ParseNumber("1" + digits + "e-2097160"), 2e-8);
  EXPECT_EQ(ParseNumberOrZero(digits + "x"), 0);
}

// The decimal point stays "." whatever the process locale says.
struct CommaDecimal : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
};

TEST(ParseNumber, IgnoresTheGlobalLocale) {
  const std::locale old =
      std::locale::global(std::locale(std::locale::classic(), new CommaDecimal));
  const double number = ParseNumber("2.5");
  const double angle = ParseAngle("35,30");
  const std::string variation = FormatMagVariation(-7.25);
  std::locale::global(old);
  EXPECT_EQ(number, 2.5);
  EXPECT_EQ(angle, 35.5);
  EXPECT_EQ(variation, "7.2,W");
}

TEST(MarkBadCell, AddsOneMarker) {
  EXPECT_EQ(MarkBadCell("1.2.3"), "NG 1.2.3");
  EXPECT_EQ(MarkBadCell("NG 1.2.3"), "NG 1.2.3");
  EXPECT_EQ(MarkBadCell("NG1"), "NG NG1");
  EXPECT_EQ(MarkBadCell("  "), "NG   ");
  EXPECT_EQ(MarkBadCell(""), "NG ");
}

TEST(MagVariation, ParseAndFormat) {
  struct Case {
    const char* text;
    double value;
    const char* formatted;
  };
  const Case cases[] = {
      {"7.0,W", -7.0, "7.0,W"},  {"7.0", 7.0, "7.0,E"},
      {"-3.25", -3.25, "3.2,W"}, {"E 12.35", 12.35, "12.3,E"},
      {"0", 0, "0.0,E"},         {"w5", 5, "5.0,E"},  // lower-case w is no west
      {"x", 0, "0.0,E"},         {"1.2.3", 0, "0.0,E"},
      {"", kNaN, ","},
  };
  for (const Case& c : cases) {
    const double v = ParseMagVariation(c.text);
    ExpectSame(c.value, v, 0, c.text);
    EXPECT_EQ(FormatMagVariation(v), c.formatted) << c.text;
  }
  EXPECT_EQ(FormatMagVariation(0), "0.0,E");
  EXPECT_EQ(FormatMagVariation(0.05), "0.1,E");  // 0.05 is just above the half
  EXPECT_EQ(FormatMagVariation(-179.96), "180.0,W");
}

TEST(SpeedFactor, Units) {
  EXPECT_EQ(SpeedFactorOf(0), 0.5399568034557235);
  EXPECT_EQ(SpeedFactorOf(1), 0.8689762419006479);
  EXPECT_EQ(SpeedFactorOf(2), 1.0);
  EXPECT_FALSE(SpeedFactorOf(3).has_value());
  EXPECT_FALSE(SpeedFactorOf(-1).has_value());
}

// One filled row read into numbers: marks, values and range flags.
struct RowCase {
  const char* name;
  TrackTable::Row cells;
  TrackTable::Row cellsAfter;
  double lat, lon, alt, speed;  // NaN = unusable
  bool formatError, latRange, lonRange;
};

const RowCase kRowCases[] = {
    {"plain",
     {"35 40 49.448", "139 46 8.793", "3", "30"},
     {"35 40 49.448", "139 46 8.793", "3", "30"},
     35.68040222222222,
     139.76910916666668,
     3,
     16.198704103671705,
     false,
     false,
     false},
    {"negative speed",
     {"1", "2", "", "-30"},
     {"1", "2", "", "-30"},
     1,
     2,
     0,
     16.198704103671705,
     false,
     false,
     false},
    {"bad latitude",
     {"1.2.3", "2", " 7 ", ""},
     {"NG 1.2.3", "2", " 7 ", ""},
     kNaN,
     2,
     7,
     0,
     true,
     false,
     false},
    {"blank latitude",
     {"  ", "2", "", ""},
     {"NG   ", "2", "", ""},
     kNaN,
     2,
     0,
     0,
     true,
     false,
     false},
    {"bad altitude and speed",
     {"1", "2", "12m", "NG 12"},
     {"1", "2", "NG 12m", "NG 12"},
     1,
     2,
     kNaN,
     kNaN,
     true,
     false,
     false},
    {"still blank behind its marker",
     {"NG   ", "NG \t", "", ""},
     {"NG   ", "NG \t", "", ""},
     kNaN,
     kNaN,
     0,
     0,
     true,
     false,
     false},
    {"corrected behind marker",
     {"NG 35.5", "NG 1", "", ""},
     {"NG 35.5", "NG 1", "", ""},
     35.5,
     1,
     0,
     0,
     false,
     false,
     false},
    {"latitude 91", {"91", "2", "", ""}, {"91", "2", "", ""}, 91, 2, 0, 0, false, true, false},
    {"limits pass",
     {"90", "-180", "", ""},
     {"90", "-180", "", ""},
     90,
     -180,
     0,
     0,
     false,
     false,
     false},
    {"longitude beyond",
     {"-90", "180 0 1", "", ""},
     {"-90", "180 0 1", "", ""},
     -90,
     180.00027777777777,
     0,
     0,
     false,
     false,
     true},
    {"both beyond",
     {"S91", "W181", "", ""},
     {"S91", "W181", "", ""},
     -91,
     -181,
     0,
     0,
     false,
     true,
     true},
};

TEST(ReadTrackRow, Table) {
  for (const RowCase& c : kRowCases) {
    TrackTable table(6);
    for (int col = 1; col <= 4; ++col) table.SetCell(2, col, c.cells[col - 1]);
    const TrackRowValues v = ReadTrackRow(table, 2, KmhSpeedFactor, 1);
    ExpectSame(c.lat, v.Lat, 1e-12, std::string(c.name) + " lat");
    ExpectSame(c.lon, v.Lon, 1e-12, std::string(c.name) + " lon");
    ExpectSame(c.alt, v.Alt, 0, std::string(c.name) + " alt");
    ExpectSame(c.speed, v.Speed, 1e-15, std::string(c.name) + " speed");
    EXPECT_EQ(v.FormatError, c.formatError) << c.name;
    EXPECT_EQ(v.LatOutOfRange, c.latRange) << c.name;
    EXPECT_EQ(v.LonOutOfRange, c.lonRange) << c.name;
    for (int col = 1; col <= 4; ++col)
      EXPECT_EQ(table.Cell(2, col), c.cellsAfter[col - 1]) << c.name << " column " << col;
  }
}

TEST(ReadTrackRow, FactorsApply) {
  TrackTable table(6);
  table.SetCell(1, 1, "1");
  table.SetCell(1, 2, "2");
  table.SetCell(1, 3, "10");
  table.SetCell(1, 4, "-10");
  const TrackRowValues v = ReadTrackRow(table, 1, MphSpeedFactor, 2);
  EXPECT_EQ(v.Alt, 20);
  EXPECT_EQ(v.Speed, 10 * MphSpeedFactor);
}

}  // namespace
}  // namespace fixcaster
