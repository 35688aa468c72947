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

}  // namespace fixcaster
