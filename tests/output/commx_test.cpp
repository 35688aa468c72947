#include "output/CommX.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QEventLoop>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "output/channel_support.h"

namespace fixcaster {
namespace {

using testing::ChannelPoster;
using testing::Clock;
using testing::Ms;
using testing::PtyPair;

std::string Numbered(int i, size_t width) {
  std::string s = std::to_string(i);
  s.resize(width, '.');
  return s;
}

std::string CommErrorOf(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const ECommError& e) {
    return e.what();
  }
  return "";
}

class CommXTest : public ::testing::Test {
 protected:
  void SetUp() override {
    comm.SetPortName(pty.Path());
    comm.SetFlowCtrl(cfcNone);
  }
  PtyPair pty;
  ChannelPoster poster;
  TCommX comm{&poster};
};

TEST_F(CommXTest, DefaultsAreTheComponentsDesignValues) {
  TCommX fresh;
  EXPECT_EQ(fresh.PortNo(), 1);
  EXPECT_EQ(fresh.DevicePath(), "/dev/ttyS0");
  EXPECT_EQ(fresh.BitRate(), 9600);
  EXPECT_EQ(fresh.CharSize(), 8);
  EXPECT_EQ(fresh.ParityBit(), cpbNone);
  EXPECT_EQ(fresh.StopBit(), csb1);
  EXPECT_EQ(fresh.FlowCtrl(), cfcRtsCts);
  EXPECT_EQ(fresh.TimeOutTrans(), 3000);
  EXPECT_EQ(fresh.TimeOutReceive(), 3000);
  EXPECT_EQ(fresh.XonChar(), 17);
  EXPECT_EQ(fresh.XoffChar(), 19);
  EXPECT_EQ(fresh.BufLenTrans(), 2048);
  EXPECT_EQ(fresh.BufLenReceive(), 2048);
  EXPECT_FALSE(fresh.IsOpen());
  EXPECT_EQ(fresh.Handle(), -1);
  EXPECT_EQ(ComPortDevice(12), "/dev/ttyS11");
  EXPECT_EQ(ComPortDevice(0), "");
}

TEST_F(CommXTest, BytesArriveInOrderAndComplete) {
  comm.PortOpen();
  std::string expected;
  for (int i = 0; i < 400; ++i) {
    std::string s = "$GPXXX," + std::to_string(i) + "*00\r\n";
    expected += s;
    ASSERT_TRUE(comm.TransString(s));
  }
  EXPECT_EQ(pty.Read(expected.size(), 5000), expected);
  EXPECT_TRUE(testing::WaitUntil([&] { return comm.GetTransLength() == 0; }, 2000));
  EXPECT_TRUE(comm.TransString(""));
  EXPECT_EQ(comm.GetTransCount(), 0);
}

TEST_F(CommXTest, LongBlockIsCutIntoBufLenTransPieces) {
  comm.SetFlowCtrl(cfcXonXoff);
  comm.PortOpen();
  ASSERT_TRUE(pty.StopOutput());
  std::string data;
  for (int i = 0; data.size() < 5000; ++i) data += Numbered(i, 10);
  data.resize(5000);
  ASSERT_TRUE(comm.TransBlock(data.data(), 5000));
  // Nothing can leave while the line is held: 2048 + 2048 + 904 bytes wait.
  EXPECT_EQ(comm.GetTransLength(), 5000);
  EXPECT_EQ(comm.GetTransCount(), 3);
  ASSERT_TRUE(pty.StartOutput());
  EXPECT_EQ(pty.Read(5000, 5000), data);
  EXPECT_TRUE(testing::WaitUntil([&] { return comm.GetTransLength() == 0; }, 2000));
  EXPECT_EQ(comm.GetTransCount(), 0);
}

TEST_F(CommXTest, ThirtyThirdBlockWaitsForTheLine) {
  comm.SetFlowCtrl(cfcXonXoff);
  comm.SetTimeOutTrans(20000);
  comm.PortOpen();
  ASSERT_TRUE(pty.StopOutput());
  std::string expected;
  for (int i = 0; i < TCommX::kMaxTransBlocks; ++i) {
    std::string s = Numbered(i, 10);
    expected += s;
    ASSERT_TRUE(comm.TransString(s));
  }
  ASSERT_EQ(comm.GetTransCount(), 32);
  std::atomic<bool> returned{false};
  std::atomic<bool> returnedWhileHeld{true};
  std::thread farEnd([&] {
    std::this_thread::sleep_for(Ms(300));
    returnedWhileHeld = returned.load();
    pty.StartOutput();
  });
  std::string last = Numbered(32, 10);
  bool queued = comm.TransString(last);
  returned = true;
  farEnd.join();
  expected += last;
  EXPECT_TRUE(queued);
  EXPECT_FALSE(returnedWhileHeld) << "the 33rd block did not wait";
  EXPECT_EQ(pty.Read(expected.size(), 5000), expected);
}

TEST_F(CommXTest, BlockWaitIsBoundedWhenTheLineNeverDrains) {
  comm.SetFlowCtrl(cfcXonXoff);
  comm.SetTimeOutTrans(0);  // no write time-out: the line is held for good
  comm.PortOpen();
  ASSERT_TRUE(pty.StopOutput());
  for (int i = 0; i < TCommX::kMaxTransBlocks; ++i) ASSERT_TRUE(comm.TransString("x"));
  auto start = Clock::now();
  EXPECT_FALSE(comm.TransString("dropped"));
  auto waited = std::chrono::duration_cast<Ms>(Clock::now() - start).count();
  EXPECT_GE(waited, TCommX::kTransSlotWaitMs - 50);
  EXPECT_EQ(comm.GetTransCount(), 32);
  ASSERT_TRUE(pty.StartOutput());
  EXPECT_EQ(pty.Read(32, 5000), std::string(32, 'x'));
}

TEST_F(CommXTest, ClearTransBufDiscardsEverythingQueued) {
  comm.SetFlowCtrl(cfcXonXoff);
  comm.PortOpen();
  ASSERT_TRUE(pty.StopOutput());
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(comm.TransString(Numbered(i, 50)));
  EXPECT_EQ(comm.GetTransLength(), 500);
  comm.ClearTransBuf();
  EXPECT_EQ(comm.GetTransLength(), 0);
  EXPECT_EQ(comm.GetTransCount(), 0);
  ASSERT_TRUE(pty.StartOutput());
  ASSERT_TRUE(comm.TransString("MARK\r\n"));
  EXPECT_EQ(pty.Read(100, 500), "MARK\r\n");
}

TEST_F(CommXTest, OpenFailuresLeaveThePortAsItWas) {
  comm.PortOpen();
  int handle = comm.Handle();
  EXPECT_EQ(CommErrorOf([&] { comm.PortOpen(); }), "Port has been opened already");
  EXPECT_EQ(comm.Handle(), handle);
  ASSERT_TRUE(comm.TransString("still open"));
  EXPECT_EQ(pty.Read(10, 2000), "still open");

  TCommX second;
  second.SetPortName(pty.Path());
  EXPECT_EQ(CommErrorOf([&] { second.PortOpen(); }), "Port could not be opened");
  EXPECT_FALSE(second.IsOpen());

  TCommX missing;
  missing.SetPortName("/dev/fixcaster-no-such-tty");
  EXPECT_EQ(CommErrorOf([&] { missing.PortOpen(); }), "Port could not be opened");
  EXPECT_EQ(missing.Handle(), -1);

  TCommX notATty;
  notATty.SetPortName("/dev/null");
  EXPECT_EQ(CommErrorOf([&] { notATty.PortOpen(); }), "Port could not be opened");
}

struct LineCase {
  const char* name;
  std::function<void(TCommX&)> setup;
  std::function<void(const termios&, int32_t speed)> check;
};

TEST_F(CommXTest, LineSettingsReachTheTty) {
  const LineCase cases[] = {
      {"4800 8N1 none", [](TCommX& c) { c.SetBitRate(4800); },
       [](const termios& t, int32_t speed) {
         EXPECT_EQ(speed, 4800);
         EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
         EXPECT_FALSE(t.c_cflag & (PARENB | CSTOPB | CRTSCTS));
         EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));
       }},
      {"300 with 2 stop bits",
       [](TCommX& c) {
         c.SetBitRate(300);
         c.SetStopBit(csb2);
       },
       [](const termios& t, int32_t speed) {
         EXPECT_EQ(speed, 300);
         EXPECT_TRUE(t.c_cflag & CSTOPB);
       }},
      {"460800", [](TCommX& c) { c.SetBitRate(460800); },
       [](const termios&, int32_t speed) { EXPECT_EQ(speed, 460800); }},
      {"arbitrary rate 250000", [](TCommX& c) { c.SetBitRate(250000); },
       [](const termios&, int32_t speed) { EXPECT_EQ(speed, 250000); }},
      {"unusable char size keeps 8", [](TCommX& c) { c.SetCharSize(9); },
       [](const termios& t, int32_t) { EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8)); }},
      {"RTS/CTS", [](TCommX& c) { c.SetFlowCtrl(cfcRtsCts); },
       [](const termios& t, int32_t) {
         EXPECT_TRUE(t.c_cflag & CRTSCTS);
         EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));
       }},
      {"XON/XOFF with own characters",
       [](TCommX& c) {
         c.SetFlowCtrl(cfcXonXoff);
         c.SetXonChar(1);
         c.SetXoffChar(2);
       },
       [](const termios& t, int32_t) {
         EXPECT_TRUE(t.c_iflag & IXON);
         EXPECT_TRUE(t.c_iflag & IXOFF);
         EXPECT_FALSE(t.c_cflag & CRTSCTS);
         EXPECT_EQ(t.c_cc[VSTART], 1);
         EXPECT_EQ(t.c_cc[VSTOP], 2);
       }},
  };
  for (const LineCase& row : cases) {
    SCOPED_TRACE(row.name);
    TCommX c;
    c.SetPortName(pty.Path());
    c.SetFlowCtrl(cfcNone);
    row.setup(c);
    ASSERT_EQ(CommErrorOf([&] { c.PortOpen(); }), "");
    termios t{};
    ASSERT_EQ(tcgetattr(pty.Slave(), &t), 0);
    row.check(t, SerialLineSpeed(pty.Slave()));
    c.PortClose();
  }
}

