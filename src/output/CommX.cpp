#include "output/CommX.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <system_error>

// The Linux arbitrary-rate interface. glibc's <termios.h> does not declare it and the
// kernel's <asm/termbits.h> clashes with glibc, so the record is declared here with
// the kernel's layout (the request numbers come from <asm/ioctls.h>).
struct termios2 {
  tcflag_t c_iflag;
  tcflag_t c_oflag;
  tcflag_t c_cflag;
  tcflag_t c_lflag;
  cc_t c_line;
  cc_t c_cc[19];
  speed_t c_ispeed;
  speed_t c_ospeed;
};
#ifndef BOTHER
#define BOTHER 0010000
#endif

namespace fixcaster {

namespace {

constexpr const char* kErrOpened = "Port has been opened already";
constexpr const char* kErrOpen = "Port could not be opened";
constexpr const char* kErrTransThread = "Thread for transmission could not be generated";
constexpr const char* kErrRecvThread = "Thread for reception could not be generated";
constexpr const char* kErrBaud = "Error was generated with configuration of Baud rate";
constexpr const char* kErrParity =
    "Error was generated with configuration of communication parity check";
constexpr const char* kErrStop =
    "Error was generated with configuration of the number of communication stop bits";
constexpr const char* kErrFlow = "Failed with configuration of communication flow control";
constexpr const char* kErrTimeout = "Failed with configuration of communication timeout time";
constexpr const char* kErrXon = "Error was generated with configuration of Xon character";
constexpr const char* kErrXoff = "Error was generated with configuration of Xoff character";
constexpr const char* kErrBuffer = "Buffer of the port for communication could not be prepared";

struct SpeedRow {
  int32_t rate;
  speed_t code;
};
constexpr SpeedRow kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

bool StandardSpeed(int32_t rate, speed_t* code) {
  for (const SpeedRow& row : kSpeeds) {
    if (row.rate == rate) {
      *code = row.code;
      return true;
    }
  }
  return false;
}

void SetModemBitsOn(int fd, int bits, bool on) {
  if (fd < 0) return;
  // Pseudo-terminals have no modem lines; that is not an error for the caller.
  ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits);
}

void DrainEventFd(int fd) {
  uint64_t v;
  while (read(fd, &v, sizeof v) > 0) {
  }
}

void SignalEventFd(int fd) {
  if (fd < 0) return;
  uint64_t one = 1;
  ssize_t r = write(fd, &one, sizeof one);
  (void)r;  // a full counter still wakes the reader
}

bool IsGoneError(int err) {
  return err == EIO || err == ENXIO || err == ENODEV || err == EBADF;
}

}  // namespace

void QtPoster::Post(std::function<void()> fn) {
  QMetaObject::invokeMethod(context_, std::move(fn), Qt::QueuedConnection);
}

std::string ComPortDevice(int32_t portNo) {
  if (portNo < 1) return {};
  return "/dev/ttyS" + std::to_string(portNo - 1);
}

int OpenSerialDevice(const std::string& path) {
  if (path.empty()) return -1;
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  if (!isatty(fd) || flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return -1;
  }
  ioctl(fd, TIOCEXCL);
  return fd;
}

void CloseSerialDevice(int fd) {
  if (fd < 0) return;
  ioctl(fd, TIOCNXCL);
  flock(fd, LOCK_UN);
  close(fd);
}

int32_t SerialLineSpeed(int fd) {
  termios2 t2{};
  if (ioctl(fd, TCGETS2, &t2) != 0) return -1;
  return static_cast<int32_t>(t2.c_ospeed);
}

TCommX::TCommX(Poster* poster) : poster_(poster), link_(std::make_shared<Link>(Link{this})) {}

TCommX::~TCommX() {
  PortClose();
  link_->self = nullptr;
}

std::string TCommX::DevicePath() const {
  return FPortName.empty() ? ComPortDevice(FPortNo) : FPortName;
}

// ---------------------------------------------------------------------------
// Open and close

