#include "output/OutputPort.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "output/channel_support.h"

namespace fixcaster {
namespace {

using testing::ChannelPoster;
using testing::FakeSysfs;
using testing::PtyPair;
using testing::TcpClient;
using testing::WaitUntil;

TEST(ParseComPortNo, DigitsAfterComOrFromTheStart) {
  const std::pair<const char*, int32_t> rows[] = {
      {"COM3", 3},
      {"com12 usb serial", 12},
      {"7", 7},
      {"TCP", 0},
      {"", 0},
      {"COM", 0},
      {"  COM4  ", 4},
      {"COM2147483647", 2147483647},
      {"COM2147483648", 0},
      {"COMx1", 0},
      {"12abc", 12},
      {"/dev/ttyS0", 0},
  };
  for (const auto& [text, expected] : rows) EXPECT_EQ(ParseComPortNo(text), expected) << text;
}

TEST(ParseTcpPort, DecimalOrHexLow16Bits) {
  const std::pair<const char*, uint16_t> rows[] = {
      {"5555", 5555}, {"0x15B3", 5555}, {"0X15b3", 5555}, {"$15B3", 5555},       {"70000", 4464},
      {"-1", 65535},  {"", 0},          {"abc", 0},       {" 80 ", 80},          {"99999999999", 0},
      {"0x", 0},      {"12 34", 0},     {"+21", 21},      {"0xFFFFFFFF", 65535},
  };
  for (const auto& [text, expected] : rows) EXPECT_EQ(ParseTcpPort(text), expected) << text;
}

TEST(TrimPortText, KeepsTheDeviceOnly) {
  const std::pair<const char*, const char*> rows[] = {
      {"COM3  USB Serial Port", "COM3"},
      {"COM12 Prolific", "COM12"},
      {"COM3", "COM3"},
      {"/dev/ttyUSB0  FTDI FT232R USB UART", "/dev/ttyUSB0"},
      {"/dev/ttyUSB0", "/dev/ttyUSB0"},
      {"TCP", "TCP"},
  };
  for (const auto& [text, expected] : rows) EXPECT_EQ(TrimPortText(text), expected) << text;
}

TEST(ToAsciiBytes, OneQuestionMarkPerCharacter) {
  EXPECT_EQ(ToAsciiBytes("$GPGGA,1*00\r\n"), "$GPGGA,1*00\r\n");
  EXPECT_EQ(ToAsciiBytes("a\xC3\xA9"
                         "b"),
            "a?b");                                           // é
  EXPECT_EQ(ToAsciiBytes("\xE6\x97\xA5\xE6\x9C\xAC"), "??");  // 日本
}

class RecordingSink : public OutputMessageSink {
 public:
  void ShowOutputMessage(OutputMessageId id, const std::vector<std::string>& args) override {
    shown.emplace_back(id, args);
  }
  std::vector<std::pair<OutputMessageId, std::vector<std::string>>> shown;
};

class OutputPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree.Add({.name = "ttyUSB0", .node = pty.Path()});
    port.OnStopRequest = [this] { ++stopRequests; };
  }
  void ChooseSerial(const std::string& text, const std::string& baud) {
    state.ComboBoxPort.Text = text;
    state.ComboBoxBaud.Text = baud;
  }
  void ChooseTcp(const std::string& tcpPort) {
    state.ComboBoxPort.Text = " tcp ";
    state.EditTCPport.Text = tcpPort;
  }
  void ExpectControlsOpen(bool open) {
    EXPECT_EQ(state.ButtonOpen.Enabled, !open);
    EXPECT_EQ(state.ButtonClose.Enabled, open);
    EXPECT_EQ(state.ComboBoxPort.Enabled, !open);
    EXPECT_EQ(state.ComboBoxBaud.Enabled, !open);
    EXPECT_EQ(state.EditTCPport.Enabled, !open);
  }
  PtyPair pty;
  FakeSysfs tree;
  AppState state;
  RecordingSink sink;
  ChannelPoster poster;
  OutputPort port{state, sink, &poster,
                  PortDiscovery{tree.Sys().string(), tree.Dev().string(), tree.Udev().string()}};
  int stopRequests = 0;
};

