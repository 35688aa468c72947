// The production output timer on a real Qt event loop.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "output/QtTickTimer.h"

namespace fixcaster {
namespace {

QCoreApplication& App() {
  if (auto* existing = QCoreApplication::instance()) return *existing;
  static int argc = 1;
  static char name[] = "output_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

TEST(QtTickTimer, IsPreciseAndRunsTheHandlerOncePerPeriodUntilStopped) {
  App();
  QtTickTimer timer;
  EXPECT_EQ(timer.Type(), Qt::PreciseTimer);
  EXPECT_FALSE(timer.IsActive());

  QEventLoop loop;
  int ticks = 0;
  timer.SetHandler([&] {
    if (++ticks == 3) loop.quit();
  });
  timer.Start(10);
  EXPECT_TRUE(timer.IsActive());
  EXPECT_EQ(timer.Interval(), 10);
  QTimer::singleShot(5000, &loop, &QEventLoop::quit);  // a broken timer fails, not hangs
  loop.exec();
  EXPECT_EQ(ticks, 3);

  timer.Stop();
  EXPECT_FALSE(timer.IsActive());
  QCoreApplication::processEvents();
  EXPECT_EQ(ticks, 3) << "no tick after Stop";

  timer.Start(1000);  // a new period replaces the old one
  EXPECT_EQ(timer.Interval(), 1000);
  timer.SetHandler({});  // the engine going away leaves a timer that calls nothing
  timer.Stop();
}

TEST(QtIdleScheduler, RunsTheIdleStepOnceAfterThePendingEvents) {
  App();
  int runs = 0;
  QtIdleScheduler idle([&] { ++runs; });
  idle.ScheduleIdle();
  idle.ScheduleIdle();  // merged with the first request
  EXPECT_EQ(runs, 0) << "never inside the caller";
  EXPECT_TRUE(idle.Pending());
  QCoreApplication::processEvents();
  EXPECT_EQ(runs, 1);
  EXPECT_FALSE(idle.Pending());
  idle.ScheduleIdle();
  QCoreApplication::processEvents();
  EXPECT_EQ(runs, 2);
  {
    QtIdleScheduler dropped([&] { ++runs; });
    dropped.ScheduleIdle();
  }
  QCoreApplication::processEvents();  // the queued call died with its scheduler
  EXPECT_EQ(runs, 2);
}

}  // namespace
}  // namespace fixcaster
