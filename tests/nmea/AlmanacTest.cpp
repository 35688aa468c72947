#include "nmea/Almanac.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

namespace fixcaster {
namespace {

constexpr double Pi = std::numbers::pi;

// Two records as the YUMA files of the US Coast Guard lay them out (values made up
// for the test), CR LF line ends.
const char* const Yuma =
    "******** Week 253 almanac for PRN-05 ********\r\n"
    "ID:                         05\r\n"
    "Health:                     000\r\n"
    "Eccentricity:               0.5748271942E-002\r\n"
    "Time of Applicability(s):  405504.0000\r\n"
    "Orbital Inclination(rad):   0.9689071178\r\n"
    "Rate of Right Ascen(r/s):  -0.7817468084E-008\r\n"
    "SQRT(A)  (m 1/2):           5153.643555\r\n"
    "Right Ascen at Week(rad):  -0.1118829560E+001\r\n"
    "Argument of Perigee(rad):   0.936217666\r\n"
    "Mean Anom(rad):            -0.2374286652E+001\r\n"
    "Af0(s):                    -0.1430511475E-004\r\n"
    "Af1(s/s):                   0.3637978807E-011\r\n"
    "week:                        253\r\n"
    "\r\n"
    "******** Week 253 almanac for PRN-02 ********\r\n"
    "ID:                         02\r\n"
    "Health:                     063\r\n"
    "Eccentricity:               0.1775026321E-001\r\n"
    "Time of Applicability(s):  405504.0000\r\n"
    "Orbital Inclination(rad):   0.9660933018\r\n"
    "Rate of Right Ascen(r/s):  -0.7589612655E-008\r\n"
    "SQRT(A)  (m 1/2):           5153.577637\r\n"
    "Right Ascen at Week(rad):   0.2022358298E+001\r\n"
    "Argument of Perigee(rad):  -1.247632742\r\n"
    "Mean Anom(rad):             0.1290588379E+001\r\n"
    "Af0(s):                    -0.5435943604E-003\r\n"
    "Af1(s/s):                   0.0000000000E+000\r\n"
    "week:                        253\r\n";

// The SEM layout: count and name, week and reference time, then per satellite PRN,
// SVN, URA, three lines of orbit and clock in semicircles, health, configuration.
const char* const Sem =
    "2 CURRENT.ALM\n"
    "253 405504\n"
    "\n"
    "1\n"
    "63\n"
    "0\n"
    "1.22146606445313E-02  8.48007202148438E-03 -2.46939948503859E-09\n"
    "5.15361669921875E+03 -3.57656478881836E-01  2.92226791381836E-01\n"
    "-7.62346029281616E-01 -4.80651855468750E-05 -7.27595761418343E-12\n"
    "0\n"
    "11\n"
    "\n"
    "3\n"
    "69\n"
    "0\n"
    "4.04167175292969E-03  1.58691406250000E-02 -2.51577299786732E-09\n"
    "5.15367773437500E+03  2.97474861145020E-01  2.17323303222656E-01\n"
    "3.79718542098999E-01  5.34057617187500E-05  0.00000000000000E+00\n"
    "0\n"
    "11\n";

TEST(AlmanacReaders, YumaRecordsInRadians) {
  const AlmanacResult r = ReadAlmanac(Yuma);
  ASSERT_TRUE(r.Ok()) << AlmanacErrorMessage(r.Error);
  ASSERT_EQ(r.Value.Records.size(), 2u);
  EXPECT_EQ(r.Value.WeekModulus, 1024);
  const AlmanacRecord& a = r.Value.Records[0];  // sorted by number
  EXPECT_EQ(a.Prn, 2);
  EXPECT_EQ(a.Health, 63);
  EXPECT_DOUBLE_EQ(a.Eccentricity, 0.1775026321E-001);
  EXPECT_DOUBLE_EQ(a.Toa, 405504);
  EXPECT_DOUBLE_EQ(a.Inclination, 0.9660933018);
  EXPECT_DOUBLE_EQ(a.OmegaDot, -0.7589612655E-008);
  EXPECT_DOUBLE_EQ(a.SqrtA, 5153.577637);
  EXPECT_DOUBLE_EQ(a.Omega0, 0.2022358298E+001);
  EXPECT_DOUBLE_EQ(a.ArgumentOfPerigee, -1.247632742);
  EXPECT_DOUBLE_EQ(a.MeanAnomaly, 0.1290588379E+001);
  EXPECT_DOUBLE_EQ(a.Af0, -0.5435943604E-003);
  EXPECT_EQ(a.Week, 253);
  EXPECT_EQ(r.Value.Records[1].Prn, 5);
  EXPECT_EQ(r.Value.Records[1].Health, 0);
}

TEST(AlmanacReaders, SemRecordsFromSemicircles) {
  const AlmanacResult r = ReadAlmanac(Sem);
  ASSERT_TRUE(r.Ok()) << AlmanacErrorMessage(r.Error);
  ASSERT_EQ(r.Value.Records.size(), 2u);
  const AlmanacRecord& a = r.Value.Records[0];
  EXPECT_EQ(a.Prn, 1);
  EXPECT_EQ(a.Week, 253);
  EXPECT_DOUBLE_EQ(a.Toa, 405504);
  EXPECT_DOUBLE_EQ(a.Eccentricity, 1.22146606445313E-02);
  // The inclination is an offset from 0.30 semicircles (54 degrees).
  EXPECT_DOUBLE_EQ(a.Inclination, (0.30 + 8.48007202148438E-03) * Pi);
  EXPECT_DOUBLE_EQ(a.OmegaDot, -2.46939948503859E-09 * Pi);
  EXPECT_DOUBLE_EQ(a.SqrtA, 5153.61669921875);
  EXPECT_DOUBLE_EQ(a.Omega0, -3.57656478881836E-01 * Pi);
  EXPECT_DOUBLE_EQ(a.ArgumentOfPerigee, 2.92226791381836E-01 * Pi);
  EXPECT_DOUBLE_EQ(a.MeanAnomaly, -7.62346029281616E-01 * Pi);
  EXPECT_DOUBLE_EQ(a.Af1, -7.27595761418343E-12);
  EXPECT_EQ(a.Health, 0);
  EXPECT_EQ(r.Value.Records[1].Prn, 3);
}

TEST(AlmanacReaders, FullWeeksAndOtherSystemsNumbers) {
  std::string full = Sem;
  full.replace(full.find("253 "), 4, "2301 ");
  EXPECT_EQ(ReadSem(full).Value.WeekModulus, 0);
  // PRN 40 is no GPS satellite, but a BeiDou number.
  std::string beidou = Yuma;
  beidou.replace(beidou.find("05\r\n"), 2, "40");
  EXPECT_EQ(ReadYuma(beidou).Error.Code, AlmanacErrorCode::NumberOutOfRange);
  EXPECT_TRUE(ReadYuma(beidou, GnssSystem::BeiDou).Ok());
}

// A copy of `base` with its first `from` replaced by `to`.
std::string With(std::string base, const std::string& from, const std::string& to) {
  base.replace(base.find(from), from.size(), to);
  return base;
}

struct ErrorCase {
  const char* name;
  std::string text;
  AlmanacErrorCode code;
  int line;
  const char* message;
};

TEST(AlmanacReaders, MalformedFilesNameTheLine) {
  const std::string yuma = Yuma, sem = Sem;
  const ErrorCase cases[] = {
      {"YUMA number with a typo", With(yuma, "0.9689071178", "0.96x9"), AlmanacErrorCode::BadNumber,
       6, "line 6: \"0.96x9\" is not a usable number"},
      {"YUMA record without its mean anomaly",
       With(yuma, "Mean Anom(rad):            -0.2374286652E+001\r\n", ""),
       AlmanacErrorCode::MissingValue, 1, "line 1: the record has no Mean Anom"},
      {"YUMA value given twice",
       With(yuma, "Af0(s):                    -0.1430511475E-004", "Af1(s/s): 0"),
       AlmanacErrorCode::RepeatedValue, 13, "line 13: Af1 is given twice in one record"},
      {"YUMA stray line", With(yuma, "\r\n\r\n", "\r\nsome note\r\n"),
       AlmanacErrorCode::UnexpectedLine, 15, "line 15: unexpected text \"some note\""},
      {"YUMA satellite twice", With(yuma, "ID:                         02", "ID: 5"),
       AlmanacErrorCode::DuplicateNumber, 16, "line 16: a second record for satellite 5"},
      {"YUMA eccentricity of 1", With(yuma, "0.5748271942E-002", "1.0"),
       AlmanacErrorCode::ValueOutOfRange, 1, "line 1: the eccentricity is out of range"},
      {"YUMA orbit inside the Earth", With(yuma, "5153.643555", "2000"),
       AlmanacErrorCode::ValueOutOfRange, 1, "line 1: the semi-major axis is out of range"},
      {"YUMA whole number with decimals",
       With(yuma, "week:                        253", "week: 253.5"), AlmanacErrorCode::BadNumber,
       14, "line 14: \"253.5\" is not a usable number"},
      {"SEM header count", With(sem, "2 CURRENT", "3 CURRENT"), AlmanacErrorCode::RecordCount, 1,
       "line 1: the header announces 3 records, the file holds 2"},
      {"SEM file cut inside a record", sem.substr(0, sem.rfind("0\n11\n")),
       AlmanacErrorCode::MissingValue, 18, "line 18: the record has no health"},
      {"SEM number with a typo", With(sem, "5.15367773437500E+03", "5.1536777343750OE+03"),
       AlmanacErrorCode::BadNumber, 17, "line 17: \"5.1536777343750OE+03\" is not a usable number"},
      {"SEM PRN 0", With(sem, "\n3\n69", "\n0\n69"), AlmanacErrorCode::NumberOutOfRange, 13,
       "line 13: satellite number 0 is out of range"},
      {"neither format", "<?xml version=\"1.0\"?>\n", AlmanacErrorCode::UnknownFormat, 1,
       "line 1: not a YUMA or SEM almanac: \"<?xml version=\"1.0\"?>\""},
      {"only blank lines", "\n  \n", AlmanacErrorCode::Empty, 0, "the almanac holds no satellite"},
      {"SEM header and no record", "0 EMPTY.ALM\n253 405504\n", AlmanacErrorCode::Empty, 0,
       "the almanac holds no satellite"},
  };
  for (const ErrorCase& c : cases) {
    const AlmanacResult r = ReadAlmanac(c.text);
    EXPECT_EQ(r.Error.Code, c.code) << c.name;
    EXPECT_EQ(r.Error.Line, c.line) << c.name;
    EXPECT_EQ(AlmanacErrorMessage(r.Error), c.message) << c.name;
    EXPECT_TRUE(r.Value.Records.empty()) << c.name;
  }
}

}  // namespace
}  // namespace fixcaster