TEST_F(OutputPortTest, SerialPortSendsAndCounts) {
  ChooseSerial(tree.DevPath("ttyUSB0"), " 9600 ");
  port.OpenOutputPort();
  ASSERT_TRUE(port.IsSerialOpen());
  EXPECT_TRUE(port.IsOutputOpen());
  EXPECT_TRUE(sink.shown.empty());
  EXPECT_EQ(port.SerialBaud(), 9600);
  EXPECT_EQ(SerialLineSpeed(pty.Slave()), 9600);
  ExpectControlsOpen(true);
  // The port this program holds is missing from the rebuilt list.
  EXPECT_EQ(state.ComboBoxPort.Items, std::vector<std::string>{"TCP"});

  port.ResetSent();
  port.SendText("$GPGGA,1*00\r\n");
  port.SendText("$GPZDA,\xC3\xA9*00\r\n");
  EXPECT_EQ(port.SentBytes(), 26);
  EXPECT_EQ(port.SentText(), "$GPGGA,1*00\r\n$GPZDA,?*00\r\n");
  EXPECT_EQ(pty.Read(26, 3000), "$GPGGA,1*00\r\n$GPZDA,?*00\r\n");
  port.ResetSent();
  EXPECT_EQ(port.SentBytes(), 0);
  EXPECT_EQ(port.SentText(), "");

  port.CloseOutputPort();
  EXPECT_FALSE(port.IsOutputOpen());
  EXPECT_EQ(stopRequests, 1);
  ExpectControlsOpen(false);
  EXPECT_EQ(port.SerialBacklog(), 0);
  port.SendText("nothing");
  EXPECT_EQ(port.SentBytes(), 0);
}

TEST_F(OutputPortTest, SamePortAndSpeedIsLeftAloneOtherSpeedReopens) {
  ChooseSerial(tree.DevPath("ttyUSB0"), "4800");
  port.OpenOutputPort();
  int handle = port.CommX1.Handle();
  ASSERT_GE(handle, 0);
  port.OpenOutputPort();
  EXPECT_EQ(port.CommX1.Handle(), handle);
  EXPECT_EQ(stopRequests, 0);
  state.ComboBoxBaud.Text = "19200";
  port.OpenOutputPort();
  EXPECT_TRUE(port.IsSerialOpen());
  EXPECT_EQ(SerialLineSpeed(pty.Slave()), 19200);
  EXPECT_EQ(stopRequests, 1);  // the reopen went through CloseOutputPort
}

// Steps the port asks to run later; the test runs them, as the event loop would.
struct LaterSteps {
  std::deque<std::pair<int, std::function<void()>>> steps;
  void Attach(OutputPort& port) {
    port.Later = [this](int ms, std::function<void()> step) {
      steps.emplace_back(ms, std::move(step));
    };
  }
  bool RunOne() {
    if (steps.empty()) return false;
    auto step = std::move(steps.front().second);
    steps.pop_front();
    step();
    return true;
  }
};

// Sentences that fill the line: the far end does not read, so they stay queued.
std::string FillTheLine(OutputPort& port) {
  std::string sent;
  for (int i = 0; i < 32; ++i) {
    std::string s = "$GPTXT," + std::to_string(i) + "," + std::string(1900, 'q') + "\r\n";
    port.SendText(s);
    sent += s;
  }
  return sent;
}

TEST_F(OutputPortTest, ReopenAtAnotherSpeedLetsTheQueueDrainWithoutWaiting) {
  LaterSteps later;
  later.Attach(port);
  ChooseSerial(tree.DevPath("ttyUSB0"), "4800");
  port.OpenOutputPort();
  ASSERT_TRUE(port.IsSerialOpen());
  const std::string sent = FillTheLine(port);
  ASSERT_GT(port.SerialBacklog(), 0);

  state.ComboBoxBaud.Text = "19200";
  port.OpenOutputPort();
  // The caller goes on at once; the port keeps its speed while the queue drains.
  EXPECT_EQ(later.steps.size(), 1u);
  EXPECT_EQ(later.steps.front().first, 50);
  EXPECT_EQ(SerialLineSpeed(pty.Slave()), 4800);
  std::string got;
  while (!later.steps.empty()) {
    got += pty.Read(sent.size() - got.size(), 20);
    later.RunOne();
  }
  EXPECT_EQ(SerialLineSpeed(pty.Slave()), 19200);
  EXPECT_TRUE(port.IsSerialOpen());
  got += pty.Read(sent.size() - got.size(), 5000);
  EXPECT_TRUE(got == sent) << "queued output was lost: " << got.size() << " of " << sent.size();
}

