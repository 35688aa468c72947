#include "app/CommandLine.h"

#include <arpa/inet.h>

#include <charconv>
#include <cmath>
#include <functional>

#include "app/UtcTime.h"
#include "settings/Settings.h"

namespace fixcaster {
namespace {

// --- outputs -------------------------------------------------------------------------

std::string CheckPort(std::string_view text, std::string_view spec) {
  unsigned port = 0;
  const char* first = text.data();
  const char* last = first + text.size();
  auto r = std::from_chars(first, last, port);
  if (text.empty() || r.ec != std::errc{} || r.ptr != last || port < 1 || port > 65535)
    return "output \"" + std::string(spec) + "\": the port must be a number from 1 to 65535";
  return {};
}

// "tcp:PORT", "tcp:ADDR:PORT" with a numeric IPv4 address, "tcp:[ADDR]:PORT" for IPv6.
std::string CheckTcp(std::string_view rest, std::string_view spec) {
  if (!rest.empty() && rest.front() == '[') {
    const size_t close = rest.find(']');
    in6_addr a6{};
    if (close == std::string_view::npos ||
        inet_pton(AF_INET6, std::string(rest.substr(1, close - 1)).c_str(), &a6) != 1)
      return "output \"" + std::string(spec) + "\": no IPv6 address between the brackets";
    if (close + 1 >= rest.size() || rest[close + 1] != ':')
      return "output \"" + std::string(spec) + "\": a port must follow the address";
    return CheckPort(rest.substr(close + 2), spec);
  }
  const size_t colon = rest.rfind(':');
  if (colon == std::string_view::npos) return CheckPort(rest, spec);
  const std::string address(rest.substr(0, colon));
  if (address.find(':') != std::string::npos)
    return "output \"" + std::string(spec) +
           "\": an IPv6 address goes in brackets (tcp:[::1]:5555)";
  in_addr a4{};
  if (inet_pton(AF_INET, address.c_str(), &a4) != 1)
    return "output \"" + std::string(spec) + "\": \"" + address + "\" is not an IPv4 address";
  return CheckPort(rest.substr(colon + 1), spec);
}

struct OutputKind {
  std::string_view Name;   // "tcp" for "tcp:...", or the whole spec of a kind without arguments
  bool TakesArgument;      // the spec is Name + ":" + argument
  std::string_view Forms;  // the forms, for the error of an unknown kind and the help
  std::function<std::string(std::string_view argument, std::string_view spec)> Check;
};

// Every kind of output the command line knows; a new kind is one more row.
const std::vector<OutputKind>& OutputKinds() {
  static const std::vector<OutputKind> kinds = {
      {"tcp", true, "tcp:PORT, tcp:ADDR:PORT", CheckTcp},
      {"stdout", false, "stdout", nullptr},
  };
  return kinds;
}

std::string KnownOutputForms() {
  std::string forms;
  for (const OutputKind& k : OutputKinds()) {
    if (!forms.empty()) forms += ", ";
    forms += k.Forms;
  }
  return forms;
}

// --- values --------------------------------------------------------------------------

bool ParseDouble(std::string_view text, double& value) {
  const char* first = text.data();
  const char* last = first + text.size();
  auto r = std::from_chars(first, last, value, std::chars_format::general);
  return !text.empty() && r.ec == std::errc{} && r.ptr == last && std::isfinite(value);
}

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

bool EndsWithIni(std::string_view arg) {
  if (arg.size() < 4) return false;
  std::string tail(arg.substr(arg.size() - 4));
  for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return tail == ".ini";
}

// --- options -------------------------------------------------------------------------

struct Option {
  std::string_view Name;  // with its "--"
  bool TakesValue;
  bool Window;  // the window takes it too
  bool Repeatable;
  // Stores the value (or the flag); returns the error text, empty when good.
  std::function<std::string(CommandLine&, std::string_view value)> Apply;
};

const std::vector<Option>& Options() {
  static const std::vector<Option> options = {
      {"--start", false, false, false,
       [](CommandLine& c, std::string_view) {
         c.Start = true;
         return std::string();
       }},
      {"--duration", true, false, false,
       [](CommandLine& c, std::string_view v) {
         double seconds = 0;
         if (!ParseDouble(v, seconds) || seconds <= 0)
           return "--duration needs a number of seconds above 0, not " + Quoted(v);
         c.DurationSeconds = seconds;
         return std::string();
       }},
      {"--ticks", true, false, false,
       [](CommandLine& c, std::string_view v) {
         int64_t n = 0;
         auto r = std::from_chars(v.data(), v.data() + v.size(), n);
         if (v.empty() || r.ec != std::errc{} || r.ptr != v.data() + v.size() || n < 1)
           return "--ticks needs a whole number of 1 or more, not " + Quoted(v);
         c.Ticks = n;
         return std::string();
       }},
      {"--control", true, true, false,
       [](CommandLine& c, std::string_view v) {
         if (v.empty()) return std::string("--control needs the path of the socket");
         c.ControlPath = std::string(v);
         return std::string();
       }},
      {"--output", true, true, true,
       [](CommandLine& c, std::string_view v) {
         std::string error = CheckOutputSpec(v);
         if (error.empty()) c.Outputs.emplace_back(v);
         return error;
       }},
      {"--utc-start", true, true, false,
       [](CommandLine& c, std::string_view v) {
         int64_t ms = 0;
         std::string error;
         if (!ParseIsoUtc(v, ms, error)) return "--utc-start: " + error;
         c.UtcStart = DateTimeFromMs(ms);
         return std::string();
       }},
      {"--time-scale", true, true, false,
       [](CommandLine& c, std::string_view v) {
         double scale = 0;
         if (!ParseDouble(v, scale) || scale < 0.1 || scale > 100)
           return "--time-scale needs a number from 0.1 to 100, not " + Quoted(v);
         c.TimeScale = scale;
         return std::string();
       }},
      {"--no-pacing", false, false, false,
       [](CommandLine& c, std::string_view) {
         c.NoPacing = true;
         return std::string();
       }},
      {"--no-save", false, true, false,
       [](CommandLine& c, std::string_view) {
         c.NoSave = true;
         return std::string();
       }},
  };
  return options;
}

const Option* FindOption(std::string_view name) {
  for (const Option& o : Options())
    if (o.Name == name) return &o;
  return nullptr;
}

}  // namespace

std::string CheckOutputSpec(std::string_view spec) {
  for (const OutputKind& k : OutputKinds()) {
    if (!k.TakesArgument) {
      if (spec == k.Name) return {};
      continue;
    }
    if (spec.size() > k.Name.size() && spec.substr(0, k.Name.size()) == k.Name &&
        spec[k.Name.size()] == ':')
      return k.Check(spec.substr(k.Name.size() + 1), spec);
  }
  return "unknown output " + Quoted(spec) + " (known: " + KnownOutputForms() + ")";
}

CommandLineResult ParseCommandLine(const std::vector<std::string>& args,
                                   CommandLineProgram program) {
  const bool window = program == CommandLineProgram::Window;
  CommandLineResult result;
  CommandLine& c = result.Options;
  std::vector<std::string_view> seen;
  bool timeScaleGiven = false;
  bool optionsEnded = false;

  auto fail = [&](std::string error) {
    result.Error = std::move(error);
    return result;
  };

  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      if (arg == "--") {
        optionsEnded = true;
        continue;
      }
      if (arg == "-h" || arg == "--help") {
        c.Help = true;
        return result;
      }
      if (arg == "--version") {
        c.Version = true;
        return result;
      }
      const size_t eq = arg.find('=');
      const std::string_view name = arg.substr(0, eq);
      const Option* option = arg.substr(0, 2) == "--" ? FindOption(name) : nullptr;
      if (!option) return fail("unknown option " + Quoted(arg));
      if (window && !option->Window) {
        std::string error = std::string(name) + " is an option of fixcaster-cli, not of the window";
        if (name == "--start") error += " (the window takes /A)";
        return fail(error);
      }
      std::string_view value;
      if (!option->TakesValue) {
        if (eq != std::string_view::npos) return fail(std::string(name) + " takes no value");
      } else if (eq != std::string_view::npos) {
        value = arg.substr(eq + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        return fail(std::string(name) + " needs a value");
      }
      if (option->TakesValue && !option->Repeatable) {
        for (std::string_view s : seen)
          if (s == option->Name) return fail(std::string(name) + " is given twice");
        seen.push_back(option->Name);
      }
      if (std::string error = option->Apply(c, value); !error.empty()) return fail(error);
      if (option->Name == "--time-scale") timeScaleGiven = true;
      continue;
    }
    // Two-character switches as the window has always taken them: "/A", "/C".
    if (!optionsEnded && arg.size() == 2 && arg[0] == '/') {
      const char letter = static_cast<char>(arg[1] >= 'a' && arg[1] <= 'z' ? arg[1] - 32 : arg[1]);
      if (letter == 'A') {
        c.Start = true;
      } else if (letter == 'C' && window) {
        c.ShowFileInTitle = true;
      } else if (!window) {
        return fail("unknown switch " + Quoted(arg));
      }
      // The window has always ignored other switches.
      continue;
    }
    c.SettingsArguments.emplace_back(arg);
    if (EndsWithIni(arg)) {
      if (c.SettingsFile.empty()) {
        c.SettingsFile = std::string(arg);
      } else if (!window) {
        return fail("only one settings file may be given, not also " + Quoted(arg));
      }
    } else if (!window) {
      return fail("unexpected argument " + Quoted(arg) + " (a settings file ends in .ini)");
    }
  }

