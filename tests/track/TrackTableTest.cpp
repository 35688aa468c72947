#include "track/TrackTable.h"

#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <random>
#include <string>

namespace fixcaster {
namespace {

TEST(TrackTable, BoundsHeadingsAndRowNumbers) {
  TrackTable table(6);
  table.SetCell(0, TrackTable::ColLat, " Latitude");
  table.SetCell(7, TrackTable::ColLat, "1");  // beyond TrackMax: ignored
  table.SetCell(-1, TrackTable::ColLat, "1");
  table.SetCell(1, 0, "9");  // the row number column is derived
  table.SetCell(1, 5, "9");
  EXPECT_EQ(table.Cell(0, TrackTable::ColLat), " Latitude");
  EXPECT_EQ(table.CellText(3, 0), "3");
  EXPECT_EQ(table.StoredRows(), 0u);
  EXPECT_FALSE(table.IsFilled(7));
  EXPECT_TRUE(table.Cell(7, TrackTable::ColLat).empty());

  table.SetCell(6, TrackTable::ColLat, " ");
  table.SetCell(6, TrackTable::ColLon, "2");
  EXPECT_TRUE(table.IsFilled(6));  // a cell of spaces is not empty
  table.SetTrackMax(5);
  EXPECT_FALSE(table.IsFilled(6));
  table.SetTrackMax(6);
  EXPECT_TRUE(table.Cell(6, TrackTable::ColLon).empty());  // dropped rows do not come back
}

// Rows filled in order after Reserve stay where they are; a request beyond
// TrackMax reserves no more than TrackMax rows.
TEST(TrackTable, ReservedRowsFillWithoutMoving) {
  TrackTable table(1000);
  table.SetCell(1, TrackTable::ColLat, "35 40 49.448");
  table.Reserve(std::numeric_limits<int64_t>::max());
  const std::string* first = &table.Cell(1, TrackTable::ColLat);
  for (int64_t row = 2; row <= 1000; ++row) table.SetCell(row, TrackTable::ColLon, "139");
  EXPECT_EQ(&table.Cell(1, TrackTable::ColLat), first);
  EXPECT_EQ(*first, "35 40 49.448");
  EXPECT_EQ(table.Cell(1000, TrackTable::ColLon), "139");
  EXPECT_EQ(table.StoredRows(), 1000u);
}

// Random edits against a plain map of cells: whatever the order of writes (dense
// run, far rows, gaps, clearing), every cell reads back as written.
TEST(TrackTable, MatchesAPlainModelUnderRandomEdits) {
  const char* texts[] = {
      "", "", "1", "35 40 49.448", " ", "NG 1.2.3", "a longer text than fifteen"};
  std::mt19937 rng(7);
  for (int round = 0; round < 20; ++round) {
    int32_t trackMax = 40;
    TrackTable table(trackMax);
    std::map<std::pair<int64_t, int>, std::string> model;
    for (int op = 0; op < 400; ++op) {
      const unsigned kind = rng() % 20;
      if (kind == 0) {
        const int64_t from = rng() % 45;
        table.ClearFrom(from);
        std::erase_if(model, [&](const auto& kv) { return kv.first.first >= from; });
      } else if (kind == 1) {
        trackMax = static_cast<int32_t>(10 + rng() % 35);
        table.SetTrackMax(trackMax);
        std::erase_if(model, [&](const auto& kv) { return kv.first.first > trackMax; });
      } else {
        // Mostly near the end of the run, sometimes anywhere.
        const int64_t row =
            kind < 12 ? 1 + static_cast<int64_t>(table.StoredRows()) + rng() % 3 : 1 + rng() % 44;
        const int col = 1 + static_cast<int>(rng() % 4);
        const std::string text = texts[rng() % std::size(texts)];
        table.SetCell(row, col, text);
        if (row <= trackMax) {
          if (text.empty())
            model.erase({row, col});
          else
            model[{row, col}] = text;
        }
      }
      size_t nonBlankRows = 0;
      for (int64_t row = 1; row <= 45; ++row) {
        bool any = false;
        for (int col = 1; col <= 4; ++col) {
          auto it = model.find({row, col});
          const std::string expected = it == model.end() ? "" : it->second;
          ASSERT_EQ(table.Cell(row, col), expected)
              << "round " << round << " op " << op << " row " << row << " col " << col;
          any |= !expected.empty();
        }
        nonBlankRows += any;
        ASSERT_EQ(table.IsFilled(row),
                  model.count({row, TrackTable::ColLat}) && model.count({row, TrackTable::ColLon}))
            << "row " << row;
      }
      ASSERT_EQ(table.StoredRows(), nonBlankRows) << "round " << round << " op " << op;
    }
  }
}

}  // namespace
}  // namespace fixcaster
