// The CD ring: 16 slots of 64 KB through which digital CD audio travels from the CD reader
// thread (the producer, cd/cd_reader) to the audio thread (the consumer, WriteCdDataToFloat1).
//
// Hand-over without a lock: the reader fills the slot at producerSlot, writes its fields, then
// moves producerSlot on (release); the consumer reads slots up to producerSlot (acquire) and
// moves consumerSlot on once a slot is played out. The reader never fills the slot the
// consumer is in nor the one before it. Two events carry the waits: slotFreeEvent (the reader
// may fill another slot) and drainedEvent (the consumer has left the ring of a run).
//
// Runs: every stretch of reading that ends in the ring being played out or stopped is a run,
// numbered by runSerial. The consumer records the run it last entered; the streaming thread's
// stop hand-over records which run it has seen end. The reader waits on those numbers, so a
// run the consumer never took part in never leaves the reader waiting for a hand-over that
// cannot come.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/sync/event.h"

inline constexpr int kRingSlots = 16;
inline constexpr int kRingSlotBytes = 65536;
inline constexpr int kCdBytesPerSecond = 176400;  // 44,100 frames of 4 bytes

// CD+G discs: the R-W sub-channel packs of a slot's sectors travel beside its audio, 96 bytes
// (four 24-byte packs) a sector, up to the 26 sectors of a read and the two before it.
inline constexpr int kRingSubcodeSectors = 28;
inline constexpr int kRingSectorSubcodeBytes = 96;
inline constexpr int kRingPackBytes = 24;
inline constexpr int kRingBytesPerPack = 588;  // audio bytes a pack lasts (300 packs a second)

// Where the consumer hands the packs of the audio it has delivered. The CD side installs it
// (only for discs with CD+G); every call comes on the audio thread and must neither block
// nor allocate.
class CddaSubcodeSink {
 public:
  virtual ~CddaSubcodeSink() = default;
  // `count` packs from pack position `first` (counted like the slots' byte positions, 588
  // bytes a pack) of the track that starts at sector `trackSector`. A pack may come again.
  virtual void Packs(const uint8_t* packs, int count, int64_t first, int32_t trackSector) = 0;
  // The consumer has delivered the track up to byte position `position`.
  virtual void Played(int64_t position, int32_t trackSector) = 0;
};

// What the consumer reports to the CD player. The CD side installs it; every call comes on the
// audio thread and must neither block nor allocate.
class CddaPlayerLink {
 public:
  virtual ~CddaPlayerLink() = default;
  // The running position of the audio being played, in whole seconds into the track.
  virtual void SetPositionSeconds(int /*seconds*/) {}
  // A seek is under way (the position is then not posted).
  virtual bool SeekPending() { return false; }
  // The second changed: the window moves its position slider.
  virtual void PostPosition(int /*seconds*/) {}
  // The ring is empty after a failed read: the title line shows "CD read error".
  virtual void ShowReadError() {}
  // The track line is to be drawn again (it may show an error text).
  virtual void TrackLineStale() {}
};

struct CddaRingState {
  // ---- Slot audio and slot fields (written by the reader before producerSlot moves past) --
  alignas(128) uint8_t data[kRingSlots][kRingSlotBytes] = {};
  // Byte position, within the current track, of the slot's first delivered byte.
  std::atomic<int32_t> slotByteOffset[kRingSlots] = {};
  // Index within the slot of the first byte to deliver (the slot's data pointer).
  std::atomic<int32_t> slotData[kRingSlots] = {};
  // Bytes to deliver from slotData on.
  std::atomic<int32_t> slotLength[kRingSlots] = {};

  // ---- Sub-channel packs (CD+G), written by the reader with the slot fields ----------------
  uint8_t subcode[kRingSlots][kRingSubcodeSectors * kRingSectorSubcodeBytes] = {};
  // Sector, counted from the track's start like slotByteOffset, of the slot's first sector of
  // packs, and how many sectors of packs it holds (0: none).
  std::atomic<int32_t> slotSubcodeSector[kRingSlots] = {};
  std::atomic<int32_t> slotSubcodeSectors[kRingSlots] = {};
  // The track's first sector (a logical block address).
  std::atomic<int32_t> slotTrackSector[kRingSlots] = {};
  std::atomic<CddaSubcodeSink*> subcodeSink{nullptr};
  // Consumer (audio thread) side: the slot whose packs are handed over next, the next pack
  // position to hand over, and the run they belong to.
  std::atomic<int32_t> subcodeSlot{0};
  std::atomic<int64_t> subcodeNext{0};
  std::atomic<int32_t> subcodeRun{-1};

  // ---- Indices and flags ------------------------------------------------------------------
  std::atomic<int32_t> producerSlot{0};  // next slot to fill (reader)
  std::atomic<int32_t> consumerSlot{0};  // next slot to deliver (consumer, or the rip writer)
  std::atomic<int32_t> resumeMark{-1};   // slot at which the consumer wakes the reader
  std::atomic<int32_t> draining{0};      // the reader has read the whole range
  std::atomic<int32_t> readError{0};     // the reader's last read has not completed well

  // ---- Consumer state ---------------------------------------------------------------------
  std::atomic<int32_t> consumerOffset{0};  // next byte to deliver, from the slot's start
  std::atomic<int32_t> underrun{0};        // the ring ran empty while the reader still read
  std::atomic<int32_t> ringDrained{0};     // the run has played out completely
  std::atomic<int32_t> lastPostedSecond{0};
  std::atomic<int32_t> lastPosition{0};  // byte position last reported

  // ---- Runs -------------------------------------------------------------------------------
  std::atomic<int32_t> runSerial{0};     // the reader's current run
  std::atomic<int32_t> consumerRun{-1};  // last run the consumer entered
  std::atomic<int32_t> drainedRun{-1};   // last run whose end the streaming thread handed back

  Event slotFreeEvent{Event::Reset::kManual, true};
  Event drainedEvent{Event::Reset::kAuto, false};

  std::atomic<CddaPlayerLink*> link{nullptr};
};

extern CddaRingState cddaRing;

// Installs what the consumer reports to (nullptr: nothing is reported).
void SetCddaPlayerLink(CddaPlayerLink* link);
// Installs where the consumer hands the sub-channel packs (nullptr: nowhere).
void SetCddaSubcodeSink(CddaSubcodeSink* sink);

// Start index of the bytes to deliver of a slot and their end, kept inside the slot.
inline void CddaSlotRange(int slot, int32_t* start, int32_t* end) {
  int32_t s = cddaRing.slotData[slot].load(std::memory_order_relaxed);
  int32_t n = cddaRing.slotLength[slot].load(std::memory_order_relaxed);
  if (s < 0) s = 0;
  if (s > kRingSlotBytes) s = kRingSlotBytes;
  if (n < 0) n = 0;
  if (n > kRingSlotBytes - s) n = kRingSlotBytes - s;
  *start = s;
  *end = s + n;
}
