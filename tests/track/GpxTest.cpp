#include "track/Gpx.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "nmea/Format.h"
#include "settings/SettingsTestSupport.h"
#include "track/IsoTime.h"
#include "track/Route.h"
#include "track/TrackGrammar.h"

namespace fixcaster {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

constexpr int64_t kSec = MicrosPerSecond;

// 2024-05-01T12:00:00Z in microseconds since 1970.
constexpr int64_t kMay1Noon = (19844LL * 86400 + 12 * 3600) * kSec;

TEST(IsoTime, Texts) {
  const std::pair<const char*, std::optional<int64_t>> cases[] = {
      {"2024-05-01T12:00:00Z", kMay1Noon},
      {"2024-05-01T12:00:00", kMay1Noon},  // no zone: UTC
      {"2024-05-01t12:00:00z", kMay1Noon},
      {"2024-05-01 12:00:00Z", kMay1Noon},
      {"2024-05-01T12:00:00.5Z", kMay1Noon + kSec / 2},
      {"2024-05-01T12:00:00.1234567Z", kMay1Noon + 123456},  // cut at the microsecond
      {"2024-05-01T21:00:00+09:00", kMay1Noon},
      {"2024-05-01T06:30:00-0530", kMay1Noon},
      {"2024-05-01T14:00:00+02", kMay1Noon},
      {"2024-05-01T11:59:60Z", kMay1Noon},  // leap second
      {"2024-02-29T00:00:00Z", 19782LL * 86400 * kSec},
      {"1969-12-31T23:59:59Z", -kSec},
      {"2023-02-29T00:00:00Z", std::nullopt},
      {"2024-13-01T00:00:00Z", std::nullopt},
      {"2024-05-01T24:00:00Z", std::nullopt},
      {"2024-05-01T12:00Z", std::nullopt},
      {"2024-05-01T12:00:00.Z", std::nullopt},
      {"2024-05-01T12:00:00Q", std::nullopt},
      {"2024-05-01T12:00:00+9", std::nullopt},
      {"2024-05-01", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(ParseIsoTime(text), expected) << text;

  EXPECT_EQ(DaysFromCivil(1899, 12, 30), DateTimeEpochDays);
  EXPECT_EQ(ParseTimeOfDay("12:34:56.789"), ((12 * 60 + 34) * 60 + 56) * kSec + 789000);
  EXPECT_EQ(ParseTimeOfDay("123456.78"), ((12 * 60 + 34) * 60 + 56) * kSec + 780000);
  EXPECT_EQ(ParseTimeOfDay("123456"), ((12 * 60 + 34) * 60 + 56) * kSec);
  EXPECT_EQ(ParseTimeOfDay("12:34"), std::nullopt);
  EXPECT_EQ(ParseTimeOfDay("246000"), std::nullopt);
}

GpxData Read(const std::string& text) {
  GpxData data;
  GpxError error;
  EXPECT_EQ(ReadGpxText(text, data, error), GpxStatus::Ok)
      << error.Line << ":" << error.Column << " " << error.Reason;
  return data;
}

// A GPX 1.1 track as a phone app writes it: two segments, times with a fraction
// and a zone, and extensions that carry an element named "time" of their own.
const char* const kTimedTrack = R"(<?xml version="1.0" encoding="UTF-8"?>
<gpx version="1.1" creator="app" xmlns="http://www.topografix.com/GPX/1/1"
     xmlns:ext="http://example.com/ext">
  <metadata><name>not a track name</name><time>2000-01-01T00:00:00Z</time></metadata>
  <trk>
    <name> Morning walk </name>
    <trkseg>
      <trkpt lat="35.6804022" lon="139.7691092"><ele>3.5</ele><time>2024-05-01T12:00:00Z</time>
        <extensions><ext:time>1999-01-01T00:00:00Z</ext:time><ext:hr>80</ext:hr></extensions>
      </trkpt>
      <trkpt lat="35.6813" lon="139.7700"><time>2024-05-01T21:00:10.5+09:00</time></trkpt>
    </trkseg>
    <trkseg>
      <trkpt lat=" -0.5 " lon="-179.25"><ele>-12</ele><time>2024-05-01T12:00:20Z</time></trkpt>
    </trkseg>
  </trk>
</gpx>
)";

TEST(GpxRead, TrackWithTimesSegmentsAndExtensions) {
  const GpxData d = Read(kTimedTrack);
  EXPECT_EQ(d.Version, "1.1");
  ASSERT_EQ(d.Tracks.size(), 1u);
  const GpxSequence& t = d.Tracks[0];
  EXPECT_EQ(t.Name, "Morning walk");
  EXPECT_EQ(t.Segments, 2);
  ASSERT_EQ(t.Points.size(), 3u);
  EXPECT_EQ(t.Points[0].Lat, 35.6804022);
  EXPECT_EQ(t.Points[0].Lon, 139.7691092);
  EXPECT_EQ(t.Points[0].Ele, 3.5);
  EXPECT_EQ(t.Points[0].Time, kMay1Noon / 1e6);  // not the extension's time
  EXPECT_TRUE(std::isnan(t.Points[1].Ele));
  EXPECT_EQ(t.Points[1].Time, kMay1Noon / 1e6 + 10.5);
  EXPECT_EQ(t.Points[2].Lat, -0.5);
  EXPECT_EQ(t.Points[2].Lon, -179.25);
  EXPECT_EQ(t.Points[2].Ele, -12);
  EXPECT_TRUE(d.Routes.empty());
  EXPECT_TRUE(d.Waypoints.Points.empty());
}

// GPX 1.0 as older devices and map tools write it: a route and waypoints, no times.
const char* const kGpx10 = R"(<?xml version="1.0"?>
<gpx version="1.0" creator="tool" xmlns="http://www.topografix.com/GPX/1/0">
  <wpt lat="10" lon="20"><ele>5</ele><name>Start</name></wpt>
  <rte>
    <name>Harbour</name>
    <rtept lat="10" lon="20"/>
    <rtept lat="10.01" lon="20.01"><ele>7</ele></rtept>
  </rte>
  <wpt lat="11" lon="21"/>
</gpx>
)";

TEST(GpxRead, Gpx10RouteAndWaypoints) {
  const GpxData d = Read(kGpx10);
  EXPECT_EQ(d.Version, "1.0");
  EXPECT_TRUE(d.Tracks.empty());
  ASSERT_EQ(d.Routes.size(), 1u);
  EXPECT_EQ(d.Routes[0].Name, "Harbour");
  ASSERT_EQ(d.Routes[0].Points.size(), 2u);
  EXPECT_EQ(d.Routes[0].Points[1].Ele, 7);
  EXPECT_TRUE(std::isnan(d.Routes[0].Points[0].Time));
  ASSERT_EQ(d.Waypoints.Points.size(), 2u);
  EXPECT_EQ(d.Waypoints.Points[1].Lat, 11);
  EXPECT_EQ(d.Waypoints.Points[0].Ele, 5);
}

TEST(GpxRead, PointsBeyondTheLimitAreCountedNotKept) {
  GpxData d;
  GpxError e;
  GpxReadOptions options;
  options.MaxPointsPerSequence = 2;
  ASSERT_EQ(ReadGpxText(kTimedTrack, d, e, options), GpxStatus::Ok);
  EXPECT_EQ(d.Tracks[0].Points.size(), 2u);
  EXPECT_EQ(d.Tracks[0].PointsNotKept, 1);
}

const char* const kSeveral = R"(<gpx version="1.1" xmlns="http://www.topografix.com/GPX/1/1">
  <rte><name>R1</name><rtept lat="1" lon="1"/></rte>
  <trk><name>empty</name></trk>
  <trk><name>2</name><trkseg><trkpt lat="2" lon="2"/></trkseg></trk>
  <trk><name>Lake</name><trkseg><trkpt lat="3" lon="3"/></trkseg></trk>
</gpx>)";

