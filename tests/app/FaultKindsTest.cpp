#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/FaultEffects.h"
#include "app/Faults.h"
#include "app/FixPoint.h"
#include "nmea/Format.h"
#include "nmea/Presets.h"
#include "nmea/Sentences.h"
#include "nmea/Sky.h"
#include "nmea/SkySentences.h"
#include "output/engine_fakes.h"
#include "track/Geodesic.h"

namespace fixcaster {
namespace {

using enginetest::Parse;
using enginetest::Parsed;

// A receiver that composes each tick the way the output cycle is to: the true fix
// in, the faults of the moment on the fix, the sky, the fields and the lines, the
// framed lines (with their CR LF) out. Time comes from a fake clock, one second a
// tick, counted from the start of the run.
class Receiver {
 public:
  explicit Receiver(bool computedSky = true) : computed_(computedSky) {
    options_.Systems = {true, true, true, true};
    settings_.NmeaVersion = "2.3";
    UpdateFixIndicators(2, 0, settings_.Fix);  // a differential fix
    settings_.DgpsAge[2] = "1.5";
    settings_.DgpsStation[2] = "0123";
    // Texts on the autonomous row too, which a lost correction must not bring out.
    settings_.DgpsAge[1] = "9.9";
    settings_.DgpsStation[1] = "0999";
    start_ = clock_.NowUtc();
  }

  FaultTimeline& Faults() { return faults_; }

  std::vector<std::string> Tick() {
    const double utc = clock_.NowUtc();
    const double seconds = std::round((utc - start_) * 86400 * 1000) / 1000;
    clock_.now += 1.0 / 86400;
    const FixPoint truth{35.68040222, 139.76910917, 40.0, 12.5, 33.0};
    const ActiveFaults active = faults_.ActiveAt(seconds);
    const FixPoint fix = ApplyFixFaults(active, truth);
    SentenceSettings s = settings_;
    Sky sky;
    if (computed_) {
      model_.Compute(utc, truth.Latitude, truth.Longitude, truth.Altitude, options_, sky);
      ApplySkyFaults(active, sky);
      s.Satellites = SkySummary(sky);
    } else {
      s.Satellites = AnalysePreset(gsa_, 1);
    }
    TickFields f = FormatTickFields(utc, fix.Latitude, fix.Longitude, fix.Altitude, 36.7, fix.Speed,
                                    fix.Course, 2, 6);
    ApplyTickFaults(active, f, s);
    std::vector<std::string> lines = {BuildRMC("$GP", f, s),  *BuildGGA("$GP", f, s),
                                      *BuildGNS("$GN", f, s), BuildGLL("$GP", f, s),
                                      BuildVTG("$GP", f, s),  BuildZDA("$GP", f, s),
                                      BuildHDT("$GP", f)};
    if (computed_) {
      AppendSkyGsa(sky, s.NmeaVersion, lines);
      AppendSkyGsv(sky, s.NmeaVersion, lines);
    } else {
      for (int i = 1; i <= PresetGsaLines; ++i)
        if (!gsa_[1][i].empty()) lines.push_back(AppendChecksum(gsa_[1][i]));
      for (int i = 1; i <= PresetGsvLines; ++i)
        if (!gsv_[1][i].empty()) lines.push_back(AppendChecksum(gsv_[1][i]));
    }
    for (std::string& line : lines) line += "\r\n";
    faults_.ApplyToLines(seconds, lines);
    return lines;
  }

