#pragma once

#include <QTimer>
#include <functional>

#include "output/EngineInterfaces.h"

namespace fixcaster {

// The output timer on the window's thread: a precise QTimer, so the ticks keep their
// cadence instead of drifting by the work of each tick. A tick that is late is not
// caught up; one that would overlap a busy tick is skipped by the engine.
class QtTickTimer final : public TickTimer {
 public:
  QtTickTimer();
  ~QtTickTimer() override;

  void SetHandler(std::function<void()> handler) override;
  void Start(int intervalMs) override;
  void Stop() override;

  bool IsActive() const { return timer_.isActive(); }
  int Interval() const { return timer_.interval(); }
  Qt::TimerType Type() const { return timer_.timerType(); }

 private:
  QTimer timer_;
  std::function<void()> handler_;
};

// Runs the idle step once the event loop has dealt with what is pending: a queued
// call on the thread that created it. Requests made before it ran are merged into
// one call; nothing is polled.
class QtIdleScheduler final : public IdleScheduler {
 public:
  explicit QtIdleScheduler(std::function<void()> idleStep);
  ~QtIdleScheduler() override;

  void ScheduleIdle() override;
  bool Pending() const { return pending_; }

 private:
  QObject context_;  // dropping it cancels a call still queued
  std::function<void()> idleStep_;
  bool pending_ = false;
};

}  // namespace fixcaster
