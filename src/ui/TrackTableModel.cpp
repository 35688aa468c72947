#include "ui/TrackTableModel.h"

#include <algorithm>
#include <climits>

namespace fixcaster::ui {

namespace {
// A view cannot show more rows than an int counts; the table itself may be longer.
int ViewRows(const TrackTable& table) {
  return int(std::clamp<int64_t>(table.TrackMax(), 0, INT_MAX - 1));
}
}  // namespace

TrackTableModel::TrackTableModel(TrackTable& table, QObject* parent)
    : QAbstractTableModel(parent), table_(table), rows_(ViewRows(table)) {}

int TrackTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int TrackTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : TrackTable::ColCount - 1;
}

QVariant TrackTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) return {};
  return QString::fromStdString(table_.Cell(GridRow(index.row()), index.column() + 1));
}

bool TrackTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::EditRole) return false;
  table_.SetCell(GridRow(index.row()), index.column() + 1, value.toString().toStdString());
  Q_EMIT dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
  return true;
}

QVariant TrackTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role == Qt::TextAlignmentRole)
    return orientation == Qt::Vertical ? QVariant(Qt::AlignCenter)
                                       : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Vertical) return QString::number(GridRow(section));
  return QString::fromStdString(table_.Cell(0, section + 1));
}

Qt::ItemFlags TrackTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

void TrackTableModel::Reload() {
  const int rows = ViewRows(table_);
  if (rows == rows_) {
    // Same shape: the view keeps its scroll position, current cell and open editor;
    // it repaints only what is visible.
    if (rows > 0) Q_EMIT dataChanged(index(0, 0), index(rows - 1, columnCount() - 1));
    return;
  }
  beginResetModel();
  rows_ = rows;
  endResetModel();
}

void TrackTableModel::HeadingsChanged() {
  Q_EMIT headerDataChanged(Qt::Horizontal, 0, TrackTable::ColCount - 2);
}

}  // namespace fixcaster::ui
