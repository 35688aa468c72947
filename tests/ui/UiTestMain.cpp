#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QDir>

// The widget tests need one QApplication for the whole run; gtest's own main would
// not make it. Test discovery runs this program without the tests' environment, so
// the offscreen platform with the tests' screens is the default here, and Qt gets a
// private runtime folder of its own in the build tree.
int main(int argc, char** argv) {
  const QString dir = QStringLiteral(FIXCASTER_UI_TEST_DIR);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(dir) + "/screens.json");
  const QString runtime = dir + QStringLiteral("/xdg-runtime");
  QDir().mkpath(runtime);
  ::chmod(QFile::encodeName(runtime).constData(), 0700);
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