TEST(GpxChoose, DefaultNameAndNumber) {
  const GpxData several = Read(kSeveral);
  struct Case {
    const char* which;
    std::optional<std::pair<GpxKind, size_t>> expected;
  };
  const Case cases[] = {
      {"", {{GpxKind::Track, 1}}},  // the first track with points
      {"Lake", {{GpxKind::Track, 2}}},
      {"2", {{GpxKind::Track, 1}}},  // a name first: the track
                                     // named "2"
      {"3", {{GpxKind::Track, 2}}},  // no such name: the third track
      {"1", {{GpxKind::Track, 0}}},  // chosen explicitly even though it is empty
      {"R1", {{GpxKind::Route, 0}}},
      {"4", std::nullopt},
      {"0", std::nullopt},
      {"lake", std::nullopt},
  };
  for (const Case& c : cases) {
    const auto chosen = ChooseGpxSequence(several, c.which);
    ASSERT_EQ(chosen.has_value(), c.expected.has_value()) << c.which;
    if (!chosen) continue;
    EXPECT_EQ(chosen->Kind, c.expected->first) << c.which;
    EXPECT_EQ(chosen->Index, c.expected->second) << c.which;
  }

  // Without tracks the first route, then the waypoints; numbers count routes.
  const GpxData routes = Read(kGpx10);
  EXPECT_EQ(ChooseGpxSequence(routes, "")->Kind, GpxKind::Route);
  EXPECT_EQ(ChooseGpxSequence(routes, "1")->Kind, GpxKind::Route);
  const GpxData waypoints =
      Read(R"(<gpx version="1.1"><wpt lat="1" lon="2"/><rte><name>no points</name></rte></gpx>)");
  EXPECT_EQ(ChooseGpxSequence(waypoints, "")->Kind, GpxKind::Waypoints);
  EXPECT_EQ(SequenceOf(waypoints, *ChooseGpxSequence(waypoints, "")).Points.size(), 1u);
  EXPECT_FALSE(ChooseGpxSequence(Read(R"(<gpx version="1.1"><trk/></gpx>)"), ""));
}

