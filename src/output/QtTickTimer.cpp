#include "output/QtTickTimer.h"

#include <utility>

namespace fixcaster {

QtTickTimer::QtTickTimer() {
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setSingleShot(false);
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    if (handler_) handler_();
  });
}

QtTickTimer::~QtTickTimer() {
  timer_.stop();
}

void QtTickTimer::SetHandler(std::function<void()> handler) {
  handler_ = std::move(handler);
}

void QtTickTimer::Start(int intervalMs) {
  timer_.start(intervalMs);
}

void QtTickTimer::Stop() {
  timer_.stop();
}

QtIdleScheduler::QtIdleScheduler(std::function<void()> idleStep) : idleStep_(std::move(idleStep)) {}

QtIdleScheduler::~QtIdleScheduler() = default;

void QtIdleScheduler::ScheduleIdle() {
  if (pending_) return;
  pending_ = true;
  QMetaObject::invokeMethod(
      &context_,
      [this] {
        pending_ = false;
        if (idleStep_) idleStep_();
      },
      Qt::QueuedConnection);
}

}  // namespace fixcaster
