#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace fixcaster {

// The track table as the user typed it: row 0 holds the headings, data rows are
// 1 .. TrackMax, columns 1 latitude, 2 longitude, 3 altitude, 4 speed (column 0 is
// the row number, derived, not stored). Cells keep their text exactly, in UTF-8.
//
// Only rows that were written are stored, so a table of TrackMax rows costs memory
// in proportion to its texts, not to TrackMax: a settings file asking for two
// billion rows cannot exhaust the machine. The usual table, rows 1 .. n written
// in order, lives in one dense vector (four short strings per row, no per-row
// node); rows written far beyond it go to a sorted map.
class TrackTable {
 public:
  static constexpr int ColLat = 1;
  static constexpr int ColLon = 2;
  static constexpr int ColAlt = 3;
  static constexpr int ColSpeed = 4;
  static constexpr int ColCount = 5;

  using Row = std::array<std::string, 4>;  // lat, lon, alt, speed

  explicit TrackTable(int32_t trackMax = 50) : trackMax_(trackMax) {}

  int32_t TrackMax() const { return trackMax_; }
  // RowCount = TrackMax + 1 (row 0 the headings).
  int64_t RowCount() const { return int64_t{trackMax_} + 1; }

  // Changes the number of data rows; rows beyond the new end are dropped.
  void SetTrackMax(int32_t trackMax);

  // Cell text; an index outside the table reads as empty (an unfilled row).
  // Column 0 gives the row number text of a data row, row 0 the heading.
  const std::string& Cell(int64_t row, int col) const;
  std::string CellText(int64_t row, int col) const;
  // Sets a cell of a data row (1 .. TrackMax, column 1 .. 4) or a heading (row 0).
  // Writes outside the table are ignored.
  void SetCell(int64_t row, int col, std::string_view text);

  // Makes room for data rows 1 .. `rows` (at most TrackMax) about to be written in
  // order, so that filling them never moves the rows already there. Changes no cell.
  void Reserve(int64_t rows);

  // Filled: neither the latitude nor the longitude cell is empty.
  bool IsFilled(int64_t row) const;

  // Clears all four cells of every data row from `firstRow` on.
  void ClearFrom(int64_t firstRow);
  void ClearAll();

  // Number of stored non-blank rows; for tests and memory estimates.
  size_t StoredRows() const;

  std::array<std::string, 4> Headings;

 private:
  const Row* FindRow(int64_t row) const;
  // Moves rows that now continue the dense run out of the sparse map.
  void AbsorbSparse();
  void TrimDense();

  int32_t trackMax_;
  std::vector<Row> dense_;         // rows 1 .. dense_.size()
  std::map<int64_t, Row> sparse_;  // non-blank rows beyond dense_.size() + 1
};

}  // namespace fixcaster
