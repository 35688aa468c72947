#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/NmeaLog.h"
#include "output/EngineInterfaces.h"

namespace fixcaster {

// Where a replay stands: the epoch last sent (1-based, 0 before the first) of how
// many, in which pass over the log (1 for the first; Repeat adds passes).
struct ReplayProgress {
  size_t Epoch = 0;
  size_t Epochs = 0;
  int64_t Loop = 1;
};

// What a replay hands on: each epoch's lines (CR LF ended), to be sent as one tick
// through the outputs, and the end of the log when it does not repeat.
class ReplaySink {
 public:
  virtual ~ReplaySink() = default;
  virtual void SendEpoch(const std::vector<std::string>& lines, const ReplayProgress& progress) = 0;
  virtual void ReplayEnded(const ReplayProgress& progress) = 0;
};

// Plays a log at its recorded pace on the engine's timer and clocks: epoch k of
// pass L is due `(L * passLength + offset_k) / timeScale` after the start on the
// monotonic clock, where a pass lasts from the first epoch to the last plus the
// log's last spacing (one second for a single epoch). The first epoch goes out at
// Start. A late timer sends every epoch that is due, in order, none dropped (at
// most 64 in one wake, the rest at the next, 1 ms later).
//
// Times are rewritten with one shift for the whole log: the first epoch with a
// recorded UTC gets the UTC clock's reading at Start plus its own offset, so the
// recording's intervals stay, and each further pass adds one pass length, so the
// times keep going forward.
class LogPlayer {
 public:
  struct Options {
    double TimeScale = 1;  // 2: twice as fast as recorded
    bool FixChecksums = false;
  };

  // `monotonicMicros` is the pacing clock (CLOCK_MONOTONIC in the programs, a fake
  // in tests); `utc` is the simulated UTC the times are rewritten to. `repeat` is
  // asked at the end of each pass (the Repeat box may change during a replay).
  LogPlayer(const NmeaLog& log, const Clock& utc, TickTimer& timer,
            std::function<int64_t()> monotonicMicros, ReplaySink& sink);
  ~LogPlayer();
  LogPlayer(const LogPlayer&) = delete;
  LogPlayer& operator=(const LogPlayer&) = delete;

  // Starts from the first epoch (sent at once); false, and nothing sent, for a log
  // without epochs.
  bool Start(const Options& options, std::function<bool()> repeat);
  // Stop and Esc: nothing more is sent, the timer is stopped.
  void Stop();
  bool Running() const { return running_; }
  ReplayProgress Progress() const;

  // The length of one pass in recorded microseconds.
  int64_t PassLength() const { return passLength_; }

  // The timer's handler.
  void OnTimer();

 private:
  int64_t DueAt(int64_t loop, size_t epoch) const;
  void SendNext();
  void Arm();

  const NmeaLog& log_;
  const Clock& utc_;
  TickTimer& timer_;
  std::function<int64_t()> now_;
  ReplaySink& sink_;
  Options options_;
  std::function<bool()> repeat_;

  bool running_ = false;
  int64_t start_ = 0;       // monotonic microseconds of the first epoch
  int64_t shift_ = 0;       // added to recorded UTC in the first pass
  int64_t passLength_ = 0;  // recorded microseconds
  int64_t loop_ = 0;        // 0-based pass of the next epoch
  size_t next_ = 0;         // next epoch to send
  size_t sent_ = 0;         // epochs sent in the current pass (for the progress)
  int64_t sentLoop_ = 0;
};

// CLOCK_MONOTONIC in microseconds.
int64_t MonotonicMicros();

}  // namespace fixcaster
