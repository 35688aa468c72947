#include "app/LogPlayer.h"

#include <time.h>

#include <algorithm>
#include <cmath>

#include "track/IsoTime.h"

namespace fixcaster {

namespace {

constexpr int64_t kMaxWaitMs = 3'600'000;
constexpr int kMaxEpochsPerWake = 64;

// The program's date-time (days since 1899-12-30) in microseconds since 1970,
// rounded to the millisecond the clock has.
int64_t MicrosOfDateTime(double days) {
  const double ms = std::round((days + static_cast<double>(DateTimeEpochDays)) * 86'400'000.0);
  return static_cast<int64_t>(ms) * 1000;
}

}  // namespace

int64_t MonotonicMicros() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t{ts.tv_sec} * MicrosPerSecond + ts.tv_nsec / 1000;
}

LogPlayer::LogPlayer(const NmeaLog& log, const Clock& utc, TickTimer& timer,
                     std::function<int64_t()> monotonicMicros, ReplaySink& sink)
    : log_(log), utc_(utc), timer_(timer), now_(std::move(monotonicMicros)), sink_(sink) {
  timer_.SetHandler([this] { OnTimer(); });
}

LogPlayer::~LogPlayer() {
  if (running_) timer_.Stop();
  timer_.SetHandler({});
}

bool LogPlayer::Start(const Options& options, std::function<bool()> repeat) {
  Stop();
  if (log_.Epochs.empty()) return false;
  options_ = options;
  if (!(options_.TimeScale > 0) || !std::isfinite(options_.TimeScale)) options_.TimeScale = 1;
  repeat_ = std::move(repeat);

  const auto& epochs = log_.Epochs;
  int64_t lastSpacing = MicrosPerSecond;
  for (size_t k = epochs.size() - 1; k > 0; --k) {
    const int64_t d = epochs[k].Offset - epochs[k - 1].Offset;
    if (d > 0) {
      lastSpacing = d;
      break;
    }
  }
  passLength_ = epochs.back().Offset + lastSpacing;

  const int64_t nowUtc = MicrosOfDateTime(utc_.NowUtc());
  shift_ = 0;
  for (const LogEpoch& e : epochs) {
    if (!e.RecordedUtc) continue;
    shift_ = nowUtc + e.Offset - *e.RecordedUtc;
    break;
  }
  start_ = now_();
  loop_ = 0;
  next_ = 0;
  sent_ = 0;
  sentLoop_ = 0;
  running_ = true;
  SendNext();
  if (running_) Arm();
  return true;
}

void LogPlayer::Stop() {
  if (!running_) return;
  running_ = false;
  timer_.Stop();
}

ReplayProgress LogPlayer::Progress() const {
  return {sent_, log_.Epochs.size(), sentLoop_ + 1};
}

int64_t LogPlayer::DueAt(int64_t loop, size_t epoch) const {
  const double recorded = static_cast<double>(loop) * static_cast<double>(passLength_) +
                          static_cast<double>(log_.Epochs[epoch].Offset);
  return start_ + static_cast<int64_t>(std::ceil(recorded / options_.TimeScale));
}

void LogPlayer::SendNext() {
  const std::vector<std::string> lines =
      EpochLines(log_, next_, shift_ + loop_ * passLength_, options_.FixChecksums);
  sent_ = next_ + 1;
  sentLoop_ = loop_;
  if (++next_ == log_.Epochs.size()) {
    next_ = 0;
    ++loop_;
  }
  const ReplayProgress progress = Progress();
  sink_.SendEpoch(lines, progress);
  // The end of a pass: go on only while Repeat is on.
  if (running_ && next_ == 0 && !(repeat_ && repeat_())) {
    Stop();
    sink_.ReplayEnded(progress);
  }
}

void LogPlayer::Arm() {
  const int64_t wait = DueAt(loop_, next_) - now_();
  // Whole milliseconds, rounded up so that the timer never fires before time; a
  // long gap in the recording is waited for in steps of at most an hour.
  const int64_t ms = std::clamp<int64_t>((wait + 999) / 1000, 1, kMaxWaitMs);
  timer_.Start(static_cast<int>(ms));
}

void LogPlayer::OnTimer() {
  if (!running_) return;
  // After a long stall (a suspended machine) the epochs due go out a bounded
  // number at a time, so the event loop keeps running between them.
  for (int n = 0; n < kMaxEpochsPerWake && running_ && DueAt(loop_, next_) <= now_(); ++n)
    SendNext();
  if (running_) Arm();
}

}  // namespace fixcaster
