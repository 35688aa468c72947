#include "track/TrackTable.h"

#include <vector>

namespace fixcaster {

namespace {
const std::string kEmpty;
}

void TrackTable::SetTrackMax(int32_t trackMax) {
  trackMax_ = trackMax;
  ClearFrom(int64_t{trackMax} + 1);
}

const std::string& TrackTable::Cell(int64_t row, int col) const {
  if (col < ColLat || col > ColSpeed) return kEmpty;
  if (row == 0) return Headings[col - 1];
  if (row < 1 || row > trackMax_) return kEmpty;
  auto it = rows_.find(row);
  return it == rows_.end() ? kEmpty : it->second[col - 1];
}

std::string TrackTable::CellText(int64_t row, int col) const {
  if (col == 0 && row >= 1 && row <= trackMax_) return std::to_string(row);
  return Cell(row, col);
}

void TrackTable::SetCell(int64_t row, int col, std::string_view text) {
  if (col < ColLat || col > ColSpeed) return;
  if (row == 0) {
    Headings[col - 1] = text;
    return;
  }
  if (row < 1 || row > trackMax_) return;
  auto it = rows_.find(row);
  if (it == rows_.end()) {
    if (text.empty()) return;
    it = rows_.emplace(row, Row{}).first;
  }
  it->second[col - 1] = text;
  const Row& r = it->second;
  if (r[0].empty() && r[1].empty() && r[2].empty() && r[3].empty()) rows_.erase(it);
}

bool TrackTable::IsFilled(int64_t row) const {
  if (row < 1 || row > trackMax_) return false;
  auto it = rows_.find(row);
  return it != rows_.end() && !it->second[0].empty() && !it->second[1].empty();
}

void TrackTable::ClearFrom(int64_t firstRow) {
  if (firstRow <= 1) {
    rows_.clear();
    return;
  }
  for (auto it = rows_.begin(); it != rows_.end();) {
    if (it->first >= firstRow)
      it = rows_.erase(it);
    else
      ++it;
  }
}

void TrackTable::ClearAll() {
  rows_.clear();
}

}  // namespace fixcaster
