#pragma once

#include <QDBusConnection>
#include <QString>

namespace fixcaster::ui {

// The launcher button's progress bar and count, through the desktop launcher API
// (com.canonical.Unity.LauncherEntry) on the session bus. Where no session bus
// exists the maximum is 0 and nothing is ever sent, as on a desktop without
// taskbar progress.
class Taskbar {
 public:
  // Progress values count up to this maximum.
  static constexpr int kProgressMax = 128;

  // `bus` is where the launcher listens: the session bus unless a test brings its own.
  explicit Taskbar(QString desktopId = QStringLiteral("fixcaster.desktop"),
                   QDBusConnection bus = QDBusConnection::sessionBus());

  // kProgressMax when the session bus is reachable, else 0 (switches progress off).
  int ProgressMax() const { return available_ ? kProgressMax : 0; }

  // Progress `value` of kProgressMax and the span `number` as the button's count.
  void ShowProgress(int number, int value);
  // Progress state "normal" while travelling: the bar stays visible.
  void SetRunning();
  // Stopped: no progress and no count.
  void Clear();

  // What was sent last, for tests on a private bus.
  int LastNumber() const { return lastNumber_; }
  int LastValue() const { return lastValue_; }
  bool Visible() const { return visible_; }

 private:
  void Send(bool visible);

  QString appUri_;
  QDBusConnection bus_;
  bool available_ = false;
  bool visible_ = false;
  int lastNumber_ = 0;
  int lastValue_ = 0;
};

}  // namespace fixcaster::ui