struct MalformedCase {
  const char* name;
  std::string text;
  int64_t line, column;
  const char* reason;  // a part of the reason
};

// An entity declaration is refused where the parser has read it: its line, the
// column inside it.
class GpxMalformed : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(GpxMalformed, NamesLineAndColumn) {
  const MalformedCase& c = GetParam();
  GpxData d;
  GpxError e;
  ASSERT_EQ(ReadGpxText(c.text, d, e), GpxStatus::Malformed);
  EXPECT_EQ(e.Line, c.line) << e.Reason;
  EXPECT_EQ(e.Column, c.column) << e.Reason;
  EXPECT_NE(e.Reason.find(c.reason), std::string::npos) << e.Reason;
}

const char* const kBillionLaughs = R"(<?xml version="1.0"?>
<!DOCTYPE gpx [
 <!ENTITY lol "lol">
 <!ENTITY lol1 "&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;">
 <!ENTITY lol2 "&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;">
 <!ENTITY lol3 "&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;">
 <!ENTITY lol4 "&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;">
 <!ENTITY lol5 "&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;">
 <!ENTITY lol6 "&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;">
 <!ENTITY lol7 "&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;">
 <!ENTITY lol8 "&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;">
 <!ENTITY lol9 "&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;">
]>
<gpx version="1.1"><trk><name>&lol9;</name></trk></gpx>
)";

