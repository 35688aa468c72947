#include "ui/Taskbar.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

namespace fixcaster::ui {

namespace {
constexpr const char* kInterface = "com.canonical.Unity.LauncherEntry";
// Any object path serves; docks match entries by the application URI.
constexpr const char* kPath = "/io/github/fixcaster/LauncherEntry";
}  // namespace

Taskbar::Taskbar(QString desktopId, QDBusConnection bus)
    : appUri_(QStringLiteral("application://") + desktopId), bus_(std::move(bus)) {
  available_ = bus_.isConnected();
}

void Taskbar::Send(bool visible) {
  if (!available_) return;
  QDBusMessage signal = QDBusMessage::createSignal(QLatin1String(kPath), QLatin1String(kInterface),
                                                   QStringLiteral("Update"));
  QVariantMap properties;
  properties.insert(QStringLiteral("progress"), double(lastValue_) / kProgressMax);
  properties.insert(QStringLiteral("progress-visible"), visible);
  properties.insert(QStringLiteral("count"), qint64(lastNumber_));
  properties.insert(QStringLiteral("count-visible"), visible);
  signal << appUri_ << properties;
  bus_.send(signal);
  visible_ = visible;
}

void Taskbar::ShowProgress(int number, int value) {
  if (!available_) return;
  lastNumber_ = number;
  lastValue_ = value;
  Send(true);
}

void Taskbar::SetRunning() {
  if (!available_ || visible_) return;
  Send(true);
}

void Taskbar::Clear() {
  if (!available_ || !visible_) return;
  lastNumber_ = 0;
  lastValue_ = 0;
  Send(false);
}

}  // namespace fixcaster::ui
