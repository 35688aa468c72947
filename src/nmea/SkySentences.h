#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "nmea/Sky.h"

namespace fixcaster {

// The GSA and GSV sentences of a computed sky, framed (checksum appended, no line
// end), appended to `out` in the order they are sent: the systems in the order GPS,
// GLONASS, Galileo, BeiDou, each system that is switched on even when it has
// nothing in view or in use. `nmeaVersion` is the version box's text.

// GSA: before 4.1 one sentence per system with its own talker (GPGSA, GLGSA, GAGSA,
// GBGSA), so GPS comes first as the presets have it; from 4.1 on one per system with
// the system id (1 GPS, 2 GLONASS, 3 Galileo, 4 BeiDou) after VDOP, talker GN when
// more than one system is on (a single-system receiver keeps its own talker). Mode
// A, the fix mode, up to 12 used satellites by number, empty fields after them, the
// whole fix's PDOP, HDOP and VDOP ("99.99" without a fix).
void AppendSkyGsa(const Sky& sky, std::string_view nmeaVersion, std::vector<std::string>& out);

// GSV: per system with its talker (GP, GL, GA, GB), four satellites per sentence in
// number order, each with its number, elevation (two digits), azimuth (three) and
// C/N0 (two); from 4.1 on the signal id ends each sentence (1 GPS L1 C/A, GLONASS
// L1OF and BeiDou B1I; 7 Galileo E1). A system with nothing in view sends one
// sentence with 00 satellites. The sentence count is one digit, so at most 36
// satellites of a system are listed.
void AppendSkyGsv(const Sky& sky, std::string_view nmeaVersion, std::vector<std::string>& out);

}  // namespace fixcaster
