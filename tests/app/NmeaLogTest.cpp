#include "app/NmeaLog.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "nmea/Format.h"
#include "track/IsoTime.h"

namespace fixcaster {
namespace {

constexpr int64_t kSec = MicrosPerSecond;

// A sentence with its right checksum, framed by the sentence code's own routine.
std::string S(const std::string& body) {
  return AppendChecksum(body);
}

// The same with a checksum off by `bits`.
std::string Bad(const std::string& body, uint8_t bits = 0x11) {
  const std::string good = AppendChecksum(body);
  const int sum = std::stoi(good.substr(good.size() - 2), nullptr, 16) ^ bits;
  char hex[3];
  std::snprintf(hex, sizeof hex, "%02X", sum);
  return body + "*" + hex;
}

TEST(NmeaLogRead, LineFormats) {
  const std::string rmc = S("$GPRMC,120000.00,A,3540.824133,N,13946.146550,E,10.8,25.3,010524,,,A");
  // 2024-05-01T12:00:00Z
  constexpr int64_t noon = (19844LL * 86400 + 12 * 3600) * kSec;
  struct Case {
    const char* name;
    std::string line;
    std::optional<int64_t> prefix;
    bool prefixHasDate;
  };
  const Case cases[] = {
      {"Bare", rmc, std::nullopt, false},
      {"TrailingBlanks", rmc + " \t", std::nullopt, false},
      {"IsoPrefix", "2024-05-01T12:00:00.123Z " + rmc, noon + 123000, true},
      {"IsoWithZone", "2024-05-01T21:00:00+09:00\t" + rmc, noon, true},
      {"DateTimeColon", "2024-05-01 12:00:00.5: " + rmc, noon + kSec / 2, true},
      {"SlashedDate", "2024/05/01 12:00:00 " + rmc, noon, true},
      {"TimeOfDayBracketed", "[12:00:01.250] " + rmc, (12 * 3600 + 1) * kSec + 250000, false},
      {"TimeOfDayTab", "12:00:01\t" + rmc, (12 * 3600 + 1) * kSec, false},
      {"UnixSeconds", "1714564800.25 " + rmc, noon + kSec / 4, true},
      {"UnreadablePrefix", "GPS1> " + rmc, std::nullopt, false},
  };
  for (const Case& c : cases) {
    const NmeaLog log = ParseNmeaLog(c.line + "\r\n");
    ASSERT_EQ(log.Sentences.size(), 1u) << c.name;
    EXPECT_EQ(log.SkippedLines, 0) << c.name;
    const LogSentence& s = log.Sentences[0];
    EXPECT_EQ(s.Text, rmc) << c.name;
    EXPECT_EQ(s.Type, "RMC") << c.name;
    EXPECT_EQ(s.Checksum, ChecksumState::Valid) << c.name;
    EXPECT_EQ(s.PrefixTime, c.prefix) << c.name;
    EXPECT_EQ(s.PrefixHasDate, c.prefixHasDate) << c.name;
  }
}

TEST(NmeaLogRead, SentencesChecksumsAndSkippedLines) {
  const std::string lines[] = {
      S("$GPGGA,120000,3540.8,N,13946.1,E,1,08,0.9,3.0,M,0.0,M,,"),  // valid
      Bad("$GPVTG,25.3,T,,,10.8,N,20.0,K"),                          // wrong
      "$GPHDT,25.3,T*01",                                            // right
      "$GPHDT,25.3,T*0a",                    // lower case digits that do not match
      "$GPGLL,3540.8,N,13946.1,E,120000,A",  // absent
      "$GPZDA,120000,01,05,2024,,*6",        // one digit: unreadable
      S("!AIVDM,1,1,,A,13u?etPv2;0n:dDPwUM1U1Cb069D,0"),
      S("$PGRME,15.0,M,45.0,M,25.0,M"),
      "hello",                 // no sentence
      "$G,1*00",               // address too short
      "$gprmc,1",              // lower case address
      "$GPGSA,A,3\x01,04*00",  // control character
      "   ",                   // blank: neither a sentence nor counted
  };
  std::string file;
  for (const std::string& l : lines) file += l + "\n";
  const NmeaLog log = ParseNmeaLog(file);
  EXPECT_EQ(log.Lines, 12);
  EXPECT_EQ(log.SkippedLines, 4);
  ASSERT_EQ(log.Sentences.size(), 8u);
  const std::pair<const char*, ChecksumState> expected[] = {
      {"GGA", ChecksumState::Valid},  {"VTG", ChecksumState::Invalid},
      {"HDT", ChecksumState::Valid},  {"HDT", ChecksumState::Invalid},
      {"GLL", ChecksumState::Absent}, {"ZDA", ChecksumState::Invalid},
      {"VDM", ChecksumState::Valid},  {"PGRME", ChecksumState::Valid},
  };
  for (size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(log.Sentences[i].Type, expected[i].first) << i;
    EXPECT_EQ(log.Sentences[i].Checksum, expected[i].second) << i;
  }
  // The same bytes with CR or CR LF line ends read the same.
  for (const char* end : {"\r", "\r\n"}) {
    std::string other;
    for (const std::string& l : lines) other += l + end;
    const NmeaLog o = ParseNmeaLog(other);
    EXPECT_EQ(o.Sentences.size(), 8u) << end;
    EXPECT_EQ(o.SkippedLines, 4) << end;
  }
  // Lower-case checksum digits that match are right.
  std::string lower = S("$GPHDT,0.8,T");
  for (size_t i = lower.size() - 2; i < lower.size(); ++i)
    lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[i])));
  ASSERT_NE(lower, S("$GPHDT,0.8,T"));  // the digits have a letter to lower
  EXPECT_EQ(ParseNmeaLog(lower).Sentences.at(0).Checksum, ChecksumState::Valid) << lower;
}

