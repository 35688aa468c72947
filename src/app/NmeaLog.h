#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "track/TrackRows.h"

namespace fixcaster {

// A recorded NMEA log, read for replay: its sentences grouped into epochs (one
// receiver cycle each) with their recorded spacing, and the rewriting of their time
// and date fields to a new UTC. Times are whole microseconds.

enum class ChecksumState {
  Absent,   // no "*" in the sentence
  Valid,    // "*" and two hexadecimal digits (either case) that match
  Invalid,  // anything else after "*": wrong digits, too few or too many, not hex
};

struct LogSentence {
  std::string Text;  // as recorded, from "$" or "!" on, without prefix or line end
  std::string Type;  // "RMC" for "$GPRMC"; the whole address for proprietary ("PGRME")
  ChecksumState Checksum = ChecksumState::Absent;
  // The line's timestamp prefix, if it had one that could be read: microseconds
  // since 1970 UTC, or since midnight when the prefix held a time of day only.
  std::optional<int64_t> PrefixTime;
  bool PrefixHasDate = false;
};

struct LogEpoch {
  size_t First = 0;  // index of its first sentence
  size_t Count = 0;
  // Microseconds after the first epoch at which the recording sent it; never
  // decreasing from one epoch to the next.
  int64_t Offset = 0;
  // Its UTC from the time fields of RMC, GGA, GNS, GLL or ZDA: microseconds since
  // 1970 when the log carries a date (RMC or ZDA), else since the midnight before
  // the first timed epoch. Nothing when no sentence of the epoch had a time.
  std::optional<int64_t> RecordedUtc;
};

struct NmeaLog {
  std::vector<LogSentence> Sentences;
  std::vector<LogEpoch> Epochs;
  int64_t Lines = 0;         // non-blank lines read
  int64_t SkippedLines = 0;  // non-blank lines that held no sentence
  bool HasDate = false;      // RecordedUtc counts from 1970 (a date was recorded)
};

// Reads a log: bare sentences, or lines with a timestamp prefix before the "$" (or
// "!") as loggers write them ("2024-05-01T12:00:00.123Z $GPRMC...", "2024-05-01
// 12:00:00: $GP...", "[12:00:00.123] $GP...", "1714564800.123 $GP...", tab or
// space separated); CR LF, LF or CR line ends. A line without a well-formed
// sentence (address of 2 to 10 capitals or digits after "$", printable ASCII only)
// is skipped and counted.
//
// Epochs: a new one begins where the time field of RMC, GGA, GNS, GLL or ZDA
// changes, and where one of these types comes again without a time (a receiver
// without a fix). A log with no such time at all is split where the prefix time
// changes or, without prefixes, where a sentence type comes again. The spacing of
// two epochs is the difference of their recorded UTC when both have one (across
// midnight too), else of their prefix times, else one second; a step backwards
// counts as 0.
NmeaLog ParseNmeaLog(std::string_view bytes);

enum class LogReadStatus { Ok, CannotOpen };
// Reads a regular file (a FIFO or device is refused, never waited on).
LogReadStatus ReadNmeaLogFile(const std::string& path, NmeaLog& log);

// True for the types the program itself sends (GGA, RMC, GNS, GLL, VTG, ZDA, HDT,
// GSA, GSV).
bool IsKnownSentenceType(std::string_view type);

// The lines of one epoch as they are to be sent, each ending in CR LF:
// - known types get their time fields (RMC, GGA, GNS, GLL, ZDA) moved by
//   `shiftMicros`, keeping each field's number of decimals, and their date fields
//   (RMC, ZDA) rewritten too when the log has a date; their checksum is computed
//   afresh when it was right or absent; a wrong one stays wrong by the same bits
//   (one that cannot be read stays as recorded), unless `fixChecksums`;
// - other types go out as recorded, except that `fixChecksums` corrects a wrong
//   checksum.
std::vector<std::string> EpochLines(const NmeaLog& log, size_t epoch, int64_t shiftMicros,
                                    bool fixChecksums);

// The XOR of the characters between "$" (or "!") and "*" (or the end).
uint8_t NmeaChecksum(std::string_view sentence);

// One point per epoch that has a position: latitude and longitude of RMC (status A)
// or else of GGA (quality above 0), altitude from GGA, speed from RMC, time from the
// epoch's recorded UTC (seconds).
std::vector<TrackPoint> LogTrackPoints(const NmeaLog& log);

}  // namespace fixcaster
