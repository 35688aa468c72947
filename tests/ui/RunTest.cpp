#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableView>
#include <set>

#include "TcpClient.h"
#include "UiFixture.h"
#include "ui/AuxWindows.h"
#include "ui/RunCore.h"
#include "ui/Widgets.h"

namespace fixcaster::ui::test {
namespace {

// Every line a well-formed sentence: "$", body, "*", two upper-case hex digits that are
// the XOR of the body, CR LF.
bool AllFramed(const std::string& text, std::string* bad) {
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) return true;  // a line still arriving
    const std::string line = text.substr(pos, end - pos);
    pos = end + 2;
    const size_t star = line.rfind('*');
    if (line.empty() || line[0] != '$' || star == std::string::npos || star + 3 != line.size()) {
      *bad = line;
      return false;
    }
    unsigned sum = 0;
    for (size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(line[i]);
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", sum);
    if (line.compare(star + 1, 2, hex) != 0) {
      *bad = line;
      return false;
    }
  }
  return true;
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

// A window with the TCP server open on a free port and one client connected.
class RunTest : public UiFixture {
 protected:
  void OpenTcp(const QString& hz = QStringLiteral("10")) {
    port_ = FreeTcpPort();
    WriteIni(IniPath(),
             QStringLiteral("[Option]\nTCPport=%1\n[Serial]\nPort=\n[Output]\nOutFreq=%2\n")
                 .arg(port_)
                 .arg(hz));
    Start();
    auto* box = Find<QComboBox>("ComboBoxPort");
    box->setEditText(QStringLiteral("TCP"));
    ASSERT_TRUE(Find("EditTCPport")->isVisible());
    Find<QPushButton>("ButtonOpen")->click();
    ASSERT_TRUE(form_->Core().IsOutputOpen());
    client_ = std::make_unique<TcpClient>(port_);
    ASSERT_TRUE(client_->Connected());
    // The server takes the client in on its own thread.
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return form_->Core().Port().IdTCPServer1.ClientCount() == 1; }, 3000));
  }
  bool Running() { return Find("ButtonStop")->isEnabled(); }

  int port_ = 0;
  std::unique_ptr<TcpClient> client_;
};

TEST_F(RunTest, StartSendsTheDefaultTrackToATcpClient) {
  OpenTcp();
  EXPECT_FALSE(Find("ButtonOpen")->isEnabled());
  EXPECT_TRUE(Find("ButtonClose")->isEnabled());
  EXPECT_FALSE(Find("ComboBoxPort")->isEnabled());
  QTest::mouseClick(Find<ClickLabel>("LabelMonitor"), Qt::LeftButton);

  Find<QPushButton>("ButtonStart")->click();
  EXPECT_TRUE(Running());
  EXPECT_FALSE(Find("ButtonStart")->isEnabled());
  EXPECT_FALSE(Find("ButtonLoad")->isEnabled());
  EXPECT_FALSE(Find("StringGrid1")->isEnabled()) << "no editing while travelling";
  EXPECT_FALSE(Find("ButtonJ1")->isEnabled());

  // Three ticks' worth of GGA; GSA/GSV every third tick.
  ASSERT_TRUE(client_->WaitFor([](const std::string& r) { return Count(r, "$GPGGA") >= 3; }));
  const std::string& got = client_->Received();
  std::string bad;
  EXPECT_TRUE(AllFramed(got, &bad)) << bad;
  EXPECT_LT(got.find("$GPRMC"), got.find("$GPGGA")) << "RMC precedes GGA";
  EXPECT_NE(got.find("GSA,"), std::string::npos);
  EXPECT_NE(got.find("GSV,"), std::string::npos);
  EXPECT_EQ(got.find("$GPGLL"), std::string::npos) << "GLL is off by default";
  // The first fix is the first track point: 35 40 49.448 N, 139 46 8.793 E.
  EXPECT_NE(got.find(",3540.82"), std::string::npos) << got.substr(0, 200);
  EXPECT_NE(got.find(",13946.14"), std::string::npos);

  // The monitor holds exactly the last tick: what the port sent in it.
  const QString monitor = form_->FormNmeamon()->Text();
  QString lastTick = QString::fromStdString(form_->Core().Port().SentText());
  lastTick.remove(QLatin1Char('\r'));
  EXPECT_EQ(monitor, lastTick);
  EXPECT_EQ(Count(monitor.toStdString(), "GGA,"), 1);

  // The live display and the span report.
  EXPECT_TRUE(Find<QLabel>("LabelCount")->text().startsWith(QStringLiteral("1")))
      << Find<QLabel>("LabelCount")->text().toStdString();
  EXPECT_FALSE(Find<QLabel>("LabelLat")->text().isEmpty());
  EXPECT_FALSE(Find<QLabel>("LabelTime")->text().isEmpty());
  EXPECT_TRUE(Find<QLabel>("LabelReport")->text().contains(QStringLiteral("km")))
      << Find<QLabel>("LabelReport")->text().toStdString();
  EXPECT_TRUE(Find<QLabel>("LbelSendBytes")->text().contains(QStringLiteral("bytes")));
  EXPECT_GT(Find<QProgressBar>("ProgressBar1")->value(), 0);

  Find<QPushButton>("ButtonStop")->click();
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Running(); }, 3000));
  EXPECT_TRUE(Find("ButtonStart")->isEnabled());
  EXPECT_TRUE(Find("ButtonLoad")->isEnabled());
  EXPECT_TRUE(Find("StringGrid1")->isEnabled());
  EXPECT_EQ(Find<QLabel>("LabelReport")->text(), QString());
  EXPECT_EQ(Find<QProgressBar>("ProgressBar1")->value(), 0);
  // Nothing more arrives once stopped.
  QTest::qWait(300);
  client_->Drain();
  client_->Clear();
  QTest::qWait(300);
  client_->Drain();
  EXPECT_EQ(client_->Received(), "");
}

