#include "track/Route.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "track/Geodesic.h"

namespace fixcaster {
namespace {

using Rows = std::vector<TrackTable::Row>;

const TrackTable::Row kDefault1 = {"35 40 49.448", "139 46 8.793", "3", "30"};
const TrackTable::Row kDefault2 = {"35 41 0.977", "139 46 15.489", "3", ""};

TrackTable MakeTable(const Rows& rows, int32_t trackMax = 50) {
  TrackTable table(trackMax);
  for (size_t r = 0; r < rows.size(); ++r)
    for (int col = 1; col <= 4; ++col)
      table.SetCell(static_cast<int64_t>(r) + 1, col, rows[r][col - 1]);
  return table;
}

TEST(PrepareRoute, DefaultTrack) {
  TrackTable table = MakeTable({kDefault1, kDefault2});
  TrackModel m;
  const RouteResult r = PrepareRoute(table, "1", "36.7", 0, m);
  EXPECT_TRUE(r.Accepted);
  EXPECT_TRUE(r.Messages.empty());
  EXPECT_FALSE(r.HzText.has_value());
  EXPECT_NEAR(m.SpanDistance[1], 393.2019, 5e-5);
  EXPECT_EQ(m.SpanTicks[1], 47);
  EXPECT_EQ(m.TrackSpeed[1], 16.26219807411144);
  EXPECT_NEAR(m.TrackSpeed[1] / KmhSpeedFactor, 30.1176, 1e-4);
  EXPECT_DOUBLE_EQ(m.SpanDays[1], 47.0 / 86400);
  EXPECT_EQ(m.TotalDays, m.SpanDays[1]);
  EXPECT_EQ(m.TotalDistance, m.SpanDistance[1]);
  EXPECT_EQ(m.LastSpan, 1);
  EXPECT_EQ(m.LastPoint, 2);
  EXPECT_EQ(m.OutputPeriodMs, 1000);
  EXPECT_EQ(m.GeoidSeparation, 36.7);
  EXPECT_EQ(m.TrackSpeed[2], 0);
  EXPECT_TRUE(std::isnan(m.TrackLat[3]));  // no closing copy: the last speed is 0
  EXPECT_EQ(m.SpeedFactor, KmhSpeedFactor);
  EXPECT_EQ(m.AltitudeFactor, 1);
  EXPECT_EQ(m.DistanceFactor, 0.001);
  EXPECT_EQ(m.DistanceUnit, "km");
}

TEST(PrepareRoute, ClosedTrackReturnsToPointOne) {
  TrackTable table = MakeTable({kDefault1, {"35 41 0.977", "139 46 15.489", "3", "30"}});
  TrackModel m;
  ASSERT_TRUE(PrepareRoute(table, "1", "", 0, m).Accepted);
  EXPECT_EQ(m.LastSpan, 2);
  EXPECT_EQ(m.LastPoint, 2);
  EXPECT_EQ(m.TrackLat[3], m.TrackLat[1]);
  EXPECT_EQ(m.TrackLon[3], m.TrackLon[1]);
  EXPECT_EQ(m.TrackAlt[3], m.TrackAlt[1]);
  EXPECT_EQ(m.TrackSpeed[3], 0);
  EXPECT_NEAR(m.SpanDistance[2], m.SpanDistance[1], 1e-6);
  EXPECT_EQ(m.TotalDistance, m.SpanDistance[1] + m.SpanDistance[2]);
  EXPECT_EQ(m.TotalDays, m.SpanDays[1] + m.SpanDays[2]);
  EXPECT_TRUE(table.Cell(3, TrackTable::ColLat).empty());  // the table is not changed
}

// Which spans get planned, by the shape of the table.
struct PlanCase {
  const char* name;
  Rows rows;
  int32_t trackMax;
  int32_t lastPoint;
  int32_t lastSpan;
  size_t storedRows;  // rows left in the table after the preparation
};

const TrackTable::Row kMove1 = {"35", "139", "", "30"};
const TrackTable::Row kMove2 = {"35.01", "139", "", "30"};
const TrackTable::Row kMove3 = {"35.02", "139", "", "30"};
const TrackTable::Row kMove4 = {"35.03", "139", "", "30"};
const TrackTable::Row kStop3 = {"35.02", "139", "", "0"};

const PlanCase kPlanCases[] = {
    {"empty table", {}, 50, 0, 0, 0},
    {"single row", {kMove1}, 50, 1, 0, 1},
    {"row 1 blank speed", {{"35", "139", "", ""}, kMove2}, 50, 2, 0, 2},
    {"speed 0 on row 3 ends the route", {kMove1, kMove2, kStop3, kMove4, kMove1}, 50, 5, 2, 5},
    {"blank speed on row 3 ends it too",
     {kMove1, kMove2, {"35.02", "139", "", " "}, kMove4},
     50,
     4,
     2,
     4},
    {"empty latitude on row 3 clears below",
     {kMove1, kMove2, {"", "139", "1", "30"}, kMove4, kMove1},
     50,
     2,
     2,
     2},
    {"empty longitude on row 2", {kMove1, {"35.01", "", "", "30"}, kMove3}, 50, 1, 0, 1},
    {"three moving rows close the loop", {kMove1, kMove2, kMove3}, 50, 3, 3, 3},
    {"full table closes into the spare entry",
     {kMove1, kMove2, kMove3, kMove4, kMove1, {"35", "139.01", "", "30"}},
     6,
     6,
     6,
     6},
    {"two equal points: span of length 0 ends the route", {kMove1, kMove1, kMove3}, 50, 3, 1, 3},
};

TEST(PrepareRoute, PlannedSpans) {
  for (const PlanCase& c : kPlanCases) {
    TrackTable table = MakeTable(c.rows, c.trackMax);
    TrackModel m;
    const RouteResult r = PrepareRoute(table, "1", "", 0, m);
    EXPECT_TRUE(r.Accepted) << c.name;
    EXPECT_EQ(m.LastPoint, c.lastPoint) << c.name;
    EXPECT_EQ(m.LastSpan, c.lastSpan) << c.name;
    EXPECT_EQ(table.StoredRows(), c.storedRows) << c.name;
    ASSERT_GE(m.Entries(), static_cast<size_t>(m.LastPoint) + 2) << c.name;
    double distance = 0;
    for (int32_t i = 1; i <= m.LastSpan; ++i) {
      EXPECT_GE(m.SpanTicks[i], 1) << c.name << " span " << i;
      EXPECT_GE(m.SpanDistance[i], 0) << c.name << " span " << i;
      // The travelled time of a span is exactly its ticks (a span of length 0 takes none).
      const double expectedMs = m.SpanDistance[i] > 0 ? m.SpanTicks[i] * m.OutputPeriodMs : 0;
      EXPECT_NEAR(m.SpanDays[i] * 86400000, expectedMs, m.SpanTicks[i] * 1e-6)
          << c.name << " span " << i;
      distance += m.SpanDistance[i];
    }
    EXPECT_EQ(m.TotalDistance, distance) << c.name;
    for (int64_t row = m.LastPoint + 1; row <= c.trackMax; ++row)
      for (int col = 1; col <= 4; ++col)
        EXPECT_TRUE(table.Cell(row, col).empty()) << c.name << " row " << row;
    for (size_t i = static_cast<size_t>(m.LastPoint) + 2; i < m.Entries(); ++i) {
      EXPECT_TRUE(std::isnan(m.TrackLat[i])) << c.name << " entry " << i;
      EXPECT_EQ(m.TrackSpeed[i], 0) << c.name << " entry " << i;
    }
  }
}

TEST(PrepareRoute, ZeroLengthSpan) {
  TrackTable table = MakeTable({kMove1, kMove1, kMove3});
  TrackModel m;
  ASSERT_TRUE(PrepareRoute(table, "1", "", 0, m).Accepted);
  EXPECT_EQ(m.SpanTicks[1], 1);
  EXPECT_EQ(m.TrackSpeed[1], 0);
  EXPECT_EQ(m.SpanDays[1], 0);
  EXPECT_EQ(m.TotalDays, 0);
}

// Tick counts: spans of a known length (same position, altitudes apart) at a given
// speed in knots and frequency.
struct TickCase {
  const char* name;
  const char* hz;
  const char* altitude;  // of the second point; the first is at 0
  const char* knots;
  int32_t ticks;
  double adjustedKnots;  // NaN: not checked
};

const double kUnchecked = std::numeric_limits<double>::quiet_NaN();

const TickCase kTickCases[] = {
    {"1 m at 100 km/h, 20 Hz", "20", "1", "53.99568034557235", 1, 38.87688984881209},
    {"raw 2.5 rounds to 2", "0.5", "463", "180", 2, kUnchecked},
    {"raw 3.5 rounds to 4", "0.2", "3241", "360", 4, kUnchecked},
    {"raw 1.5 rounds to 2", "0.25", "463", "150", 2, kUnchecked},
    {"raw 0.5 becomes 1", "1", "0.2572222222222222", "1", 1, kUnchecked},
    {"count beyond 32 bits is clamped", "20", "1000000", "1e-300", 2147483647, kUnchecked},
    {"huge speed: 1 tick", "1", "100", "1e308", 1, kUnchecked},
    {"tiny frequency: 1 tick", "1e-300", "100", "1", 1, kUnchecked},
};

TEST(PrepareRoute, TickCounts) {
  for (const TickCase& c : kTickCases) {
    TrackTable table = MakeTable({{"10", "20", "0", c.knots}, {"10", "20", c.altitude, ""}});
    TrackModel m;
    ASSERT_TRUE(PrepareRoute(table, c.hz, "", 2, m).Accepted) << c.name;
    ASSERT_EQ(m.LastSpan, 1) << c.name;
    EXPECT_EQ(m.SpanTicks[1], c.ticks) << c.name;
    if (!std::isnan(c.adjustedKnots)) {
      EXPECT_DOUBLE_EQ(m.TrackSpeed[1], c.adjustedKnots) << c.name;
    }
    // Whatever the count, the adjusted speed covers the span in exactly that many ticks.
    EXPECT_GT(m.TrackSpeed[1], 0) << c.name;
    EXPECT_NEAR(m.SpanDistance[1] * 3600 / (m.TrackSpeed[1] * 1.852),
                m.SpanTicks[1] * m.OutputPeriodMs, 1e-9 * m.SpanTicks[1] * m.OutputPeriodMs)
        << c.name;
    EXPECT_TRUE(std::isfinite(m.SpanDays[1])) << c.name;
  }
}

// Frequency texts: a positive number gives its period, anything else becomes "1".
struct HzCase {
  const char* text;
  double periodMs;
  bool corrected;
};

const HzCase kHzCases[] = {
    {"1", 1000, false},       {" 2 ", 500, false}, {"20", 50, false},   {"0.1", 10000, false},
    {"abc", 1000, true},      {"0", 1000, true},   {"", 1000, true},    {"-5", 1000, true},
    {"-0", 1000, true},       {"NaN", 1000, true}, {"inf", 1000, true}, {"1e309", 1000, true},
    {"4.9e-324", 1000, true},  // the period would be infinite
};

TEST(PrepareRoute, FrequencyText) {
  for (const HzCase& c : kHzCases) {
    TrackTable table = MakeTable({kDefault1, kDefault2});
    TrackModel m;
    m.OutputPeriodMs = 123;
    const RouteResult r = PrepareRoute(table, c.text, "", 0, m);
    EXPECT_TRUE(r.Accepted) << c.text;
    EXPECT_EQ(m.OutputPeriodMs, c.periodMs) << c.text;
    EXPECT_EQ(r.HzText.has_value(), c.corrected) << c.text;
    if (c.corrected) {
      EXPECT_EQ(r.HzText.value_or(""), "1") << c.text;
    }
  }
}

TEST(PrepareRoute, UnitsAndGeoid) {
  TrackTable table = MakeTable({kDefault1, kDefault2});
  TrackModel m;
  PrepareRoute(table, "1", "x", 1, m);
  EXPECT_EQ(m.SpeedFactor, MphSpeedFactor);
  EXPECT_EQ(m.GeoidSeparation, 0);  // unreadable geoid: 0
  PrepareRoute(table, "1", " -12.5 ", 7, m);
  EXPECT_EQ(m.SpeedFactor, MphSpeedFactor);  // an unknown unit keeps the factor
  EXPECT_EQ(m.GeoidSeparation, -12.5);
  PrepareRoute(table, "1", "", 2, m);
  EXPECT_EQ(m.SpeedFactor, 1);
  EXPECT_EQ(m.SpanTicks[1], 25);  // 393.2 m at 30 knots: 25.48 ticks
}

// A malformed cell after a good preparation: marked, one error, the plan kept.
TEST(PrepareRoute, MalformedCellKeepsThePreviousPlan) {
  TrackTable table = MakeTable({kMove1, kMove2, kMove3});
  TrackModel m;
  ASSERT_TRUE(PrepareRoute(table, "1", "", 0, m).Accepted);
  const TrackModel planned = m;

  table.SetCell(2, TrackTable::ColSpeed, "3O");
  table.SetCell(3, TrackTable::ColLat, "1.2.3");
  RouteResult r = PrepareRoute(table, "2", "", 0, m);
  EXPECT_FALSE(r.Accepted);
  ASSERT_EQ(r.Messages.size(), 1u);
  EXPECT_EQ(r.Messages[0], (RouteMessage{RouteMessageId::IllegalNumberFormat, 0}));
  EXPECT_EQ(table.Cell(2, TrackTable::ColSpeed), "NG 3O");
  EXPECT_EQ(table.Cell(3, TrackTable::ColLat), "NG 1.2.3");
  EXPECT_EQ(m.LastSpan, planned.LastSpan);
  EXPECT_EQ(m.TotalDistance, planned.TotalDistance);
  EXPECT_EQ(m.TotalDays, planned.TotalDays);
  EXPECT_EQ(m.SpanTicks, planned.SpanTicks);
  EXPECT_EQ(m.SpanDistance, planned.SpanDistance);
  EXPECT_EQ(m.OutputPeriodMs, 500);  // the period is still read
  EXPECT_TRUE(std::isnan(m.TrackSpeed[2]));

  // Preparing again leaves a single marker; correcting the cell restores the plan.
  r = PrepareRoute(table, "1", "", 0, m);
  EXPECT_EQ(table.Cell(2, TrackTable::ColSpeed), "NG 3O");
  EXPECT_EQ(r.Messages.size(), 1u);
  table.SetCell(2, TrackTable::ColSpeed, "30");
  table.SetCell(3, TrackTable::ColLat, "NG 35.02");  // a latitude reads behind the marker
  r = PrepareRoute(table, "1", "", 0, m);
  EXPECT_TRUE(r.Accepted);
  EXPECT_EQ(m.SpanTicks, planned.SpanTicks);
  EXPECT_EQ(m.TotalDistance, planned.TotalDistance);
}

TEST(PrepareRoute, RangeWarningsInRowOrderThenTheFormatError) {
  TrackTable table = MakeTable({{"91", "181", "", "30"},
                                {"35", "139", "x", "30"},
                                {"90", "-180", "", "30"},
                                {"-90.5", "0", "", "30"},
                                {"0", "W180 1", "", "30"}});
  TrackModel m;
  const RouteResult r = PrepareRoute(table, "1", "", 0, m);
  EXPECT_FALSE(r.Accepted);
  const std::vector<RouteMessage> expected = {
      {RouteMessageId::LatitudeOutOfRange, 1},  {RouteMessageId::LongitudeOutOfRange, 1},
      {RouteMessageId::LatitudeOutOfRange, 4},  {RouteMessageId::LongitudeOutOfRange, 5},
      {RouteMessageId::IllegalNumberFormat, 0},
  };
  EXPECT_EQ(r.Messages, expected);
  EXPECT_EQ(table.Cell(1, TrackTable::ColLat), "91");  // range errors are not marked
}

TEST(PrepareRoute, OutOfRangeStillPlans) {
  TrackTable table = MakeTable({{"91", "139", "", "30"}, {"35", "139", "", ""}});
  TrackModel m;
  const RouteResult r = PrepareRoute(table, "1", "", 0, m);
  EXPECT_FALSE(r.Accepted);
  EXPECT_EQ(r.Messages, (std::vector<RouteMessage>{{RouteMessageId::LatitudeOutOfRange, 1}}));
  EXPECT_EQ(m.LastSpan, 1);
  EXPECT_GE(m.SpanTicks[1], 1);
}

// A plan made from many rows and then from a few: the arrays keep their size, the
// entries past the new track read as missing.
TEST(PrepareRoute, ShorterTrackLeavesNoStaleEntries) {
  TrackTable table = MakeTable({kMove1, kMove2, kMove3, kMove4, kStop3});
  TrackModel m;
  ASSERT_TRUE(PrepareRoute(table, "1", "", 0, m).Accepted);
  const size_t entries = m.Entries();
  table.SetCell(3, TrackTable::ColLon, "");
  ASSERT_TRUE(PrepareRoute(table, "1", "", 0, m).Accepted);
  EXPECT_EQ(m.LastPoint, 2);
  EXPECT_EQ(m.LastSpan, 2);
  EXPECT_EQ(m.Entries(), entries);
  EXPECT_EQ(m.TrackLat[3], m.TrackLat[1]);  // the closing copy
  for (size_t i = 4; i < entries; ++i) {
    EXPECT_TRUE(std::isnan(m.TrackLat[i])) << i;
    EXPECT_TRUE(std::isnan(m.TrackAlt[i])) << i;
    EXPECT_EQ(m.TrackSpeed[i], 0) << i;
  }
  EXPECT_EQ(table.StoredRows(), 2u);
}

// TrackMax from a settings file may be huge; the plan costs only the filled rows.
TEST(PrepareRoute, HugeTrackMaxCostsOnlyTheFilledRows) {
  TrackTable table = MakeTable({kMove1, kMove2, kMove3}, 2147483647);
  table.SetCell(2000000000, TrackTable::ColLat, "1");
  table.SetCell(2147483647, TrackTable::ColLon, "2");
  TrackModel m;
  ASSERT_TRUE(PrepareRoute(table, "1", "", 0, m).Accepted);
  EXPECT_EQ(m.LastSpan, 3);
  EXPECT_EQ(m.Entries(), 5u);
  EXPECT_EQ(table.StoredRows(), 3u);
  EXPECT_TRUE(table.Cell(2000000000, TrackTable::ColLat).empty());
}

TEST(PrepareRoute, AllRowsFilledUpToAHugeTrackMaxEdge) {
  // The last data row is TrackMax itself: the closing copy lands in the spare entry.
  TrackTable table = MakeTable({kMove1, kMove2, kMove3}, 3);
  TrackModel m;
  ASSERT_TRUE(PrepareRoute(table, "1", "", 0, m).Accepted);
  EXPECT_EQ(m.LastSpan, 3);
  EXPECT_EQ(m.TrackLat[4], m.TrackLat[1]);
  EXPECT_NEAR(m.SpanDistance[3], GeodesicDistance(35.02, 139, 35, 139, 0, 0), 1e-9);
}

}  // namespace
}  // namespace fixcaster
