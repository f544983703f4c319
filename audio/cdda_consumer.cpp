#include "audio/cdda_consumer.h"

#include <algorithm>
#include <cstring>

#include "audio/cdda_ring.h"
#include "audio/sound_block.h"
#include "diagnostics/diagnostics.h"
#include "dsp/kernels.h"

CddaRingState cddaRing;

void SetCddaPlayerLink(CddaPlayerLink* link) {
  cddaRing.link.store(link, std::memory_order_release);
}

void SetCddaSubcodeSink(CddaSubcodeSink* sink) {
  cddaRing.subcodeSink.store(sink, std::memory_order_release);
}

namespace {

constexpr int kStageBytes = 4096;

CddaPlayerLink& Link() {
  static CddaPlayerLink none;
  CddaPlayerLink* link = cddaRing.link.load(std::memory_order_acquire);
  return link ? *link : none;
}

void Silence(float* const channels[2], int fromFrame, int frames) {
  if (frames <= fromFrame) return;
  std::fill(channels[0] + fromFrame, channels[0] + frames, 0.0f);
  std::fill(channels[1] + fromFrame, channels[1] + frames, 0.0f);
}

// Byte position within the track of offset in slot.
int64_t SlotPosition(int slot, int32_t offset) {
  int32_t start = 0, end = 0;
  CddaSlotRange(slot, &start, &end);
  return static_cast<int64_t>(cddaRing.slotByteOffset[slot].load(std::memory_order_relaxed)) +
         std::max(offset - start, 0);
}

void ReportPosition(int slot, int32_t offset, CddaPlayerLink& link) {
  CddaRingState& r = cddaRing;
  const int64_t position = std::max<int64_t>(SlotPosition(slot, offset), 0);
  r.lastPosition.store(static_cast<int32_t>(std::min<int64_t>(position, INT32_MAX)),
                       std::memory_order_relaxed);
  const int seconds = static_cast<int>(position / kCdBytesPerSecond);
  link.SetPositionSeconds(seconds);
  if (seconds != r.lastPostedSecond.load(std::memory_order_relaxed) &&
      !r.ringDrained.load(std::memory_order_relaxed)) {
    r.lastPostedSecond.store(seconds, std::memory_order_relaxed);
    if (!link.SeekPending()) link.PostPosition(seconds);
  }
}

// The ring has nothing at the consumer's slot. When the reader has read its whole range the run
// is over; otherwise it is an underrun. The draining flag is published after the last slot, so
// it is read before producerSlot is looked at again.
void RingRanEmpty(int slot, int32_t* offset, int left) {
  CddaRingState& r = cddaRing;
  const bool over = r.draining.load(std::memory_order_acquire) &&
                    r.producerSlot.load(std::memory_order_acquire) == slot;
  if (over) {
    r.ringDrained.store(1, std::memory_order_release);
    soundBlock.cdDataReady.store(0, std::memory_order_seq_cst);
    *offset += left;
  } else {
    r.underrun.store(1, std::memory_order_relaxed);
    *offset = 0;
  }
}

// Copies up to `want` bytes of the stream into out, from *slot at *offset on, walking slots.
// Returns the bytes copied; *ended is set when the ring ran empty first.
int TakeFromRing(uint8_t* out, int want, int32_t* slot, int32_t* offset, bool* ended) {
  CddaRingState& r = cddaRing;
  if (r.producerSlot.load(std::memory_order_acquire) == *slot) {
    *ended = true;
    RingRanEmpty(*slot, offset, want);
    return 0;
  }
  int32_t start = 0, end = 0;
  CddaSlotRange(*slot, &start, &end);
  if (*offset < start) *offset = start;
  if (*offset + want < end) {
    std::memcpy(out, r.data[*slot] + *offset, static_cast<size_t>(want));
    *offset += want;
    return want;
  }
  int copied = 0;
  int left = want;
  for (;;) {
    const int n = std::clamp(end - *offset, 0, left);
    if (n > 0) std::memcpy(out + copied, r.data[*slot] + *offset, static_cast<size_t>(n));
    copied += n;
    left -= n;
    // The slot is played out: it is free for the reader from here on.
    *slot = (*slot + 1) % kRingSlots;
    r.consumerSlot.store(*slot, std::memory_order_seq_cst);
    int32_t mark = *slot;
    if (r.resumeMark.load(std::memory_order_seq_cst) == mark &&
        r.resumeMark.compare_exchange_strong(mark, -1, std::memory_order_seq_cst)) {
      if (!r.slotFreeEvent.Set()) Trace("Setevent 0 failed\n");
    }
    if (r.producerSlot.load(std::memory_order_acquire) == *slot) {
      *ended = true;
      RingRanEmpty(*slot, offset, left);
      return copied;
    }
    CddaSlotRange(*slot, &start, &end);
    *offset = start;
    if (left < end - start) {
      std::memcpy(out + copied, r.data[*slot] + start, static_cast<size_t>(left));
      *offset += left;
      return copied + left;
    }
  }
}

// Hands the sink the packs of the audio delivered up to `position` (bytes) and then the
// position. The packs of a slot's audio are in that slot, or for raw sub-channel data partly
// in the next one; the slot cursor stays within the two slots before the consumer's, which the
// reader leaves alone, and never goes more than one slot beyond it.
void FeedSubcode(CddaSubcodeSink& sink, int32_t run, int32_t startSlot, int32_t slotNow,
                 int64_t position) {
  CddaRingState& r = cddaRing;
  int32_t cursor = r.subcodeSlot.load(std::memory_order_relaxed);
  int64_t next = r.subcodeNext.load(std::memory_order_relaxed);
  if (r.subcodeRun.load(std::memory_order_relaxed) != run) {
    r.subcodeRun.store(run, std::memory_order_relaxed);
    cursor = startSlot;
    next = 0;
  }
  // Slots the cursor may be at: the two before the consumer's, its own and the next.
  auto usable = [&](int32_t slot) {
    const int32_t ahead = (slot - slotNow + kRingSlots) % kRingSlots;
    return ahead <= 1 || ahead >= kRingSlots - 2;
  };
  if (!usable(cursor)) cursor = (slotNow + kRingSlots - 1) % kRingSlots;
  const int64_t packEnd = position / kRingBytesPerPack;
  int32_t trackSector = r.slotTrackSector[slotNow].load(std::memory_order_relaxed);
  while (cursor != r.producerSlot.load(std::memory_order_acquire)) {
    const int32_t sectors = std::clamp(r.slotSubcodeSectors[cursor].load(std::memory_order_relaxed),
                                       0, kRingSubcodeSectors);
    const int64_t first = int64_t{r.slotSubcodeSector[cursor].load(std::memory_order_relaxed)} * 4;
    const int64_t end = first + int64_t{sectors} * 4;
    trackSector = r.slotTrackSector[cursor].load(std::memory_order_relaxed);
    const int64_t from = std::max(first, next), to = std::min(end, packEnd);
    if (to > from) {
      sink.Packs(r.subcode[cursor] + (from - first) * kRingPackBytes, static_cast<int>(to - from),
                 from, trackSector);
      next = to;
    }
    if (sectors > 0 && end > packEnd) break;  // the slot has packs still to come
    const int32_t following = (cursor + 1) % kRingSlots;
    if (!usable(following)) break;
    cursor = following;
  }
  r.subcodeSlot.store(cursor, std::memory_order_relaxed);
  r.subcodeNext.store(next, std::memory_order_relaxed);
  sink.Played(position, trackSector);
}

}  // namespace