INSTANTIATE_TEST_SUITE_P(
    Files, GpxMalformed,
    ::testing::Values(
        MalformedCase{"Empty", "", 1, 1, "no element found"},
        MalformedCase{"MismatchedTag", "<gpx version=\"1.1\">\n  <trk></rte>\n</gpx>", 2, 10,
                      "mismatched tag"},
        MalformedCase{"TextAfterRoot", "<gpx/>\n<gpx/>", 2, 1, "junk after document element"},
        MalformedCase{"NotGpx", "<?xml version=\"1.0\"?>\n<kml/>", 2, 1, "\"kml\", not gpx"},
        MalformedCase{"NoLat", "<gpx>\n<wpt lon=\"1\"/></gpx>", 2, 1, "wpt has no lat"},
        MalformedCase{"LatNotANumber", "<gpx><trk><trkseg>\n <trkpt lat=\"1,5\" lon=\"2\"/>", 2, 2,
                      "lat \"1,5\" is not a number"},
        MalformedCase{"LatEmpty", "<gpx><wpt lat=\"\" lon=\"2\"/></gpx>", 1, 6, "is not a number"},
        MalformedCase{"LatOutOfRange", "<gpx><rte><rtept lat=\"90.5\" lon=\"0\"/></rte></gpx>", 1,
                      11, "lat 90.5 is beyond +-90"},
        MalformedCase{"LonOutOfRange", "<gpx><wpt lat=\"0\" lon=\"-180.01\"/></gpx>", 1, 6,
                      "lon -180.01 is beyond +-180"},
        MalformedCase{"BadEle", "<gpx><wpt lat=\"0\" lon=\"0\">\n<ele>12m</ele></wpt></gpx>", 2, 1,
                      "ele \"12m\" is not a number"},
        MalformedCase{"BadTime", "<gpx><wpt lat=\"0\" lon=\"0\"><time>yesterday</time></wpt></gpx>",
                      1, 27, "not an ISO 8601 time"},
        MalformedCase{"BillionLaughs", kBillionLaughs, 3, 15, "entity declarations are refused"},
        MalformedCase{"ExternalEntity",
                      "<!DOCTYPE gpx [\n<!ENTITY x SYSTEM \"file:///etc/passwd\">]>\n"
                      "<gpx><trk><name>&x;</name></trk></gpx>",
                      2, 39, "entity declarations are refused (\"x\")"},
        MalformedCase{"ParameterEntity",
                      "<!DOCTYPE gpx [\n <!ENTITY % p \"<!ENTITY y 'z'>\"> %p; ]><gpx/>", 2, 15,
                      "parameter entity declarations are refused"},
        MalformedCase{"UndeclaredEntity", "<gpx><trk><name>&nope;</name></trk></gpx>", 1, 17,
                      "undefined entity"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GpxRead, ExternalSubsetIsNeverRead) {
  // A parser that fetched the DTD beside the file would find its entity and put
  // its text into the name; ours does not read it, so the reference stays unresolved.
  TempDir dir;
  WriteBytes(dir / "evil.dtd", "<!ENTITY secret \"from the DTD\">");
  WriteBytes(dir / "t.gpx",
             "<?xml version=\"1.0\" standalone=\"no\"?>\n"
             "<!DOCTYPE gpx SYSTEM \"evil.dtd\">\n"
             "<gpx version=\"1.1\"><trk><name>a&secret;b</name>"
             "<trkseg><trkpt lat=\"1\" lon=\"2\"/></trkseg></trk></gpx>\n");
  GpxData d;
  GpxError e;
  const GpxStatus status = ReadGpxFile(dir / "t.gpx", d, e);
  if (status == GpxStatus::Ok) {
    ASSERT_EQ(d.Tracks.size(), 1u);
    EXPECT_EQ(d.Tracks[0].Name.find("from the DTD"), std::string::npos) << d.Tracks[0].Name;
  } else {
    EXPECT_EQ(status, GpxStatus::Malformed) << e.Reason;
  }
}

TEST(GpxRead, Files) {
  TempDir dir;
  GpxData d;
  GpxError e;
  EXPECT_EQ(ReadGpxFile(dir / "missing.gpx", d, e), GpxStatus::CannotOpen);
  EXPECT_EQ(ReadGpxFile(dir.path(), d, e), GpxStatus::CannotOpen);  // a folder
  // A FIFO nobody writes to is refused, not waited on.
  ASSERT_EQ(::mkfifo((dir / "fifo.gpx").c_str(), 0600), 0);
  EXPECT_EQ(ReadGpxFile(dir / "fifo.gpx", d, e), GpxStatus::CannotOpen);
  // A file larger than one read block, and a multi-byte name split across blocks.
  std::string text = "<gpx version=\"1.1\"><trk><!--";
  const std::string nameTag = "--><name>";
  // The first byte of the name's character is the last byte of the first block.
  text += std::string(65535 - text.size() - nameTag.size(), ' ') + nameTag;
  text += "\xE6\xB9\x96</name><trkseg>\n";
  for (int i = 0; i < 3000; ++i)
    text += "<trkpt lat=\"" + std::to_string(i * 0.01) + "\" lon=\"1\"/>\n";
  text += "</trkseg></trk></gpx>\n";
  WriteBytes(dir / "big.gpx", text);
  ASSERT_EQ(ReadGpxFile(dir / "big.gpx", d, e), GpxStatus::Ok) << e.Reason;
  EXPECT_EQ(d.Tracks[0].Name, "\xE6\xB9\x96");
  ASSERT_EQ(d.Tracks[0].Points.size(), 3000u);
  EXPECT_NEAR(d.Tracks[0].Points[2999].Lat, 29.99, 1e-9);
  // Malformed on a later line of a file.
  WriteBytes(dir / "bad.gpx", "<gpx>\n\n<wpt lat=\"0\" lon=\"0\">\n</gpx>\n");
  ASSERT_EQ(ReadGpxFile(dir / "bad.gpx", d, e), GpxStatus::Malformed);
  EXPECT_EQ(e.Line, 4);
  EXPECT_EQ(e.Column, 3);
}

// --- points to table rows -----------------------------------------------------

TEST(TrackRows, CellTexts) {
  const std::pair<double, const char*> degrees[] = {
      {35.6804022, "35.6804022"},
      {-0.5, "-0.5"},
      {139.769109166666, "139.769109167"},
      {-1e-12, "0"},
      {180, "180"},
      {1e-9, "0.000000001"},
  };
  for (auto [v, text] : degrees) EXPECT_EQ(DegreesCellText(v), text) << v;
  EXPECT_EQ(AltitudeCellText(3.25), "3.25");
  EXPECT_EQ(AltitudeCellText(-12), "-12");
  EXPECT_EQ(AltitudeCellText(1.00049), "1");
  EXPECT_EQ(AltitudeCellText(TrackPoint::None), "");
  EXPECT_EQ(SpeedCellText(30), "30");
  EXPECT_EQ(SpeedCellText(30.11763456789), "30.1176346");
  // Every text reads back through the table's own grammar.
  EXPECT_EQ(ParseAngle(DegreesCellText(-33.123456789)), -33.123456789);
}

TrackTable TableOf(const std::vector<TrackTable::Row>& rows) {
  TrackTable t(std::max<int32_t>(50, static_cast<int32_t>(rows.size())));
  for (size_t r = 0; r < rows.size(); ++r)
    for (int c = 0; c < 4; ++c) t.SetCell(static_cast<int64_t>(r) + 1, c + 1, rows[r][c]);
  return t;
}

TrackPoint P(double lat, double lon, double time = TrackPoint::None,
             double ele = TrackPoint::None) {
  TrackPoint p;
  p.Lat = lat;
  p.Lon = lon;
  p.Time = time;
  p.Ele = ele;
  return p;
}

TEST(TrackRows, TimedPointsReproduceTheRecordingsTiming) {
  // Irregular spacing, a climb, and a long slow leg: at 10 Hz every span must take
  // exactly its recorded time, in every speed unit.
  const std::vector<TrackPoint> points = {P(35.0, 139.0, 1000, 0), P(35.001, 139.0, 1010, 20),
                                          P(35.001, 139.002, 1025), P(35.0, 139.0, 1625.5)};
  const double spans[] = {10, 15, 600.5};
  for (int unit = 0; unit <= 2; ++unit) {
    TrackRowOptions options;
    options.SpeedUnit = unit;
    const TrackRowsResult r = PointsToTrackRows(points, options);
    ASSERT_EQ(r.Rows.size(), 4u);
    EXPECT_EQ(r.TimedSpans, 3);
    EXPECT_EQ(r.Rows[3][3], "0");  // the route ends at the last point
    EXPECT_EQ(r.Rows[0][2], "0");
    EXPECT_EQ(r.Rows[2][2], "");
    TrackTable table = TableOf(r.Rows);
    TrackModel model;
    ASSERT_TRUE(PrepareRoute(table, "10", "", unit, model).Accepted);
    ASSERT_EQ(model.LastSpan, 3) << unit;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(model.SpanTicks[i + 1], spans[i] * 10) << unit << i;
  }
}

TEST(TrackRows, MergesSamePlaceAndSameTime) {
  const std::vector<TrackPoint> points = {
      P(10, 20, 0),
      P(10, 20, 5),  // standing still: merged, its time kept
      P(10.001, 20, 15),
      P(10.002, 20, 15),  // same time: the later one merged
      P(10.003, 20, 25),
      P(10.003, 20, 26),             // same place again, at the end
      P(10.0030000000004, 20, 27)};  // differs below the cells' precision
  const TrackRowsResult r = PointsToTrackRows(points, {});
  EXPECT_EQ(r.Merged, 4);
  ASSERT_EQ(r.Rows.size(), 3u);
  EXPECT_EQ(r.Rows[1][0], "10.001");
  EXPECT_EQ(r.Rows[2][0], "10.003");
  // The first span lasts from the first point's time, 15 s, the second 10 s.
  TrackTable table = TableOf(r.Rows);
  TrackModel model;
  ASSERT_TRUE(PrepareRoute(table, "1", "", 0, model).Accepted);
  EXPECT_EQ(model.LastSpan, 2);
  EXPECT_EQ(model.SpanTicks[1], 15);
  EXPECT_EQ(model.SpanTicks[2], 10);
}

TEST(TrackRows, SpeedsWithoutTimesBackwardTimesAndRecordedSpeeds) {
  TrackRowOptions options;
  options.UntimedSpeed = "12.5";
  options.SpeedUnit = 2;
  // No times: every row but the last takes the given speed.
  TrackRowsResult r = PointsToTrackRows({P(1, 1), P(1.01, 1), P(1.02, 1)}, options);
  ASSERT_EQ(r.Rows.size(), 3u);
  EXPECT_EQ(r.Rows[0][3], "12.5");
  EXPECT_EQ(r.Rows[1][3], "12.5");
  EXPECT_EQ(r.Rows[2][3], "0");
  EXPECT_EQ(r.TimedSpans, 0);

  // A time going backwards: that span repeats the speed of the timed span before it,
  // and the spans after it are timed from the new point's own time.
  r = PointsToTrackRows({P(0, 0, 100), P(0, 0.001, 110), P(0, 0.002, 50), P(0, 0.003, 60)},
                        options);
  ASSERT_EQ(r.Rows.size(), 4u);
  EXPECT_EQ(r.BackwardTimes, 1);
  EXPECT_EQ(r.Rows[1][3], r.Rows[0][3]);
  EXPECT_NE(r.Rows[0][3], "12.5");
  EXPECT_NEAR(ParseNumber(r.Rows[2][3]), ParseNumber(r.Rows[0][3]), 1e-6);  // same leg, 10 s
  // Backwards at the start: no timed span yet, the given speed.
  r = PointsToTrackRows({P(0, 0, 100), P(0, 0.001, 90), P(0, 0.002, 95)}, options);
  EXPECT_EQ(r.Rows[0][3], "12.5");

  // A recorded speed wins over times; a recorded 0 does not end the route.
  std::vector<TrackPoint> logged = {P(0, 0, 0), P(0, 0.001, 10), P(0, 0.002, 20)};
  logged[0].SpeedKnots = 7.25;
  logged[1].SpeedKnots = 0;
  options.SpeedUnit = 0;
  r = PointsToTrackRows(logged, options);
  EXPECT_EQ(r.Rows[0][3], SpeedCellText(7.25 * 1.852));
  EXPECT_GT(ParseNumber(r.Rows[1][3]), 0);
  EXPECT_EQ(r.TimedSpans, 1);
}

// --- writing -----------------------------------------------------------------

TrackTable ExportTable() {
  return TableOf({{"35 40 49.448", "139 46 8.793", "3", "30"},
                  {"NG 35.5", "-0.000000001", "", ""},     // marker and a tiny longitude
                  {"S 12 30", "W 45 15 36", "-7.25", ""},  // hemispheres, below sea level
                  {"NG ", "1", "1", ""},                   // unreadable: not written
                  {"91", "0", "0", ""},                    // out of range: not written
                  {"0.1", "179.999999999", "12m", ""}});   // unreadable altitude: no ele
}

// The rows of ExportTable that are written, and roughly where they are.
const int kWrittenRows[] = {1, 2, 3, 6};
struct Expected {
  double lat, lon, ele;  // ele NaN: none
};
const Expected kExported[] = {{35.68040222222222, 139.76910916666668, 3},
                              {35.5, -0.000000001, 0},
                              {-12.5, -45.26, -7.25},
                              {0.1, 179.999999999, std::nan("")}};

TEST(GpxWrite, ReadsBackExactly) {
  const TrackTable table = ExportTable();
  const GpxWriteResult w = TrackGpxText(table, 6, "Tokyo <loop> & more");
  EXPECT_EQ(w.Written, 4);
  EXPECT_EQ(w.Skipped, 2);
  const GpxData d = Read(w.Text);
  EXPECT_EQ(d.Version, "1.1");
  ASSERT_EQ(d.Tracks.size(), 1u);
  EXPECT_EQ(d.Tracks[0].Name, "Tokyo <loop> & more");
  ASSERT_EQ(d.Tracks[0].Points.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    const GpxPoint& p = d.Tracks[0].Points[i];
    // The very doubles the route reads from the cells.
    EXPECT_EQ(p.Lat, ParsePositionCell(table.Cell(kWrittenRows[i], TrackTable::ColLat))) << i;
    EXPECT_EQ(p.Lon, ParsePositionCell(table.Cell(kWrittenRows[i], TrackTable::ColLon))) << i;
    EXPECT_NEAR(p.Lat, kExported[i].lat, 1e-12) << i;
    EXPECT_NEAR(p.Lon, kExported[i].lon, 1e-12) << i;
    if (std::isnan(kExported[i].ele)) {
      EXPECT_TRUE(std::isnan(p.Ele)) << i;
    } else {
      EXPECT_EQ(p.Ele, kExported[i].ele) << i;
    }
  }
  // GPX numbers are plain decimals: no exponent even for a tiny value.
  EXPECT_NE(w.Text.find("lon=\"-0.000000001\""), std::string::npos) << w.Text;
  // lastPoint limits the rows.
  EXPECT_EQ(TrackGpxText(table, 1, "").Written, 1);
}

std::vector<std::vector<std::string>> CsvRows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> fields;
    std::istringstream l(line);
    std::string f;
    while (std::getline(l, f, ',')) fields.push_back(f);
    rows.push_back(fields);
  }
  return rows;
}

