// The buffer queue shared by both backends' wave devices: header bookkeeping (prepared, queued,
// done), completion in order with the done event, start/stop/reset/close, and the device
// thread that moves each queued buffer through the backend's port.
//
// A port is the backend's side of one direction: Transfer moves bytes between a buffer and the
// device, blocking as long as the device takes (ALSA, or the simulated card in real time).
// A synchronous stream has no device thread: a buffer is transferred and completed inside the
// call that queues it (the simulated card running as fast as the engine takes it).
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/audio/audio_device.h"

class WavePort {
 public:
  virtual ~WavePort() = default;
  // Frames handed to Transfer (or to the device) and not yet heard; false when the port cannot
  // tell. Ports that can tell keep it with NoteHeldFrames; any thread may ask.
  bool HeldFrames(int64_t* frames) const;
  uint32_t FrameBytes() const { return frameBytes_.load(std::memory_order_relaxed); }
  // Moves up to bytes between data and the device. Returns the bytes moved; fewer when
  // `interrupt` became true (it is polled at least every few milliseconds). Input ports fill
  // what they cannot deliver with silence and still count it as moved.
  virtual uint32_t Transfer(uint8_t* data, uint32_t bytes, const std::atomic<bool>& interrupt) = 0;
  // Drops what the device holds (reset or stop). Called while no Transfer runs.
  virtual void Drop() {}
  // Called once when the device closes, after the device thread has ended.
  virtual void Close() {}

 protected:
  // Ports that report what they hold say so first, with their frame size and rate.
  void ReportHeldFrames(uint32_t frameBytes, uint32_t frameRate);
  // The device will have played what it holds at heardAtNs (steady clock), at frameRate, and
  // pendingFrames more wait in the current Transfer.
  void NoteHeldFrames(int64_t heardAtNs, int64_t pendingFrames);
  // An underrun (playback) or overrun (capture) was recovered: counted, and traced as
  // "<who>: playback underrun recovered (N so far)\n" or "...capture overrun...".
  void CountXrun(const char* who, bool capture);
  int xruns() const { return xruns_.load(std::memory_order_relaxed); }

 private:
  std::atomic<bool> reportsHeld_{false};
  std::atomic<int64_t> heardAtNs_{0};
  std::atomic<int64_t> pendingFrames_{0};
  std::atomic<uint32_t> frameRate_{44100};
  std::atomic<uint32_t> frameBytes_{4};
  std::atomic<int> xruns_{0};
};

// The steady clock in nanoseconds, as NoteHeldFrames takes it.
int64_t SteadyNowNs();

class WaveStream {
 public:
  enum class Direction { kInput, kOutput };

  // doneEvent may be null. The stream owns the port.
  WaveStream(Direction direction, std::unique_ptr<WavePort> port, Event* doneEvent,
             bool synchronous);
  ~WaveStream();
  WaveStream(const WaveStream&) = delete;
  WaveStream& operator=(const WaveStream&) = delete;

  int Prepare(WaveHeader* header);
  int Unprepare(WaveHeader* header);
  int Queue(WaveHeader* header);  // add (input) or write (output)
  int Start();                    // input: begin filling; output streams run from opening
  int Stop();
  int Reset();
  int Close();
  // Output: frames queued and not yet heard (the queued buffers and what the port holds).
  bool DelayFrames(int64_t* frames);

 private:
  bool Active() const { return direction_ == Direction::kOutput || started_; }
  void Run();
  // Completes the front buffer with the bytes moved into it; called under the lock.
  void CompleteFront(uint32_t bytes);
  // Waits (under the lock) until no Transfer runs, after asking it to stop.
  void Interrupt(std::unique_lock<std::mutex>& lock);
  void TransferQueuedNow(std::unique_lock<std::mutex>& lock);

  const Direction direction_;
  std::unique_ptr<WavePort> port_;
  Event* const doneEvent_;
  const bool synchronous_;

  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<WaveHeader*> queue_;
  uint32_t frontProgress_ = 0;  // bytes already moved into the front buffer
  bool started_ = false;
  bool closed_ = false;
  bool inTransfer_ = false;
  uint32_t transferBytes_ = 0;  // bytes handed to the running Transfer
  bool exit_ = false;
  std::atomic<bool> interrupt_{false};
  std::thread thread_;
};

// Wave devices over a stream, as the backends hand them out.
class StreamWaveIn : public WaveInDevice {
 public:
  StreamWaveIn(std::unique_ptr<WavePort> port, Event* doneEvent, bool synchronous)
      : stream_(WaveStream::Direction::kInput, std::move(port), doneEvent, synchronous) {}
  int PrepareHeader(WaveHeader* header) override { return stream_.Prepare(header); }
  int UnprepareHeader(WaveHeader* header) override { return stream_.Unprepare(header); }
  int AddBuffer(WaveHeader* header) override { return stream_.Queue(header); }
  int Start() override { return stream_.Start(); }
  int Stop() override { return stream_.Stop(); }
  int Reset() override { return stream_.Reset(); }
  int Close() override { return stream_.Close(); }

 private:
  WaveStream stream_;
};

class StreamWaveOut : public WaveOutDevice {
 public:
  StreamWaveOut(std::unique_ptr<WavePort> port, Event* doneEvent, bool synchronous)
      : stream_(WaveStream::Direction::kOutput, std::move(port), doneEvent, synchronous) {}
  int PrepareHeader(WaveHeader* header) override { return stream_.Prepare(header); }
  int UnprepareHeader(WaveHeader* header) override { return stream_.Unprepare(header); }
  int Write(WaveHeader* header) override { return stream_.Queue(header); }
  int GetDelayFrames(int64_t* frames) override {
    return stream_.DelayFrames(frames) ? kMmSysErrNoError : kMmSysErrNotSupported;
  }
  int Reset() override { return stream_.Reset(); }
  int Close() override { return stream_.Close(); }

 private:
  WaveStream stream_;
};
