#include "cd/cdg_stream.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "audio/cdda_ring.h"
#include "audio/streaming.h"
#include "cd/play_state.h"

namespace {

constexpr int64_t kFifoPacks = 1024;  // about 3.4 s of packs
// Packs left undecoded behind the delivered position: 2 s, more than the sound card's queue
// ever holds, so the pack the listener hears is always among those published. The base screen
// moves on half a second at a time, so that a buffer's copy of it is seldom stale.
constexpr int64_t kLeadPacks = 600;
constexpr int64_t kBaseStepPacks = 150;
constexpr int64_t kJumpPacks = 300;  // a second: further away is a new start
constexpr int kFresh = 4;            // flag beside a buffer index: not taken yet

using Pack = uint8_t[kRingPackBytes];

// One publication: the base screen and the packs after it, each pack at its position modulo
// kFifoPacks.
struct Published {
  CdgScreen screen;  // the screen after the packs before `base`
  Pack packs[kFifoPacks] = {};
  int64_t base = 0;
  int64_t end = 0;             // one past the last pack held
  uint32_t generation = 0;     // a new start of the stream is a new generation
  uint32_t screenVersion = 0;  // which base screen `screen` holds
};

class CdgStreamSink final : public CddaSubcodeSink {
 public:
  void Packs(const uint8_t* packs, int count, int64_t first, int32_t trackSector) override;
  void Played(int64_t position, int32_t trackSector) override;

  // Triple buffer: the audio thread fills buffers_[back_] and swaps it with the middle one;
  // the reader swaps the middle one out when it is fresh.
  Published buffers_[3];
  std::atomic<int> middle_{1};
  int front_ = 2;  // the reader's
  std::atomic<int32_t> published_{0};
  std::atomic<int32_t> resetRequested_{0};
  std::atomic<CdgDeliveryObserver> observer_{nullptr};
  std::atomic<void*> observerContext_{nullptr};

 private:
  bool TakeReset();
  void Restart(int64_t first, int32_t trackSector);
  void DecodeUpTo(int64_t position);
  void Publish();
  static void CopyPacks(const Pack* from, Pack* to, int64_t begin, int64_t end);