void TCommX::PortOpen() {
  if (IsOpen()) throw ECommError(kErrOpened);
  int fd = OpenSerialDevice(DevicePath());
  if (fd < 0) throw ECommError(kErrOpen);
  FHandle = fd;
  {
    std::lock_guard lk(critical2_);
    TransBufLen = 0;
    TransCnt = 0;
    transQueue_.clear();
  }
  {
    std::lock_guard lk(recvMutex_);
    recvBuf_.clear();
  }
  deviceLost_ = false;
  receivePosted_ = false;
  ++generation_;
  try {
    SetupBuffers();
    tcflush(fd, TCIOFLUSH);
    if (tcgetattr(fd, &FDCB) != 0) throw ECommError(kErrOpen);
    // Binary mode: no line editing, no translation, reads return what is there.
    cfmakeraw(&FDCB);
    FDCB.c_cflag |= CLOCAL | CREAD;
    FDCB.c_cc[VMIN] = 0;
    FDCB.c_cc[VTIME] = 0;
    ApplyBitRate();
    ApplyCharSize();
    ApplyParity();
    ApplyStopBit();
    ApplyFlowCtrl();
    ApplyTimeouts();
    ApplyXonXoff(true);
    ApplyXonXoff(false);
    serial_icounter_struct ic{};
    icountSupported_ = ioctl(fd, TIOCGICOUNT, &ic) == 0;
    StartThreads();
  } catch (...) {
    PortClose();
    throw;
  }
}

void TCommX::PortClose() {
  if (!IsOpen()) return;
  SetDtrSignal(false);
  SetRtsSignal(false);
  ClearTransBuf();
  ClearReceiveBuf();
  StopThreads();
  ++generation_;  // events of this open still queued are dropped
  CloseSerialDevice(FHandle);
  FHandle = -1;
}

void TCommX::StartThreads() {
  stopRequested_ = false;
  txWakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (txWakeFd_ < 0) throw ECommError(kErrTransThread);
  try {
    transThread_ = std::thread(&TCommX::TransThreadRun, this, FHandle);
  } catch (const std::system_error&) {
    throw ECommError(kErrTransThread);
  }
  rxWakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (rxWakeFd_ < 0) throw ECommError(kErrRecvThread);
  try {
    receiveThread_ = std::thread(&TCommX::ReceiveThreadRun, this, FHandle);
  } catch (const std::system_error&) {
    throw ECommError(kErrRecvThread);
  }
}

