#pragma once

#include <QPlainTextEdit>
#include <QWidget>
#include <functional>

namespace fixcaster::ui {

// Common shape of the two small windows: one text box Memo1 filling a sizeable
// window, long lines wrapped for display, no scroll bars; centred on the main window
// each time it is shown.
class MemoWindow : public QWidget {
  Q_OBJECT
 public:
  MemoWindow(const QString& objectName, const QString& caption, QWidget* mainWindow);

  QPlainTextEdit* Memo1() const { return memo_; }
  void SetText(const QString& text);
  QString Text() const { return memo_->toPlainText(); }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QWidget* mainWindow_;
  QPlainTextEdit* memo_;
};

// TFormNmeamon: the sentences of the latest tick, replaced whole at each tick and
// only while the window is visible.
class TFormNmeamon : public MemoWindow {
  Q_OBJECT
 public:
  explicit TFormNmeamon(QWidget* mainWindow);
  // Shows exactly one tick's text; a hidden window is left alone.
  void ShowTick(const QString& sentText);
};

// TFormGSAGSV: the lines of the current GSA/GSV preset as plain text. Closing it, by
// its own close button or by the main window's Edit button, stores the text.
class TFormGSAGSV : public MemoWindow {
  Q_OBJECT
 public:
  explicit TFormGSAGSV(QWidget* mainWindow);
  // Called with the editor's text whenever the window is about to close.
  std::function<void(const QString&)> OnStore;

 protected:
  void closeEvent(QCloseEvent* event) override;
};

}  // namespace fixcaster::ui
