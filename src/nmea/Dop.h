#pragma once

#include <optional>
#include <span>

namespace fixcaster {

// Unit line of sight from the receiver to a satellite in the local frame.
struct LineOfSight {
  double East = 0, North = 0, Up = 0;
};

struct DilutionOfPrecision {
  double Pdop = 0, Hdop = 0, Vdop = 0;
  int Dimensions = 3;  // 3: a 3D fix; 2: the height held, Vdop has no meaning
};

// Dilution of precision of a least-squares fix from the used satellites: rows
// G = [-e, 1] (the line of sight and the receiver clock), Q = (G^T G)^-1 in the
// local east-north-up frame, HDOP = sqrt(Qee + Qnn), VDOP = sqrt(Quu), PDOP =
// sqrt(Qee + Qnn + Quu). Three satellites give a 2D fix with the height held (the
// up column dropped; PDOP = HDOP). Fewer, or a geometry that fixes nothing (all
// satellites in one direction, or all at one elevation), give nullopt.
std::optional<DilutionOfPrecision> ComputeDop(std::span<const LineOfSight> used);

}  // namespace fixcaster
