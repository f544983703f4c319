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