  // Audio thread only.
  int back_ = 0;
  CdgDecoder decoder_;  // the base screen: every pack before base_ carried out
  Pack fifo_[kFifoPacks] = {};
  int64_t base_ = 0;  // pack position of the oldest pack held
  int64_t next_ = 0;  // pack position of the next pack to take
  int32_t track_ = INT32_MIN;
  uint32_t generation_ = 0;
  uint32_t screenVersion_ = 0;
};

// The reader's own decoder, onward from a publication's base screen.
struct Reader {
  CdgDecoder decoder;
  int64_t position = 0;
  uint32_t generation = 0;  // 0: none yet (the stream's generations start at 1)
};

CdgStreamSink sink;
Reader reader;
std::atomic<int32_t> cdgTrack{-1};     // track index the reader found CD+G on, -1 none
std::atomic<bool> readersBusy{false};  // one reader at a time

bool CdgStreamSink::TakeReset() {
  if (!resetRequested_.exchange(0, std::memory_order_acq_rel)) return false;
  track_ = INT32_MIN;
  return true;
}

void CdgStreamSink::Restart(int64_t first, int32_t trackSector) {
  ResetCdgDecoder(&decoder_);
  base_ = next_ = first;
  track_ = trackSector;
  ++generation_;
  ++screenVersion_;
}

void CdgStreamSink::DecodeUpTo(int64_t position) {
  bool changed = false;
  for (; base_ < position; ++base_) changed |= DecodeCdgPack(&decoder_, fifo_[base_ % kFifoPacks]);
  if (changed) ++screenVersion_;
}

void CdgStreamSink::Packs(const uint8_t* packs, int count, int64_t first, int32_t trackSector) {
  TakeReset();
  if (trackSector != track_ || first > next_ + kJumpPacks || first + count + kJumpPacks < next_)
    Restart(first, trackSector);
  for (int i = 0; i < count; ++i) {
    const int64_t position = first + i;
    if (position < next_) continue;  // taken already
    // The queue is full: the oldest pack goes into the base screen.
    DecodeUpTo(position - kFifoPacks + 1);
    std::memcpy(fifo_[position % kFifoPacks], packs + static_cast<size_t>(i) * kRingPackBytes,
                kRingPackBytes);
    next_ = position + 1;
  }
}

void CdgStreamSink::Played(int64_t position, int32_t trackSector) {
  if (TakeReset() || trackSector != track_) return;
  const int64_t delivered = std::min(position / kRingBytesPerPack, next_);
  if (delivered - base_ > kLeadPacks + kBaseStepPacks) DecodeUpTo(delivered - kLeadPacks);
  Publish();
  if (CdgDeliveryObserver observer = observer_.load(std::memory_order_acquire))
    observer(next_, observerContext_.load(std::memory_order_acquire));
}

void CdgStreamSink::CopyPacks(const Pack* from, Pack* to, int64_t begin, int64_t end) {
  for (int64_t p = begin; p < end; ++p)
    std::memcpy(to[p % kFifoPacks], from[p % kFifoPacks], kRingPackBytes);
}

void CdgStreamSink::Publish() {
  Published& out = buffers_[back_];
  // The buffer keeps what it held two publications ago: within the same generation only the
  // base screen (when it changed) and the packs since then are copied.
  const bool sameRun = out.generation == generation_ && out.end >= base_;
  if (!sameRun || out.screenVersion != screenVersion_) {
    out.screen = decoder_.screen;
    out.screenVersion = screenVersion_;
  }
  CopyPacks(fifo_, out.packs, sameRun ? std::max(out.end, base_) : base_, next_);
  out.base = base_;
  out.end = next_;
  out.generation = generation_;
  back_ = middle_.exchange(back_ | kFresh, std::memory_order_acq_rel) & 3;
  published_.store(1, std::memory_order_release);
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

int64_t CdgPackOfMs(int64_t ms) {
  return ms * kCdBytesPerSecond / 1000 / kRingBytesPerPack;
}

bool CdgScreenAt(int64_t pack, CdgScreen* screen, int64_t* shown) {
  if (!sink.published_.load(std::memory_order_acquire)) return false;
  bool expected = false;
  while (!readersBusy.compare_exchange_weak(expected, true, std::memory_order_acquire))
    expected = false;
  if (sink.middle_.load(std::memory_order_acquire) & kFresh)
    sink.front_ = sink.middle_.exchange(sink.front_, std::memory_order_acq_rel) & 3;
  const Published& latest = sink.buffers_[sink.front_];
  const int64_t target = std::clamp(pack, latest.base, latest.end);
  // Onward from where the reader is when it can; else afresh from the base screen.
  if (reader.generation != latest.generation || reader.position < latest.base ||
      reader.position > target) {
    reader.decoder.screen = latest.screen;
    reader.position = latest.base;
    reader.generation = latest.generation;
  }
  for (; reader.position < target; ++reader.position)
    DecodeCdgPack(&reader.decoder, latest.packs[reader.position % kFifoPacks]);
  *screen = reader.decoder.screen;
  if (shown) *shown = reader.position;
  readersBusy.store(false, std::memory_order_release);
  return true;
}

bool CurrentCdgScreen(CdgScreen* screen, int64_t* packPosition) {
  return CdgScreenAt(CdgPackOfMs(CdPositionHeardMs()), screen, packPosition);
}

void SetCdgDeliveryObserver(CdgDeliveryObserver observer, void* context) {
  sink.observerContext_.store(context, std::memory_order_release);
  sink.observer_.store(observer, std::memory_order_release);
}

void ResetCdgStream() {
  cdgTrack.store(-1, std::memory_order_release);
  sink.published_.store(0, std::memory_order_release);
  sink.resetRequested_.store(1, std::memory_order_release);
}
