#include <QApplication>
#include <QIcon>
#include <QMessageBox>

#include "settings/Settings.h"
#include "settings/SettingsPath.h"
#include "state/AppState.h"
#include "ui/MainWindow.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Fixcaster"));
  QGuiApplication::setDesktopFileName(QStringLiteral("fixcaster"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/fixcaster.svg")));

  QStringList arguments = QApplication::arguments();
  arguments.removeFirst();
  std::vector<std::string> args;
  for (const QString& a : arguments) args.push_back(a.toStdString());

  // The settings module comes first: where the settings file lives, the font defaults.
  fixcaster::AppState state;
  fixcaster::InitSettingsGlobals(state);
  try {
    state.SettingsPath = fixcaster::ResolveSettingsPath(args, fixcaster::CurrentSettingsLocation());
  } catch (const fixcaster::SettingsLocationError& e) {
    QMessageBox::critical(nullptr, QStringLiteral("Fixcaster"), QString::fromUtf8(e.what()));
    return 1;
  }

  fixcaster::ui::TFormMain form(state, arguments);
  form.show();
  return QApplication::exec();
}
