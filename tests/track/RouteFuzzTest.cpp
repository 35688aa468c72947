// Random cell texts through the route planner: nothing may crash, hang or break
// the plan's invariants, whatever is typed or loaded. A fixed seed and a fixed
// number of rounds keep it repeatable and bounded; it runs under the sanitizers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "track/Route.h"

namespace fixcaster {
namespace {

class CellTexts {
 public:
  explicit CellTexts(uint64_t seed) : rng_(seed) {}

  std::string Next() {
    std::string text;
    const int pieces = static_cast<int>(rng_() % 4);
    for (int i = 0; i < pieces; ++i) text += Piece();
    return text;
  }

  // Now and then a cell of a megabyte or more.
  std::string Huge() {
    switch (rng_() % 4) {
      case 0:
        return std::string(1 << 20, '9');
      case 1:
        return "0." + std::string(1 << 20, '0') + "1";
      case 2:
        return std::string(1 << 20, '1') + "e-1048570";
      default:
        return std::string(1 << 20, ' ') + "35 " + std::string(1 << 20, '.');
    }
  }

  uint32_t Roll(uint32_t n) { return static_cast<uint32_t>(rng_() % n); }

 private:
  std::string Piece() {
    static const char* const kPieces[] = {
        "NaN",
        "nan",
        "inf",
        "-inf",
        "1e308",
        "-1e308",
        "1e-400",
        "",
        " ",
        "\t",
        "NG ",
        "NG",
        "35 40 49.448",
        "139 46 8.793",
        "90",
        "-90",
        "180",
        "-180",
        "91",
        "-181",
        "S",
        "W",
        "E",
        "N",
        "e",
        "+",
        "-",
        ".",
        "..",
        "0",
        "1.2.3",
        "\xCB\x9A",
        "'",
        "\"",
        ",",
        "\xff",
        "30",
        "0.0001",
        "1e-300",
        "4.9e-324",
        "2147483648",
        "-0",
    };
    switch (rng_() % 4) {
      case 0: {  // digits, dots and signs
        std::string s;
        const int n = static_cast<int>(rng_() % 40);
        for (int i = 0; i < n; ++i) s += "0123456789.-+eE "[rng_() % 16];
        return s;
      }
      case 1: {  // any bytes, the NUL included
        std::string s;
        const int n = static_cast<int>(rng_() % 12);
        for (int i = 0; i < n; ++i) s += static_cast<char>(rng_() % 256);
        return s;
      }
      default:
        return kPieces[rng_() % std::size(kPieces)];
    }
  }

