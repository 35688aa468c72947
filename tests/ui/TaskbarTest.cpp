#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QTest>
#include <QVariantMap>

#include "ui/Taskbar.h"

namespace fixcaster::ui::test {
namespace {

// Collects the launcher updates seen on a bus.
class LauncherListener : public QObject {
  Q_OBJECT
 public:
  struct Update {
    QString uri;
    QVariantMap properties;
  };
  std::vector<Update> updates;

 public Q_SLOTS:
  void OnUpdate(const QDBusMessage& message) {
    const QList<QVariant> args = message.arguments();
    if (args.size() == 2) updates.push_back({args[0].toString(), qdbus_cast<QVariantMap>(args[1])});
  }
};

// A private session bus of our own, so the test needs no desktop and disturbs none.
class PrivateBus {
 public:
  PrivateBus() {
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"),
                   QStringLiteral("--print-address=1")});
    if (!daemon_.waitForStarted(5000)) return;
    if (!daemon_.waitForReadyRead(5000)) return;
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
  }
  ~PrivateBus() {
    for (const QString& name : names_) QDBusConnection::disconnectFromBus(name);
    daemon_.kill();
    daemon_.waitForFinished(3000);
  }
  QDBusConnection Connect(const QString& name) {
    names_ << name;
    return QDBusConnection::connectToBus(address_, name);
  }
  bool Ok() const { return !address_.isEmpty(); }

 private:
  QProcess daemon_;
  QString address_;
  QStringList names_;
};

TEST(Taskbar, ProgressAndSpanNumberGoToTheLauncher) {
  PrivateBus bus;
  ASSERT_TRUE(bus.Ok()) << "dbus-daemon (package dbus) is needed";
  QDBusConnection listenerBus = bus.Connect(QStringLiteral("listener"));
  LauncherListener listener;
  ASSERT_TRUE(
      listenerBus.connect(QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"),
                          QStringLiteral("Update"), &listener, SLOT(OnUpdate(QDBusMessage))));
  Taskbar taskbar(QStringLiteral("fixcaster.desktop"), bus.Connect(QStringLiteral("program")));
  ASSERT_EQ(taskbar.ProgressMax(), Taskbar::kProgressMax);

  taskbar.SetRunning();
  taskbar.ShowProgress(3, 64);
  taskbar.Clear();
  ASSERT_TRUE(QTest::qWaitFor([&] { return listener.updates.size() >= 3; }, 5000));
  ASSERT_EQ(listener.updates.size(), 3u);
  const auto& progress = listener.updates[1];
  EXPECT_EQ(progress.uri, QStringLiteral("application://fixcaster.desktop"));
  EXPECT_DOUBLE_EQ(progress.properties.value(QStringLiteral("progress")).toDouble(), 0.5);
  EXPECT_EQ(progress.properties.value(QStringLiteral("count")).toLongLong(), 3);
  EXPECT_TRUE(progress.properties.value(QStringLiteral("progress-visible")).toBool());
  EXPECT_TRUE(progress.properties.value(QStringLiteral("count-visible")).toBool());
  const auto& cleared = listener.updates[2];
  EXPECT_FALSE(cleared.properties.value(QStringLiteral("progress-visible")).toBool());
  EXPECT_FALSE(cleared.properties.value(QStringLiteral("count-visible")).toBool());
}

TEST(Taskbar, WithoutABusNothingIsEverSent) {
  Taskbar taskbar(QStringLiteral("fixcaster.desktop"),
                  QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"),
                                                QStringLiteral("nobus")));
  EXPECT_EQ(taskbar.ProgressMax(), 0) << "progress switched off";
  taskbar.SetRunning();
  taskbar.ShowProgress(2, 100);
  EXPECT_FALSE(taskbar.Visible());
  EXPECT_EQ(taskbar.LastNumber(), 0);
  QDBusConnection::disconnectFromBus(QStringLiteral("nobus"));
}

}  // namespace
}  // namespace fixcaster::ui::test

#include "TaskbarTest.moc"
