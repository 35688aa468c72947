#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <termios.h>

#include <QObject>

namespace fixcaster {

// Every failure the serial component raises; the texts are English only, the
// caller turns them into its own message.
class ECommError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum TCommParityBits : uint8_t { cpbNone, cpbOdd, cpbEven };
enum TCommStopBits : uint8_t { csb1, csb1p5, csb2 };
enum TCommFlowCtrls : uint8_t {
  cfcRtsCts,
  cfcDtrDsr,
  cfcXonXoff,
  cfcHalfHigh,
  cfcHalfLow,
  cfcNone
};

// Line error bits of OnError (receive overrun, parity, framing).
constexpr int32_t ceOverrun = 0x02;
constexpr int32_t ceParity = 0x04;
constexpr int32_t ceFraming = 0x08;
// The device went away while open (adapter pulled, pty master closed). Outside the
// line-error mask so it cannot be mistaken for one; reported once per open.
constexpr int32_t ceDeviceLost = 0x100;

// Runs a function later on the thread that owns a component, in posting order.
// Worker threads use it to deliver notifications; it must never block the caller.
class Poster {
 public:
  virtual ~Poster() = default;
  virtual void Post(std::function<void()> fn) = 0;
};

// A Poster for a Qt program: runs the function in the event loop of the context
// object's thread; calls still queued when the context is destroyed are dropped.
class QtPoster : public Poster {
 public:
  explicit QtPoster(QObject* context) : context_(context) {}
  void Post(std::function<void()> fn) override;

 private:
  QObject* context_;
};

// The device path that stands for a port number ("COMn" names /dev/ttyS<n-1>).
std::string ComPortDevice(int32_t portNo);

// Opens a serial device for reading and writing, exclusively (TIOCEXCL plus an
// advisory flock, so a second opener in this or another process fails), non-blocking.
// Returns the descriptor or -1.
int OpenSerialDevice(const std::string& path);
void CloseSerialDevice(int fd);
// The output bit rate a tty is set to, also a rate outside the standard table; -1
// when it cannot be read.
int32_t SerialLineSpeed(int fd);

// One serial port with its line settings, a transmit thread that writes queued
// blocks in order, and a receive thread that watches the line. Every public
// operation is called on the owning thread; events run there too, through the
// Poster given at construction (no Poster: events are not delivered).
class TCommX {
 public:
  using TCommReceiveEvent = std::function<void(TCommX& sender, int32_t receiveSize)>;
  using TCommBreakEvent = std::function<void(TCommX& sender)>;
  using TCommErrEvent = std::function<void(TCommX& sender, int32_t errorState)>;

  // Blocks that may be outstanding before TransBlock waits.
  static constexpr int32_t kMaxTransBlocks = 32;
  // Longest time TransBlock waits for a free block slot; then the rest is dropped.
  static constexpr int kTransSlotWaitMs = 3000;
  // Longest time ClearTransBuf waits for the transmit thread to let go of the block
  // it holds. The thread drops that block all the same once it gets to it; until
  // then GetTransLength counts it.
  static constexpr int kClearWaitMs = 500;
  // How long SendBreak holds the line in break state.
  static constexpr int kBreakMs = 300;

  explicit TCommX(Poster* poster = nullptr);
  virtual ~TCommX();
  TCommX(const TCommX&) = delete;
  TCommX& operator=(const TCommX&) = delete;

  void PortOpen();
  void PortClose();
  bool IsOpen() const { return FHandle >= 0; }
  int Handle() const { return FHandle; }

  bool TransChar(char c) { return TransBlock(&c, 1); }
  bool TransString(std::string_view s);
  virtual bool TransBlock(const char* data, int32_t bufSize);
  int32_t ReceiveChar();
  virtual int32_t ReceiveBlock(char* buf, int32_t maxSize);
  void ClearTransBuf();
  void ClearReceiveBuf();
  int32_t GetTransLength() const;
  int32_t GetTransCount() const;  // blocks outstanding (TransCnt)
  int32_t GetReceiveLength() const;

  void SetRtsSignal(bool signal);
  void SetDtrSignal(bool signal);
  bool IsCtsSignal() const;
  bool IsDsrSignal() const;
  bool IsRingSignal() const;
  bool IsRlsdSignal() const;
  // Holds the line in break state for kBreakMs, after the blocks queued before it,
  // from the transmit thread: the caller does not wait. Counted as one outstanding
  // block (GetTransCount) until it is over; ClearTransBuf discards one not yet begun.
  void SendBreak();

