#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string_view>

#include "output/EngineInterfaces.h"

namespace fixcaster {

// The engine's clock when time is simulated: UTC starts at a chosen instant and runs
// `scale` times as fast as a monotonic time source (paced), or moves on only when
// told, by one output period per tick (stepping, for runs without pacing), so that
// tick k reads exactly start + k * period. Readings are whole milliseconds, as the
// system clock's are. Used on the event-loop thread only.
class SimulatedClock final : public Clock {
 public:
  // Monotonic time since some fixed instant; std::chrono::steady_clock by default,
  // a fake in tests.
  using MonotonicNow = std::function<std::chrono::nanoseconds()>;
  static std::chrono::nanoseconds SteadyNow();

  // Paced: reads `startUtc` (a date-time) now and then runs `scale` times as fast as
  // `now`.
  SimulatedClock(double startUtc, double scale, MonotonicNow now = SteadyNow);
  // Stepping: reads `startUtc` until Advance moves it on.
  static SimulatedClock Stepping(double startUtc);

  double NowUtc() const override;
  // The reading as milliseconds since 1899-12-30 00:00.
  int64_t NowMs() const;

  bool IsStepping() const { return stepping_; }
  double Scale() const { return scale_; }

  // Stepping: time moves on by one period (call it once per tick, after the tick).
  // The periods add up exactly, so a change of frequency keeps the earlier ticks'
  // times. No effect on a paced clock.
  void Advance(std::chrono::nanoseconds period);
  // The clock reads its start again from now on: a paced clock counts from this
  // moment, a stepping clock forgets its steps (for a first tick later than the
  // clock was made).
  void Restart();

 private:
  SimulatedClock(double startUtc, double scale, MonotonicNow now, bool stepping);

  int64_t startMs_;
  double scale_;
  MonotonicNow now_;
  bool stepping_;
  std::chrono::nanoseconds anchor_{};   // paced: the monotonic time of the start
  std::chrono::nanoseconds stepped_{};  // stepping: the periods advanced so far
};

// The tick timer's period for the frequency box's text at a time scale: the whole
// milliseconds of 1000 / f, divided by the scale, at least RunEngine's 10 ms; a text
// that is not a positive number counts as "1" (the engine also resets the box
// then). At scale 1 this is the engine's own ApplyOutputPeriod interval.
int TickPeriodMs(std::string_view frequencyText, double scale = 1);

}  // namespace fixcaster