TEST_F(RunTest, IdlingHoldsThePositionAndEscStops) {
  OpenTcp();
  Find<QPushButton>("ButtonStart")->click();
  ASSERT_TRUE(client_->WaitFor([](const std::string& r) { return Count(r, "GGA,") >= 2; }));
  Find<QPushButton>("ButtonIdling")->click();
  EXPECT_TRUE(Running());
  EXPECT_FALSE(Find("ButtonIdling")->isEnabled());
  EXPECT_TRUE(Find("ButtonStart")->isEnabled());
  EXPECT_TRUE(Find("ButtonJ1")->isEnabled()) << "jumping is allowed while idling";
  client_->Clear();
  ASSERT_TRUE(client_->WaitFor([](const std::string& r) { return Count(r, "GGA,") >= 1; }));
  const QString heldCount = Find<QLabel>("LabelCount")->text();
  client_->Clear();
  ASSERT_TRUE(client_->WaitFor([](const std::string& r) { return Count(r, "GGA,") >= 3; }));
  // Held: every GGA of the idling ticks carries the same position.
  std::set<std::string> positions;
  const std::string& got = client_->Received();
  for (size_t p = got.find("GGA,"); p != std::string::npos; p = got.find("GGA,", p + 1)) {
    // Fields after the time: latitude, N/S, longitude, E/W.
    const size_t from = got.find(',', p + 4) + 1;
    size_t to = from;
    for (int i = 0; i < 4 && to != std::string::npos; ++i) to = got.find(',', to + 1);
    positions.insert(got.substr(from, to - from));
  }
  EXPECT_EQ(positions.size(), 1u) << got;
  EXPECT_EQ(Find<QLabel>("LabelCount")->text(), heldCount);

  // Esc in an open cell editor stops the run and still cancels the edit.
  auto* grid = Find<QTableView>("StringGrid1");
  const QModelIndex cell = grid->model()->index(0, 2);
  grid->setCurrentIndex(cell);
  grid->edit(cell);
  QPointer<QWidget> editor = QApplication::focusWidget();
  ASSERT_NE(editor, nullptr);
  ASSERT_NE(editor, grid);
  QTest::keyClicks(editor, QStringLiteral("99"));
  QTest::keyClick(editor, Qt::Key_Escape);
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Running(); }, 3000));
  EXPECT_TRUE(Find("ButtonIdling")->isEnabled());
  EXPECT_EQ(state_->StringGrid1.Cell(1, 3), "3") << "the edit was cancelled";
  EXPECT_TRUE(!editor || !editor->isVisible()) << "the editor closed";
}

