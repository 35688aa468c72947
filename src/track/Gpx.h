#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "track/TrackRows.h"
#include "track/TrackTable.h"

namespace fixcaster {

// GPX 1.0 and 1.1 files: tracks (trk/trkseg/trkpt), routes (rte/rtept) and
// waypoints (wpt) with lat, lon, ele and time. Elements of other namespaces
// (extensions) are skipped.

// A point of the file: lat, lon, ele (metres) and time (seconds since 1970-01-01
// UTC, None when absent); GPX records no speed.
using GpxPoint = TrackPoint;

enum class GpxKind { Track, Route, Waypoints };

struct GpxSequence {
  GpxKind Kind = GpxKind::Track;
  std::string Name;  // the name element, "" when there is none
  std::vector<GpxPoint> Points;
  int64_t Segments = 0;  // trkseg elements of a track; their points follow each other
  // Points beyond the reader's limit, counted but not kept.
  int64_t PointsNotKept = 0;
};

struct GpxData {
  std::string Version;  // the version attribute of the gpx element ("1.0", "1.1")
  std::vector<GpxSequence> Tracks;
  std::vector<GpxSequence> Routes;
  GpxSequence Waypoints{GpxKind::Waypoints, "", {}, 0, 0};  // every wpt, in file order
};

// Where and why a file was refused. Line and column are 1-based; the reason is
// English text (from the XML parser or about a value).
struct GpxError {
  int64_t Line = 0;
  int64_t Column = 0;
  std::string Reason;
};

enum class GpxStatus { Ok, CannotOpen, Malformed };

struct GpxReadOptions {
  // Points kept per track, route and the waypoints; the rest are only counted.
  int64_t MaxPointsPerSequence = std::numeric_limits<int64_t>::max();
};

// Reads a GPX file in blocks, never holding it whole. A document that declares an
// entity (internal or external, general or parameter) is refused at that
// declaration: nothing is expanded and nothing is fetched, so an entity bomb costs
// nothing. A point without a readable lat or lon, a lat beyond +-90 or a lon
// beyond +-180, or an ele or time that cannot be read is malformed, as is a root
// element other than gpx.
GpxStatus ReadGpxFile(const std::string& path, GpxData& data, GpxError& error,
                      const GpxReadOptions& options = {});
// The same over bytes in memory.
GpxStatus ReadGpxText(std::string_view text, GpxData& data, GpxError& error,
                      const GpxReadOptions& options = {});

// The sequence a load takes, given the user's choice: empty for the default (the
// first track with points, else the first route with points, else the waypoints);
// otherwise the track (then the route) of that name, or, when none has it and the
// text is a number, the track of that 1-based number (the route when the file has
// no track). Nothing when the choice names no sequence.
struct GpxChoice {
  GpxKind Kind = GpxKind::Track;
  size_t Index = 0;  // 0-based within its kind
};
std::optional<GpxChoice> ChooseGpxSequence(const GpxData& data, std::string_view which);
const GpxSequence& SequenceOf(const GpxData& data, const GpxChoice& choice);

// GPX 1.1 with one trk of table rows 1..lastPoint: lat and lon from the position
// cells as the route reads them, ele from the altitude cell in metres (left out
// when it cannot be read). Rows whose position cannot be read or is out of range
// are not written; `Skipped` counts them.
struct GpxWriteResult {
  std::string Text;
  int64_t Written = 0;
  int64_t Skipped = 0;
};
GpxWriteResult TrackGpxText(const TrackTable& table, int64_t lastPoint, std::string_view trackName);

}  // namespace fixcaster
