#include "app/Faults.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "app/FaultEffects.h"
#include "settings/IniFile.h"

namespace fixcaster {

namespace {

struct KindInfo {
  std::string_view Name;
  FaultKind Kind;
  int Arguments;
  std::string_view Usage;
};

constexpr std::array<KindInfo, 8> Kinds = {{
    {"fix_lost", FaultKind::FixLost, 0, "fix_lost"},
    {"dgps_lost", FaultKind::DgpsLost, 0, "dgps_lost"},
    {"sats", FaultKind::Sats, 1, "sats N (a whole number of satellites)"},
    {"hdop", FaultKind::Hdop, 1, "hdop X (a number above 0)"},
    {"jump", FaultKind::Jump, 2, "jump METRES BEARING (metres, degrees from north)"},
    {"drop", FaultKind::Drop, 1, "drop TYPE (GGA, RMC, GNS, GLL, VTG, ZDA, HDT, GSA or GSV)"},
    {"bad_checksum", FaultKind::BadChecksum, 1,
     "bad_checksum N (a whole number of sentences, at least 1)"},
    {"silent", FaultKind::Silent, 0, "silent"},
}};

constexpr std::array<std::string_view, 9> SentenceTypes = {"GGA", "RMC", "GNS", "GLL", "VTG",
                                                           "ZDA", "HDT", "GSA", "GSV"};

const KindInfo& InfoOf(FaultKind kind) {
  for (const KindInfo& k : Kinds) {
    if (k.Kind == kind) return k;
  }
  return Kinds[0];
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (true) {
    i = text.find_first_not_of(" \t", i);
    if (i == std::string_view::npos) break;
    const size_t end = std::min(text.find_first_of(" \t", i), text.size());
    out.push_back(text.substr(i, end - i));
    i = end;
  }
  return out;
}

bool Number(std::string_view s, double& value) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  return ec == std::errc() && end == s.data() + s.size() && std::isfinite(value);
}

bool Whole(std::string_view s, int min, int& value) {
  double d = 0;
  if (!Number(s, d) || d != std::floor(d) || d < min || d > 1e6) return false;
  value = static_cast<int>(d);
  return true;
}

std::string NumberText(double v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

FaultParse Error(FaultErrorCode code, std::string_view text, FaultKind kind = FaultKind::FixLost) {
  FaultParse p;
  p.Error = {code, std::string(text), kind};
  return p;
}

// The kind and its arguments into `fault`.
FaultParse ParseKind(std::string_view name, const std::vector<std::string_view>& args,
                     Fault fault) {
  const std::string lower = AsciiLower(name);
  const auto info =
      std::find_if(Kinds.begin(), Kinds.end(), [&](const KindInfo& k) { return k.Name == lower; });
  if (info == Kinds.end()) return Error(FaultErrorCode::UnknownKind, name);
  fault.Kind = info->Kind;
  if (static_cast<int>(args.size()) < info->Arguments)
    return Error(FaultErrorCode::MissingArgument, info->Name, info->Kind);
  if (static_cast<int>(args.size()) > info->Arguments)
    return Error(FaultErrorCode::ExtraArgument, args[info->Arguments]);
  auto bad = [&](std::string_view arg) {
    return Error(FaultErrorCode::BadArgument, arg, info->Kind);
  };
  switch (info->Kind) {
    case FaultKind::Sats:
      if (!Whole(args[0], 0, fault.Count)) return bad(args[0]);
      break;
    case FaultKind::BadChecksum:
      if (!Whole(args[0], 1, fault.Count)) return bad(args[0]);
      break;
    case FaultKind::Hdop:
      if (!Number(args[0], fault.Value) || !(fault.Value > 0)) return bad(args[0]);
      break;
    case FaultKind::Jump:
      if (!Number(args[0], fault.Value) || fault.Value < 0) return bad(args[0]);
      if (!Number(args[1], fault.Bearing)) return bad(args[1]);
      fault.Bearing = std::fmod(fault.Bearing, 360.0);
      if (fault.Bearing < 0) fault.Bearing += 360;
      break;
    case FaultKind::Drop: {
      fault.Type = Upper(args[0]);
      if (std::find(SentenceTypes.begin(), SentenceTypes.end(), fault.Type) == SentenceTypes.end())
        return bad(args[0]);
      break;
    }
    case FaultKind::FixLost:
    case FaultKind::DgpsLost:
    case FaultKind::Silent:
      break;
  }
  FaultParse p;
  p.Value = std::move(fault);
  return p;
}

}  // namespace

FaultParse ParseFault(std::string_view text) {
  const std::vector<std::string_view> words = Words(text);
  if (words.empty()) return Error(FaultErrorCode::Empty, "");
  Fault fault;
  bool haveAt = false, haveFor = false, haveKind = false;
  bool argumentsOpen = false;  // bare words belong to the kind just read
  std::string_view kind;
  std::vector<std::string_view> args;
  for (std::string_view w : words) {
    const size_t eq = w.find('=');
    if (eq == std::string_view::npos) {
      if (!argumentsOpen) return Error(FaultErrorCode::ExtraArgument, w);
      args.push_back(w);
      continue;
    }
    argumentsOpen = false;
    const std::string key = AsciiLower(w.substr(0, eq));
    const std::string_view value = w.substr(eq + 1);
    if (key == "at" || key == "for") {
      bool& have = key == "at" ? haveAt : haveFor;
      if (have) return Error(FaultErrorCode::RepeatedKey, key);
      have = true;
      double seconds = 0;
      const bool ok = Number(value, seconds) && (key == "at" ? seconds >= 0 : seconds > 0);
      if (!ok) return Error(FaultErrorCode::BadTime, value);
      (key == "at" ? fault.At : fault.For) = seconds;
    } else if (key == "kind") {
      if (haveKind) return Error(FaultErrorCode::RepeatedKey, key);
      haveKind = true;
      kind = value;
      argumentsOpen = true;
    } else {
      return Error(FaultErrorCode::UnknownKey, w);
    }
  }
  if (!haveKind) return Error(FaultErrorCode::MissingKind, "");
  return ParseKind(kind, args, fault);
}

FaultParse ParseFaultKind(std::string_view kindAndArguments) {
  const std::vector<std::string_view> words = Words(kindAndArguments);
  if (words.empty()) return Error(FaultErrorCode::Empty, "");
  return ParseKind(words[0], {words.begin() + 1, words.end()}, Fault{});
}

std::string FaultKindText(const Fault& f) {
  std::string text(InfoOf(f.Kind).Name);
  switch (f.Kind) {
    case FaultKind::Sats:
    case FaultKind::BadChecksum:
      return text + " " + std::to_string(f.Count);
    case FaultKind::Hdop:
      return text + " " + NumberText(f.Value);
    case FaultKind::Jump:
      return text + " " + NumberText(f.Value) + " " + NumberText(f.Bearing);
    case FaultKind::Drop:
      return text + " " + f.Type;
    case FaultKind::FixLost:
    case FaultKind::DgpsLost:
    case FaultKind::Silent:
      break;
  }
  return text;
}

std::string FaultText(const Fault& f) {
  std::string text = "at=" + NumberText(f.At);
  if (std::isfinite(f.For)) text += " for=" + NumberText(f.For);
  return text + " kind=" + FaultKindText(f);
}

std::string FaultErrorMessage(const FaultError& e) {
  const std::string q = "\"" + e.Text + "\"";
  switch (e.Code) {
    case FaultErrorCode::None:
      return "";
    case FaultErrorCode::Empty:
      return "the fault is empty";
    case FaultErrorCode::MissingKind:
      return "the fault has no kind=";
    case FaultErrorCode::UnknownKind:
      return "unknown fault kind " + q;
    case FaultErrorCode::UnknownKey:
      return "unknown key " + q;
    case FaultErrorCode::RepeatedKey:
      return e.Text + "= is given twice";
    case FaultErrorCode::BadTime:
      return q + " is not a time in seconds";
    case FaultErrorCode::MissingArgument:
      return "missing argument, write " + std::string(InfoOf(e.Kind).Usage);
    case FaultErrorCode::ExtraArgument:
      return "unexpected argument " + q;
    case FaultErrorCode::BadArgument:
      return q + " does not fit " + std::string(InfoOf(e.Kind).Usage);
  }
  return "";
}

bool ActiveFaults::Any() const {
  return FixLost || DgpsLost || Silent || SatsLimit >= 0 || !std::isnan(Hdop) || JumpNorth != 0 ||
         JumpEast != 0 || !Dropped.empty() || BadChecksums > 0;
}

void FaultTimeline::Add(const Fault& fault) {
  faults_.push_back(fault);
  corrupted_.push_back(0);
}

void FaultTimeline::Clear() {
  faults_.clear();
  corrupted_.clear();
}

ActiveFaults FaultTimeline::ActiveAt(double seconds) const {
  ActiveFaults a;
  double hdopStart = -1;
  for (size_t i = 0; i < faults_.size(); ++i) {
    const Fault& f = faults_[i];
    if (!f.ActiveAt(seconds)) continue;
    switch (f.Kind) {
      case FaultKind::FixLost:
        a.FixLost = true;
        break;
      case FaultKind::DgpsLost:
        a.DgpsLost = true;
        break;
      case FaultKind::Silent:
        a.Silent = true;
        break;
      case FaultKind::Sats:
        a.SatsLimit = a.SatsLimit < 0 ? f.Count : std::min(a.SatsLimit, f.Count);
        break;
      case FaultKind::Hdop:
        if (f.At >= hdopStart) {
          a.Hdop = f.Value;
          hdopStart = f.At;
        }
        break;
      case FaultKind::Jump: {
        const NorthEast d = Displacement(f.Value, f.Bearing);
        a.JumpNorth += d.North;
        a.JumpEast += d.East;
        break;
      }
      case FaultKind::Drop:
        if (std::find(a.Dropped.begin(), a.Dropped.end(), f.Type) == a.Dropped.end())
          a.Dropped.push_back(f.Type);
        break;
      case FaultKind::BadChecksum:
        a.BadChecksums += std::max(0, f.Count - corrupted_[i]);
        break;
    }
  }
  return a;
}

std::vector<std::string> FaultTimeline::ActiveTexts(double seconds) const {
  std::vector<std::string> out;
  for (size_t i = 0; i < faults_.size(); ++i) {
    const Fault& f = faults_[i];
    if (!f.ActiveAt(seconds)) continue;
    if (f.Kind == FaultKind::BadChecksum && corrupted_[i] >= f.Count) continue;
    out.push_back(FaultKindText(f));
  }
  return out;
}

void FaultTimeline::ApplyToLines(double seconds, std::vector<std::string>& lines) {
  const ActiveFaults active = ActiveAt(seconds);
  ApplyLineFaults(active, lines);
  if (active.BadChecksums <= 0) return;
  int corrupted = CorruptChecksums(lines, active.BadChecksums);
  // Charged to the faults in their order, each up to its count.
  for (size_t i = 0; i < faults_.size() && corrupted > 0; ++i) {
    const Fault& f = faults_[i];
    if (f.Kind != FaultKind::BadChecksum || !f.ActiveAt(seconds)) continue;
    const int take = std::min(corrupted, std::max(0, f.Count - corrupted_[i]));
    corrupted_[i] += take;
    corrupted -= take;
  }
}

}  // namespace fixcaster
