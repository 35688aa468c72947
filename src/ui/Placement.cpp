#include "ui/Placement.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <climits>

namespace fixcaster::ui {

namespace {
QPointer<QWidget> g_mainWindow;

// Right and bottom as exclusive edges, the way the clamping rules count them.
int RightEdge(const QRect& r) {
  return r.x() + r.width();
}
int BottomEdge(const QRect& r) {
  return r.y() + r.height();
}

}  // namespace

void SetMainWindow(QWidget* window) {
  g_mainWindow = window;
}
QWidget* MainWindow() {
  return g_mainWindow;
}

QPoint ClampMainWindow(const QRect& work, const QSize& window, QPoint p) {
  p.setX(std::max(p.x(), work.x()));
  p.setY(std::min(p.y(), BottomEdge(work) - window.height()));
  p.setX(std::min(p.x(), RightEdge(work) - window.width()));
  p.setY(std::max(p.y(), work.y()));
  return p;
}

QPoint CentreDialog(const QRect& owner, const QSize& dialog, const QRect& work) {
  int top = owner.y() + (owner.height() - dialog.height()) / 2;
  int left = owner.x() + (owner.width() - dialog.width()) / 2;
  top = std::max(top, work.y());
  top = std::min(top, BottomEdge(work) - dialog.height());
  left = std::max(left, work.x());
  left = std::min(left, RightEdge(work) - dialog.width());
  return {left, top};
}

QRect WorkAreaAt(const QPoint& point) {
  QScreen* best = QGuiApplication::screenAt(point);
  if (!best) {
    long long bestDistance = LLONG_MAX;
    for (QScreen* screen : QGuiApplication::screens()) {
      const QRect g = screen->geometry();
      const long long dx = std::max({g.x() - point.x(), 0, point.x() - RightEdge(g) + 1});
      const long long dy = std::max({g.y() - point.y(), 0, point.y() - BottomEdge(g) + 1});
      if (dx * dx + dy * dy < bestDistance) {
        bestDistance = dx * dx + dy * dy;
        best = screen;
      }
    }
  }
  if (!best) best = QGuiApplication::primaryScreen();
  return best ? best->availableGeometry() : QRect(0, 0, 1024, 768);
}

QRect MonitorWorkArea(const QWidget* window) {
  if (!window) window = g_mainWindow;
  if (window) {
    if (QScreen* screen = window->screen()) {
      // A window that was moved but not shown yet reports the screen it was created
      // on; its rectangle tells where it really is.
      const QRect frame = window->frameGeometry();
      if (!screen->geometry().intersects(frame)) return WorkAreaAt(frame.center());
      return screen->availableGeometry();
    }
  }
  QScreen* primary = QGuiApplication::primaryScreen();
  return primary ? primary->availableGeometry() : QRect(0, 0, 1024, 768);
}

void PlaceMainWindow(QWidget& window, int& top, int& left) {
  QRect work;
  // Outer size: the frame is what must fit into the work area.
  const QSize outer = window.frameGeometry().size();
  if (top == kNoPosition || left == kNoPosition) {
    work = MonitorWorkArea(&window);
    top = (work.height() - outer.height()) / 2 + work.y();
    left = (work.width() - outer.width()) / 2 + work.x();
  } else {
    window.move(left, top);
    work = WorkAreaAt(QRect(QPoint(left, top), outer).center());
  }
  const QPoint p = ClampMainWindow(work, outer, QPoint(left, top));
  top = p.y();
  left = p.x();
  window.move(left, top);
}

void PlaceDialog(QWidget& dialog, const QWidget* owner) {
  if (!owner) owner = g_mainWindow;
  const QSize size = dialog.frameGeometry().size();
  if (!owner) {
    const QRect work = MonitorWorkArea(nullptr);
    dialog.move(work.x() + (work.width() - size.width()) / 2,
                work.y() + (work.height() - size.height()) / 2);
    return;
  }
  dialog.move(CentreDialog(owner->frameGeometry(), size, MonitorWorkArea(owner)));
}

QMessageBox::StandardButton ShowMessage(const QString& text, MessageKind kind,
                                        QMessageBox::StandardButtons buttons, QWidget* owner) {
  if (!owner) owner = g_mainWindow;
  QMessageBox::Icon icon = QMessageBox::Warning;
  QString caption;
  switch (kind) {
    case MessageKind::Warning:
      icon = QMessageBox::Warning;
      caption = QStringLiteral("Warning");
      break;
    case MessageKind::Error:
      icon = QMessageBox::Critical;
      caption = QStringLiteral("Error");
      break;
    case MessageKind::Information:
      icon = QMessageBox::Information;
      caption = QStringLiteral("Information");
      break;
    case MessageKind::Confirmation:
      icon = QMessageBox::Question;
      caption = QStringLiteral("Confirm");
      break;
  }
  Placed<QMessageBox> box(owner, icon, caption, text, buttons, owner);
  box.setObjectName(QStringLiteral("MessageBox"));
  return QMessageBox::StandardButton(box.exec());
}

}  // namespace fixcaster::ui