// One receiver cycle: RMC, GGA, GSA, GSV, VTG at `time` on `date`.
std::string Cycle(const std::string& time, const std::string& date = "010524") {
  return S("$GPRMC," + time + ",A,3540.8241,N,13946.1465,E,10.8,25.3," + date + ",,,A") + "\r\n" +
         S("$GPGGA," + time + ",3540.8241,N,13946.1465,E,1,08,0.9,3.0,M,0.0,M,,") + "\r\n" +
         S("$GPGSA,A,3,04,05,09,12,,,,,,,,,2.5,1.3,2.1") + "\r\n" +
         S("$GPGSV,1,1,04,04,45,120,40,05,30,220,35,09,60,010,45,12,15,300,30") + "\r\n" +
         S("$GPVTG,25.3,T,,,10.8,N,20.0,K,A") + "\r\n";
}

std::vector<int64_t> Offsets(const NmeaLog& log) {
  std::vector<int64_t> v;
  for (const LogEpoch& e : log.Epochs) v.push_back(e.Offset);
  return v;
}

TEST(NmeaLogEpochs, TimeFieldsSplitAndSpace) {
  const NmeaLog log = ParseNmeaLog(Cycle("120000.00") + Cycle("120001.00") + Cycle("120001.20") +
                                   Cycle("120003.20"));
  ASSERT_EQ(log.Epochs.size(), 4u);
  for (const LogEpoch& e : log.Epochs) EXPECT_EQ(e.Count, 5u);
  EXPECT_EQ(log.Epochs[1].First, 5u);
  EXPECT_EQ(Offsets(log), (std::vector<int64_t>{0, kSec, kSec + 200000, 3 * kSec + 200000}));
  EXPECT_TRUE(log.HasDate);
  EXPECT_EQ(log.Epochs[0].RecordedUtc, (19844LL * 86400 + 12 * 3600) * kSec);
}

TEST(NmeaLogEpochs, MidnightWithAndWithoutDates) {
  NmeaLog dated = ParseNmeaLog(Cycle("235959", "311224") + Cycle("000000", "010125"));
  EXPECT_EQ(Offsets(dated), (std::vector<int64_t>{0, kSec}));
  EXPECT_EQ(*dated.Epochs[1].RecordedUtc, DaysFromCivil(2025, 1, 1) * MicrosPerDay);

  // GGA only: no date anywhere, the day is carried across midnight.
  const std::string gga = "$GPGGA,%s,3540.8,N,13946.1,E,1,08,0.9,3.0,M,0.0,M,,";
  std::string file;
  for (const char* t : {"235958.5", "235959.5", "000000.5"}) {
    char body[128];
    std::snprintf(body, sizeof body, gga.c_str(), t);
    file += S(body) + "\n";
  }
  const NmeaLog undated = ParseNmeaLog(file);
  EXPECT_FALSE(undated.HasDate);
  EXPECT_EQ(Offsets(undated), (std::vector<int64_t>{0, kSec, 2 * kSec}));

  // A date known only later still dates the epochs before it, across midnight.
  const NmeaLog late = ParseNmeaLog(S("$GPGGA,235959,3540.8,N,13946.1,E,1,08,0.9,3.0,M,0.0,M,,") +
                                    "\n" + Cycle("000001", "020524"));
  EXPECT_EQ(*late.Epochs[0].RecordedUtc, DaysFromCivil(2024, 5, 1) * MicrosPerDay + 86399 * kSec);
}

