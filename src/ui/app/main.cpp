#include <QApplication>
#include <QIcon>

#include "state/AppState.h"
#include "ui/MainWindow.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Fixcaster"));
  QGuiApplication::setDesktopFileName(QStringLiteral("fixcaster"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/fixcaster.svg")));

  fixcaster::AppState state;
  QStringList arguments = QApplication::arguments();
  arguments.removeFirst();
  fixcaster::ui::TFormMain form(state, arguments);
  form.show();
  return QApplication::exec();
}