TEST_F(CommXTest, RejectedSettingsCloseThePortAndNameTheSetting) {
  struct Row {
    const char* name;
    std::function<void(TCommX&)> setup;
    const char* message;
  } rows[] = {
      {"rate below 10", [](TCommX& c) { c.SetBitRate(5); },
       "Error was generated with configuration of Baud rate"},
      // A pseudo-terminal carries 8 data bits without parity only.
      {"parity the line cannot carry", [](TCommX& c) { c.SetParityBit(cpbEven); },
       "Error was generated with configuration of communication parity check"},
      {"1.5 stop bits with 8 data bits", [](TCommX& c) { c.SetStopBit(csb1p5); },
       "Error was generated with configuration of the number of communication stop bits"},
      {"flow control outside the table",
       [](TCommX& c) { c.SetFlowCtrl(static_cast<TCommFlowCtrls>(9)); },
       "Failed with configuration of communication flow control"},
      {"negative time-out", [](TCommX& c) { c.SetTimeOutReceive(-1); },
       "Failed with configuration of communication timeout time"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TCommX c;
    c.SetPortName(pty.Path());
    row.setup(c);
    EXPECT_EQ(CommErrorOf([&] { c.PortOpen(); }), row.message);
    EXPECT_FALSE(c.IsOpen());
    // Not left half open: the device is free again.
    EXPECT_NO_THROW(comm.PortOpen());
    comm.PortClose();
  }
  EXPECT_EQ(CommErrorOf([&] { comm.SetBufLenTrans(0); }),
            "Buffer of the port for communication could not be prepared");
  EXPECT_EQ(comm.BufLenTrans(), 2048);
}

TEST_F(CommXTest, SettersApplyAtOnceWhileOpen) {
  comm.SetBitRate(4800);
  comm.PortOpen();
  EXPECT_EQ(comm.HalfWaitTim(), 3);
  comm.SetBitRate(19200);
  EXPECT_EQ(SerialLineSpeed(pty.Slave()), 19200);
  EXPECT_EQ(comm.HalfWaitTim(), 1);
  comm.SetBitRate(9600);
  EXPECT_EQ(comm.HalfWaitTim(), 2);

  comm.SetStopBit(csb2);
  termios t{};
  tcgetattr(pty.Slave(), &t);
  EXPECT_TRUE(t.c_cflag & CSTOPB);
  // A parity value outside the enumeration changes nothing and raises nothing.
  EXPECT_NO_THROW(comm.SetParityBit(static_cast<TCommParityBits>(7)));
  // A refused setting keeps its value but does not spoil the next one.
  EXPECT_NE(CommErrorOf([&] { comm.SetParityBit(cpbOdd); }), "");
  EXPECT_EQ(comm.ParityBit(), cpbOdd);
  EXPECT_NO_THROW(comm.SetFlowCtrl(cfcXonXoff));
  tcgetattr(pty.Slave(), &t);
  EXPECT_TRUE(t.c_iflag & IXON);
  comm.SetParityBit(cpbNone);
  EXPECT_EQ(CommErrorOf([&] { comm.SetStopBit(csb1p5); }),
            "Error was generated with configuration of the number of communication stop bits");
  EXPECT_TRUE(comm.IsOpen());
  EXPECT_EQ(comm.StopBit(), csb1p5);  // the value is kept in its field

  comm.SetStopBit(csb1);
  // Another device while open: the old one is closed, the new one opened.
  PtyPair other;
  comm.SetPortName(other.Path());
  EXPECT_TRUE(comm.IsOpen());
  ASSERT_TRUE(comm.TransString("moved"));
  EXPECT_EQ(other.Read(5, 2000), "moved");
  TCommX probe;
  probe.SetPortName(pty.Path());
  EXPECT_NO_THROW(probe.PortOpen());
}

TEST_F(CommXTest, ReceivedBytesAreReportedAndRead) {
  std::vector<int32_t> sizes;
  comm.OnReceive = [&](TCommX& sender, int32_t n) {
    EXPECT_EQ(&sender, &comm);
    sizes.push_back(n);
  };
  comm.SetTimeOutReceive(200);
  comm.PortOpen();
  pty.Write("hello");
  ASSERT_TRUE(poster.RunUntil([&] { return !sizes.empty(); }, 3000));
  char buf[16];
  EXPECT_EQ(comm.ReceiveBlock(buf, 5), 5);
  EXPECT_EQ(std::string(buf, 5), "hello");
  // Nothing more: the read time-out passes and 0 comes back.
  EXPECT_EQ(comm.ReceiveBlock(buf, 5), 0);
  pty.Write("Z");
  EXPECT_EQ(comm.ReceiveChar(), 'Z');
}

TEST_F(CommXTest, InputBeyondTheReceiveBufferWaitsInTheDriver) {
  comm.SetTimeOutReceive(500);
  comm.SetBufLenReceive(1024);
  comm.PortOpen();
  std::string data;
  for (int i = 0; data.size() < 3000; ++i) data += Numbered(i, 10);
  pty.Write(data);
  std::string got;
  char buf[700];
  auto deadline = Clock::now() + Ms(5000);
  while (got.size() < data.size() && Clock::now() < deadline) {
    int32_t n = comm.ReceiveBlock(buf, sizeof buf);
    ASSERT_GE(n, 0);
    got.append(buf, static_cast<size_t>(n));
  }
  EXPECT_EQ(got, data);
  comm.ClearReceiveBuf();
  EXPECT_EQ(comm.GetReceiveLength(), 0);
}

TEST_F(CommXTest, VanishedDeviceIsReportedOnceAndDoesNotSpin) {
  std::vector<int32_t> errors;
  comm.OnError = [&](TCommX&, int32_t bits) { errors.push_back(bits); };
  comm.PortOpen();
  ASSERT_TRUE(comm.TransString("before"));
  EXPECT_EQ(pty.Read(6, 2000), "before");
  pty.CloseMaster();
  ASSERT_TRUE(poster.RunUntil([&] { return !errors.empty(); }, 3000));
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  auto start = Clock::now();
  poster.RunFor(400);
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  auto cpuUs = [](const rusage& r) {
    return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000000LL + r.ru_utime.tv_usec +
           r.ru_stime.tv_usec;
  };
  auto wallUs = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
  EXPECT_EQ(errors, std::vector<int32_t>{ceDeviceLost});
  // A thread spinning on the dead descriptor would burn a whole core.
  EXPECT_LT(cpuUs(after) - cpuUs(before), wallUs / 2);
  EXPECT_FALSE(comm.TransString("after"));
  char buf[4];
  EXPECT_EQ(comm.ReceiveBlock(buf, 4), -1);
  comm.PortClose();
  EXPECT_FALSE(comm.IsOpen());
}

TEST_F(CommXTest, ClosedPortDoesNothing) {
  char buf[4];
  EXPECT_FALSE(comm.TransString("x"));
  EXPECT_EQ(comm.ReceiveBlock(buf, 4), -1);
  EXPECT_EQ(comm.ReceiveChar(), -1);
  EXPECT_EQ(comm.GetTransLength(), 0);
  EXPECT_EQ(comm.GetReceiveLength(), 0);
  EXPECT_FALSE(comm.IsCtsSignal() || comm.IsDsrSignal() || comm.IsRingSignal() ||
               comm.IsRlsdSignal());
  comm.SendBreak();
  comm.ClearTransBuf();
  comm.ClearReceiveBuf();
  comm.PortClose();
  EXPECT_EQ(comm.GetTransCount(), 0) << "a break on a closed port queues nothing";
  // Reopening after a close works, and so does a second close.
  comm.PortOpen();
  comm.PortClose();
  comm.PortClose();
  EXPECT_FALSE(comm.TransString("x"));
}

TEST_F(CommXTest, ModemLinesAndBreakOnAPseudoTerminal) {
  comm.PortOpen();
  // A pty has no modem lines: the queries answer false, the switches do no harm.
  comm.SetRtsSignal(false);
  comm.SetDtrSignal(true);
  EXPECT_FALSE(comm.IsCtsSignal());
  EXPECT_FALSE(comm.IsDsrSignal());
  EXPECT_FALSE(comm.IsRingSignal());
  EXPECT_FALSE(comm.IsRlsdSignal());
}

// A break takes its turn in the line after what was queued before it, on the
// transmit thread: the caller goes on at once, and what follows waits for its end.
TEST_F(CommXTest, BreakTakesItsTurnInTheLineAndDoesNotHoldTheCaller) {
  comm.SetFlowCtrl(cfcXonXoff);
  comm.PortOpen();
  ASSERT_TRUE(pty.StopOutput());
  ASSERT_TRUE(comm.TransString("before"));
  comm.SendBreak();
  // The line is held: neither the block nor the break can be done, so a caller that
  // had sent the break itself would find one item, not two.
  EXPECT_EQ(comm.GetTransCount(), 2);
  ASSERT_TRUE(comm.TransString("after"));
  auto released = Clock::now();
  ASSERT_TRUE(pty.StartOutput());
  EXPECT_EQ(pty.Read(11, 5000), "beforeafter");
  // A lower bound only: "after" leaves once the break is over.
  EXPECT_GE(std::chrono::duration_cast<Ms>(Clock::now() - released).count(), TCommX::kBreakMs);
  EXPECT_TRUE(testing::WaitUntil([&] { return comm.GetTransCount() == 0; }, 5000));

  // A break not yet begun is discarded with the queue.
  ASSERT_TRUE(pty.StopOutput());
  ASSERT_TRUE(comm.TransString("x"));
  comm.SendBreak();
  comm.ClearTransBuf();
  EXPECT_EQ(comm.GetTransCount(), 0);
}

// Runs posted calls never, and holds every thread that posts until released: a
// transmit thread stuck on its way to the owning thread.
class HoldingPoster : public Poster {
 public:
  void Post(std::function<void()>) override {
    std::unique_lock lk(mutex_);
    ++held_;
    cv_.notify_all();
    cv_.wait(lk, [&] { return released_; });
  }
  bool WaitHeld(int count, int ms) {
    std::unique_lock lk(mutex_);
    return cv_.wait_for(lk, Ms(ms), [&] { return held_ >= count; });
  }
  void Release() {
    std::lock_guard lk(mutex_);
    released_ = true;
    cv_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  int held_ = 0;
  bool released_ = false;
};

TEST(CommXClear, ClearTransBufReturnsWhileTheTransmitThreadIsHeld) {
  PtyPair pty;
  HoldingPoster poster;
  TCommX comm(&poster);
  comm.SetPortName(pty.Path());
  comm.SetFlowCtrl(cfcXonXoff);
  comm.SetTimeOutTrans(0);  // the write waits for the line for good
  comm.PortOpen();
  ASSERT_TRUE(pty.StopOutput());
  // The receive thread reports this byte and is held; the transmit thread waits for
  // the stopped line with a block, finds the device gone and is held reporting that.
  pty.Write("r");
  ASSERT_TRUE(poster.WaitHeld(1, 5000));
  ASSERT_TRUE(comm.TransString("held"));
  ASSERT_TRUE(comm.TransString("queued"));
  pty.CloseMaster();
  ASSERT_TRUE(poster.WaitHeld(2, 5000));

  std::atomic<bool> cleared{false};
  std::atomic<bool> timedOut{false};
  std::thread watchdog([&] {
    // Only a time-out for what must happen: on failure the threads are let go, so
    // the test ends instead of hanging.
    if (!testing::WaitUntil([&] { return cleared.load(); }, 30000)) {
      timedOut = true;
      poster.Release();
    }
  });
  comm.ClearTransBuf();
  cleared = true;
  watchdog.join();
  EXPECT_FALSE(timedOut) << "ClearTransBuf waited for the held transmit thread";
  EXPECT_LE(comm.GetTransCount(), 1) << "only the block the thread holds is left";
  poster.Release();
  EXPECT_TRUE(testing::WaitUntil([&] { return comm.GetTransCount() == 0; }, 5000));
  comm.PortClose();
}

// The device vanishing wakes a read that waits for data, instead of letting it sit
// out its read time-out.
TEST_F(CommXTest, VanishingDeviceEndsAWaitingRead) {
  comm.SetTimeOutReceive(60000);
  comm.PortOpen();
  std::thread farEnd([&] {
    std::this_thread::sleep_for(Ms(100));
    pty.CloseMaster();
  });
  char buf[8];
  auto start = Clock::now();
  EXPECT_EQ(comm.ReceiveBlock(buf, sizeof buf), -1);
  farEnd.join();
  // The time-out is the bound of something that must happen, not a measurement.
  EXPECT_LT(std::chrono::duration_cast<Ms>(Clock::now() - start).count(), 60000);
}

TEST_F(CommXTest, HalfDuplexSettlesRtsBeforeTheFirstBlock) {
  comm.SetFlowCtrl(cfcHalfHigh);
  comm.PortOpen();
  auto start = Clock::now();
  ASSERT_TRUE(comm.TransString("burst"));
  EXPECT_EQ(pty.Read(5, 2000), "burst");
  EXPECT_GE(std::chrono::duration_cast<Ms>(Clock::now() - start).count(), 50);
}

}  // namespace
}  // namespace fixcaster

namespace fixcaster {
namespace {

TEST(QtPosterTest, RunsPostedCallsInOrderOnTheContextsThread) {
  static int argc = 1;
  static char name[] = "output_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  std::vector<int> order;
  std::thread::id ranOn;
  {
    QObject context;
    QtPoster poster(&context);
    std::thread worker([&] {
      for (int i = 1; i <= 3; ++i)
        poster.Post([&, i] {
          order.push_back(i);
          ranOn = std::this_thread::get_id();
        });
    });
    worker.join();
    auto deadline = Clock::now() + Ms(3000);
    while (order.size() < 3 && Clock::now() < deadline)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    // A call still queued when its context goes away is dropped, not run.
    poster.Post([&] { order.push_back(4); });
  }
  QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  EXPECT_EQ(order.size(), 3u);
}

}  // namespace
}  // namespace fixcaster