TEST(NmeaLogEpochs, WithoutTimes) {
  const std::string noFix = S("$GPRMC,,V,,,,,,,,,,N") + "\n" + S("$GPGGA,,,,,,0,00,99.99,,,,,,") +
                            "\n" + S("$GPGSV,1,1,00") + "\n";
  // A receiver without a fix: a new epoch where RMC comes again; one second apart.
  NmeaLog log = ParseNmeaLog(noFix + noFix + Cycle("120010"));
  ASSERT_EQ(log.Epochs.size(), 3u);
  EXPECT_EQ(log.Epochs[0].Count, 3u);
  EXPECT_FALSE(log.Epochs[1].RecordedUtc);
  EXPECT_EQ(Offsets(log), (std::vector<int64_t>{0, kSec, 2 * kSec}));

  // Prefix times give the spacing where the sentences have none.
  log = ParseNmeaLog("12:00:00.000 " + S("$HCHDT,10.0,T") + "\n12:00:00.100 " + S("$HCHDT,11.0,T") +
                     "\n12:00:00.100 " + S("$GPVTG,,T,,,0.0,N,0.0,K,N") + "\n12:00:00.350 " +
                     S("$HCHDT,12.0,T") + "\n");
  ASSERT_EQ(log.Epochs.size(), 3u);
  EXPECT_EQ(log.Epochs[1].Count, 2u);
  EXPECT_EQ(Offsets(log), (std::vector<int64_t>{0, 100000, 350000}));

  // Neither: a new epoch where a type comes again, one second apart.
  log = ParseNmeaLog(S("$HCHDT,10.0,T") + "\n" + S("$GPVTG,,T,,,0.0,N,0.0,K,N") + "\n" +
                     S("$HCHDT,11.0,T") + "\n");
  EXPECT_EQ(Offsets(log), (std::vector<int64_t>{0, kSec}));

  // A time going backwards is sent without waiting, never before the one before it.
  log = ParseNmeaLog(Cycle("120005") + Cycle("120003") + Cycle("120004"));
  EXPECT_EQ(Offsets(log), (std::vector<int64_t>{0, 0, kSec}));
}

