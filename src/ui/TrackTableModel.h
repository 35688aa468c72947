#pragma once

#include <QAbstractTableModel>

#include "track/TrackTable.h"

namespace fixcaster::ui {

// The track grid's model: a view of the core's TrackTable, so the grid holds no copy
// and a table of a million rows costs only what its filled rows cost. Model columns
// 0..3 are the table's columns 1..4; the row numbers (table column 0) and the headings
// (table row 0) are the view's headers.
class TrackTableModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit TrackTableModel(TrackTable& table, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // The table was replaced or resized behind the model's back (settings load, CSV).
  void Reload();
  // The headings (row 0) changed.
  void HeadingsChanged();

  // Grid row (1-based) of a model row and back.
  static int GridRow(int modelRow) { return modelRow + 1; }
  static int ModelRow(int gridRow) { return gridRow - 1; }

 private:
  TrackTable& table_;
  int rows_ = 0;
};

}  // namespace fixcaster::ui
