#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fixcaster {

// Which program reads the command line: both take the same syntax, the window only
// the options that make sense beside a window.
enum class CommandLineProgram { Window, Cli };

// Exit status of a program that was given a bad command line.
inline constexpr int UsageExitStatus = 2;

// Everything the command line asks for. Options that were not given keep the values
// below.
struct CommandLine {
  bool Help = false;             // -h, --help: print HelpText and exit 0
  bool Version = false;          // --version: print VersionLine and exit 0
  bool Start = false;            // --start or "/A" (any case): begin the output after start-up
  bool ShowFileInTitle = false;  // "/C" (window): the settings file's name in the caption
  std::optional<double> DurationSeconds;  // --duration: > 0, simulated seconds
  std::optional<int64_t> Ticks;           // --ticks: >= 1
  std::string ControlPath;                // --control; empty for none
  std::vector<std::string> Outputs;       // --output, in the order given
  std::optional<double> UtcStart;         // --utc-start as a date-time (days since 1899-12-30)
  double TimeScale = 1;                   // --time-scale, 0.1 .. 100
  bool NoPacing = false;                  // --no-pacing (cli; needs --utc-start)
  bool NoSave = false;                    // --no-save
  // The first argument ending in ".ini" (any case), as given; empty for none.
  std::string SettingsFile;
  // The arguments that are not options or their values, in order: what
  // ResolveSettingsPath looks at, so that "--control x.ini" never picks the file.
  std::vector<std::string> SettingsArguments;
};

struct CommandLineResult {
  CommandLine Options;
  // Empty when the command line is good; otherwise one line saying what is wrong,
  // without the program name (the caller prints "<program>: <error>" and exits with
  // UsageExitStatus).
  std::string Error;
  bool Ok() const { return Error.empty(); }
};

// Reads the arguments after the program name. Options take their value as the next
// argument or after "=" ("--ticks 5", "--ticks=5"); "--" ends the options. A -h/--help
// or --version stops the reading there, so they work whatever follows.
CommandLineResult ParseCommandLine(const std::vector<std::string>& args,
                                   CommandLineProgram program);

// The kinds of --output that exist, each with its syntax check; the one place a new
// kind is added. Empty text for a good spec, otherwise what is wrong.
std::string CheckOutputSpec(std::string_view spec);

// "fixcaster" or "fixcaster-cli".
std::string_view ProgramName(CommandLineProgram program);
// The --help text of the program, English, ending with a line break.
std::string HelpText(CommandLineProgram program);
// "Fixcaster Ver3.00".
std::string VersionLine();

}  // namespace fixcaster
