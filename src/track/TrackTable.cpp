#include "track/TrackTable.h"

#include <algorithm>

namespace fixcaster {

namespace {
const std::string kEmpty;

bool IsBlank(const TrackTable::Row& r) {
  return r[0].empty() && r[1].empty() && r[2].empty() && r[3].empty();
}
}  // namespace

void TrackTable::SetTrackMax(int32_t trackMax) {
  trackMax_ = trackMax;
  ClearFrom(int64_t{trackMax} + 1);
}

const TrackTable::Row* TrackTable::FindRow(int64_t row) const {
  if (row < 1 || row > trackMax_) return nullptr;
  if (row <= static_cast<int64_t>(dense_.size())) return &dense_[static_cast<size_t>(row - 1)];
  auto it = sparse_.find(row);
  return it == sparse_.end() ? nullptr : &it->second;
}

const std::string& TrackTable::Cell(int64_t row, int col) const {
  if (col < ColLat || col > ColSpeed) return kEmpty;
  if (row == 0) return Headings[col - 1];
  const Row* r = FindRow(row);
  return r ? (*r)[col - 1] : kEmpty;
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
  const auto denseSize = static_cast<int64_t>(dense_.size());
  if (row <= denseSize) {
    dense_[static_cast<size_t>(row - 1)][col - 1] = text;
    if (text.empty() && row == denseSize) TrimDense();
    return;
  }
  if (row == denseSize + 1) {
    if (text.empty()) return;
    dense_.emplace_back()[col - 1] = text;
    AbsorbSparse();
    return;
  }
  auto it = sparse_.find(row);
  if (it == sparse_.end()) {
    if (text.empty()) return;
    it = sparse_.emplace(row, Row{}).first;
  }
  it->second[col - 1] = text;
  if (IsBlank(it->second)) sparse_.erase(it);
}

void TrackTable::Reserve(int64_t rows) {
  rows = std::min<int64_t>(rows, trackMax_);
  if (rows > static_cast<int64_t>(dense_.size())) dense_.reserve(static_cast<size_t>(rows));
}

void TrackTable::AbsorbSparse() {
  while (!sparse_.empty() && sparse_.begin()->first == static_cast<int64_t>(dense_.size()) + 1) {
    dense_.push_back(std::move(sparse_.begin()->second));
    sparse_.erase(sparse_.begin());
  }
}

void TrackTable::TrimDense() {
  while (!dense_.empty() && IsBlank(dense_.back())) dense_.pop_back();
  // A trimmed dense run may now be followed by a gap; the sparse rows stay where they are.
}

bool TrackTable::IsFilled(int64_t row) const {
  const Row* r = FindRow(row);
  return r && !(*r)[0].empty() && !(*r)[1].empty();
}

void TrackTable::ClearFrom(int64_t firstRow) {
  if (firstRow <= 1) {
    ClearAll();
    return;
  }
  if (firstRow - 1 < static_cast<int64_t>(dense_.size())) {
    dense_.resize(static_cast<size_t>(firstRow - 1));
    TrimDense();
  }
  sparse_.erase(sparse_.lower_bound(firstRow), sparse_.end());
}

void TrackTable::ClearAll() {
  dense_.clear();
  dense_.shrink_to_fit();
  sparse_.clear();
}

size_t TrackTable::StoredRows() const {
  return sparse_.size() +
         static_cast<size_t>(
             std::count_if(dense_.begin(), dense_.end(), [](const Row& r) { return !IsBlank(r); }));
}

}  // namespace fixcaster
