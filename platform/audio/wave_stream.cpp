#include "platform/audio/wave_stream.h"

#include <algorithm>
#include <chrono>

#include "diagnostics/diagnostics.h"
#include "platform/sync/event.h"

int64_t SteadyNowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void WavePort::ReportHeldFrames(uint32_t frameBytes, uint32_t frameRate) {
  frameBytes_.store(frameBytes ? frameBytes : 1, std::memory_order_relaxed);
  frameRate_.store(frameRate ? frameRate : 1, std::memory_order_relaxed);
  reportsHeld_.store(true, std::memory_order_release);
}

// The two values are read apart: a reader between the stores sees the pending frames of one
// transfer with the clock of another, off by at most one transfer for one reading.
void WavePort::NoteHeldFrames(int64_t heardAtNs, int64_t pendingFrames) {
  heardAtNs_.store(heardAtNs, std::memory_order_relaxed);
  pendingFrames_.store(pendingFrames, std::memory_order_relaxed);
}

bool WavePort::HeldFrames(int64_t* frames) const {
  if (!reportsHeld_.load(std::memory_order_acquire)) return false;
  const int64_t left = heardAtNs_.load(std::memory_order_relaxed) - SteadyNowNs();
  const int64_t playing =
      left > 0 ? left * int64_t(frameRate_.load(std::memory_order_relaxed)) / 1000000000 : 0;
  *frames = playing + std::max<int64_t>(pendingFrames_.load(std::memory_order_relaxed), 0);
  return true;
}

void WavePort::CountXrun(const char* who, bool capture) {
  const int count = xruns_.fetch_add(1, std::memory_order_relaxed) + 1;
  Trace("%s: %s recovered (%d so far)\n", who, capture ? "capture overrun" : "playback underrun",
        count);
}

WaveStream::WaveStream(Direction direction, std::unique_ptr<WavePort> port, Event* doneEvent,
                       bool synchronous)
    : direction_(direction),
      port_(std::move(port)),
      doneEvent_(doneEvent),
      synchronous_(synchronous) {
  if (!synchronous_) thread_ = std::thread([this] { Run(); });
}