TEST_F(OutputPortTest, ReopenGivesUpWaitingAfterTenChecksAndACloseCancelsIt) {
  LaterSteps later;
  later.Attach(port);
  ChooseSerial(tree.DevPath("ttyUSB0"), "4800");
  port.OpenOutputPort();
  FillTheLine(port);
  state.ComboBoxBaud.Text = "9600";
  port.OpenOutputPort();
  int checks = 0;
  while (later.RunOne()) ++checks;
  EXPECT_EQ(checks, 10) << "half a second in 50 ms steps";
  EXPECT_EQ(SerialLineSpeed(pty.Slave()), 9600);

  // Closed while a reopen waits: it does not open the port again.
  FillTheLine(port);
  state.ComboBoxBaud.Text = "4800";
  port.OpenOutputPort();
  ASSERT_EQ(later.steps.size(), 1u);
  port.CloseOutputPort();
  while (later.RunOne()) {
  }
  EXPECT_FALSE(port.IsOutputOpen());
}

TEST_F(OutputPortTest, SerialFailuresAreReportedWithTheirMessage) {
  ChooseSerial(tree.DevPath("ttyUSB0"), "96x00");
  port.OpenOutputPort();
  ASSERT_EQ(sink.shown.size(), 1u);
  EXPECT_EQ(sink.shown[0].first, OutputMessageId::SerialSpeedInvalid);
  EXPECT_FALSE(port.IsOutputOpen());
  EXPECT_EQ(port.SerialBaud(), 0);

  ChooseSerial(tree.DevPath("ttyUSB5"), "4800");
  port.OpenOutputPort();
  ASSERT_EQ(sink.shown.size(), 2u);
  EXPECT_EQ(sink.shown[1].first, OutputMessageId::SerialCannotOpen);
  EXPECT_EQ(sink.shown[1].second, std::vector<std::string>{tree.DevPath("ttyUSB5")});
  EXPECT_EQ(port.SerialBaud(), 4800);  // kept from the attempt
  ExpectControlsOpen(false);

  ChooseSerial("COM0", "4800");
  port.OpenOutputPort();
  ASSERT_EQ(sink.shown.size(), 3u);
  EXPECT_EQ(sink.shown[2].second, std::vector<std::string>{"0"});
  EXPECT_EQ(port.SerialPortNo(), 0);
}

TEST_F(OutputPortTest, TcpServerOpensAndSendsToClients) {
  ChooseTcp("not a number");
  port.OpenOutputPort();
  ASSERT_TRUE(port.IsOutputOpen());
  EXPECT_FALSE(port.IsSerialOpen());
  EXPECT_EQ(state.EditTCPport.Text, "0");
  ExpectControlsOpen(true);
  TcpClient client(port.IdTCPServer1.Port());
  ASSERT_TRUE(WaitUntil([&] { return port.IdTCPServer1.ClientCount() == 1; }, 3000));
  port.SendText("$GPGGA,1*00\r\n");
  EXPECT_EQ(port.SentBytes(), 13);
  EXPECT_EQ(client.Read(13, 3000), "$GPGGA,1*00\r\n");
  port.CloseOutputPort();
  EXPECT_TRUE(client.WaitClosed(3000));
  ExpectControlsOpen(false);
  EXPECT_EQ(stopRequests, 1);
}

TEST_F(OutputPortTest, TcpPortTextsOpenTheirPort) {
  // The port comes from the system, so a program holding any fixed port (a demo on
  // 5555) cannot break this; the texts spell it in every form the box accepts.
  const uint16_t number = testing::FreeTcpPort();
  ASSERT_NE(number, 0);
  char hex[8];
  std::snprintf(hex, sizeof hex, "%X", number);
  const std::string texts[] = {
      std::to_string(number), std::string("0x") + hex, std::string("$") + hex,
      std::to_string(number + 65536),  // only the low 16 bits count
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    ChooseTcp(text);
    port.OpenOutputPort();
    ASSERT_TRUE(port.IdTCPServer1.IsListening()) << "another program took the port";
    EXPECT_EQ(port.IdTCPServer1.Port(), number);
    TcpClient client(number);
    EXPECT_TRUE(client.Connected());
    port.CloseOutputPort();
  }
}

