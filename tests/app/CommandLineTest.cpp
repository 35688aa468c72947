#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <functional>

#include "app/UtcTime.h"
#include "nmea/Format.h"
#include "settings/Settings.h"

namespace fixcaster {
namespace {

using Args = std::vector<std::string>;
constexpr auto Cli = CommandLineProgram::Cli;
constexpr auto Window = CommandLineProgram::Window;

std::string Utc(double dateTime) {
  return FormatUtc(dateTime, "YYYY-MM-DD hh:nn:ss.zzz", 0);
}

struct GoodCase {
  const char* name;
  CommandLineProgram program;
  Args args;
  std::function<void(const CommandLine&)> check;
};

TEST(ParseCommandLine, GoodCommandLines) {
  const GoodCase cases[] = {
      {"nothing",
       Cli,
       {},
       [](const CommandLine& c) {
         EXPECT_FALSE(c.Start || c.Help || c.Version || c.NoPacing || c.NoSave);
         EXPECT_EQ(c.TimeScale, 1);
         EXPECT_FALSE(c.UtcStart || c.Ticks || c.DurationSeconds);
         EXPECT_TRUE(c.SettingsFile.empty() && c.SettingsArguments.empty());
       }},
      {"every cli option",
       Cli,
       {"--start", "--duration", "12.5", "--ticks", "40", "--control", "ctl.sock", "--output",
        "tcp:5556", "--output", "stdout", "--output=tcp:127.0.0.1:7000", "--utc-start",
        "2030-12-31T23:59:50Z", "--no-pacing", "--no-save", "run.ini"},
       [](const CommandLine& c) {
         EXPECT_TRUE(c.Start && c.NoPacing && c.NoSave);
         EXPECT_EQ(c.DurationSeconds, 12.5);
         EXPECT_EQ(c.Ticks, 40);
         EXPECT_EQ(c.ControlPath, "ctl.sock");
         EXPECT_EQ(c.Outputs, (Args{"tcp:5556", "stdout", "tcp:127.0.0.1:7000"}));
         ASSERT_TRUE(c.UtcStart);
         EXPECT_EQ(Utc(*c.UtcStart), "2030-12-31 23:59:50.000");
         EXPECT_EQ(c.SettingsFile, "run.ini");
         EXPECT_EQ(c.SettingsArguments, Args{"run.ini"});
       }},
      {"values after =",
       Cli,
       {"--ticks=3", "--time-scale=0.1", "--duration=1e3"},
       [](const CommandLine& c) {
         EXPECT_EQ(c.Ticks, 3);
         EXPECT_EQ(c.TimeScale, 0.1);
         EXPECT_EQ(c.DurationSeconds, 1000);
       }},
      {"time scale upper end",
       Cli,
       {"--time-scale", "100"},
       [](const CommandLine& c) { EXPECT_EQ(c.TimeScale, 100); }},
      {"/A in either case starts", Cli, {"/a"}, [](const CommandLine& c) { EXPECT_TRUE(c.Start); }},
      {"window switches and file",
       Window,
       {"/A", "/c", "--no-save", "Sub/Other.INI"},
       [](const CommandLine& c) {
         EXPECT_TRUE(c.Start && c.ShowFileInTitle && c.NoSave);
         EXPECT_EQ(c.SettingsFile, "Sub/Other.INI");
       }},
      // The window has always ignored what it does not know; the first .ini counts.
      {"window ignores stray arguments",
       Window,
       {"/AB", "/X", "notes.txt", "a.ini", "b.ini"},
       [](const CommandLine& c) {
         EXPECT_FALSE(c.Start);
         EXPECT_EQ(c.SettingsFile, "a.ini");
         EXPECT_EQ(c.SettingsArguments, (Args{"/AB", "notes.txt", "a.ini", "b.ini"}));
       }},
      // An option's value that ends in .ini is no settings file.
      {"option values are not the settings file",
       Window,
       {"--control", "ctl.ini", "--output=tcp:9000", "real.ini"},
       [](const CommandLine& c) {
         EXPECT_EQ(c.ControlPath, "ctl.ini");
         EXPECT_EQ(c.SettingsFile, "real.ini");
         EXPECT_EQ(c.SettingsArguments, Args{"real.ini"});
       }},
      {"-- ends the options",
       Cli,
       {"--", "--odd.ini"},
       [](const CommandLine& c) { EXPECT_EQ(c.SettingsFile, "--odd.ini"); }},
      {"help wins over what follows",
       Cli,
       {"--help", "--bogus"},
       [](const CommandLine& c) { EXPECT_TRUE(c.Help); }},
      {"-h", Window, {"-h"}, [](const CommandLine& c) { EXPECT_TRUE(c.Help); }},
      {"version",
       Window,
       {"--version", "--ticks", "0"},
       [](const CommandLine& c) { EXPECT_TRUE(c.Version); }},
      {"IPv6 listen address",
       Cli,
       {"--output", "tcp:[::1]:5555"},
       [](const CommandLine& c) { EXPECT_EQ(c.Outputs, Args{"tcp:[::1]:5555"}); }},
      {"offset converted to UTC",
       Cli,
       {"--utc-start", "2031-01-01T08:59:50.25+09:00"},
       [](const CommandLine& c) { EXPECT_EQ(Utc(*c.UtcStart), "2030-12-31 23:59:50.250"); }},
  };
  for (const GoodCase& t : cases) {
    SCOPED_TRACE(t.name);
    CommandLineResult r = ParseCommandLine(t.args, t.program);
    ASSERT_TRUE(r.Ok()) << r.Error;
    t.check(r.Options);
  }
}

struct BadCase {
  CommandLineProgram program;
  Args args;
  const char* error;  // a part of the message
};

TEST(ParseCommandLine, BadCommandLinesGiveOneLineErrors) {
  const BadCase cases[] = {
      {Cli, {"--bogus"}, "unknown option \"--bogus\""},
      {Cli, {"-x"}, "unknown option \"-x\""},
      {Cli, {"--ticks"}, "--ticks needs a value"},
      {Cli, {"--ticks", "0"}, "--ticks needs a whole number of 1 or more, not \"0\""},
      {Cli, {"--ticks", "2.5"}, "--ticks needs a whole number"},
      {Cli, {"--ticks", "99999999999999999999"}, "--ticks needs a whole number"},
      {Cli, {"--duration", "0"}, "--duration needs a number of seconds above 0"},
      {Cli, {"--duration", "-3"}, "--duration needs"},
      {Cli, {"--duration", "nan"}, "--duration needs"},
      {Cli, {"--duration", "10s"}, "--duration needs"},
      {Cli, {"--time-scale", "0.09"}, "--time-scale needs a number from 0.1 to 100"},
      {Cli, {"--time-scale", "100.5"}, "--time-scale needs"},
      {Cli, {"--time-scale", "inf"}, "--time-scale needs"},
      {Cli, {"--time-scale", ""}, "--time-scale needs"},
      {Cli, {"--start=yes"}, "--start takes no value"},
      {Cli, {"--ticks", "1", "--ticks", "2"}, "--ticks is given twice"},
      {Cli, {"--control", ""}, "--control needs the path"},
      {Cli, {"--no-pacing"}, "--no-pacing needs --utc-start"},
      {Cli,
       {"--utc-start", "2030-01-01T00:00:00Z", "--no-pacing", "--time-scale", "2"},
       "--time-scale has no meaning with --no-pacing"},
      {Cli,
       {"--utc-start", "2030-12-31 23:59:50Z"},
       "--utc-start: \"2030-12-31 23:59:50Z\" is not"},
      {Cli, {"--utc-start", "2030-12-31T23:59:50"}, "needs its UTC offset"},
      {Cli,
       {"--output", "udp:1.2.3.4:10110"},
       "unknown output \"udp:1.2.3.4:10110\" (known: "
       "tcp:PORT, tcp:ADDR:PORT, stdout)"},
      {Cli, {"--output", "stdout:x"}, "unknown output"},
      {Cli, {"--output", "tcp:"}, "the port must be a number from 1 to 65535"},
      {Cli, {"--output", "tcp:0"}, "the port must be"},
      {Cli, {"--output", "tcp:65536"}, "the port must be"},
      {Cli, {"--output", "tcp:localhost:5555"}, "\"localhost\" is not an IPv4 address"},
      {Cli, {"--output", "tcp:::1:5555"}, "an IPv6 address goes in brackets"},
      {Cli, {"--output", "tcp:[::1]5555"}, "a port must follow the address"},
      {Cli, {"--output", "tcp:[nope]:5555"}, "no IPv6 address between the brackets"},
      {Cli, {"/C"}, "unknown switch \"/C\""},
      {Cli, {"/Q"}, "unknown switch"},
      {Cli, {"notes.txt"}, "unexpected argument \"notes.txt\""},
      {Cli, {"a.ini", "b.ini"}, "only one settings file may be given, not also \"b.ini\""},
      {Window,
       {"--start"},
       "--start is an option of fixcaster-cli, not of the window (the window "
       "takes /A)"},
      {Window, {"--ticks", "5"}, "--ticks is an option of fixcaster-cli"},
      {Window, {"--duration=5"}, "--duration is an option of fixcaster-cli"},
      {Window, {"--no-pacing"}, "--no-pacing is an option of fixcaster-cli"},
      {Window, {"--output", "tcp:70000"}, "the port must be"},
  };
  for (const BadCase& t : cases) {
    std::string line;
    for (const auto& a : t.args) line += "[" + a + "]";
    SCOPED_TRACE(line);
    CommandLineResult r = ParseCommandLine(t.args, t.program);
    ASSERT_FALSE(r.Ok());
    EXPECT_NE(r.Error.find(t.error), std::string::npos) << r.Error;
    EXPECT_EQ(r.Error.find('\n'), std::string::npos) << "one line: " << r.Error;
  }
}

TEST(ParseCommandLine, HelpListsEachProgramsOptionsAndVersionIsTheVersionText) {
  const std::string cli = HelpText(Cli);
  for (const char* o :
       {"--start", "/A", "--duration", "--ticks", "--control", "--output", "--utc-start",
        "--time-scale", "--no-pacing", "--no-save", "--help", "--version", "tcp:PORT", "stdout"})
    EXPECT_NE(cli.find(o), std::string::npos) << o;
  EXPECT_EQ(cli.rfind("Usage: fixcaster-cli ", 0), 0u);

  const std::string window = HelpText(Window);
  EXPECT_EQ(window.rfind("Usage: fixcaster ", 0), 0u);
  for (const char* o : {"/A", "/C", "--control", "--output", "--utc-start", "--time-scale",
                        "--no-save", "--help", "--version"})
    EXPECT_NE(window.find(o), std::string::npos) << o;
  for (const char* o : {"--start", "--ticks", "--duration", "--no-pacing"})
    EXPECT_EQ(window.find(o), std::string::npos) << o << " is no option of the window";

  EXPECT_EQ(VersionLine(), "Fixcaster " + BuildVersionText());
  EXPECT_EQ(VersionLine().rfind("Fixcaster Ver", 0), 0u);
}

TEST(ParseIsoUtc, FormsOffsetsAndCalendarChecks) {
  struct Case {
    const char* text;
    const char* utc;  // nullptr: refused
  };
  const Case cases[] = {
      {"2030-12-31T23:59:50Z", "2030-12-31 23:59:50.000"},
      {"2030-12-31t23:59:50z", "2030-12-31 23:59:50.000"},
      {"2030-12-31T23:59:50+00:00", "2030-12-31 23:59:50.000"},
      {"2030-12-31T23:59:50.5Z", "2030-12-31 23:59:50.500"},
      {"2030-12-31T23:59:50.123987Z", "2030-12-31 23:59:50.123"},  // truncated
      {"2019-04-06T23:59:59.999Z", "2019-04-06 23:59:59.999"},
      {"2024-03-01T01:30:00+0200", "2024-02-29 23:30:00.000"},  // back over a leap day
      {"2030-12-31T20:00:00-05", "2031-01-01 01:00:00.000"},
      {"1899-12-29T12:00:00Z", "1899-12-29 12:00:00.000"},  // before day 0
      {"0001-01-01T00:00:00Z", "0001-01-01 00:00:00.000"},
      {"9999-12-31T23:59:59.999Z", "9999-12-31 23:59:59.999"},
      {"2023-02-29T00:00:00Z", nullptr},
      {"2024-13-01T00:00:00Z", nullptr},
      {"2024-00-10T00:00:00Z", nullptr},
      {"2024-04-31T00:00:00Z", nullptr},
      {"2024-01-01T24:00:00Z", nullptr},
      {"2024-01-01T23:60:00Z", nullptr},
      {"2024-01-01T23:59:60Z", nullptr},  // no leap seconds in the date-time
      {"0000-12-31T00:00:00Z", nullptr},
      {"0001-01-01T00:00:00+01:00", nullptr},  // year 0 in UTC
      {"9999-12-31T23:00:00-01:00", nullptr},  // year 10000 in UTC
      {"2024-01-01T00:00:00.Z", nullptr},
      {"2024-01-01T00:00:00+9", nullptr},
      {"2024-01-01T00:00:00+09:", nullptr},
      {"2024-01-01T00:00:00+24:00", nullptr},
      {"2024-01-01T00:00:00Zjunk", nullptr},
      {"2024-1-01T00:00:00Z", nullptr},
      {"", nullptr},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.text);
    int64_t ms = -1;
    std::string error;
    const bool ok = ParseIsoUtc(t.text, ms, error);
    if (!t.utc) {
      EXPECT_FALSE(ok);
      EXPECT_FALSE(error.empty());
      continue;
    }
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(Utc(DateTimeFromMs(ms)), t.utc);
    EXPECT_EQ(MsFromDateTime(DateTimeFromMs(ms)), ms) << "exact round trip";
  }
}

}  // namespace
}  // namespace fixcaster
