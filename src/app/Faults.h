#pragma once

#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace fixcaster {

enum class FaultKind { FixLost, DgpsLost, Sats, Hdop, Jump, Drop, BadChecksum, Silent };

// One fault on the run's time line, active from At for For seconds.
struct Fault {
  double At = 0;                                         // seconds from the start of the run
  double For = std::numeric_limits<double>::infinity();  // to the end of the run unless given
  FaultKind Kind = FaultKind::FixLost;
  int Count = 0;       // sats N (satellites in view), bad_checksum N (sentences)
  double Value = 0;    // hdop X, jump METRES
  double Bearing = 0;  // jump BEARING, degrees from true north, 0..360
  std::string Type;    // drop TYPE: GGA, RMC, GNS, GLL, VTG, ZDA, HDT, GSA or GSV

  bool ActiveAt(double seconds) const { return seconds >= At && seconds - At < For; }
};

enum class FaultErrorCode {
  None,
  Empty,            // nothing but blanks
  MissingKind,      // no kind=
  UnknownKind,      // Text is the kind
  UnknownKey,       // Text is the key= token
  RepeatedKey,      // Text is the key
  BadTime,          // Text is the at= or for= value
  MissingArgument,  // Text is the kind; the kind needs more arguments
  ExtraArgument,    // Text is the argument the kind does not take
  BadArgument,      // Text is the argument that is not a usable value
};

struct FaultError {
  FaultErrorCode Code = FaultErrorCode::None;
  std::string Text;
  FaultKind Kind = FaultKind::FixLost;  // of MissingArgument and BadArgument
};

struct FaultParse {
  Fault Value;
  FaultError Error;
  bool Ok() const { return Error.Code == FaultErrorCode::None; }
};

// A fault as the settings write it: blank-separated "at=SECONDS", "for=SECONDS"
// (both optional: from the start, to the end) and "kind=KIND" followed by the
// kind's arguments, e.g. "at=30 for=10 kind=fix_lost", "at=60 kind=jump 25 90".
// Kinds: fix_lost, dgps_lost, sats N, hdop X, jump METRES BEARING, drop TYPE,
// bad_checksum N, silent. Keys and kinds in either case.
FaultParse ParseFault(std::string_view text);
// The kind and its arguments alone ("sats 6"), for a fault given without a time
// line (the control socket); At 0, For to the end.
FaultParse ParseFaultKind(std::string_view kindAndArguments);

// "fix_lost", "sats 6", "jump 25 90", ...: the kind as the monitor marks it.
std::string FaultKindText(const Fault& fault);
// The settings' form, which ParseFault reads back: "at=30 for=10 kind=sats 6".
std::string FaultText(const Fault& fault);
// English text of an error, e.g. "unknown fault kind \"fix_lots\"".
std::string FaultErrorMessage(const FaultError& error);

// What the faults active at one moment do, merged: any fix_lost, dgps_lost or
// silent counts; of several sats faults the smallest count, of several hdop faults
// the one that started last; jumps add up; every dropped type is dropped.
struct ActiveFaults {
  bool FixLost = false;
  bool DgpsLost = false;
  bool Silent = false;
  int SatsLimit = -1;                                      // -1: none
  double Hdop = std::numeric_limits<double>::quiet_NaN();  // NaN: none
  double JumpNorth = 0, JumpEast = 0;                      // metres
  std::vector<std::string> Dropped;                        // sentence types
  int BadChecksums = 0;  // sentences still to be sent with a wrong checksum

  bool Any() const;
};

// The faults of a run: those of the settings, and those added while it runs. Build
// a new one at each start, since times count from the start of the run.
class FaultTimeline {
 public:
  void Add(const Fault& fault);
  void Clear();
  const std::vector<Fault>& Faults() const { return faults_; }

  ActiveFaults ActiveAt(double seconds) const;
  // The kinds active at that moment, for the monitor's mark; empty when none.
  std::vector<std::string> ActiveTexts(double seconds) const;

  // The line faults of that moment on a tick's framed lines (drop, silent, the GSA
  // fix mode of fix_lost, and wrong checksums), counting the corrupted sentences
  // against their bad_checksum faults so that each corrupts N in all.
  void ApplyToLines(double seconds, std::vector<std::string>& lines);

 private:
  std::vector<Fault> faults_;
  std::vector<int> corrupted_;  // per fault: sentences sent with a wrong checksum so far
};

}  // namespace fixcaster
