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
  // Moves up to bytes between data and the device. Returns the bytes moved; fewer when
  // `interrupt` became true (it is polled at least every few milliseconds). Input ports fill
  // what they cannot deliver with silence and still count it as moved.
  virtual uint32_t Transfer(uint8_t* data, uint32_t bytes, const std::atomic<bool>& interrupt) = 0;
  // Drops what the device holds (reset or stop). Called while no Transfer runs.
  virtual void Drop() {}
  // Called once when the device closes, after the device thread has ended.
  virtual void Close() {}
};

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
  int Reset() override { return stream_.Reset(); }
  int Close() override { return stream_.Close(); }

 private:
  WaveStream stream_;
};
