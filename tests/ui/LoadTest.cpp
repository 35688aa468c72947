#include <sys/resource.h>

#include <algorithm>
#include <cstdint>

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
// table and opening the port list must neither freeze the output nor cost any client
// a byte. Checked by order and completeness: the edits land, the output goes on
// after them, and every client receives the very same stream. The longest gap between
// ticks is recorded as a figure, never asserted: timing on a busy machine is no unit
// test's business.
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

  Find<QPushButton>("ButtonStart")->click();
  ASSERT_TRUE(Find("ButtonStop")->isEnabled());
  // Idling keeps the 20 Hz output going and lets the table be edited.
  Find<QPushButton>("ButtonIdling")->click();
  ASSERT_TRUE(Find("StringGrid1")->isEnabled());

  std::vector<qint64> arrivals;  // ms of each GGA seen by the probe client
  // What each client has received: its length and an FNV-1a hash of its bytes.
  struct Stream {
    size_t size = 0;
    uint64_t hash = 14695981039346656037ull;
    bool operator==(const Stream&) const = default;
  };
  std::vector<Stream> streams(clients.size());
  QElapsedTimer clock;
  clock.start();
  auto take = [&] {
    for (size_t i = 0; i < clients.size(); ++i) {
      clients[i]->Drain();
      const std::string& r = clients[i]->Received();
      if (i == 0)
        for (size_t p = r.find("GGA,"); p != std::string::npos; p = r.find("GGA,", p + 1))
          arrivals.push_back(clock.elapsed());
      streams[i].size += r.size();
      for (unsigned char c : r) streams[i].hash = (streams[i].hash ^ c) * 1099511628211ull;
      clients[i]->Clear();
    }
  };
  auto pump = [&](int ms) {
    const qint64 until = clock.elapsed() + ms;
    while (clock.elapsed() < until) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      take();
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
  EXPECT_EQ(state_->StringGrid1.Cell(21, 3), "123.5") << "the typing reached the table";
  EXPECT_EQ(state_->StringGrid1.Cell(30, 3), "123.5");
  // The output goes on after the typing and the list (a frozen window would end it).
  const size_t before = arrivals.size();
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        take();
        return arrivals.size() >= before + 3;
      },
      30000));
  EXPECT_EQ(form_->Core().Port().IdTCPServer1.ClientCount(), 1000u) << "no client was dropped";

  Find<QPushButton>("ButtonStop")->click();
  // Once stopped, every client has the probe's stream, byte for byte.
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        take();
        return std::all_of(streams.begin(), streams.end(),
                           [&](const Stream& c) { return c == streams[0]; });
      },
      30000))
      << "a client lost bytes";
  EXPECT_GT(streams[0].size, 0u);

  qint64 maxGap = 0;
  for (size_t i = 1; i < arrivals.size(); ++i)
    maxGap = std::max(maxGap, arrivals[i] - arrivals[i - 1]);
  RecordProperty("ticks_seen", int(arrivals.size()));
  RecordProperty("max_gap_ms", int(maxGap));
}

}  // namespace
}  // namespace fixcaster::ui::test
