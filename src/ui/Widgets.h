#pragma once

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <functional>

namespace fixcaster::ui {

// A label that reacts to a click (the speed heading, "CHG", "Monitor").
class ClickLabel : public QLabel {
  Q_OBJECT
 public:
  using QLabel::QLabel;

 Q_SIGNALS:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
      Q_EMIT clicked();
    QLabel::mouseReleaseEvent(event);
  }
};

// A combo box that tells when its list opens and closes (the port list is rebuilt on
// opening and its text trimmed once it has closed).
class DropDownComboBox : public QComboBox {
  Q_OBJECT
 public:
  using QComboBox::QComboBox;
  // Width of the open list in pixels (0: as wide as the box).
  void SetDropDownWidth(int width) { dropDownWidth_ = width; }

 Q_SIGNALS:
  void dropDown();
  void closeUp();

 public:
  void showPopup() override {
    Q_EMIT dropDown();
    QComboBox::showPopup();
    if (dropDownWidth_ > 0 && view() && view()->window())
      view()->window()->setFixedWidth(std::max(dropDownWidth_, width()));
  }
  void hidePopup() override {
    QComboBox::hidePopup();
    Q_EMIT closeUp();
  }

 private:
  int dropDownWidth_ = 0;
};

}  // namespace fixcaster::ui
