#include "app/SimulatedClock.h"

#include <climits>
#include <cmath>

#include "app/UtcTime.h"
#include "output/RunEngine.h"
#include "track/TrackGrammar.h"

namespace fixcaster {
namespace {

constexpr int64_t NsPerMs = 1'000'000;

}  // namespace

std::chrono::nanoseconds SimulatedClock::SteadyNow() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
}

SimulatedClock::SimulatedClock(double startUtc, double scale, MonotonicNow now, bool stepping)
    : startMs_(MsFromDateTime(startUtc)), scale_(scale), now_(std::move(now)), stepping_(stepping) {
  Restart();
}

SimulatedClock::SimulatedClock(double startUtc, double scale, MonotonicNow now)
    : SimulatedClock(startUtc, scale, std::move(now), false) {}

SimulatedClock SimulatedClock::Stepping(double startUtc) {
  return SimulatedClock(startUtc, 1, nullptr, true);
}

int64_t SimulatedClock::NowMs() const {
  if (stepping_) return startMs_ + FloorDiv(stepped_.count(), NsPerMs);
  // Rounded to the nanosecond before the milliseconds are cut, so that a scale such
  // as 0.7 (not exact in binary) gives 63 ms after 90 ms, not 62.99... ms.
  const double simulated = static_cast<double>((now_() - anchor_).count()) * scale_;
  return startMs_ + FloorDiv(std::llround(simulated), NsPerMs);
}

double SimulatedClock::NowUtc() const {
  return DateTimeFromMs(NowMs());
}

void SimulatedClock::Advance(std::chrono::nanoseconds period) {
  if (stepping_) stepped_ += period;
}

void SimulatedClock::Restart() {
  stepped_ = {};
  if (!stepping_) anchor_ = now_();
}

int TickPeriodMs(std::string_view frequencyText, double scale) {
  const double hz = ParseNumber(frequencyText);
  double ms = 1000;
  if (std::isfinite(hz) && hz > 0) ms = std::floor(1000.0 / hz);
  if (scale > 0) ms = std::floor(ms / scale);
  if (!(ms < INT_MAX)) return INT_MAX;
  return std::max(static_cast<int>(ms), RunEngine::MinTimerIntervalMs);
}

}  // namespace fixcaster