TEST_F(RunTest, JumpWhileStoppedSendsOneTickForThatPoint) {
  OpenTcp();
  // A third point, so row 2 begins a span.
  auto* grid = Find<QTableView>("StringGrid1");
  QAbstractItemModel* m = grid->model();
  m->setData(m->index(1, 3), QStringLiteral("30"));
  m->setData(m->index(2, 0), QStringLiteral("35 42 0"));
  m->setData(m->index(2, 1), QStringLiteral("139 47 0"));
  Find<QPushButton>("ButtonJ2")->click();
  ASSERT_TRUE(client_->WaitForText("GGA,"));
  QTest::qWait(300);
  client_->Drain();
  const std::string& got = client_->Received();
  EXPECT_EQ(Count(got, "GGA,"), 1) << got;
  EXPECT_NE(got.find(",3541.01"), std::string::npos) << "row 2: 35 41 0.977 N\n" << got;
  EXPECT_EQ(grid->currentIndex().row(), 1) << "row 2 is selected";
  EXPECT_FALSE(Running());
}

TEST_F(RunTest, FrequencyChangeDuringARunRetimesTheTimer) {
  OpenTcp(QStringLiteral("1"));
  Find<QPushButton>("ButtonStart")->click();
  EXPECT_EQ(form_->Core().Engine().Timer1Interval(), 1000);
  auto* hz = Find<QComboBox>("ComboBoxHz");
  hz->setCurrentIndex(hz->findText(QStringLiteral("20")));
  EXPECT_EQ(form_->Core().Engine().Timer1Interval(), 50);
  EXPECT_TRUE(Find<QLabel>("LabelCount")->text().contains(QStringLiteral("/")));
  client_->Clear();
  // The run goes on at the new period (the interval is checked above; how evenly a
  // busy machine delivers it is no unit test's business). The time-out only ends a
  // run that stopped.
  EXPECT_TRUE(client_->WaitFor([](const std::string& r) { return Count(r, "GGA,") >= 10; }, 30000));
  Find<QPushButton>("ButtonStop")->click();
  // Stopped, a change waits for the next start.
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Running(); }, 3000));
  hz->setCurrentIndex(hz->findText(QStringLiteral("5")));
  EXPECT_EQ(form_->Core().Engine().Timer1Interval(), 0);
}

TEST_F(RunTest, CloseWhileRunningStopsTheRun) {
  OpenTcp();
  Find<QPushButton>("ButtonStart")->click();
  ASSERT_TRUE(client_->WaitForText("GGA,"));
  Find<QPushButton>("ButtonClose")->click();
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Running(); }, 3000));
  EXPECT_FALSE(form_->Core().IsOutputOpen());
  EXPECT_TRUE(Find("ButtonOpen")->isEnabled());
  EXPECT_TRUE(Find("ComboBoxPort")->isEnabled());
}

TEST_F(RunTest, SwitchAStartsTheSavedTcpOutput) {
  port_ = FreeTcpPort();
  WriteIni(
      IniPath(),
      QStringLiteral("[Option]\nTCPport=%1\n[Serial]\nPort=TCP\n[Output]\nOutFreq=10\nRepeat=1\n")
          .arg(port_));
  Start({QStringLiteral("/a")});
  EXPECT_TRUE(form_->Core().IsOutputOpen()) << "the saved channel is opened at start-up";
  EXPECT_TRUE(Running()) << "/A starts the output";
  TcpClient client(port_);
  ASSERT_TRUE(client.Connected());
  EXPECT_TRUE(client.WaitForText("GGA,"));
}

TEST_F(RunTest, LongerSwitchesAreIgnored) {
  port_ = FreeTcpPort();
  WriteIni(IniPath(), QStringLiteral("[Option]\nTCPport=%1\n[Serial]\nPort=TCP\n").arg(port_));
  Start({QStringLiteral("/AB"), QStringLiteral("A")});
  EXPECT_TRUE(form_->Core().IsOutputOpen());
  EXPECT_FALSE(Running());
}

// --- files dropped on the window -----------------------------------------------------

using DropTest = RunTest;

const char kCsv[] =
    "Latitude,Longitude,Altitude,Speed\r\n"
    "35.5,139.5,10,20\r\n"
    "35.6,139.6,11,21\r\n"
    "35.7,139.7,12,22\r\n";

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

void DropUrls(QWidget* target, const QStringList& paths) {
  QMimeData data;
  QList<QUrl> urls;
  for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
  data.setUrls(urls);
  const QPoint at = target->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  ASSERT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
}