  std::mt19937_64 rng_;
};

void CheckPlan(const TrackTable& before, const TrackTable& after, const RouteResult& r,
               const TrackModel& m, const std::string& where) {
  ASSERT_GE(m.LastPoint, 0) << where;
  ASSERT_LE(m.LastPoint, after.TrackMax()) << where;
  ASSERT_GE(m.Entries(), static_cast<size_t>(m.LastPoint) + 2) << where;
  ASSERT_TRUE(m.OutputPeriodMs > 0 && std::isfinite(m.OutputPeriodMs)) << where;
  if (r.HzText) {
    ASSERT_EQ(*r.HzText, "1") << where;
  }

  // The track is rows 1 .. LastPoint, all filled; nothing is left below it, and a
  // cell changes only by getting one marker.
  for (int64_t row = 1; row <= after.TrackMax() + 1; ++row) {
    if (row <= m.LastPoint) {
      ASSERT_TRUE(after.IsFilled(row)) << where << " row " << row;
      for (int col = 1; col <= 4; ++col) {
        const std::string& was = before.Cell(row, col);
        const std::string& now = after.Cell(row, col);
        if (now != was) {
          ASSERT_EQ(now, MarkBadCell(was)) << where << " row " << row;
        }
      }
    } else {
      for (int col = 1; col <= 4; ++col)
        ASSERT_TRUE(after.Cell(row, col).empty()) << where << " row " << row;
    }
  }

  const bool formatError =
      !r.Messages.empty() && r.Messages.back().Id == RouteMessageId::IllegalNumberFormat;
  ASSERT_EQ(r.Accepted, r.Messages.empty()) << where;
  int64_t lastRow = 0;
  for (size_t k = 0; k + (formatError ? 1 : 0) < r.Messages.size(); ++k) {
    ASSERT_NE(r.Messages[k].Id, RouteMessageId::IllegalNumberFormat) << where;
    ASSERT_GE(r.Messages[k].Row, std::max<int64_t>(lastRow, 1)) << where;
    ASSERT_LE(r.Messages[k].Row, m.LastPoint) << where;
    lastRow = r.Messages[k].Row;
  }
  if (formatError) return;  // the previous plan stays

  ASSERT_GE(m.LastSpan, 0) << where;
  ASSERT_LE(m.LastSpan, m.LastPoint) << where;
  for (int32_t i = 1; i <= m.LastSpan; ++i) {
    ASSERT_GE(m.SpanTicks[i], 1) << where << " span " << i;
    if (r.Accepted) {
      ASSERT_GE(m.SpanDistance[i], 0) << where << " span " << i;
      ASSERT_GE(m.TrackSpeed[i], 0) << where << " span " << i;
      ASSERT_GE(m.SpanDays[i], 0) << where << " span " << i;
    }
  }
}

TEST(PrepareRouteFuzz, RandomCellTexts) {
  CellTexts gen(0xF1C5CA57);
  TrackModel m;  // kept across rounds, as in the program
  // The rounds must reach every path: plans, format errors and range warnings.
  int planned = 0;
  int malformed = 0;
  int outOfRange = 0;
  for (int round = 0; round < 3000; ++round) {
    const int32_t trackMax = 1 + static_cast<int32_t>(gen.Roll(12));
    TrackTable table(trackMax);
    const int rows = static_cast<int>(gen.Roll(static_cast<uint32_t>(trackMax) + 2));
    for (int row = 1; row <= rows; ++row)
      for (int col = 1; col <= 4; ++col) {
        // Mostly usable positions, so that spans get planned.
        std::string text = gen.Roll(10) == 0 ? gen.Next()
                           : col <= 2        ? std::to_string(gen.Roll(col == 1 ? 91 : 181)) + " " +
                                            std::to_string(gen.Roll(60))
                                      : std::to_string(gen.Roll(100));
        if (gen.Roll(300) == 0) text = gen.Huge();
        table.SetCell(row, col, text);
      }
    const std::string hz = gen.Roll(2) ? std::to_string(1 + gen.Roll(20)) : gen.Next();
    const std::string geoid = gen.Next();
    const int unit = static_cast<int>(gen.Roll(5)) - 1;

    const TrackTable before = table;
    const RouteResult r = PrepareRoute(table, hz, geoid, unit, m);
    const std::string where = "round " + std::to_string(round);
    CheckPlan(before, table, r, m, where);
    if (HasFatalFailure()) return;
    for (const RouteMessage& msg : r.Messages)
      (msg.Id == RouteMessageId::IllegalNumberFormat ? malformed : outOfRange)++;
    planned += r.Accepted && m.LastSpan > 0;

    // A second preparation of the marked table changes no cell and agrees.
    const TrackTable marked = table;
    const RouteResult again = PrepareRoute(table, hz, geoid, unit, m);
    CheckPlan(marked, table, again, m, where + " again");
    if (HasFatalFailure()) return;
    for (int64_t row = 1; row <= trackMax; ++row)
      for (int col = 1; col <= 4; ++col)
        ASSERT_EQ(table.Cell(row, col), marked.Cell(row, col)) << where << " row " << row;
    ASSERT_EQ(again.Accepted, r.Accepted) << where;
    ASSERT_EQ(again.Messages, r.Messages) << where;
  }
  EXPECT_GT(planned, 100);
  EXPECT_GT(malformed, 100);
  EXPECT_GT(outOfRange, 100);
  std::printf("rounds planned %d, with format errors %d, range warnings %d\n", planned, malformed,
              outOfRange);
}

}  // namespace
}  // namespace fixcaster
