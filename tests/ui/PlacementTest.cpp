#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "UiFixture.h"
#include "ui/Placement.h"

namespace fixcaster::ui::test {
namespace {

// The main window's clamping: left, bottom, right, top, in that order.
struct MainRow {
  const char* what;
  QRect work;
  QSize window;
  QPoint in, out;
};
const MainRow kMainRows[] = {
    {"inside stays", {0, 0, 1280, 800}, {800, 400}, {100, 50}, {100, 50}},
    {"off the left", {0, 0, 1280, 800}, {800, 400}, {-300, 50}, {0, 50}},
    {"off the right", {0, 0, 1280, 800}, {800, 400}, {900, 50}, {480, 50}},
    {"below the bottom", {0, 0, 1280, 800}, {800, 400}, {10, 700}, {10, 400}},
    {"above the top", {0, 30, 1280, 770}, {800, 400}, {10, 0}, {10, 30}},
    {"wider: right edge", {0, 0, 600, 800}, {800, 400}, {50, 50}, {-200, 50}},
    {"taller: top edge", {0, 0, 1280, 300}, {800, 400}, {50, 50}, {50, 0}},
    {"second monitor", {1280, 0, 1024, 768}, {800, 400}, {2200, 600}, {1504, 368}},
};

TEST(PlacementRules, MainWindowIsPulledIntoTheWorkArea) {
  for (const MainRow& r : kMainRows) {
    SCOPED_TRACE(r.what);
    EXPECT_EQ(ClampMainWindow(r.work, r.window, r.in), r.out);
  }
}

// Dialogs: centred over the owner, then top, bottom, left, right.
struct DialogRow {
  const char* what;
  QRect owner, work;
  QSize dialog;
  QPoint out;
};
const DialogRow kDialogRows[] = {
    {"centred", {100, 100, 800, 400}, {0, 0, 1280, 800}, {200, 100}, {400, 250}},
    {"odd halves truncate", {100, 100, 801, 401}, {0, 0, 1280, 800}, {200, 100}, {400, 250}},
    {"owner near the bottom", {100, 700, 800, 400}, {0, 0, 1280, 800}, {200, 300}, {400, 500}},
    {"owner off the left", {-700, 100, 800, 400}, {0, 0, 1280, 800}, {200, 100}, {0, 250}},
    {"taller: bottom edge", {100, 0, 800, 400}, {0, 0, 1280, 300}, {200, 400}, {400, -100}},
    {"wider: right edge", {0, 0, 300, 300}, {0, 0, 200, 800}, {400, 100}, {-200, 100}},
};

TEST(PlacementRules, DialogsAreCentredOverTheOwnerAndClamped) {
  for (const DialogRow& r : kDialogRows) {
    SCOPED_TRACE(r.what);
    EXPECT_EQ(CentreDialog(r.owner, r.dialog, r.work), r.out);
  }
}

using PlacementTest = UiFixture;

// The test screens: "left" 0,0 1280 x 800 and "right" 1280,0 1024 x 768.
TEST_F(PlacementTest, StoredPositionIsRestoredAndPulledIn) {
  Start();
  const QSize size = form_->frameGeometry().size();
  form_.reset();
  const struct {
    const char* what;
    int top, left;
    QPoint expected;
  } rows[] = {
      {"inside the left screen", 40, 60, {60, 40}},
      {"below the left screen", 700, 100, {100, 800 - size.height()}},
      {"right screen, off its right edge", 100, 1400, {std::min(1400, 2304 - size.width()), 100}},
      {"far off to the top left", -50, -2000, {0, 0}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    WriteIni(IniPath(),
             QStringLiteral("[Option]\nMainTop=%1\nMainLeft=%2\n").arg(row.top).arg(row.left));
    Start();
    EXPECT_EQ(form_->frameGeometry().topLeft(), row.expected);
    EXPECT_EQ(state_->MainTop, row.expected.y());
    EXPECT_EQ(state_->MainLeft, row.expected.x());
    form_.reset();
  }
}

TEST_F(PlacementTest, MessageBoxOverAWindowNearTheBottomEndsAtTheWorkAreaBottom) {
  WriteIni(IniPath(), QStringLiteral("[Option]\nMainTop=790\nMainLeft=100\n"));
  Start();
  // The stored position is pulled up so the whole window fits; move it lower by hand
  // to stand for a window dragged half off the screen.
  form_->move(100, 600);
  ModalAnswerer answer;
  Find<QPushButton>("ButtonStart")->click();
  ASSERT_EQ(answer.Boxes().size(), 1u);
  const QRect box = answer.Boxes()[0].frame;
  const QRect work = MonitorWorkArea(form_.get());
  EXPECT_EQ(box.bottom(), work.bottom()) << box.y() << " " << box.height();
  EXPECT_LE(std::abs(box.center().x() - form_->frameGeometry().center().x()), 1);
}

}  // namespace
}  // namespace fixcaster::ui::test
