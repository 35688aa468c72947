#include "app/Faults.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "app/FaultEffects.h"

namespace fixcaster {
namespace {

struct GoodCase {
  const char* text;
  const char* normalised;  // FaultText of the parse
};

TEST(FaultParse, TheSettingsForm) {
  const GoodCase cases[] = {
      {"at=30 for=10 kind=fix_lost", "at=30 for=10 kind=fix_lost"},
      {"kind=dgps_lost", "at=0 kind=dgps_lost"},
      {"  AT=2.5\tKind=SATS 4   for=60 ", "at=2.5 for=60 kind=sats 4"},
      {"at=5 kind=hdop 7.25", "at=5 kind=hdop 7.25"},
      {"kind=jump 25 -90 at=60 for=1", "at=60 for=1 kind=jump 25 270"},
      {"at=1 kind=drop gsv", "at=1 kind=drop GSV"},
      {"at=3 kind=bad_checksum 2", "at=3 kind=bad_checksum 2"},
      {"for=0.5 kind=silent", "at=0 for=0.5 kind=silent"},
      {"kind=sats 0", "at=0 kind=sats 0"},
  };
  for (const GoodCase& c : cases) {
    const FaultParse p = ParseFault(c.text);
    ASSERT_TRUE(p.Ok()) << c.text << ": " << FaultErrorMessage(p.Error);
    EXPECT_EQ(FaultText(p.Value), c.normalised) << c.text;
    const FaultParse again = ParseFault(FaultText(p.Value));
    ASSERT_TRUE(again.Ok()) << c.text;
    EXPECT_EQ(FaultText(again.Value), c.normalised) << c.text;
  }
  const Fault jump = ParseFault("at=60 for=5 kind=jump 25.5 450").Value;
  EXPECT_EQ(jump.Kind, FaultKind::Jump);
  EXPECT_DOUBLE_EQ(jump.At, 60);
  EXPECT_DOUBLE_EQ(jump.For, 5);
  EXPECT_DOUBLE_EQ(jump.Value, 25.5);
  EXPECT_DOUBLE_EQ(jump.Bearing, 90);
  EXPECT_TRUE(std::isinf(ParseFault("kind=silent").Value.For));
}

struct BadCase {
  const char* text;
  FaultErrorCode code;
  const char* message;
};

TEST(FaultParse, ClearErrorsForBadText) {
  const BadCase cases[] = {
      {"   ", FaultErrorCode::Empty, "the fault is empty"},
      {"at=30 for=10", FaultErrorCode::MissingKind, "the fault has no kind="},
      {"at=30 kind=fix_lots", FaultErrorCode::UnknownKind, "unknown fault kind \"fix_lots\""},
      {"kind=", FaultErrorCode::UnknownKind, "unknown fault kind \"\""},
      {"at=30 until=40 kind=silent", FaultErrorCode::UnknownKey, "unknown key \"until=40\""},
      {"at=1 at=2 kind=silent", FaultErrorCode::RepeatedKey, "at= is given twice"},
      {"at=soon kind=silent", FaultErrorCode::BadTime, "\"soon\" is not a time in seconds"},
      {"at=-1 kind=silent", FaultErrorCode::BadTime, "\"-1\" is not a time in seconds"},
      {"for=0 kind=silent", FaultErrorCode::BadTime, "\"0\" is not a time in seconds"},
      {"at=inf kind=silent", FaultErrorCode::BadTime, "\"inf\" is not a time in seconds"},
      {"kind=sats", FaultErrorCode::MissingArgument,
       "missing argument, write sats N (a whole number of satellites)"},
      {"kind=jump 25", FaultErrorCode::MissingArgument,
       "missing argument, write jump METRES BEARING (metres, degrees from north)"},
      {"kind=fix_lost 3", FaultErrorCode::ExtraArgument, "unexpected argument \"3\""},
      {"6 kind=sats", FaultErrorCode::ExtraArgument, "unexpected argument \"6\""},
      {"kind=sats at=3 6", FaultErrorCode::ExtraArgument, "unexpected argument \"6\""},
      {"kind=sats 4.5", FaultErrorCode::BadArgument,
       "\"4.5\" does not fit sats N (a whole number of satellites)"},
      {"kind=hdop 0", FaultErrorCode::BadArgument, "\"0\" does not fit hdop X (a number above 0)"},
      {"kind=jump -5 90", FaultErrorCode::BadArgument,
       "\"-5\" does not fit jump METRES BEARING (metres, degrees from north)"},
      {"kind=jump 5 east", FaultErrorCode::BadArgument,
       "\"east\" does not fit jump METRES BEARING (metres, degrees from north)"},
      {"kind=drop GGAX", FaultErrorCode::BadArgument,
       "\"GGAX\" does not fit drop TYPE (GGA, RMC, GNS, GLL, VTG, ZDA, HDT, GSA or GSV)"},
      {"kind=bad_checksum 0", FaultErrorCode::BadArgument,
       "\"0\" does not fit bad_checksum N (a whole number of sentences, at least 1)"},
  };
  for (const BadCase& c : cases) {
    const FaultParse p = ParseFault(c.text);
    EXPECT_EQ(p.Error.Code, c.code) << c.text;
    EXPECT_EQ(FaultErrorMessage(p.Error), c.message) << c.text;
  }
}

TEST(FaultParse, KindAloneForTheControlSocket) {
  FaultParse p = ParseFaultKind("sats 6");
  ASSERT_TRUE(p.Ok());
  EXPECT_EQ(p.Value.Kind, FaultKind::Sats);
  EXPECT_EQ(p.Value.Count, 6);
  EXPECT_EQ(FaultKindText(p.Value), "sats 6");
  EXPECT_EQ(ParseFaultKind("fix_lost").Value.Kind, FaultKind::FixLost);
  EXPECT_EQ(ParseFaultKind("").Error.Code, FaultErrorCode::Empty);
  EXPECT_EQ(ParseFaultKind("jump 5").Error.Code, FaultErrorCode::MissingArgument);
}

Fault Parsed(const char* text) {
  const FaultParse p = ParseFault(text);
  EXPECT_TRUE(p.Ok()) << text;
  return p.Value;
}

TEST(FaultTimeline, WindowsAndMerging) {
  FaultTimeline t;
  t.Add(Parsed("at=10 for=5 kind=sats 6"));
  t.Add(Parsed("at=12 for=10 kind=sats 4"));
  t.Add(Parsed("at=11 kind=hdop 3"));
  t.Add(Parsed("at=13 for=1 kind=hdop 9"));
  t.Add(Parsed("at=20 for=2 kind=jump 30 0"));
  t.Add(Parsed("at=21 for=2 kind=jump 40 90"));
  t.Add(Parsed("at=0 for=1 kind=drop GGA"));
  t.Add(Parsed("at=0 for=1 kind=drop GGA"));
  t.Add(Parsed("at=0 for=1 kind=drop RMC"));

  EXPECT_FALSE(t.ActiveAt(9.999).Any());
  EXPECT_EQ(t.ActiveAt(10).SatsLimit, 6);  // from "at" on
  EXPECT_EQ(t.ActiveAt(12).SatsLimit, 4);  // the smaller of two
  EXPECT_EQ(t.ActiveAt(15).SatsLimit, 4);  // the first one ended at 15
  EXPECT_EQ(t.ActiveAt(22).SatsLimit, -1);
  EXPECT_DOUBLE_EQ(t.ActiveAt(12).Hdop, 3);
  EXPECT_DOUBLE_EQ(t.ActiveAt(13.5).Hdop, 9);  // the later start wins
  EXPECT_DOUBLE_EQ(t.ActiveAt(14).Hdop, 3);
  EXPECT_DOUBLE_EQ(t.ActiveAt(1e9).Hdop, 3);  // no "for": to the end
  const ActiveFaults both = t.ActiveAt(21.5);
  EXPECT_NEAR(both.JumpNorth, 30, 1e-9);
  EXPECT_NEAR(both.JumpEast, 40, 1e-9);
  EXPECT_NEAR(t.ActiveAt(22.5).JumpNorth, 0, 1e-9);
  EXPECT_EQ(t.ActiveAt(0.5).Dropped, (std::vector<std::string>{"GGA", "RMC"}));
  EXPECT_TRUE(t.ActiveAt(1).Dropped.empty());
  EXPECT_EQ(t.ActiveTexts(13.2),
            (std::vector<std::string>{"sats 6", "sats 4", "hdop 3", "hdop 9"}));
  EXPECT_TRUE(t.ActiveTexts(9).empty());

  // A fault from the control socket starts now.
  FaultParse now = ParseFaultKind("silent");
  now.Value.At = 42;
  now.Value.For = 10;
  t.Add(now.Value);
  EXPECT_TRUE(t.ActiveAt(45).Silent);
  EXPECT_FALSE(t.ActiveAt(52).Silent);
  t.Clear();
  EXPECT_TRUE(t.Faults().empty());
  EXPECT_FALSE(t.ActiveAt(45).Any());
}

}  // namespace
}  // namespace fixcaster