void TCommX::StopThreads() {
  {
    std::lock_guard lk(critical2_);
    stopRequested_ = true;
  }
  transCv_.notify_all();
  { std::lock_guard lk(sleepMutex_); }
  sleepCv_.notify_all();
  SignalEventFd(txWakeFd_);
  SignalEventFd(rxWakeFd_);
  // Joined, not left to end on their own: the descriptor is closed only after both
  // threads have stopped touching it.
  if (transThread_.joinable()) transThread_.join();
  if (receiveThread_.joinable()) receiveThread_.join();
  for (int* fd : {&txWakeFd_, &rxWakeFd_}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}

// ---------------------------------------------------------------------------
// Line settings

void TCommX::WriteTermios(const char* failure) {
  // Drivers drop settings they cannot make without failing (a pty keeps 8 data bits
  // and no parity), so the result is read back and compared. The block then mirrors
  // what the line really has, so that one refused setting does not spoil the next
  // write of the block.
  constexpr tcflag_t kChecked = CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS;
  const termios wanted = FDCB;
  int rc = tcsetattr(FHandle, TCSANOW, &wanted);
  termios actual{};
  if (tcgetattr(FHandle, &actual) == 0) {
    FDCB = actual;
    FDCB.c_cflag = (actual.c_cflag & ~CBAUD) | (wanted.c_cflag & CBAUD);
    cfsetispeed(&FDCB, cfgetispeed(&wanted));
    cfsetospeed(&FDCB, cfgetospeed(&wanted));
    if ((actual.c_cflag & kChecked) != (wanted.c_cflag & kChecked)) rc = -1;
  }
  if (rc != 0) {
    if (failure) throw ECommError(failure);
    return;
  }
  if (!rateIsCustom_) return;
  termios2 t2{};
  bool ok = ioctl(FHandle, TCGETS2, &t2) == 0;
  if (ok) {
    t2.c_cflag &= ~CBAUD;
    t2.c_cflag |= BOTHER;
    t2.c_ispeed = static_cast<speed_t>(FBitRate);
    t2.c_ospeed = static_cast<speed_t>(FBitRate);
    ok = ioctl(FHandle, TCSETS2, &t2) == 0 && ioctl(FHandle, TCGETS2, &t2) == 0;
  }
  // A driver that cannot make the rate rounds it; more than 2 % off is refused.
  if (ok) {
    int64_t diff = static_cast<int64_t>(t2.c_ospeed) - FBitRate;
    ok = diff * 50 <= FBitRate && -diff * 50 <= FBitRate;
  }
  if (!ok && failure) throw ECommError(kErrBaud);
}

void TCommX::ApplyBitRate() {
  // Below 10 bit/s there is no half-duplex wait to compute and no line to drive.
  if (FBitRate < 10) throw ECommError(kErrBaud);
  speed_t code;
  rateIsCustom_ = !StandardSpeed(FBitRate, &code);
  if (rateIsCustom_) code = B38400;  // placeholder, replaced through termios2
  cfsetispeed(&FDCB, code);
  cfsetospeed(&FDCB, code);
  WriteTermios(kErrBaud);
  halfWaitTim_ = 1000 / (FBitRate / 10) + 1;
}

void TCommX::ApplyCharSize() {
  tcflag_t size;
  switch (FCharSize) {
    case 5:
      size = CS5;
      break;
    case 6:
      size = CS6;
      break;
    case 7:
      size = CS7;
      break;
    case 8:
      size = CS8;
      break;
    default:
      return;  // a size the line cannot carry changes nothing
  }
  FDCB.c_cflag = (FDCB.c_cflag & ~CSIZE) | size;
  WriteTermios(nullptr);
}

void TCommX::ApplyParity() {
  if (FParityBit > cpbEven) return;
  FDCB.c_cflag &= ~(PARENB | PARODD);
  FDCB.c_iflag &= ~INPCK;
  if (FParityBit != cpbNone) {
    FDCB.c_cflag |= PARENB;
    FDCB.c_iflag |= INPCK;
    if (FParityBit == cpbOdd) FDCB.c_cflag |= PARODD;
  }
  WriteTermios(kErrParity);
}

void TCommX::ApplyStopBit() {
  if (FStopBit > csb2) return;
  if (FStopBit == csb1) {
    FDCB.c_cflag &= ~CSTOPB;
  } else if (FStopBit == csb2) {
    FDCB.c_cflag |= CSTOPB;
  } else {
    // UARTs give 1.5 stop bits for the two-stop-bit setting with 5 data bits only.
    if ((FDCB.c_cflag & CSIZE) != CS5) throw ECommError(kErrStop);
    FDCB.c_cflag |= CSTOPB;
  }
  WriteTermios(kErrStop);
}

void TCommX::ApplyFlowCtrl() {
  if (FFlowCtrl > cfcNone) throw ECommError(kErrFlow);
  FDCB.c_cflag &= ~CRTSCTS;
  FDCB.c_iflag &= ~(IXON | IXOFF | IXANY);
  if (FFlowCtrl == cfcRtsCts) FDCB.c_cflag |= CRTSCTS;
  if (FFlowCtrl == cfcXonXoff) FDCB.c_iflag |= IXON | IXOFF;
  WriteTermios(kErrFlow);
  flowForThread_ = FFlowCtrl;
  // DTR is on in every mode; RTS is on except in high-active half duplex, where the
  // transmit thread raises it around each burst. With RTS/CTS the driver drives RTS.
  SetModemBitsOn(FHandle, TIOCM_DTR, true);
  SetModemBitsOn(FHandle, TIOCM_RTS, FFlowCtrl != cfcHalfHigh);
}

void TCommX::ApplyTimeouts() {
  if (FTimeOutTrans < 0 || FTimeOutReceive < 0) throw ECommError(kErrTimeout);
  timeOutTransForThread_ = FTimeOutTrans;
}

void TCommX::ApplyXonXoff(bool xon) {
  FDCB.c_cc[xon ? VSTART : VSTOP] = static_cast<cc_t>(xon ? FXonChar : FXoffChar);
  WriteTermios(xon ? kErrXon : kErrXoff);
}

void TCommX::SetupBuffers() {
  if (FBufLenTrans <= 0 || FBufLenReceive <= 0) throw ECommError(kErrBuffer);
  std::lock_guard lk(recvMutex_);
  recvLimit_ = FBufLenReceive;
}

void TCommX::SetPortNo(int32_t v) {
  FPortNo = v;
  if (IsOpen()) {
    PortClose();
    PortOpen();
  }
}

void TCommX::SetPortName(const std::string& v) {
  FPortName = v;
  if (IsOpen()) {
    PortClose();
    PortOpen();
  }
}

void TCommX::SetBitRate(int32_t v) {
  FBitRate = v;
  if (IsOpen()) ApplyBitRate();
}
void TCommX::SetCharSize(int32_t v) {
  FCharSize = v;
  if (IsOpen()) ApplyCharSize();
}
void TCommX::SetParityBit(TCommParityBits v) {
  FParityBit = v;
  if (IsOpen()) ApplyParity();
}
void TCommX::SetStopBit(TCommStopBits v) {
  FStopBit = v;
  if (IsOpen()) ApplyStopBit();
}
void TCommX::SetFlowCtrl(TCommFlowCtrls v) {
  FFlowCtrl = v;
  if (IsOpen()) ApplyFlowCtrl();
}
void TCommX::SetTimeOutTrans(int32_t v) {
  FTimeOutTrans = v;
  if (IsOpen()) ApplyTimeouts();
}
void TCommX::SetTimeOutReceive(int32_t v) {
  FTimeOutReceive = v;
  if (IsOpen()) ApplyTimeouts();
}
void TCommX::SetXonChar(char v) {
  FXonChar = v;
  if (IsOpen()) ApplyXonXoff(true);
}
void TCommX::SetXoffChar(char v) {
  FXoffChar = v;
  if (IsOpen()) ApplyXonXoff(false);
}
void TCommX::SetBufLenTrans(int32_t v) {
  // A zero block size would never finish a block; refuse it and keep the old one.
  if (v <= 0) throw ECommError(kErrBuffer);
  FBufLenTrans = v;
  if (IsOpen()) SetupBuffers();
}
void TCommX::SetBufLenReceive(int32_t v) {
  if (v <= 0) throw ECommError(kErrBuffer);
  FBufLenReceive = v;
  if (IsOpen()) {
    SetupBuffers();
    ApplyFlowCtrl();
  }
}

// ---------------------------------------------------------------------------
// Transmit side

bool TCommX::TransString(std::string_view s) {
  if (s.empty()) return true;
  return TransBlock(s.data(), static_cast<int32_t>(s.size()));
}

bool TCommX::TransBlock(const char* data, int32_t bufSize) {
  if (bufSize <= 0) return true;
  int32_t done = 0;
  while (done < bufSize) {
    if (!IsOpen() || !transThread_.joinable() || deviceLost_) return false;
    int32_t size = std::min(FBufLenTrans, bufSize - done);
    std::vector<char> block(data + done, data + done + size);
    {
      std::unique_lock lk(critical2_);
      // Back-pressure: at most 32 blocks outstanding. The wait is bounded so that a
      // line that never drains cannot hold the owning thread; what does not fit
      // after the wait is dropped and reported by the result.
      if (!transCv_.wait_for(lk, std::chrono::milliseconds(kTransSlotWaitMs),
                             [&] { return TransCnt < kMaxTransBlocks; }))
        return false;
      TransBufLen += size;
      ++TransCnt;
      transQueue_.push_back({std::move(block), false});
    }
    transCv_.notify_all();
    done += size;
  }
  return true;
}

int32_t TCommX::GetTransLength() const {
  if (!IsOpen()) return 0;
  std::lock_guard lk(critical2_);
  return TransBufLen;
}

int32_t TCommX::GetTransCount() const {
  if (!IsOpen()) return 0;
  std::lock_guard lk(critical2_);
  return TransCnt;
}

void TCommX::ClearTransBuf() {
  if (!IsOpen()) return;
  if (!transThread_.joinable()) {
    std::lock_guard lk(critical1_);
    tcflush(FHandle, TCOFLUSH);
    return;
  }
  {
    std::lock_guard lk(critical2_);
    ++clearEpoch_;
    for (const TransItem& item : transQueue_) {
      TransBufLen -= static_cast<int32_t>(item.data.size());
      --TransCnt;
    }
    transQueue_.clear();
  }
  transCv_.notify_all();
  {
    std::lock_guard lk(critical1_);
    tcflush(FHandle, TCOFLUSH);
  }
  // Wake the thread out of a pending write or a wait; it drops the item it holds.
  SignalEventFd(txWakeFd_);
  { std::lock_guard lk(sleepMutex_); }
  sleepCv_.notify_all();
  // Bounded: the owning thread must never hang on a transmit thread that is held
  // elsewhere. An item still held is dropped later and counted until then.
  std::unique_lock lk(critical2_);
  if (transCv_.wait_for(lk, std::chrono::milliseconds(kClearWaitMs), [&] { return TransCnt == 0; }))
    TransBufLen = 0;
}

bool TCommX::SleepUnlessDiscarded(int ms, uint32_t epoch) {
  std::unique_lock lk(sleepMutex_);
  return !sleepCv_.wait_for(lk, std::chrono::milliseconds(ms), [&] { return Discarded(epoch); });
}

void TCommX::BeginTrans(uint32_t epoch) {
  int flow = flowForThread_;
  if (flow != cfcHalfHigh && flow != cfcHalfLow) return;
  if (!SleepUnlessDiscarded(50, epoch)) return;
  SetModemBitsOn(FHandle, TIOCM_RTS, flow == cfcHalfHigh);
  SleepUnlessDiscarded(halfWaitTim_, epoch);
}

void TCommX::EndTrans(uint32_t epoch) {
  int flow = flowForThread_;
  if (flow != cfcHalfHigh && flow != cfcHalfLow) return;
  SleepUnlessDiscarded(halfWaitTim_, epoch);
  SetModemBitsOn(FHandle, TIOCM_RTS, flow != cfcHalfHigh);
}

void TCommX::SendBreakNow(int fd, uint32_t epoch) {
  ioctl(fd, TIOCSBRK);
  SleepUnlessDiscarded(kBreakMs, epoch);
  ioctl(fd, TIOCCBRK);
}

void TCommX::TransThreadRun(int fd) {
  for (;;) {
    {
      std::unique_lock lk(critical2_);
      transCv_.wait(lk, [&] { return stopRequested_ || !transQueue_.empty(); });
      if (stopRequested_) return;
    }
    bool begun = false;
    uint32_t epoch = 0;
    for (;;) {
      TransItem item;
      {
        std::lock_guard lk(critical2_);
        if (transQueue_.empty()) break;
        item = std::move(transQueue_.front());
        transQueue_.pop_front();
        epoch = clearEpoch_;
      }
      if (!Discarded(epoch) && !deviceLost_) {
        if (!begun) {
          BeginTrans(epoch);
          begun = true;
        }
        if (item.brk)
          SendBreakNow(fd, epoch);
        else
          WriteBlock(fd, item.data, epoch);
      }
      {
        std::lock_guard lk(critical2_);
        TransBufLen = std::max(0, TransBufLen - static_cast<int32_t>(item.data.size()));
        if (TransCnt > 0) --TransCnt;
      }
      transCv_.notify_all();
    }
    if (begun) EndTrans(epoch);
  }
}

bool TCommX::WriteBlock(int fd, const std::vector<char>& block, uint32_t epoch) {
  using Clock = std::chrono::steady_clock;
  const int32_t timeout = timeOutTransForThread_;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout);
  size_t off = 0;
  while (off < block.size()) {
    if (Discarded(epoch)) return false;
    int wait = -1;
    if (timeout > 0) {
      auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      // Write time-out: the rest of the block is given up, as a timed-out write does.
      if (left <= 0) return false;
      wait = static_cast<int>(left);
    }
    if (flowForThread_ == cfcDtrDsr) {
      // termios has no DSR flow control: hold the block while the peer drops DSR.
      int st = 0;
      if (ioctl(fd, TIOCMGET, &st) == 0 && !(st & TIOCM_DSR)) {
        SleepUnlessDiscarded(std::min(wait < 0 ? 10 : wait, 10), epoch);
        continue;
      }
    }
    pollfd p[2] = {{fd, POLLOUT, 0}, {txWakeFd_, POLLIN, 0}};
    int r = poll(p, 2, wait);
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (r == 0) return false;
    if (p[1].revents) DrainEventFd(txWakeFd_);
    if (p[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
      ReportDeviceLost();
      return false;
    }
    if (!(p[0].revents & POLLOUT)) continue;
    ssize_t n;
    {
      std::lock_guard lk(critical1_);
      n = write(fd, block.data() + off, block.size() - off);
    }
    if (n > 0) {
      off += static_cast<size_t>(n);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      if (IsGoneError(errno)) ReportDeviceLost();
      return false;
    }
  }
  return true;
}

// ---------------------------------------------------------------------------
// Receive side

void TCommX::ReceiveThreadRun(int fd) {
  serial_icounter_struct last{};
  bool icount = icountSupported_ && ioctl(fd, TIOCGICOUNT, &last) == 0;
  char tmp[4096];
  while (!stopRequested_) {
    size_t space;
    {
      std::lock_guard lk(recvMutex_);
      space = recvBuf_.size() < static_cast<size_t>(recvLimit_) ? recvLimit_ - recvBuf_.size() : 0;
    }
    // A full buffer or a vanished device is not watched, so neither spins.
    bool watch = space > 0 && !deviceLost_;
    pollfd p[2] = {{watch ? fd : -1, POLLIN | POLLPRI, 0}, {rxWakeFd_, POLLIN, 0}};
    int r = poll(p, 2, -1);
    if (r < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (stopRequested_) break;
    if (p[1].revents) DrainEventFd(rxWakeFd_);
    if (p[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
      ReportDeviceLost();
      continue;
    }
    if (p[0].revents & (POLLIN | POLLPRI)) {
      ssize_t n = read(fd, tmp, std::min(space, sizeof tmp));
      if (n > 0) {
        {
          std::lock_guard lk(recvMutex_);
          recvBuf_.insert(recvBuf_.end(), tmp, tmp + n);
        }
        recvCv_.notify_all();
      } else if (n < 0 && IsGoneError(errno)) {
        ReportDeviceLost();
        continue;
      }
      if (icount) {
        serial_icounter_struct now{};
        if (ioctl(fd, TIOCGICOUNT, &now) == 0) {
          int32_t bits = 0;
          if (now.overrun != last.overrun || now.buf_overrun != last.buf_overrun) bits |= ceOverrun;
          if (now.parity != last.parity) bits |= ceParity;
          if (now.frame != last.frame) bits |= ceFraming;
          if (bits) PostError(bits);
          if (now.brk != last.brk) PostBreak();
          last = now;
        }
      }
      if (n > 0) PostReceive();
    }
  }
}

int32_t TCommX::ReceiveChar() {
  char c;
  return ReceiveBlock(&c, 1) == 1 ? static_cast<unsigned char>(c) : -1;
}

int32_t TCommX::ReceiveBlock(char* buf, int32_t maxSize) {
  if (!IsOpen() || !receiveThread_.joinable() || !buf || maxSize <= 0) return -1;
  size_t n;
  bool wasFull;
  {
    std::unique_lock lk(recvMutex_);
    // Waits for maxSize bytes or the read time-out; 0 means no wait at all.
    recvCv_.wait_for(lk, std::chrono::milliseconds(FTimeOutReceive), [&] {
      return recvBuf_.size() >= static_cast<size_t>(maxSize) || deviceLost_;
    });
    wasFull = recvBuf_.size() >= static_cast<size_t>(recvLimit_);
    n = std::min(recvBuf_.size(), static_cast<size_t>(maxSize));
    std::copy_n(recvBuf_.begin(), n, buf);
    recvBuf_.erase(recvBuf_.begin(), recvBuf_.begin() + static_cast<std::ptrdiff_t>(n));
  }
  if (wasFull) SignalEventFd(rxWakeFd_);
  if (n == 0 && deviceLost_) return -1;
  return static_cast<int32_t>(n);
}

int32_t TCommX::GetReceiveLength() const {
  if (!IsOpen()) return 0;
  int queued = 0;
  if (ioctl(FHandle, FIONREAD, &queued) != 0) queued = 0;
  std::lock_guard lk(recvMutex_);
  return static_cast<int32_t>(recvBuf_.size()) + queued;
}

void TCommX::ClearReceiveBuf() {
  if (!IsOpen()) return;
  tcflush(FHandle, TCIFLUSH);
  {
    std::lock_guard lk(recvMutex_);
    recvBuf_.clear();
  }
  SignalEventFd(rxWakeFd_);
}

// ---------------------------------------------------------------------------
// Events: worker threads post, the owning thread runs them.

void TCommX::PostReceive() {
  if (!poster_ || receivePosted_.exchange(true)) return;
  poster_->Post([link = link_, gen = generation_.load()] {
    TCommX* self = link->self;
    if (!self) return;
    self->receivePosted_ = false;
    if (self->generation_ != gen || !self->IsOpen() || !self->OnReceive) return;
    int32_t n = self->GetReceiveLength();
    if (n != 0) self->OnReceive(*self, n);
  });
}

void TCommX::PostBreak() {
  if (!poster_) return;
  poster_->Post([link = link_, gen = generation_.load()] {
    TCommX* self = link->self;
    if (self && self->generation_ == gen && self->IsOpen() && self->OnBreak) self->OnBreak(*self);
  });
}

void TCommX::PostError(int32_t bits) {
  if (!poster_) return;
  poster_->Post([link = link_, gen = generation_.load(), bits] {
    TCommX* self = link->self;
    if (self && self->generation_ == gen && self->IsOpen() && self->OnError)
      self->OnError(*self, bits);
  });
}

void TCommX::ReportDeviceLost() {
  {
    // Under the receive lock: a ReceiveBlock between testing the flag and starting
    // to wait would otherwise miss the wake-up and sit out its whole time-out.
    std::lock_guard lk(recvMutex_);
    if (deviceLost_.exchange(true)) return;
  }
  recvCv_.notify_all();
  PostError(ceDeviceLost);
}

// ---------------------------------------------------------------------------
// Modem lines and break

int TCommX::ModemStatus() const {
  int st = 0;
  if (!IsOpen() || ioctl(FHandle, TIOCMGET, &st) != 0) return 0;
  return st;
}

void TCommX::SetModemBits(int bits, bool on) const {
  if (IsOpen()) SetModemBitsOn(FHandle, bits, on);
}

void TCommX::SetRtsSignal(bool signal) {
  SetModemBits(TIOCM_RTS, signal);
}
void TCommX::SetDtrSignal(bool signal) {
  SetModemBits(TIOCM_DTR, signal);
}
bool TCommX::IsCtsSignal() const {
  return ModemStatus() & TIOCM_CTS;
}
bool TCommX::IsDsrSignal() const {
  return ModemStatus() & TIOCM_DSR;
}
bool TCommX::IsRingSignal() const {
  return ModemStatus() & TIOCM_RNG;
}
bool TCommX::IsRlsdSignal() const {
  return ModemStatus() & TIOCM_CAR;
}

void TCommX::SendBreak() {
  if (!IsOpen() || !transThread_.joinable() || deviceLost_) return;
  {
    // Not bound by the block limit: a break is never refused and never waits.
    std::lock_guard lk(critical2_);
    ++TransCnt;
    transQueue_.push_back({{}, true});
  }
  transCv_.notify_all();
}

}  // namespace fixcaster
