#include "ui/AuxWindows.h"

#include <QCloseEvent>
#include <QVBoxLayout>

#include "ui/Placement.h"

namespace fixcaster::ui {

MemoWindow::MemoWindow(const QString& objectName, const QString& caption, QWidget* mainWindow)
    : QWidget(nullptr, Qt::Window), mainWindow_(mainWindow), memo_(new QPlainTextEdit(this)) {
  setObjectName(objectName);
  setWindowTitle(caption);
  memo_->setObjectName(QStringLiteral("Memo1"));
  memo_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  memo_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  memo_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(memo_);
  resize(576, 415);
}

void MemoWindow::SetText(const QString& text) {
  // Replace, never append: the text box holds exactly what it was given.
  memo_->setPlainText(text);
}

void MemoWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) PlaceDialog(*this, mainWindow_);
}

TFormNmeamon::TFormNmeamon(QWidget* mainWindow)
    : MemoWindow(QStringLiteral("FormNmeamon"), QStringLiteral("NMEA sentence"), mainWindow) {}

void TFormNmeamon::ShowTick(const QString& sentText) {
  if (!isVisible()) return;
  // The CR LF of each sentence would show as two line ends; one is enough.
  QString text = sentText;
  text.remove(QLatin1Char('\r'));
  SetText(text);
}

TFormGSAGSV::TFormGSAGSV(QWidget* mainWindow)
    : MemoWindow(QStringLiteral("FormGSAGSV"), QStringLiteral("GSA,GSV"), mainWindow) {}

void TFormGSAGSV::closeEvent(QCloseEvent* event) {
  if (OnStore) OnStore(Text());
  event->accept();
}

}  // namespace fixcaster::ui