 private:
  bool computed_;
  SkyModel model_;
  SkyOptions options_;
  SentenceSettings settings_;
  PresetGsaTable gsa_ = DefaultPresetGsa();
  PresetGsvTable gsv_ = DefaultPresetGsv();
  FaultTimeline faults_;
  enginetest::FakeClock clock_;
  double start_ = 0;
};

std::vector<Parsed> Of(const std::vector<std::string>& lines, const std::string& type) {
  std::vector<Parsed> out;
  for (const std::string& line : lines) {
    Parsed p = Parse(line);
    if (p.type == type) out.push_back(p);
  }
  return out;
}

Parsed One(const std::vector<std::string>& lines, const std::string& type) {
  const std::vector<Parsed> all = Of(lines, type);
  EXPECT_EQ(all.size(), 1u) << type;
  return all.empty() ? Parsed{} : all[0];
}

std::vector<std::string> Without(std::vector<std::string> lines, const std::string& type) {
  std::erase_if(lines, [&](const std::string& l) { return Parse(l).type == type; });
  return lines;
}

bool ChecksumRight(const std::string& line) {
  const size_t star = line.find('*');
  if (line.empty() || line[0] != '$' || star == std::string::npos) return false;
  unsigned x = 0;
  for (size_t i = 1; i < star; ++i) x ^= static_cast<unsigned char>(line[i]);
  char hex[3];
  std::snprintf(hex, sizeof hex, "%02X", x);
  return line.compare(star + 1, 2, hex) == 0;
}

double Number(const std::string& text) {
  return std::stod(text);
}

struct KindCase {
  const char* fault;
  // Checks a tick while the fault is active against the same tick without it.
  std::function<void(const std::vector<std::string>& with, const std::vector<std::string>& without)>
      check;
};

TEST(FaultKinds, EachKindOnAFakeClock) {
  const KindCase cases[] = {
      {"at=2 for=3 kind=fix_lost",
       [](const auto& with, const auto& without) {
         const Parsed gga = One(with, "GGA");
         for (int i : {2, 3, 4, 5, 7, 9, 11, 13, 14}) EXPECT_EQ(gga.fields[i], "") << "GGA " << i;
         EXPECT_EQ(gga.fields[1], One(without, "GGA").fields[1]);  // the time stays
         EXPECT_EQ(gga.fields[6], "0");
         EXPECT_EQ(gga.fields[8], "99.99");
         const Parsed rmc = One(with, "RMC");
         EXPECT_EQ(rmc.fields[2], "V");
         for (int i : {3, 4, 5, 6, 7, 8}) EXPECT_EQ(rmc.fields[i], "") << "RMC " << i;
         EXPECT_EQ(rmc.fields[9], One(without, "RMC").fields[9]);  // the date stays
         EXPECT_EQ(rmc.fields[12], "N");
         EXPECT_EQ(One(with, "GLL").fields[6], "V");
         EXPECT_EQ(One(with, "GNS").fields[6], "N");
         const Parsed vtg = One(with, "VTG");
         for (int i : {1, 3, 5, 7}) EXPECT_EQ(vtg.fields[i], "") << "VTG " << i;
         EXPECT_EQ(vtg.fields[9], "N");
         const std::vector<Parsed> gsa = Of(with, "GSA");
         ASSERT_EQ(gsa.size(), 4u);
         for (const Parsed& p : gsa) {
           EXPECT_EQ(p.fields[2], "1");
           for (int i = 3; i <= 14; ++i) EXPECT_EQ(p.fields[i], "");
           EXPECT_EQ(p.fields[16], "99.99");
         }
         // Still tracking what is in view.
         EXPECT_EQ(Without(with, "GSA").back(), Without(without, "GSA").back());
         for (const std::string& line : with) EXPECT_TRUE(ChecksumRight(line)) << line;
       }},
      {"at=2 for=3 kind=dgps_lost",
       [](const auto& with, const auto& without) {
         const Parsed base = One(without, "GGA");
         EXPECT_EQ(base.fields[6], "2");
         EXPECT_EQ(base.fields[13], "1.5");
         const Parsed gga = One(with, "GGA");
         EXPECT_EQ(gga.fields[6], "1");
         EXPECT_EQ(gga.fields[13], "");
         EXPECT_EQ(gga.fields[14], "");
         EXPECT_EQ(gga.fields[2], base.fields[2]);  // the fix itself stays
         EXPECT_EQ(One(without, "RMC").fields[2], "D");
         EXPECT_EQ(One(with, "RMC").fields[2], "A");
         EXPECT_EQ(One(with, "RMC").fields[12], "A");
         EXPECT_EQ(One(with, "GNS").fields[6], "A");
       }},
      {"at=2 for=3 kind=sats 5",
       [](const auto& with, const auto& without) {
         int inView = 0;
         for (const Parsed& p : Of(with, "GSV"))
           if (p.fields[2] == "1") inView += std::stoi(p.fields[3]);
         EXPECT_EQ(inView, 5);
         EXPECT_EQ(One(with, "GGA").fields[7], "5");
         EXPECT_GT(Number(One(with, "GGA").fields[8]), Number(One(without, "GGA").fields[8]));
         EXPECT_EQ(One(with, "GNS").fields[7], "5");
       }},
      {"at=2 for=3 kind=hdop 7.5",
       [](const auto& with, const auto&) {
         EXPECT_EQ(One(with, "GGA").fields[8], "7.50");
         EXPECT_EQ(One(with, "GNS").fields[8], "7.50");
         for (const Parsed& p : Of(with, "GSA")) {
           EXPECT_EQ(p.fields[16], "7.50");
           EXPECT_GT(Number(p.fields[15]), 7.5);  // PDOP follows
         }
       }},
      {"at=2 for=3 kind=jump 100 90",
       [](const auto& with, const auto& without) {
         const auto fix = enginetest::RmcFix(with), base = enginetest::RmcFix(without);
         EXPECT_NEAR(GeodesicDistance(base.lat, base.lon, fix.lat, fix.lon, 0, 0), 100, 0.05);
         EXPECT_NEAR(fix.lat, base.lat, 1e-6);
         EXPECT_GT(fix.lon, base.lon);
         EXPECT_EQ(fix.speedKnots, base.speedKnots);
         EXPECT_EQ(fix.course, base.course);
         EXPECT_EQ(Of(with, "GSV").size(), Of(without, "GSV").size());
       }},
      {"at=2 for=3 kind=drop GGA",
       [](const auto& with, const auto& without) { EXPECT_EQ(with, Without(without, "GGA")); }},
      {"at=2 for=3 kind=drop gsv",
       [](const auto& with, const auto& without) { EXPECT_EQ(with, Without(without, "GSV")); }},
      {"at=2 for=3 kind=silent", [](const auto& with, const auto&) { EXPECT_TRUE(with.empty()); }},
  };
  for (const KindCase& c : cases) {
    SCOPED_TRACE(c.fault);
    Receiver faulty, plain;
    faulty.Faults().Add(ParseFault(c.fault).Value);
    for (int tick = 0; tick <= 6; ++tick) {
      SCOPED_TRACE(tick);
      const std::vector<std::string> with = faulty.Tick(), without = plain.Tick();
      if (tick >= 2 && tick < 5) {
        ASSERT_NE(with, without);
        c.check(with, without);
      } else {
        EXPECT_EQ(with, without);
      }
    }
  }
}

TEST(FaultKinds, BadChecksumCorruptsTheNextNSentences) {
  Receiver r;
  // 3 at one tick; 30 run on into the following ticks.
  r.Faults().Add(ParseFault("at=2 kind=bad_checksum 3").Value);
  r.Faults().Add(ParseFault("at=4 kind=bad_checksum 30").Value);
  std::vector<int> badPerTick;
  size_t perTick = 0;
  for (int tick = 0; tick < 8; ++tick) {
    const std::vector<std::string> lines = r.Tick();
    perTick = lines.size();
    int bad = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
      const bool wrong = !ChecksumRight(lines[i]);
      bad += wrong;
      // The corrupted ones are the first of their tick, and keep their line end.
      if (wrong) {
        EXPECT_EQ(static_cast<int>(i), bad - 1);
      }
      EXPECT_EQ(lines[i].substr(lines[i].size() - 2), "\r\n");
    }
    badPerTick.push_back(bad);
  }
  ASSERT_LT(perTick, 30u);
  const int n = static_cast<int>(perTick);
  EXPECT_EQ(badPerTick, (std::vector<int>{0, 0, 3, 0, n, 30 - n, 0, 0}));
}

TEST(FaultKinds, FixLostOnPresetLines) {
  Receiver faulty(false), plain(false);
  faulty.Faults().Add(ParseFault("kind=fix_lost").Value);
  const std::vector<std::string> with = faulty.Tick(), without = plain.Tick();
  const std::vector<Parsed> gsa = Of(with, "GSA");
  ASSERT_EQ(gsa.size(), 1u);
  EXPECT_EQ(gsa[0].fields[2], "1");
  EXPECT_EQ(Of(without, "GSA")[0].fields[2], "3");
  for (const std::string& line : with) EXPECT_TRUE(ChecksumRight(line)) << line;
  EXPECT_EQ(One(with, "GGA").fields[6], "0");
  EXPECT_EQ(One(with, "GGA").fields[7], "");
  EXPECT_EQ(Of(with, "GSV").size(), 3u);
}

TEST(FaultKinds, LineFaultsOnTheirOwn) {
  // A preset line that ends in "*" goes out without a checksum and cannot be
  // corrupted; a literal checksum is replaced by a wrong one, the line end kept.
  std::vector<std::string> lines = {"$GPGSA,A,3,01,02,1.5,0.9,1.2\r\n", "$GPGSV,1,1,00*79",
                                    "$GPGSA,A,2,,*", "$GPZDA,1*00\r\n"};
  EXPECT_EQ(CorruptChecksums(lines, 5), 2);
  EXPECT_EQ(lines[1], "$GPGSV,1,1,00*23");
  EXPECT_EQ(lines[3], "$GPZDA,1*5A\r\n");
  EXPECT_EQ(lines[0], "$GPGSA,A,3,01,02,1.5,0.9,1.2\r\n");

  ActiveFaults lost;
  lost.FixLost = true;
  std::vector<std::string> gsa = {"$GPGSA,A,3,01,02,1.5,0.9,1.2", "$GNGSA,A,3,1*7E\r\n", "$GPGSA",
                                  "$GPRMC,A,3"};
  ApplyLineFaults(lost, gsa);
  EXPECT_EQ(gsa[0], "$GPGSA,A,1,01,02,1.5,0.9,1.2");  // no checksum before, none after
  EXPECT_EQ(gsa[1], AppendChecksum("$GNGSA,A,1,1") + "\r\n");
  EXPECT_EQ(gsa[2], "$GPGSA");
  EXPECT_EQ(gsa[3], "$GPRMC,A,3");
  EXPECT_EQ(SentenceType("$GNGSA,A"), "GSA");
  EXPECT_EQ(SentenceType("GPGSA"), "");
}

}  // namespace
}  // namespace fixcaster