TEST_F(DropTest, ADroppedCsvBecomesTheTrackOnlyWhileStopped) {
  OpenTcp();
  WriteFile(Path(QStringLiteral("track.csv")), kCsv);
  WriteFile(Path(QStringLiteral("other.CSV")), "Latitude,Longitude\r\n1,2\r\n");
  auto* grid = Find<QTableView>("StringGrid1");
  DropUrls(form_.get(), {Path(QStringLiteral("track.csv")), Path(QStringLiteral("other.CSV"))});
  EXPECT_EQ(state_->StringGrid1.Cell(1, 1), "35.5") << "only the first file counts";
  EXPECT_EQ(state_->StringGrid1.Cell(3, 4), "22");
  EXPECT_EQ(grid->model()->data(grid->model()->index(2, 0)).toString(), QStringLiteral("35.7"));

  Find<QPushButton>("ButtonStart")->click();
  ASSERT_TRUE(Running());
  form_->HandleDroppedFiles({Path(QStringLiteral("other.CSV"))});
  EXPECT_EQ(state_->StringGrid1.Cell(1, 1), "35.5") << "ignored while the output runs";
  Find<QPushButton>("ButtonStop")->click();
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Running(); }, 3000));
  form_->HandleDroppedFiles({Path(QStringLiteral("other.CSV"))});
  EXPECT_EQ(state_->StringGrid1.Cell(1, 1), "1") << "an upper-case extension counts";
}

TEST_F(DropTest, ADroppedSettingsFileIsSavedIntoAndLoadedWhileStopped) {
  Start({QStringLiteral("/C")});
  Find<QCheckBox>("CheckBoxZDA")->setChecked(true);
  const QString dropped = Path(QStringLiteral("other.INI"));
  WriteIni(dropped, QStringLiteral("[Output]\nGLLOut=1\nZDAOut=0\nOutFreq=5\n"));
  auto* grid = Find<QTableView>("StringGrid1");
  grid->verticalScrollBar()->setValue(20);
  ASSERT_EQ(form_->TopRow(), 21);
  form_->HandleDroppedFiles({dropped, IniPath()});
  EXPECT_EQ(form_->TopRow(), 1) << "the table shows its start again";
  EXPECT_EQ(grid->currentIndex().row(), 0);
  // The settings in force went into the old file first.
  EXPECT_TRUE(ReadIniText(IniPath()).contains(QStringLiteral("ZDAOut=1")));
  EXPECT_EQ(QString::fromStdString(state_->SettingsPath), dropped);
  EXPECT_TRUE(Find<QCheckBox>("CheckBoxGLL")->isChecked());
  EXPECT_FALSE(Find<QCheckBox>("CheckBoxZDA")->isChecked());
  EXPECT_EQ(Find<QComboBox>("ComboBoxHz")->currentText(), QStringLiteral("5"));
  EXPECT_EQ(Find<QLabel>("LabelIni")->text(), QStringLiteral("other.INI"));
  EXPECT_EQ(form_->windowTitle(), QStringLiteral("Fixcaster Ver3.00 (other.INI)"));
}

TEST_F(DropTest, ASettingsFileDroppedWhileRunningChangesNothing) {
  OpenTcp();
  Find<QPushButton>("ButtonStart")->click();
  ASSERT_TRUE(Running());
  const QString dropped = Path(QStringLiteral("dropped.ini"));
  WriteIni(dropped, QStringLiteral("[Output]\nGLLOut=1\n"));
  const QByteArray droppedBefore = ReadAll(dropped);
  const QByteArray currentBefore = ReadAll(IniPath());
  Find<QCheckBox>("CheckBoxVTG")->setChecked(true);
  DropUrls(form_.get(), {dropped});
  EXPECT_EQ(state_->SettingsPath, IniPath().toStdString());
  EXPECT_FALSE(Find<QCheckBox>("CheckBoxGLL")->isChecked()) << "nothing is loaded";
  EXPECT_EQ(ReadAll(IniPath()), currentBefore) << "nothing is saved";
  // Closing later writes the running settings into the current file, never the dropped one.
  form_->close();
  EXPECT_EQ(ReadAll(dropped), droppedBefore);
  EXPECT_TRUE(ReadIniText(IniPath()).contains(QStringLiteral("VTGOut=1")));
}

TEST_F(DropTest, OtherFilesAreIgnored) {
  Start();
  WriteFile(Path(QStringLiteral("notes.txt")), "35,139\r\n");
  const std::string before = state_->StringGrid1.Cell(1, 1);
  form_->HandleDroppedFiles({Path(QStringLiteral("notes.txt"))});
  EXPECT_EQ(state_->StringGrid1.Cell(1, 1), before);
  EXPECT_EQ(state_->SettingsPath, IniPath().toStdString());
}

}  // namespace
}  // namespace fixcaster::ui::test
