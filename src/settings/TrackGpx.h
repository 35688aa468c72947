#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "settings/Settings.h"
#include "settings/SettingsHost.h"
#include "state/AppState.h"
#include "track/Gpx.h"
#include "track/TrackTable.h"

namespace fixcaster {

// Track files other than CSV: GPX in and out, and the table replacement that every
// import of recorded points shares.

// What a whole new track did to the table.
struct TrackReplaceResult {
  int64_t RowsWritten = 0;
  int64_t LeftOut = 0;         // rows beyond the largest table allowed
  int32_t RaisedTrackMax = 0;  // the new TrackMax when it was raised, else 0
};

// Replaces the table's rows with `rows`. When they are more than TrackMax, TrackMax
// is raised as far as they need and TrackMaxLimit allows (hooks.ResizeTrackTables
// sizes the route tables first; when it refuses, "Memory over." and TrackMax stays)
// and the window is told; rows that still do not fit are left out, and the last
// row kept gets the speed "0" so the route ends there. TrackMax is never lowered. (`limit` is
// TrackMaxLimit but for tests.)
TrackReplaceResult ReplaceTrackRows(AppState& state, std::vector<TrackTable::Row> rows,
                                    SettingsWindow& window, const SettingsHooks& hooks,
                                    int32_t limit = TrackMaxLimit);

// The end every import of recorded points shares: LabelIni names the file, the rows
// replace the table, the points left out (with `notKept` more that the reader did
// not keep) are counted in a message, the route is prepared and row 1 selected.
TrackReplaceResult ApplyTrackRows(AppState& state, const std::string& path,
                                  std::vector<TrackTable::Row> rows, int64_t notKept,
                                  SettingsWindow& window, const SettingsHooks& hooks);

// The speed cell text of rows whose speed neither was recorded nor follows from
// times: `given` (--speed) when it is a positive number, else the first row's
// current speed when that is one, else "30".
std::string UntimedSpeedText(const AppState& state, std::string_view given);

struct GpxImportOptions {
  std::string Track;  // --gpx-track: a track's name or 1-based number; "" the default
  std::string Speed;  // --speed: speed cell text for rows without times; "" none
};

struct GpxImportResult {
  bool Loaded = false;
  GpxChoice Chosen;        // what was loaded: a track, a route or the waypoints
  std::string ChosenName;  // its name ("" for none, and for the waypoints)
  int64_t Points = 0;      // points of the chosen sequence in the file
  int64_t Rows = 0;        // rows the points became
  int64_t Merged = 0;
  int64_t TimedSpans = 0;
  TrackReplaceResult Table;
};

// Replaces the table with the chosen sequence of a GPX file, then prepares the
// route, like a CSV import. On any error (file not found, malformed file, no
// points, no such track, the user cancelling the choice of several tracks) a
// message is shown and the table stays as it was.
GpxImportResult LoadTrackGpx(AppState& state, const std::string& path,
                             const GpxImportOptions& options, SettingsWindow& window,
                             const SettingsHooks& hooks);
// The same for a file already read (the window may have read it to offer its
// tracks); `path` names it in messages and in LabelIni.
GpxImportResult ApplyGpx(AppState& state, const GpxData& data, const std::string& path,
                         const GpxImportOptions& options, SettingsWindow& window,
                         const SettingsHooks& hooks);

enum class TrackFileKind { Other, Csv, Gpx };
// By the extension, in any letter case.
TrackFileKind TrackFileKindOf(std::string_view path);

// --track FILE and the Load CSV dialog: a ".gpx" file is read as GPX, anything else
// as CSV. True when the table was replaced.
bool LoadTrackFile(AppState& state, const std::string& path, const GpxImportOptions& options,
                   SettingsWindow& window, const SettingsHooks& hooks);

// The text Save CSV writes to `path`: GPX 1.1 when the name ends in ".gpx" (rows
// whose position cannot be read are counted in `skipped`), the CSV text otherwise.
std::string TrackFileText(const std::string& path, const TrackTable& grid, int64_t lastPoint,
                          int64_t& skipped);

}  // namespace fixcaster
