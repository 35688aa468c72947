#include "track/Route.h"

#include <gtest/gtest.h>

namespace fixcaster {
namespace {

TEST(PrepareRoute, DefaultTrack) {
  TrackTable table;
  table.SetCell(1, 1, "35 40 49.448");
  table.SetCell(1, 2, "139 46 8.793");
  table.SetCell(1, 3, "3");
  table.SetCell(1, 4, "30");
  table.SetCell(2, 1, "35 41 0.977");
  table.SetCell(2, 2, "139 46 15.489");
  table.SetCell(2, 3, "3");
  TrackModel m;
  RouteResult r = PrepareRoute(table, "1", "", 0, m);
  EXPECT_TRUE(r.Accepted);
  EXPECT_NEAR(m.SpanDistance[1], 393.2019, 5e-5);
  EXPECT_EQ(m.SpanTicks[1], 47);
  EXPECT_EQ(m.TrackSpeed[1], 16.26219807411144);
}

}  // namespace
}  // namespace fixcaster
