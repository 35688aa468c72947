#pragma once

// One QCoreApplication for the app tests, and a bounded way to run its loop.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <functional>

namespace fixcaster::testing {

inline QCoreApplication& App() {
  if (auto* existing = QCoreApplication::instance()) return *existing;
  static int argc = 1;
  static char name[] = "app_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

// Runs the event loop until pred() holds or `ms` pass; returns pred().
inline bool RunLoopUntil(const std::function<bool()>& pred, int ms = 5000) {
  App();
  QDeadlineTimer deadline(ms);
  while (!pred()) {
    if (deadline.hasExpired()) return pred();
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
  }
  return true;
}

}  // namespace fixcaster::testing