TEST_F(OutputPortTest, TcpPortInUseIsReported) {
  uint16_t busy = 0;
  int fd = testing::ListenOnFreePort(&busy);
  ChooseTcp(std::to_string(busy));
  port.OpenOutputPort();
  close(fd);
  ASSERT_EQ(sink.shown.size(), 1u);
  EXPECT_EQ(sink.shown[0].first, OutputMessageId::TcpServerCannotOpen);
  EXPECT_FALSE(port.IsOutputOpen());
  ExpectControlsOpen(false);
}

TEST_F(OutputPortTest, OpeningOneChannelClosesTheOther) {
  ChooseSerial(tree.DevPath("ttyUSB0"), "4800");
  port.OpenOutputPort();
  ASSERT_TRUE(port.IsSerialOpen());
  ChooseTcp("0");
  port.OpenOutputPort();
  EXPECT_FALSE(port.IsSerialOpen());
  EXPECT_TRUE(port.IdTCPServer1.IsListening());
  ChooseSerial(tree.DevPath("ttyUSB0"), "4800");
  port.OpenOutputPort();
  EXPECT_TRUE(port.IsSerialOpen());
  EXPECT_FALSE(port.IdTCPServer1.IsListening());
  // A bad speed still stops a listening server first, then gives up.
  ChooseTcp("0");
  port.OpenOutputPort();
  ChooseSerial(tree.DevPath("ttyUSB0"), "fast");
  port.OpenOutputPort();
  EXPECT_FALSE(port.IsOutputOpen());
}

TEST_F(OutputPortTest, VanishedSerialDeviceIsReportedOnceAndClosed) {
  ChooseSerial(tree.DevPath("ttyUSB0"), "4800");
  port.OpenOutputPort();
  ASSERT_TRUE(port.IsSerialOpen());
  pty.CloseMaster();
  port.SendText("$GPGGA,1*00\r\n");
  ASSERT_TRUE(poster.RunUntil([&] { return !sink.shown.empty(); }, 3000));
  poster.RunFor(200);
  ASSERT_EQ(sink.shown.size(), 1u);
  EXPECT_EQ(sink.shown[0].first, OutputMessageId::SerialPortLost);
  EXPECT_EQ(sink.shown[0].second, std::vector<std::string>{tree.DevPath("ttyUSB0")});
  EXPECT_FALSE(port.IsOutputOpen());
  EXPECT_EQ(stopRequests, 1);
  ExpectControlsOpen(false);
}

TEST_F(OutputPortTest, PortBoxFollowsTheChoice) {
  state.ComboBoxPort.Text = " Tcp";
  port.ComboBoxPortChange();
  EXPECT_TRUE(state.EditTCPport.Visible);
  EXPECT_FALSE(state.BaudControlsVisible);
  state.ComboBoxPort.Text = "COM3";
  port.ComboBoxPortChange();
  EXPECT_FALSE(state.EditTCPport.Visible);
  EXPECT_TRUE(state.BaudControlsVisible);

  port.ComboBoxPortDropDown();
  EXPECT_EQ(state.ComboBoxPort.Items, (std::vector<std::string>{"TCP", tree.DevPath("ttyUSB0")}));
  state.ComboBoxPort.Text = "COM3  USB Serial Port";
  port.ApplyPortDropDownClosed();  // the list has not closed: nothing happens
  EXPECT_EQ(state.ComboBoxPort.Text, "COM3  USB Serial Port");
  port.ComboBoxPortCloseUp();
  port.ApplyPortDropDownClosed();
  EXPECT_EQ(state.ComboBoxPort.Text, "COM3");
  EXPECT_FALSE(port.PortDropDownClosed);
}

TEST_F(OutputPortTest, CloseButtonStopsARunningOutputFirst) {
  std::vector<std::string> calls;
  port.OnStopRun = [&] { calls.push_back("stop run"); };
  port.OnStopRequest = [&] { calls.push_back("stop request"); };
  state.ButtonStop.Enabled = true;
  port.ButtonCloseClick();
  state.ButtonStop.Enabled = false;
  port.ButtonCloseClick();
  EXPECT_EQ(calls, (std::vector<std::string>{"stop run", "stop request", "stop request"}));
}

}  // namespace
}  // namespace fixcaster
