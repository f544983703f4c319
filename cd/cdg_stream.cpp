#include "cd/cdg_stream.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "audio/cdda_ring.h"
#include "cd/play_state.h"

namespace {

constexpr int64_t kFifoPacks = 2048;  // about 6.8 s between delivered and heard
constexpr int64_t kJumpPacks = 300;   // a second: further away is a new start
constexpr int kFresh = 4;             // flag beside a buffer index: not taken yet

// The byte position the listener hears, from the position the consumer has delivered. This is
// the one place to take the audio engine's heard position from once it offers one; until then
// it is the delivered position.
int64_t ListenerBytePosition(int64_t delivered) {
  return delivered;
}

struct Published {
  CdgScreen screen;
  int64_t position = 0;
};

class CdgStreamSink final : public CddaSubcodeSink {
 public:
  void Packs(const uint8_t* packs, int count, int64_t first, int32_t trackSector) override;
  void Played(int64_t position, int32_t trackSector) override;

  // Triple buffer: the audio thread writes buffers_[back_] and swaps it with the middle one;
  // readers swap the middle one out when it is fresh.
  Published buffers_[3];
  std::atomic<int> middle_{1};
  int back_ = 0;   // audio thread
  int front_ = 2;  // readers (under the readers' own order: one at a time)
  std::atomic<int32_t> published_{0};
  std::atomic<int32_t> resetRequested_{0};
  std::atomic<CdgScreenObserver> observer_{nullptr};
  std::atomic<void*> observerContext_{nullptr};

 private:
  void Restart(int64_t first, int32_t trackSector);
  void Publish();

  // Audio thread only.
  CdgDecoder decoder_;
  uint8_t fifo_[kFifoPacks][kRingPackBytes] = {};
  int64_t fifoStart_ = 0;  // pack position of the oldest pack held
  int64_t next_ = 0;       // pack position of the next pack to take
  int32_t track_ = INT32_MIN;
  bool changed_ = false;
};

CdgStreamSink sink;
std::atomic<int32_t> cdgTrack{-1};     // track index the reader found CD+G on, -1 none
std::atomic<bool> readersBusy{false};  // one reader swaps the front buffer at a time

void CdgStreamSink::Restart(int64_t first, int32_t trackSector) {
  ResetCdgDecoder(&decoder_);
  fifoStart_ = next_ = first;
  track_ = trackSector;
  changed_ = true;
}

void CdgStreamSink::Packs(const uint8_t* packs, int count, int64_t first, int32_t trackSector) {
  if (resetRequested_.exchange(0, std::memory_order_acq_rel)) track_ = INT32_MIN;
  if (trackSector != track_ || first > next_ + kJumpPacks || first + count + kJumpPacks < next_)
    Restart(first, trackSector);
  for (int i = 0; i < count; ++i) {
    const int64_t position = first + i;
    if (position < next_) continue;  // taken already
    if (position - fifoStart_ >= kFifoPacks) {
      // Heard lags further behind than the queue holds: draw the oldest pack now.
      changed_ |= DecodeCdgPack(&decoder_, fifo_[fifoStart_ % kFifoPacks]);
      ++fifoStart_;
    }
    std::memcpy(fifo_[position % kFifoPacks], packs + static_cast<size_t>(i) * kRingPackBytes,
                kRingPackBytes);
    next_ = position + 1;
  }
}

void CdgStreamSink::Played(int64_t position, int32_t trackSector) {
  if (trackSector != track_) return;
  const int64_t heard = std::min(ListenerBytePosition(position) / kRingBytesPerPack, next_);
  while (fifoStart_ < heard) {
    changed_ |= DecodeCdgPack(&decoder_, fifo_[fifoStart_ % kFifoPacks]);
    ++fifoStart_;
  }
  if (changed_) Publish();
  if (CdgScreenObserver observer = observer_.load(std::memory_order_acquire))
    observer(decoder_.screen, fifoStart_, observerContext_.load(std::memory_order_acquire));
}

void CdgStreamSink::Publish() {
  Published& out = buffers_[back_];
  out.screen = decoder_.screen;
  out.position = fifoStart_;
  back_ = middle_.exchange(back_ | kFresh, std::memory_order_acq_rel) & 3;
  published_.store(1, std::memory_order_release);
  changed_ = false;
}

}  // namespace

void SetCdgStreamTrack(int trackIndex, bool hasCdg) {
  cdgTrack.store(hasCdg ? trackIndex : -1, std::memory_order_release);
  if (hasCdg) SetCddaSubcodeSink(&sink);
}

bool CurrentTrackHasCdg() {
  const int32_t track = cdgTrack.load(std::memory_order_acquire);
  return track >= 0 && track == player.currentTrack.load(std::memory_order_acquire);
}

bool CurrentCdgScreen(CdgScreen* screen, int64_t* packPosition) {
  if (!sink.published_.load(std::memory_order_acquire)) return false;
  bool expected = false;
  while (!readersBusy.compare_exchange_weak(expected, true, std::memory_order_acquire))
    expected = false;
  if (sink.middle_.load(std::memory_order_acquire) & kFresh)
    sink.front_ = sink.middle_.exchange(sink.front_, std::memory_order_acq_rel) & 3;
  const Published& latest = sink.buffers_[sink.front_];
  *screen = latest.screen;
  if (packPosition) *packPosition = latest.position;
  readersBusy.store(false, std::memory_order_release);
  return true;
}

void SetCdgScreenObserver(CdgScreenObserver observer, void* context) {
  sink.observerContext_.store(context, std::memory_order_release);
  sink.observer_.store(observer, std::memory_order_release);
}

void ResetCdgStream() {
  cdgTrack.store(-1, std::memory_order_release);
  sink.published_.store(0, std::memory_order_release);
  sink.resetRequested_.store(1, std::memory_order_release);
}