void WriteCdDataToFloat1(float* const channels[2], int bytes) {
  CddaRingState& r = cddaRing;
  const int frames = std::max(bytes / 4, 0);
  bytes = frames * 4;

  // Take part in the reader's current run only while it is still being streamed. The run is
  // recorded before cdDataReady is looked at, so a reader that stops a run this consumer never
  // entered can rely on it not entering any more.
  const int32_t run = r.runSerial.load(std::memory_order_seq_cst);
  r.consumerRun.store(run, std::memory_order_seq_cst);
  if (!soundBlock.cdDataReady.load(std::memory_order_seq_cst) ||
      r.runSerial.load(std::memory_order_seq_cst) != run) {
    Silence(channels, 0, frames);
    return;
  }

  CddaPlayerLink& link = Link();
  int32_t slot = r.consumerSlot.load(std::memory_order_relaxed);
  const int32_t startSlot = slot;
  int32_t offset = r.consumerOffset.load(std::memory_order_relaxed);
  const bool slotReady = r.producerSlot.load(std::memory_order_acquire) != slot;

  if (slotReady) ReportPosition(slot, offset, link);
  if (r.ringDrained.load(std::memory_order_acquire)) {
    Silence(channels, 0, frames);
    return;
  }
  if (r.underrun.load(std::memory_order_relaxed)) {
    if (!slotReady) {
      Silence(channels, 0, frames);
      if (r.draining.load(std::memory_order_acquire) &&
          r.producerSlot.load(std::memory_order_acquire) == slot) {
        // The reader finished its range while the ring was empty: the run is over.
        r.ringDrained.store(1, std::memory_order_release);
        soundBlock.cdDataReady.store(0, std::memory_order_seq_cst);
      } else if (r.readError.load(std::memory_order_acquire)) {
        link.ShowReadError();
      }
      return;
    }
    // Data has arrived: go on from the first byte the slot delivers.
    r.underrun.store(0, std::memory_order_relaxed);
    link.TrackLineStale();
    int32_t start = 0, end = 0;
    CddaSlotRange(slot, &start, &end);
    offset = start;
  }

  int done = 0;  // whole frames delivered
  bool ended = false;
  while (done < frames && !ended) {
    alignas(16) uint8_t stage[kStageBytes];
    const int want = std::min((frames - done) * 4, kStageBytes);
    const int got = TakeFromRing(stage, want, &slot, &offset, &ended);
    const int gotFrames = got / 4;
    if (gotFrames > 0)
      ComputeStereo16ToFloat(reinterpret_cast<const int16_t*>(stage), channels[0] + done,
                             channels[1] + done, gotFrames);
    done += gotFrames;
  }
  Silence(channels, done, frames);
  r.consumerOffset.store(offset, std::memory_order_relaxed);
  r.consumerSlot.store(slot, std::memory_order_seq_cst);
  if (CddaSubcodeSink* sink = r.subcodeSink.load(std::memory_order_acquire))
    FeedSubcode(*sink, run, startSlot, slot, CddaStreamBytePosition());
}

int64_t CddaStreamBytePosition() {
  CddaRingState& r = cddaRing;
  const int32_t slot = r.consumerSlot.load(std::memory_order_relaxed);
  if (r.producerSlot.load(std::memory_order_acquire) == slot)
    return r.lastPosition.load(std::memory_order_relaxed);
  return std::max<int64_t>(SlotPosition(slot, r.consumerOffset.load(std::memory_order_relaxed)), 0);
}

void CddaResetConsumer() {
  cddaRing.consumerOffset.store(0, std::memory_order_relaxed);
}

void CddaSetDataReady(bool ready) {
  soundBlock.cdDataReady.store(ready ? 1 : 0, std::memory_order_seq_cst);
}

bool CddaDataReady() {
  return soundBlock.cdDataReady.load(std::memory_order_seq_cst) != 0;
}
