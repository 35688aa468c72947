#include <sys/resource.h>

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTableView>

#include "TcpClient.h"
#include "UiFixture.h"
#include "ui/RunCore.h"

namespace fixcaster::ui::test {
namespace {

using LoadTest = UiFixture;

// At 20 Hz with every sentence on and 1000 clients connected, typing in the track
// table and opening the port list must not freeze the output. The bound is a freeze
// detector (ten periods), not a timing figure; the gaps are recorded for the report.
TEST_F(LoadTest, TheWindowStaysResponsiveAtTwentyHertzWithAThousandClients) {
  rlimit files{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &files), 0);
  files.rlim_cur = files.rlim_max;
  setrlimit(RLIMIT_NOFILE, &files);
  if (files.rlim_cur < 2200) GTEST_SKIP() << "needs 2200 file descriptors";

  const int port = FreeTcpPort();
  WriteIni(IniPath(),
           QStringLiteral("[Option]\nTCPport=%1\n[Serial]\nPort=TCP\n[Output]\nOutFreq=20\n"
                          "NMEAversion=4.1\nRepeat=1\nGGAOut=1\nRMCOut=1\nGLLOut=1\nVTGOut=1\n"
                          "ZDAOut=1\nGNSOut=1\nHDTOut=1\nGSAOut=1\nGSVOut=1\nGSAinter=1\n"
                          "GSVinter=1\n")
               .arg(port));
  Start();
  ASSERT_TRUE(form_->Core().IsOutputOpen());
  std::vector<std::unique_ptr<TcpClient>> clients;
  for (int i = 0; i < 1000; ++i) {
    clients.push_back(std::make_unique<TcpClient>(port));
    ASSERT_TRUE(clients.back()->Connected()) << i;
  }
  ASSERT_TRUE(QTest::qWaitFor(
      [this] { return form_->Core().Port().IdTCPServer1.ClientCount() == 1000; }, 10000));
  TcpClient& probe = *clients.front();

  Find<QPushButton>("ButtonStart")->click();
  ASSERT_TRUE(Find("ButtonStop")->isEnabled());
  // Idling keeps the 20 Hz output going and lets the table be edited.
  Find<QPushButton>("ButtonIdling")->click();
  ASSERT_TRUE(Find("StringGrid1")->isEnabled());

  std::vector<qint64> arrivals;  // ms of each GGA seen by the probe client
  QElapsedTimer clock;
  clock.start();
  size_t seen = 0;
  auto pump = [&](int ms) {
    const qint64 until = clock.elapsed() + ms;
    while (clock.elapsed() < until) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      for (auto& c : clients) c->Drain();
      const std::string& r = probe.Received();
      for (size_t p = r.find("GGA,", seen); p != std::string::npos; p = r.find("GGA,", p + 1)) {
        arrivals.push_back(clock.elapsed());
        seen = p + 1;
      }
      for (auto& c : clients) c->Clear();
      seen = 0;
    }
  };
  pump(500);
  // Typing in the table: an editor opened on a row far from the track, text typed.
  auto* grid = Find<QTableView>("StringGrid1");
  for (int row = 20; row < 30; ++row) {
    const QModelIndex cell = grid->model()->index(row, 2);
    grid->setCurrentIndex(cell);
    grid->edit(cell);
    if (QWidget* editor =
            grid->indexWidget(cell) ? grid->indexWidget(cell) : QApplication::focusWidget())
      QTest::keyClicks(editor, QStringLiteral("123.5"));
    QTest::keyClick(grid, Qt::Key_Return);
    pump(50);
  }
  // Opening the port list scans and probes the serial ports.
  auto* portBox = Find<QComboBox>("ComboBoxPort");
  for (int i = 0; i < 5; ++i) {
    portBox->showPopup();
    pump(50);
    portBox->hidePopup();
    pump(50);
  }
  pump(500);
  EXPECT_EQ(state_->StringGrid1.Cell(21, 3), "123.5") << "the typing reached the table";
  EXPECT_EQ(state_->StringGrid1.Cell(30, 3), "123.5");

  ASSERT_GT(arrivals.size(), 20u);
  qint64 maxGap = 0;
  for (size_t i = 1; i < arrivals.size(); ++i)
    maxGap = std::max(maxGap, arrivals[i] - arrivals[i - 1]);
  RecordProperty("ticks_seen", int(arrivals.size()));
  RecordProperty("max_gap_ms", int(maxGap));
  std::printf("ticks seen by the probe client: %zu over %lld ms, longest gap %lld ms\n",
              arrivals.size(), static_cast<long long>(arrivals.back() - arrivals.front()),
              static_cast<long long>(maxGap));
  EXPECT_LT(maxGap, 500);
  EXPECT_EQ(form_->Core().Port().IdTCPServer1.ClientCount(), 1000u) << "no client was dropped";
  Find<QPushButton>("ButtonStop")->click();
}

}  // namespace
}  // namespace fixcaster::ui::test
