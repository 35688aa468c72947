#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QRect>
#include <QShowEvent>
#include <QString>

class QWidget;
class QScreen;

namespace fixcaster::ui {

// The value of a window position that was never stored.
constexpr int kNoPosition = 2147483647;

// Top-left corner of the main window clamped into `work`: the left edge first, then the
// bottom, the right and last the top, so a window taller than the work area keeps its
// top edge visible and one wider than it ends at the right edge.
QPoint ClampMainWindow(const QRect& work, const QSize& window, QPoint topLeft);

// Top-left corner of a dialog centred over `owner` (outer rectangles) and clamped into
// `work`: top, bottom, left, right, so a dialog taller than the work area keeps its
// bottom edge visible.
QPoint CentreDialog(const QRect& owner, const QSize& dialog, const QRect& work);

// The work area (screen without panels and docks) of the monitor holding `window`;
// with none given, that of the main window.
QRect MonitorWorkArea(const QWidget* window = nullptr);
// The work area of the monitor holding `point`, or of the nearest one.
QRect WorkAreaAt(const QPoint& point);

// Moves the main window to a stored position (or centres it when either value is
// kNoPosition) and pulls it into its monitor's work area; top and left return the result.
void PlaceMainWindow(QWidget& window, int& top, int& left);

// Places a dialog that is being shown centred over its owner, clamped as above.
void PlaceDialog(QWidget& dialog, const QWidget* owner);

// A dialog that places itself over its owner when shown, after it has taken its size
// and before the window system maps it, so it never appears elsewhere first.
template <class Dialog>
class Placed : public Dialog {
 public:
  template <class... Args>
  explicit Placed(const QWidget* owner, Args&&... args)
      : Dialog(std::forward<Args>(args)...), owner_(const_cast<QWidget*>(owner)) {}

 protected:
  void showEvent(QShowEvent* event) override {
    Dialog::showEvent(event);
    if (!placed_) {
      placed_ = true;
      PlaceDialog(*this, owner_);
    }
  }

 private:
  QPointer<QWidget> owner_;
  bool placed_ = false;
};

enum class MessageKind { Warning, Error, Information, Confirmation };

// The program's message box: modal, the icon and caption of its kind, centred over
// `owner` (the main window when none) and kept inside the owner's work area.
QMessageBox::StandardButton ShowMessage(const QString& text, MessageKind kind,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                        QWidget* owner = nullptr);

// The main window every dialog belongs to unless told otherwise.
void SetMainWindow(QWidget* window);
QWidget* MainWindow();

}  // namespace fixcaster::ui
