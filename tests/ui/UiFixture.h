#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "settings/Settings.h"
#include "state/AppState.h"
#include "ui/Language.h"
#include "ui/MainWindow.h"

namespace fixcaster::ui::test {

// What a message box showed before it was answered.
struct SeenBox {
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QRect frame;
  QStringList buttons;  // the button texts, in the box's order
};

// Answers every modal dialog that opens while it lives: message boxes are recorded
// and answered with `button`; any other dialog is given to `other` (or rejected), so
// a test never waits on a dialog.
class ModalAnswerer {
 public:
  explicit ModalAnswerer(QMessageBox::StandardButton button = QMessageBox::Ok,
                         std::function<void(QDialog*)> other = nullptr)
      : button_(button), other_(std::move(other)) {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
  }
  const std::vector<SeenBox>& Boxes() const { return boxes_; }
  QStringList Texts() const {
    QStringList t;
    for (const SeenBox& b : boxes_) t << b.text;
    return t;
  }

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      QStringList buttons;
      for (QAbstractButton* b : box->buttons()) buttons << b->text();
      boxes_.push_back({box->text(), box->icon(), box->frameGeometry(), buttons});
      box->done(button_);
    } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      if (other_)
        other_(dialog);
      else
        dialog->reject();
    }
  }

  QMessageBox::StandardButton button_;
  std::function<void(QDialog*)> other_;
  std::vector<SeenBox> boxes_;
  QTimer timer_;
};

// A main window over a settings file in a fresh temporary folder, started the way
// the program starts it (shown, first activation, start-up pass).
class UiFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.filePath(QStringLiteral("config"))));
    SetUserLocaleForTesting(nullptr);
  }
  void TearDown() override {
    form_.reset();
    SetUserLocaleForTesting(nullptr);
  }

  QString IniPath() const { return dir_.filePath(QStringLiteral("fixcaster.ini")); }
  QString Path(const QString& name) const { return dir_.filePath(name); }

  // Writes a settings file (UTF-16LE with BOM, as the program writes them).
  void WriteIni(const QString& path, const QString& text) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    QByteArray bytes("\xFF\xFE", 2);
    QString crlf = text;
    crlf.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    bytes.append(reinterpret_cast<const char*>(crlf.utf16()), crlf.size() * 2);
    f.write(bytes);
  }
  static QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  static QString ReadIniText(const QString& path) {
    const QByteArray bytes = ReadAll(path);
    if (bytes.size() < 2) return {};
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2),
                              (bytes.size() - 2) / 2);
  }

  // Builds and shows the window, waiting for its start-up pass to finish.
  void Start(QStringList arguments = {}) {
    state_ = std::make_unique<AppState>();
    InitSettingsGlobals(*state_);
    state_->SettingsPath = IniPath().toStdString();
    form_ = std::make_unique<TFormMain>(*state_, arguments);
    form_->show();
    ASSERT_TRUE(QTest::qWaitFor([this] { return form_->StartupDone(); }, 5000));
  }

  template <class W = QWidget>
  W* Find(const QString& name) const {
    return form_->findChild<W*>(name);
  }
  template <class W = QWidget>
  W* Find(const char* name) const {
    return Find<W>(QLatin1String(name));
  }

  QTemporaryDir dir_;
  std::unique_ptr<AppState> state_;
  std::unique_ptr<TFormMain> form_;
};

}  // namespace fixcaster::ui::test
