// Sends a busy tick (every sentence, preset 4, the real UTC clock) through extra
// outputs at a steady rate, for checking them with a receiver-side program such
// as gpsd, then prints each output's state.
//
// Usage: fixcaster_output_feed --output SPEC [--output SPEC ...] [--ticks N] [--hz F]
//                              [--fix ITEM]
//   e.g. --output pty:/tmp/gps0 --output udp:127.0.0.1:10110 --ticks 30
// ITEM is the fix box's item: 1 "GPS fix (SPS)" by default, whose status letter
// "A" every reader accepts; 2 is the DGPS fix of the benchmarks, whose GLL status
// "D" gpsd 3.22 takes for no fix.

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "output/OutputSet.h"
#include "realistic_tick.h"

namespace {

double UtcNow() {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count();
  return 25569.0 + static_cast<double>(ms) / 86400000.0;  // 1970-01-01 is day 25569
}

int Usage() {
  std::fprintf(stderr,
               "usage: fixcaster_output_feed --output SPEC [--output SPEC ...] [--ticks N] "
               "[--hz F] [--fix ITEM]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> specs;
  int ticks = 10;
  double hz = 1.0;
  int fix = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (i + 1 >= argc) return Usage();
    const char* value = argv[++i];
    const char* end = value + std::strlen(value);
    if (arg == "--output") {
      specs.emplace_back(value);
    } else if (arg == "--ticks") {
      if (std::from_chars(value, end, ticks).ec != std::errc{} || ticks < 1) return Usage();
    } else if (arg == "--fix") {
      if (std::from_chars(value, end, fix).ec != std::errc{} || fix < 0 || fix > 8) return Usage();
    } else if (arg == "--hz") {
      if (std::from_chars(value, end, hz).ec != std::errc{} || hz < 0.1 || hz > 20) return Usage();
    } else {
      return Usage();
    }
  }
  if (specs.empty()) return Usage();

  // No event loop here: problems are printed from the outputs' own threads.
  fixcaster::OutputSet set(
      nullptr, [](int, const std::string& spec, const fixcaster::OutputProblem& problem) {
        std::fprintf(stderr, "%s: %s\n", spec.c_str(), fixcaster::ProblemText(problem).c_str());
      });
  for (const std::string& spec : specs) {
    fixcaster::OutputSet::Added added = set.Add(spec);
    if (added.problem) {
      std::fprintf(stderr, "%s: %s\n", spec.c_str(),
                   fixcaster::ProblemText(*added.problem).c_str());
      return 1;
    }
  }
  const auto period = std::chrono::duration<double>(1.0 / hz);
  auto next = std::chrono::steady_clock::now();
  for (int i = 0; i < ticks; ++i) {
    std::this_thread::sleep_until(next);
    next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(period);
    std::string tick;
    for (const std::string& s : fixcaster::RealisticTickSentences(UtcNow(), fix)) tick += s;
    set.SendTick(tick);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // let the last tick go out
  for (const fixcaster::OutputSet::Entry& e : set.Status()) {
    const fixcaster::OutputStatus& s = e.status;
    std::printf("%s: %s, device %s, clients %u, bytes %llu, drops %llu\n", s.spec.c_str(),
                fixcaster::OutputStateName(s.state), s.device.c_str(), s.clients,
                static_cast<unsigned long long>(s.bytes), static_cast<unsigned long long>(s.drops));
  }
  return 0;
}