WaveStream::~WaveStream() {
  {
    std::unique_lock<std::mutex> lock(lock_);
    exit_ = true;
    interrupt_.store(true, std::memory_order_release);
    changed_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
  if (!closed_) port_->Close();
}

int WaveStream::Prepare(WaveHeader* header) {
  std::lock_guard<std::mutex> guard(lock_);
  if (closed_) return kMmSysErrInvalHandle;
  if (!header || !header->data) return kMmSysErrInvalParam;
  header->flags.fetch_or(kWhdrPrepared, std::memory_order_acq_rel);
  return kMmSysErrNoError;
}

int WaveStream::Unprepare(WaveHeader* header) {
  std::lock_guard<std::mutex> guard(lock_);
  if (closed_) return kMmSysErrInvalHandle;
  if (!header) return kMmSysErrInvalParam;
  if (header->flags.load(std::memory_order_acquire) & kWhdrInQueue) return kWavErrStillPlaying;
  header->flags.fetch_and(~uint32_t(kWhdrPrepared), std::memory_order_acq_rel);
  return kMmSysErrNoError;
}

int WaveStream::Queue(WaveHeader* header) {
  std::unique_lock<std::mutex> lock(lock_);
  if (closed_) return kMmSysErrInvalHandle;
  if (!header || !header->data) return kMmSysErrInvalParam;
  const uint32_t flags = header->flags.load(std::memory_order_acquire);
  if (!(flags & kWhdrPrepared)) return kWavErrUnprepared;
  if (flags & kWhdrInQueue) return kWavErrStillPlaying;
  header->bytesRecorded.store(0, std::memory_order_relaxed);
  header->flags.store((flags & ~uint32_t(kWhdrDone)) | kWhdrInQueue, std::memory_order_release);
  queue_.push_back(header);
  if (synchronous_)
    TransferQueuedNow(lock);
  else
    changed_.notify_all();
  return kMmSysErrNoError;
}

int WaveStream::Start() {
  std::unique_lock<std::mutex> lock(lock_);
  if (closed_) return kMmSysErrInvalHandle;
  started_ = true;
  if (synchronous_)
    TransferQueuedNow(lock);
  else
    changed_.notify_all();
  return kMmSysErrNoError;
}

int WaveStream::Stop() {
  std::unique_lock<std::mutex> lock(lock_);
  if (closed_) return kMmSysErrInvalHandle;
  if (direction_ == Direction::kOutput) return kMmSysErrNoError;
  Interrupt(lock);
  started_ = false;
  if (frontProgress_ > 0 && !queue_.empty()) CompleteFront(frontProgress_);
  port_->Drop();
  interrupt_.store(false, std::memory_order_release);
  return kMmSysErrNoError;
}

int WaveStream::Reset() {
  std::unique_lock<std::mutex> lock(lock_);
  if (closed_) return kMmSysErrInvalHandle;
  Interrupt(lock);
  if (direction_ == Direction::kInput) started_ = false;
  port_->Drop();
  while (!queue_.empty()) CompleteFront(frontProgress_);
  interrupt_.store(false, std::memory_order_release);
  return kMmSysErrNoError;
}

int WaveStream::Close() {
  {
    std::unique_lock<std::mutex> lock(lock_);
    if (closed_) return kMmSysErrInvalHandle;
    if (!queue_.empty()) return kWavErrStillPlaying;
    closed_ = true;
    exit_ = true;
    interrupt_.store(true, std::memory_order_release);
    changed_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
  port_->Close();
  return kMmSysErrNoError;
}

bool WaveStream::DelayFrames(int64_t* frames) {
  std::lock_guard<std::mutex> guard(lock_);
  int64_t held = 0;
  if (closed_ || !port_->HeldFrames(&held)) return false;
  int64_t queued = -int64_t(frontProgress_) - (inTransfer_ ? int64_t(transferBytes_) : 0);
  for (const WaveHeader* header : queue_) queued += header->bufferLength;
  *frames = held + std::max<int64_t>(queued, 0) / port_->FrameBytes();
  return true;
}

void WaveStream::Interrupt(std::unique_lock<std::mutex>& lock) {
  interrupt_.store(true, std::memory_order_release);
  changed_.notify_all();
  changed_.wait(lock, [this] { return !inTransfer_; });
}

void WaveStream::CompleteFront(uint32_t bytes) {
  WaveHeader* header = queue_.front();
  queue_.pop_front();
  frontProgress_ = 0;
  if (direction_ == Direction::kInput)
    header->bytesRecorded.store(bytes, std::memory_order_relaxed);
  uint32_t flags = header->flags.load(std::memory_order_relaxed);
  header->flags.store((flags | kWhdrDone) & ~uint32_t(kWhdrInQueue), std::memory_order_release);
  if (doneEvent_) doneEvent_->Set();
}

void WaveStream::TransferQueuedNow(std::unique_lock<std::mutex>&) {
  while (Active() && !queue_.empty()) {
    WaveHeader* header = queue_.front();
    uint32_t moved = port_->Transfer(header->data, header->bufferLength, interrupt_);
    CompleteFront(moved);
  }
}

void WaveStream::Run() {
  std::unique_lock<std::mutex> lock(lock_);
  for (;;) {
    changed_.wait(lock, [this] {
      return exit_ || (Active() && !queue_.empty() && !interrupt_.load(std::memory_order_acquire));
    });
    if (exit_) break;
    WaveHeader* header = queue_.front();
    const uint32_t offset = frontProgress_;
    inTransfer_ = true;
    transferBytes_ = header->bufferLength - offset;
    lock.unlock();
    uint32_t moved =
        port_->Transfer(header->data + offset, header->bufferLength - offset, interrupt_);
    lock.lock();
    inTransfer_ = false;
    changed_.notify_all();
    // A reset may have completed the buffer meanwhile; only the front buffer is ours.
    if (queue_.empty() || queue_.front() != header) continue;
    frontProgress_ = offset + moved;
    if (frontProgress_ >= header->bufferLength) CompleteFront(header->bufferLength);
  }
}