  // Properties. PortName, when not empty, is the device path and wins over PortNo.
  int32_t PortNo() const { return FPortNo; }
  void SetPortNo(int32_t v);
  const std::string& PortName() const { return FPortName; }
  void SetPortName(const std::string& v);
  std::string DevicePath() const;
  int32_t BitRate() const { return FBitRate; }
  void SetBitRate(int32_t v);
  int32_t CharSize() const { return FCharSize; }
  void SetCharSize(int32_t v);
  TCommParityBits ParityBit() const { return FParityBit; }
  void SetParityBit(TCommParityBits v);
  TCommStopBits StopBit() const { return FStopBit; }
  void SetStopBit(TCommStopBits v);
  TCommFlowCtrls FlowCtrl() const { return FFlowCtrl; }
  void SetFlowCtrl(TCommFlowCtrls v);
  int32_t TimeOutTrans() const { return FTimeOutTrans; }
  void SetTimeOutTrans(int32_t v);
  int32_t TimeOutReceive() const { return FTimeOutReceive; }
  void SetTimeOutReceive(int32_t v);
  char XonChar() const { return FXonChar; }
  void SetXonChar(char v);
  char XoffChar() const { return FXoffChar; }
  void SetXoffChar(char v);
  int32_t BufLenTrans() const { return FBufLenTrans; }
  void SetBufLenTrans(int32_t v);
  int32_t BufLenReceive() const { return FBufLenReceive; }
  void SetBufLenReceive(int32_t v);
  // Half-duplex RTS settling time, from the bit rate (1000 / (rate / 10) + 1 ms).
  int32_t HalfWaitTim() const { return halfWaitTim_.load(); }

  TCommReceiveEvent OnReceive;
  TCommBreakEvent OnBreak;
  TCommErrEvent OnError;

 private:
  void ApplyLineSettings(bool raise);
  void ApplyBitRate();
  void ApplyCharSize();
  void ApplyParity();
  void ApplyStopBit();
  void ApplyFlowCtrl();
  void ApplyTimeouts();
  void ApplyXonXoff(bool xon);
  void SetupBuffers();
  void WriteTermios(const char* failure);
  void StartThreads();
  void StopThreads();
  void SetModemBits(int bits, bool on) const;
  int ModemStatus() const;

  // Called from the worker threads: queue an event for the owning thread.
  void PostReceive();
  void PostBreak();
  void PostError(int32_t bits);
  void ReportDeviceLost();

  Poster* poster_;
  // Lets posted events find out whether this component still exists and whether
  // the port they belong to is still the one that is open (owning thread only).
  struct Link {
    TCommX* self;
  };
  std::shared_ptr<Link> link_;
  std::atomic<uint32_t> generation_{0};
  std::atomic<bool> receivePosted_{false};
  std::atomic<bool> deviceLost_{false};

  int FHandle = -1;
  termios FDCB{};
  bool rateIsCustom_ = false;
  int32_t FPortNo = 1;
  std::string FPortName;
  int32_t FBitRate = 9600;
  int32_t FCharSize = 8;
  TCommParityBits FParityBit = cpbNone;
  TCommStopBits FStopBit = csb1;
  TCommFlowCtrls FFlowCtrl = cfcRtsCts;
  int32_t FTimeOutTrans = 3000;
  int32_t FTimeOutReceive = 3000;
  char FXonChar = 17;
  char FXoffChar = 19;
  int32_t FBufLenTrans = 2048;
  int32_t FBufLenReceive = 2048;
  std::atomic<int32_t> halfWaitTim_{0};
  // Read by the transmit thread between blocks.
  std::atomic<int> flowForThread_{cfcRtsCts};
  std::atomic<int32_t> timeOutTransForThread_{3000};

  // Critical1: every write on the port and every purge of its output side.
  mutable std::mutex critical1_;
  // Critical2: the block queue and its counters.
  mutable std::mutex critical2_;
  std::condition_variable transCv_;  // queue changed (either direction)
  // A block to write, or a break to send.
  struct TransItem {
    std::vector<char> data;
    bool brk = false;
  };
  std::deque<TransItem> transQueue_;
  int32_t TransBufLen = 0;
  int32_t TransCnt = 0;
  // Counts ClearTransBuf calls (the MsgClearFlg of a blocking design): an item the
  // transmit thread took before the count changed is discarded, however long the
  // thread took to get to it.
  std::atomic<uint32_t> clearEpoch_{0};

  // Receive buffer filled by the receive thread, bounded by BufLenReceive.
  mutable std::mutex recvMutex_;
  std::condition_variable recvCv_;
  std::deque<char> recvBuf_;
  int32_t recvLimit_ = 2048;

  // The two worker threads of an open port, woken through their eventfds.
  void TransThreadRun(int fd);
  void ReceiveThreadRun(int fd);
  bool WriteBlock(int fd, const std::vector<char>& block, uint32_t epoch);
  void SendBreakNow(int fd, uint32_t epoch);
  void BeginTrans(uint32_t epoch);
  void EndTrans(uint32_t epoch);
  // Whether an item taken at `epoch` is to be dropped (cleared or stopping).
  bool Discarded(uint32_t epoch) const { return stopRequested_ || clearEpoch_ != epoch; }
  // Sleeps, ending early when the item taken at `epoch` is discarded; false then.
  bool SleepUnlessDiscarded(int ms, uint32_t epoch);
  std::thread transThread_;
  std::thread receiveThread_;
  int txWakeFd_ = -1;
  int rxWakeFd_ = -1;
  std::atomic<bool> stopRequested_{false};
  std::mutex sleepMutex_;
  std::condition_variable sleepCv_;
  bool icountSupported_ = false;
};

}  // namespace fixcaster