// The fields of a framed line (without CR LF and checksum).
std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> f;
  std::string body = line.substr(0, line.find('*'));
  size_t start = 0;
  for (;;) {
    const size_t comma = body.find(',', start);
    f.push_back(body.substr(start, comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return f;
}

bool ChecksumRight(const std::string& line) {
  const std::string l = line.substr(0, line.size() - 2);
  return l.size() > 3 && l[l.size() - 3] == '*' && AppendChecksum(l.substr(0, l.size() - 3)) == l;
}

TEST(NmeaLogRewrite, TimesDatesAndChecksums) {
  const std::string file =
      S("$GPRMC,235959.50,A,3540.8241,N,13946.1465,E,10.8,25.3,311224,,,A") + "\n" +
      S("$GPGGA,235959.50,3540.8241,N,13946.1465,E,1,08,0.9,3.0,M,0.0,M,,") + "\n" +
      S("$GNGNS,235959.5,3540.8241,N,13946.1465,E,A,08,0.9,3.0,0.0,,") + "\n" +
      Bad("$GPGLL,3540.8241,N,13946.1465,E,235959.500,A,A") + "\n" +
      "$GPZDA,235959.50,31,12,2024,," + "\n" +                      // no checksum
      "$GPVTG,25.3,T,,,10.8,N,20.0,K,A*ZZ" + "\n" +                 // unreadable checksum
      Bad("$GPGST,235959.50,1.0,1.0,1.0,0.0,1.0,1.0,1.0") + "\n" +  // a type we do not send
      "$PSRF,235959,x" + "\n";
  const NmeaLog log = ParseNmeaLog(file);
  ASSERT_EQ(log.Epochs.size(), 1u);
  // 2 minutes and 0.75 s later: across midnight into a new year.
  const int64_t shift = 120 * kSec + 750000;
  const std::vector<std::string> out = EpochLines(log, 0, shift, false);
  ASSERT_EQ(out.size(), 8u);
  for (const std::string& l : out) EXPECT_EQ(l.substr(l.size() - 2), "\r\n");

  EXPECT_EQ(Fields(out[0])[1], "000200.25");  // two decimals kept, cut
  EXPECT_EQ(Fields(out[0])[9], "010125");
  EXPECT_TRUE(ChecksumRight(out[0]));
  EXPECT_EQ(Fields(out[1])[1], "000200.25");
  EXPECT_TRUE(ChecksumRight(out[1]));
  EXPECT_EQ(Fields(out[2])[1], "000200.2");  // one decimal
  EXPECT_TRUE(ChecksumRight(out[2]));
  // A wrong checksum stays wrong, by the same bits.
  EXPECT_EQ(Fields(out[3])[5], "000200.250");
  EXPECT_FALSE(ChecksumRight(out[3]));
  const std::string gll = out[3].substr(0, out[3].size() - 5);
  EXPECT_EQ(std::stoi(out[3].substr(out[3].size() - 4, 2), nullptr, 16) ^ 0x11,
            std::stoi(AppendChecksum(gll).substr(gll.size() + 1), nullptr, 16));
  // ZDA: time, day, month and year; the absent checksum is added.
  EXPECT_EQ(Fields(out[4]),
            (std::vector<std::string>{"$GPZDA", "000200.25", "01", "01", "2025", "", ""}));
  EXPECT_TRUE(ChecksumRight(out[4]));
  EXPECT_EQ(out[5], "$GPVTG,25.3,T,,,10.8,N,20.0,K,A*ZZ\r\n");
  // Types we do not send go out exactly as recorded, their time too.
  EXPECT_EQ(out[6], Bad("$GPGST,235959.50,1.0,1.0,1.0,0.0,1.0,1.0,1.0") + "\r\n");
  EXPECT_EQ(out[7], "$PSRF,235959,x\r\n");

  // With the fix flag every wrong checksum is right, unknown types included; the
  // absent one of an unknown type stays absent.
  const std::vector<std::string> fixed = EpochLines(log, 0, shift, true);
  for (size_t i : {0, 1, 2, 3, 4, 5, 6}) EXPECT_TRUE(ChecksumRight(fixed[i])) << fixed[i];
  EXPECT_EQ(Fields(fixed[6])[1], "235959.50");
  EXPECT_EQ(fixed[7], "$PSRF,235959,x\r\n");
}

TEST(NmeaLogRewrite, WithoutADateOnlyTimesMove) {
  const NmeaLog log =
      ParseNmeaLog(S("$GPGGA,120000,3540.8,N,13946.1,E,1,08,0.9,3.0,M,0.0,M,,") + "\n" +
                   S("$GPRMC,120000,A,3540.8,N,13946.1,E,1.0,2.0,,,,A") + "\n");
  ASSERT_FALSE(log.HasDate);
  const std::vector<std::string> out = EpochLines(log, 0, 3600 * kSec + 1500000, false);
  EXPECT_EQ(Fields(out[0])[1], "130001");
  EXPECT_EQ(Fields(out[1])[1], "130001");
  EXPECT_EQ(Fields(out[1])[9], "");
  EXPECT_TRUE(ChecksumRight(out[1]));
}

TEST(NmeaLogTrack, PositionsSpeedsAndAltitudes) {
  const std::string file =
      Cycle("120000") +                                                 // RMC and GGA
      S("$GPRMC,120001,V,3540.9,N,13946.2,E,0.0,,010524,,,N") + "\n" +  // void: GGA used
      S("$GPGGA,120001,3541.0000,S,13947.0000,W,2,08,0.9,-12.5,M,0.0,M,,") + "\n" +
      S("$GPGGA,120002,3541.0,N,13947.0,E,0,00,,,M,,M,,") + "\n";  // no fix: nothing
  const std::vector<TrackPoint> points = LogTrackPoints(ParseNmeaLog(file));
  ASSERT_EQ(points.size(), 2u);
  EXPECT_NEAR(points[0].Lat, 35 + 40.8241 / 60, 1e-12);
  EXPECT_NEAR(points[0].Lon, 139 + 46.1465 / 60, 1e-12);
  EXPECT_EQ(points[0].SpeedKnots, 10.8);
  EXPECT_EQ(points[0].Ele, 3.0);
  EXPECT_EQ(points[1].Lat, -(35 + 41.0 / 60));
  EXPECT_EQ(points[1].Lon, -(139 + 47.0 / 60));
  EXPECT_EQ(points[1].Ele, -12.5);
  EXPECT_TRUE(std::isnan(points[1].SpeedKnots));
  EXPECT_EQ(points[1].Time - points[0].Time, 1.0);
}

}  // namespace
}  // namespace fixcaster
