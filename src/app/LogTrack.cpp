#include "app/LogTrack.h"

#include "app/NmeaLog.h"
#include "track/TrackRows.h"

namespace fixcaster {

LogImportResult ImportLogAsTrack(AppState& s, const std::string& path, std::string_view speed,
                                 SettingsWindow& window, const SettingsHooks& hooks) {
  LogImportResult result;
  NmeaLog log;
  if (ReadNmeaLogFile(path, log) != LogReadStatus::Ok) {
    window.ShowMessage(SettingsMessage::FileNotFound, path);
    return result;
  }
  result.SkippedLines = log.SkippedLines;
  const std::vector<TrackPoint> points = LogTrackPoints(log);
  result.Points = static_cast<int64_t>(points.size());
  TrackRowOptions options;
  options.SpeedUnit = s.SpeedUnit;
  options.UntimedSpeed = UntimedSpeedText(s, speed);
  TrackRowsResult rows = PointsToTrackRows(points, options);
  if (rows.Rows.empty()) {
    window.ShowTrackFileMessage(TrackFileMessage::NothingToLoad, {path});
    return result;
  }
  result.Rows = static_cast<int64_t>(rows.Rows.size());
  result.Table = ApplyTrackRows(s, path, std::move(rows.Rows), 0, window, hooks);
  result.Loaded = true;
  return result;
}

}  // namespace fixcaster