TEST(GpxWrite, GpsbabelReadsTheSameCoordinates) {
  const std::string gpsbabel = FIXCASTER_GPSBABEL;
  if (gpsbabel.empty()) GTEST_SKIP() << "gpsbabel is not installed (Debian package gpsbabel)";
  TempDir dir;
  WriteBytes(dir / "out.gpx", TrackGpxText(ExportTable(), 6, "t").Text);
  const std::string cmd = "'" + gpsbabel + "' -t -i gpx -f '" + (dir / "out.gpx") +
                          "' -o unicsv -F '" + (dir / "out.csv") + "' 2>'" + (dir / "err") + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << ReadBytes(dir / "err");
  const auto rows = CsvRows(ReadBytes(dir / "out.csv"));
  ASSERT_EQ(rows.size(), 5u) << ReadBytes(dir / "out.csv");
  ASSERT_GE(rows[0].size(), 4u);
  EXPECT_EQ(rows[0][1], "Latitude");
  EXPECT_EQ(rows[0][2], "Longitude");
  EXPECT_EQ(rows[0][3], "Altitude");
  // unicsv writes six decimals of a degree and one of a metre.
  for (size_t i = 0; i < 4; ++i) {
    ASSERT_GE(rows[i + 1].size(), 3u) << i;
    EXPECT_NEAR(std::stod(rows[i + 1][1]), kExported[i].lat, 5e-7 + 1e-12) << i;
    EXPECT_NEAR(std::stod(rows[i + 1][2]), kExported[i].lon, 5e-7 + 1e-12) << i;
    const std::string ele = rows[i + 1].size() > 3 ? rows[i + 1][3] : "";
    if (std::isnan(kExported[i].ele)) {
      EXPECT_EQ(ele, "") << i;
    } else {
      EXPECT_NEAR(std::stod(ele), kExported[i].ele, 0.05 + 1e-9) << i;
    }
  }
}

}  // namespace
}  // namespace fixcaster