  if (c.NoPacing && !c.UtcStart) return fail("--no-pacing needs --utc-start");
  if (c.NoPacing && timeScaleGiven)
    return fail("--time-scale has no meaning with --no-pacing (ticks follow each other at once)");
  return result;
}

std::string_view ProgramName(CommandLineProgram program) {
  return program == CommandLineProgram::Window ? "fixcaster" : "fixcaster-cli";
}

std::string HelpText(CommandLineProgram program) {
  const std::string outputs = KnownOutputForms();
  if (program == CommandLineProgram::Window) {
    return "Usage: fixcaster [OPTIONS] [SETTINGS.ini]\n"
           "Simulates a satellite-navigation receiver: moves along the track of the settings\n"
           "file and sends NMEA 0183 sentences over a serial port or TCP.\n"
           "\n"
           "  SETTINGS.ini        the settings file; a name with \"/\" is taken from the\n"
           "                      current folder, a bare name from the program's folder\n"
           "                      (default: fixcaster.ini there, or in ~/.config/fixcaster/\n"
           "                      when that folder cannot be written)\n"
           "  /A                  begin the output at once\n"
           "  /C                  show the settings file's name in the window title\n"
           "  --control PATH      accept commands on a JSON-lines Unix socket at PATH\n"
           "  --output SPEC       add an output for this run, not saved (repeatable):\n"
           "                      " +
           outputs +
           "\n"
           "  --utc-start TIME    simulated UTC of the first tick, ISO 8601\n"
           "                      (2030-12-31T23:59:50Z); time runs on from there\n"
           "  --time-scale X      simulated time, and so the motion, runs X times as fast\n"
           "                      as real time (0.1 to 100)\n"
           "  --no-save           do not write the settings file on exit\n"
           "  -h, --help          show this help and exit\n"
           "  --version           show the version and exit\n";
  }
  return "Usage: fixcaster-cli [OPTIONS] [SETTINGS.ini]\n"
         "Simulates a satellite-navigation receiver without a window: moves along the track\n"
         "of the settings file and sends NMEA 0183 sentences to its outputs.\n"
         "\n"
         "  SETTINGS.ini         the settings file; a name with \"/\" is taken from the\n"
         "                       current folder, a bare name from the program's folder\n"
         "                       (default: fixcaster.ini there, or in ~/.config/fixcaster/\n"
         "                       when that folder cannot be written)\n"
         "  --start, /A          begin the output at once\n"
         "  --duration SECONDS   end the run and exit after this many seconds of\n"
         "                       simulated time\n"
         "  --ticks N            end the run and exit after N ticks\n"
         "  --control PATH       accept commands on a JSON-lines Unix socket at PATH\n"
         "  --output SPEC        add an output for this run, not saved (repeatable):\n"
         "                       " +
         outputs +
         "\n"
         "  --utc-start TIME     simulated UTC of the first tick, ISO 8601\n"
         "                       (2030-12-31T23:59:50Z); time runs on from there\n"
         "  --time-scale X       simulated time, and so the motion, runs X times as fast\n"
         "                       as real time (0.1 to 100)\n"
         "  --no-pacing          no waiting between ticks (needs --utc-start); each tick's\n"
         "                       time is one output period after the last\n"
         "  --no-save            do not write the settings file on exit\n"
         "  -h, --help           show this help and exit\n"
         "  --version            show the version and exit\n"
         "\n"
         "Exit status: 0 for a normal end, 1 when the run cannot start or goes on failing,\n"
         "2 for a usage error.\n";
}

std::string VersionLine() {
  return "Fixcaster " + BuildVersionText();
}

}  // namespace fixcaster
