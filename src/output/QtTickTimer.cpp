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

}  // namespace fixcaster
