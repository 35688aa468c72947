#pragma once

#include <string>
#include <vector>

#include "app/Faults.h"
#include "app/FixPoint.h"
#include "nmea/Presets.h"
#include "nmea/Sentences.h"
#include "nmea/Sky.h"

namespace fixcaster {

// What the active faults do to each stage of a tick. Each is a pure transform of
// that stage's values; with no fault active each leaves its input as it is.

// The fix before it is formatted: the jumps, added up. The track is not moved.
FixPoint ApplyFixFaults(const ActiveFaults& faults, const FixPoint& fix);

// A computed sky: sats N keeps the N highest satellites in view (used ones and
// DOP follow), hdop X replaces the HDOP (PDOP follows from it and VDOP) while there
// is a fix, fix_lost leaves the satellites in view but none used and no fix.
void ApplySkyFaults(const ActiveFaults& faults, Sky& sky);

// The satellite summary of a preset (or of a sky): sats N caps the count GGA and
// GNS report, hdop X replaces their HDOP.
void ApplySummaryFaults(const ActiveFaults& faults, PresetSummary& summary);

// The tick's field texts and sentence settings, as a receiver sends them:
// - fix_lost: no position, altitude, geoid, speed or course fields (time and date
//   stay), GGA quality 0, mode N, status V, no satellites used, HDOP 99.99;
// - dgps_lost: a differential or RTK fix (quality 2, 4, 5; mode D, R, F; status
//   D) falls back to an autonomous one (1, A, A) without age or station;
// - sats and hdop on the summary, as ApplySummaryFaults.
void ApplyTickFaults(const ActiveFaults& faults, TickFields& fields, SentenceSettings& settings);

// A tick's framed lines (with or without their CR LF): silent sends nothing, drop
// TYPE removes the sentences of that type (any talker), fix_lost puts the fix mode
// of every GSA sentence, preset lines included, to 1 and frames it again.
void ApplyLineFaults(const ActiveFaults& faults, std::vector<std::string>& lines);

// Gives the first `count` lines that carry a checksum a wrong one; lines without a
// checksum are passed over. Returns how many were changed.
int CorruptChecksums(std::vector<std::string>& lines, int count);

// The sentence type of a framed line: the three letters after "$" and the talker,
// empty when the line is no sentence.
std::string SentenceType(const std::string& line);

}  // namespace fixcaster
