#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QComboBox>
#include <QPushButton>

#include "UiFixture.h"
#include "ui/RunCore.h"

namespace fixcaster::ui::test {
namespace {

// A pseudo-terminal standing for a serial line: the program opens the slave by its
// device path, the test reads the master.
class Pty {
 public:
  Pty() {
    char name[256] = {};
    ok_ = ::openpty(&master_, &slave_, name, nullptr, nullptr) == 0;
    path_ = QString::fromLocal8Bit(name);
    if (ok_) {
      termios t{};
      ::tcgetattr(master_, &t);
      ::cfmakeraw(&t);
      ::tcsetattr(master_, TCSANOW, &t);
      ::fcntl(master_, F_SETFL, O_NONBLOCK);
      // The program opens the device itself; our slave handle would hold it busy.
      ::close(slave_);
      slave_ = -1;
    }
  }
  ~Pty() {
    if (master_ >= 0) ::close(master_);
  }
  bool Ok() const { return ok_; }
  const QString& Path() const { return path_; }
  std::string Read() {
    char buf[4096];
    std::string out;
    for (ssize_t n; (n = ::read(master_, buf, sizeof buf)) > 0;) out.append(buf, size_t(n));
    return out;
  }

 private:
  int master_ = -1, slave_ = -1;
  bool ok_ = false;
  QString path_;
};

using SerialTest = UiFixture;

TEST_F(SerialTest, SentencesGoOutOnTheChosenSerialDevice) {
  Pty pty;
  ASSERT_TRUE(pty.Ok());
  WriteIni(IniPath(), QStringLiteral("[Output]\nOutFreq=10\n"));
  Start();
  Find<QComboBox>("ComboBoxPort")->setEditText(pty.Path());
  Find<QComboBox>("ComboBoxBaud")->setEditText(QStringLiteral("115200"));
  EXPECT_TRUE(Find("ComboBoxBaud")->isVisible());
  {
    ModalAnswerer answer;
    Find<QPushButton>("ButtonOpen")->click();
    EXPECT_TRUE(answer.Texts().isEmpty()) << answer.Texts().join('|').toStdString();
  }
  ASSERT_TRUE(form_->Core().Port().IsSerialOpen());
  EXPECT_TRUE(Find("ButtonClose")->isEnabled());
  EXPECT_FALSE(Find("ComboBoxBaud")->isEnabled());

  Find<QPushButton>("ButtonStart")->click();
  std::string got;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        got += pty.Read();
        return got.find("$GPGGA") != std::string::npos;
      },
      5000));
  EXPECT_NE(got.find("$GPRMC"), std::string::npos);
  Find<QPushButton>("ButtonClose")->click();
  EXPECT_TRUE(QTest::qWaitFor([this] { return !Find("ButtonStop")->isEnabled(); }, 3000));
  EXPECT_FALSE(form_->Core().Port().IsSerialOpen());
}

TEST_F(SerialTest, UnusableSpeedOrDeviceIsReported) {
  Start();
  const struct {
    const char* port;
    const char* baud;
    const char* message;
  } rows[] = {
      {"/dev/ttyS0", "fast", "Communication speed of the RS-232C is invalid"},
      {"/nonexistent/ttyX", "4800", "Cannot open serial port: /nonexistent/ttyX"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.port);
    Find<QComboBox>("ComboBoxPort")->setEditText(QLatin1String(row.port));
    Find<QComboBox>("ComboBoxBaud")->setEditText(QLatin1String(row.baud));
    ModalAnswerer answer;
    Find<QPushButton>("ButtonOpen")->click();
    EXPECT_EQ(answer.Texts(), QStringList{QLatin1String(row.message)});
    EXPECT_FALSE(form_->Core().IsOutputOpen());
    EXPECT_TRUE(Find("ButtonOpen")->isEnabled());
  }
}

}  // namespace
}  // namespace fixcaster::ui::test
