#include "settings/TrackGpx.h"

#include <algorithm>
#include <cmath>

#include "settings/IniFile.h"
#include "settings/Settings.h"
#include "settings/TrackCsv.h"
#include "track/TrackGrammar.h"
#include "track/TrackRows.h"

namespace fixcaster {

namespace {

constexpr std::string_view kFallbackSpeed = "30";

bool IsPositiveSpeed(std::string_view text) {
  const double v = std::fabs(ParseNumber(text));
  return v > 0 && std::isfinite(v);
}

// File name without its folder and its last extension.
std::string StemOf(std::string_view path) {
  std::string name = FileNameOf(path);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

}  // namespace

TrackReplaceResult ReplaceTrackRows(AppState& s, std::vector<TrackTable::Row> rows,
                                    SettingsWindow& window, const SettingsHooks& hooks,
                                    int32_t limit) {
  TrackReplaceResult r;
  TrackTable& grid = s.StringGrid1;
  const auto count = static_cast<int64_t>(rows.size());
  if (count > grid.TrackMax() && grid.TrackMax() < limit) {
    const auto wanted = static_cast<int32_t>(std::min<int64_t>(count, limit));
    if (!hooks.ResizeTrackTables || hooks.ResizeTrackTables(wanted)) {
      grid.SetTrackMax(wanted);
      r.RaisedTrackMax = wanted;
      window.ShowTrackFileMessage(TrackFileMessage::TrackMaxRaised, {std::to_string(wanted)});
    } else {
      window.ShowMessage(SettingsMessage::MemoryOver, "");
    }
  }
  r.RowsWritten = std::min<int64_t>(count, grid.TrackMax());
  grid.Reserve(r.RowsWritten);
  for (int64_t n = 1; n <= r.RowsWritten; ++n) {
    TrackTable::Row& row = rows[static_cast<size_t>(n - 1)];
    for (int c = 0; c < 4; ++c) grid.SetCell(n, TrackTable::ColLat + c, row[c]);
  }
  grid.ClearFrom(r.RowsWritten + 1);
  r.LeftOut = count - r.RowsWritten;
  // A cut recording ends at its last row kept instead of closing back to row 1.
  if (r.LeftOut > 0 && r.RowsWritten > 0) grid.SetCell(r.RowsWritten, TrackTable::ColSpeed, "0");
  return r;
}

std::string UntimedSpeedText(const AppState& s, std::string_view given) {
  if (IsPositiveSpeed(given)) return std::string(given);
  const std::string& first = s.StringGrid1.Cell(1, TrackTable::ColSpeed);
  if (IsPositiveSpeed(first)) return first;
  return std::string(kFallbackSpeed);
}

GpxImportResult LoadTrackGpx(AppState& s, const std::string& path, const GpxImportOptions& options,
                             SettingsWindow& window, const SettingsHooks& hooks) {
  GpxData data;
  GpxError error;
  // Points past the largest table would only be left out: counted, not kept.
  GpxReadOptions read;
  read.MaxPointsPerSequence = TrackMaxLimit;
  switch (ReadGpxFile(path, data, error, read)) {
    case GpxStatus::CannotOpen:
      window.ShowMessage(SettingsMessage::FileNotFound, path);
      return {};
    case GpxStatus::Malformed:
      window.ShowTrackFileMessage(
          TrackFileMessage::GpxMalformed,
          {path, std::to_string(error.Line), std::to_string(error.Column), error.Reason});
      return {};
    case GpxStatus::Ok:
      break;
  }
  return ApplyGpx(s, data, path, options, window, hooks);
}

GpxImportResult ApplyGpx(AppState& s, const GpxData& data, const std::string& path,
                         const GpxImportOptions& options, SettingsWindow& window,
                         const SettingsHooks& hooks) {
  GpxImportResult result;
  std::optional<GpxChoice> choice;
  const auto withPoints = std::count_if(data.Tracks.begin(), data.Tracks.end(),
                                        [](const GpxSequence& t) { return !t.Points.empty(); });
  if (options.Track.empty() && withPoints > 1) {
    // Only tracks with points are offered; `offered` maps back to the file's order.
    std::vector<TrackChoiceItem> items;
    std::vector<size_t> offered;
    for (size_t i = 0; i < data.Tracks.size(); ++i) {
      const GpxSequence& t = data.Tracks[i];
      if (t.Points.empty()) continue;
      items.push_back({t.Name, static_cast<int64_t>(t.Points.size()) + t.PointsNotKept});
      offered.push_back(i);
    }
    const std::optional<size_t> picked = window.ChooseTrack(items);
    if (!picked || *picked >= offered.size()) return result;  // cancelled: nothing changes
    choice = GpxChoice{GpxKind::Track, offered[*picked]};
  } else {
    choice = ChooseGpxSequence(data, options.Track);
  }
  if (!choice) {
    if (options.Track.empty()) {
      window.ShowTrackFileMessage(TrackFileMessage::NothingToLoad, {path});
    } else {
      window.ShowTrackFileMessage(TrackFileMessage::GpxTrackNotFound, {options.Track, path});
    }
    return result;
  }
  const GpxSequence& seq = SequenceOf(data, *choice);
  TrackRowOptions rowOptions;
  rowOptions.SpeedUnit = s.SpeedUnit;
  rowOptions.UntimedSpeed = UntimedSpeedText(s, options.Speed);
  TrackRowsResult rows = PointsToTrackRows(seq.Points, rowOptions);
  if (rows.Rows.empty()) {
    window.ShowTrackFileMessage(TrackFileMessage::NothingToLoad, {path});
    return result;
  }
  result.Chosen = *choice;
  result.ChosenName = seq.Name;
  result.Points = static_cast<int64_t>(seq.Points.size()) + seq.PointsNotKept;
  result.Rows = static_cast<int64_t>(rows.Rows.size());
  result.Merged = rows.Merged;
  result.TimedSpans = rows.TimedSpans;

  result.Table = ApplyTrackRows(s, path, std::move(rows.Rows), seq.PointsNotKept, window, hooks);
  result.Loaded = true;
  return result;
}

TrackReplaceResult ApplyTrackRows(AppState& s, const std::string& path,
                                  std::vector<TrackTable::Row> rows, int64_t notKept,
                                  SettingsWindow& window, const SettingsHooks& hooks) {
  s.LabelIni = FileNameOf(path);
  TrackReplaceResult r = ReplaceTrackRows(s, std::move(rows), window, hooks);
  if (r.LeftOut + notKept > 0)
    window.ShowTrackFileMessage(TrackFileMessage::PointsLeftOut,
                                {std::to_string(r.LeftOut + notKept)});
  if (hooks.PrepareRoute) hooks.PrepareRoute(s);
  window.SelectGridCell(1, TrackTable::ColLat);
  return r;
}

TrackFileKind TrackFileKindOf(std::string_view path) {
  const std::string name = AsciiLower(FileNameOf(path));
  const auto endsWith = [&](std::string_view ext) {
    return name.size() >= ext.size() &&
           name.compare(name.size() - ext.size(), ext.size(), ext) == 0;
  };
  if (endsWith(".gpx")) return TrackFileKind::Gpx;
  if (endsWith(".csv")) return TrackFileKind::Csv;
  return TrackFileKind::Other;
}

bool LoadTrackFile(AppState& s, const std::string& path, const GpxImportOptions& options,
                   SettingsWindow& window, const SettingsHooks& hooks) {
  if (TrackFileKindOf(path) == TrackFileKind::Gpx)
    return LoadTrackGpx(s, path, options, window, hooks).Loaded;
  return LoadTrackCsv(s, path, window, hooks);
}

std::string TrackFileText(const std::string& path, const TrackTable& grid, int64_t lastPoint,
                          int64_t& skipped) {
  skipped = 0;
  if (TrackFileKindOf(path) != TrackFileKind::Gpx) return TrackCsvText(grid, lastPoint);
  GpxWriteResult gpx = TrackGpxText(grid, lastPoint, StemOf(path));
  skipped = gpx.Skipped;
  return std::move(gpx.Text);
}

}  // namespace fixcaster
