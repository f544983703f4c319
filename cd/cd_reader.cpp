// The CDDA reader: runs over a play range (or a track to rip) in reads of 26 sectors, removes
// read jitter by matching overlapping reads, and hands the slots to the ring consumer or to the
// WAV writer.
#include "cd/cd_reader.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "audio/cdda_consumer.h"
#include "audio/cdda_ring.h"
#include "cd/aspi_drives.h"
#include "cd/cdg_read.h"
#include "cd/cdg_stream.h"
#include "cd/play_state.h"
#include "cd/read_commands.h"
#include "cd/ripper.h"
#include "diagnostics/diagnostics.h"
#include "platform/cd/subcode.h"
#include "settings/settings.h"

CdReaderState cdReader;

namespace {

constexpr int32_t kSector = kRawSectorBytes;  // bytes of audio per sector
constexpr int kSeekPollMs = 10;

std::atomic<CdReaderMessagePump> messagePump{nullptr};
CdStreamHost defaultHost;
std::atomic<CdStreamHost*> installedHost{nullptr};

bool StopRequested() {
  return cdReader.stopReading.load(std::memory_order_seq_cst) != 0;
}

// A stream run also ends when the player asks for a restart (a track change or a seek): the
// restart is what matters, whichever of its flags arrives first.
bool RunMustEnd(int mode) {
  return StopRequested() ||
         (mode == kReaderStream && player.restartPending.load(std::memory_order_seq_cst) != 0);
}

int32_t CurrentSectorSize() {
  int32_t size = cdDrives.sectorSize.load(std::memory_order_acquire);
  // A read of 26 sectors must fit a slot.
  if (size < kSector || size * kSectorsPerRead > kRingSlotBytes) size = kSector;
  return size;
}

void ClearRing() {
  CddaRingState& r = cddaRing;
  for (int slot = 0; slot < kRingSlots; ++slot) {
    std::memset(r.data[slot], 0, kRingSlotBytes);
    r.slotData[slot].store(0, std::memory_order_relaxed);
    r.slotLength[slot].store(0, std::memory_order_relaxed);
  }
}

// A pause ended the run and the player has not been stopped since (a Play pressed right
// after the pause still resumes at the pause point).
bool PausedRun() {
  return cdReader.pauseRequested.load(std::memory_order_acquire) &&
         player.cdState.load(std::memory_order_acquire) != CD_STOP;
}

// Sector address of the slot being played: where a paused disc resumes.
void StorePauseSector() {
  CddaRingState& r = cddaRing;
  const int slot = r.consumerSlot.load(std::memory_order_acquire) % kRingSlots;
  const int32_t sector = r.slotByteOffset[slot].load(std::memory_order_relaxed) / kSector +
                         player.playStartFrame.load(std::memory_order_acquire) - kLeadInFrames;
  player.pauseSector.store(sector, std::memory_order_release);
}

// Playing may begin: the ring holds two slots (or the whole of a shorter range).
void StartStreaming() {
  CdReaderState& c = cdReader;
  cddaRing.draining.store(0, std::memory_order_release);
  c.runStarting = 0;
  CddaSetDataReady(true);
  c.cddaCommandPending.store(0, std::memory_order_release);
  c.resumingFromPause.store(0, std::memory_order_release);
  player.nextPressed.store(0, std::memory_order_release);
  player.previousPressed.store(0, std::memory_order_release);
}

// A new run over an empty ring: the consumer is out of the ring, so its state starts afresh.
int32_t BeginRun(int32_t firstSector) {
  CddaRingState& r = cddaRing;
  r.draining.store(0, std::memory_order_release);
  r.ringDrained.store(0, std::memory_order_release);
  r.underrun.store(0, std::memory_order_relaxed);
  r.consumerOffset.store(0, std::memory_order_relaxed);
  const int slot = r.producerSlot.load(std::memory_order_relaxed);
  r.slotByteOffset[slot].store((firstSector - cdReader.rangeStartFrame + kLeadInFrames) * kSector,
                               std::memory_order_relaxed);
  r.slotData[slot].store(0, std::memory_order_relaxed);
  r.slotLength[slot].store(0, std::memory_order_relaxed);
  return r.runSerial.fetch_add(1, std::memory_order_seq_cst) + 1;
}

// Waits until the consumer has left the ring of this run: the streaming thread has handed the
// run's end back, or the consumer never entered the run and cannot any more (cdDataReady is 0
// and the consumer looks at it after recording its run). Every change that can end the wait
// sets drainedEvent, and the conditions are looked at again after each wake-up.
void WaitForConsumer(int32_t run) {
  CddaRingState& r = cddaRing;
  for (;;) {
    if (r.drainedRun.load(std::memory_order_acquire) == run) return;
    if (r.consumerRun.load(std::memory_order_seq_cst) != run && !CddaDataReady()) return;
    r.drainedEvent.Wait(kInfinite);
  }
}

// The stop path of a run: the manager is told, then the consumer's hand-over is awaited.
void StopRun(void* window, int32_t run, int mode) {
  CddaRingState& r = cddaRing;
  StreamHost().RunStopped(window);
  r.resumeMark.store(-1, std::memory_order_seq_cst);
  cdReader.cddaCommandPending.store(0, std::memory_order_release);
  WaitForConsumer(run);
  // A run the consumer never played: the pause point is where it started.
  if (r.consumerRun.load(std::memory_order_seq_cst) != run && PausedRun()) StorePauseSector();
  // A rip's writer may still be writing its last slot; only a stream's ring is cleared.
  if (cdReader.ringClearPending.exchange(0, std::memory_order_acq_rel) && mode == kReaderStream)
    ClearRing();
}

// The disc is tested after a read that did not complete; a vanished disc stops the player.
void TestForDisc(void* window, int mode) {
  CdDevice* device = player.device.load(std::memory_order_acquire);
  int present = 1;
  if (!device || device->StatusMediaPresent(&present) != 0 || present) return;
  Trace("ReadCD: the disc has gone\n");
  if (mode == kReaderStream && player.cdState.load(std::memory_order_acquire) == CD_PLAY)
    StreamHost().DiscGone(window);
  CdReadDriver(window, kReaderStop);
}

// Jitter correction of slot k (N > 0): finds the previous read's last N sectors in this one
// and delivers from there. A run's slots add up to exactly the run's length: the final read
// delivers what the run still lacks, no more. When that read ended before the run does (the
// drive delivered it early), false is returned and nothing changed, so that the caller reads
// it again; on the last try the missing bytes become silence and count as a miss.
bool CorrectJitter(int k, int32_t readBytes, bool lastTry) {
  CdReaderState& c = cdReader;
  CddaRingState& r = cddaRing;
  JitterStatistics& stats = c.jitter;
  const int32_t overlap = c.jitterSectors * kSector;
  int32_t data = 0;
  int32_t shift = 0;
  bool found = true;
  if (!c.firstBlock) {
    data = overlap;
    const int p = (k + kRingSlots - 1) % kRingSlots;
    const uint8_t* reference = r.data[p] + c.slotTail[p];
    const uint8_t* slot = r.data[k];
    auto matches = [&](int32_t at) {
      return at >= 0 && at + kJitterCompareBytes <= readBytes &&
             std::memcmp(reference, slot + at, kJitterCompareBytes) == 0;
    };
    found = matches(data);
    for (int32_t d = 2; d < overlap - kJitterCompareBytes && !found; d += 2) {
      if (matches(data + d)) {
        shift = d;
        found = true;
      } else if (matches(data - d)) {
        shift = -d;
        found = true;
      }
    }
    data += shift;
  }

  int32_t length;
  bool early = false;
  if (c.lastChunk) {
    const int64_t missing = c.runBytes - c.deliveredBytes;
    early = missing > readBytes - data;
    if (early && !lastTry) return false;
    length = static_cast<int32_t>(std::clamp<int64_t>(missing, 0, kRingSlotBytes - data));
    // What the drive did not deliver plays as silence.
    if (data + length > readBytes)
      std::memset(r.data[k] + readBytes, 0, static_cast<size_t>(data + length - readBytes));
  } else {
    // Deliver up to the start of the overlap with the next read, which moves back by 2N
    // sectors so that its first N sectors are this read's last N.
    c.slotTail[k] = readBytes - overlap;
    length = readBytes - overlap - data;
    c.readPosition.fetch_sub(2 * c.jitterSectors, std::memory_order_relaxed);
  }

  if (c.firstBlock) {
    stats = JitterStatistics{};
  } else {
    r.slotByteOffset[k].fetch_add(overlap, std::memory_order_relaxed);
    if (!found || early) {
      ++stats.missed;
    } else if (shift == 0) {
      ++stats.exact;
    } else if (shift > 0) {
      ++stats.positive;
      stats.largestPositive = std::max(stats.largestPositive, shift);
    } else {
      ++stats.negative;
      stats.largestNegative = std::min(stats.largestNegative, shift);
    }
  }
  c.firstBlock = 0;
  length = std::max(length, 0);
  c.deliveredBytes += length;
  r.slotData[k].store(data, std::memory_order_relaxed);
  r.slotLength[k].store(length, std::memory_order_relaxed);
  return true;
}

// After a completed read of slot k (readBytes of audio in it). readAgain reads the same
// sectors into the slot once more (the final read of a jitter-corrected run).
void PostProcess(int k, int32_t readBytes, int mode, const std::function<void()>& readAgain) {
  CdReaderState& c = cdReader;
  CddaRingState& r = cddaRing;
  c.readDoneEvent.ResetEvent();
  if (StopRequested()) return;
  r.slotFreeEvent.Wait(kInfinite);
  if (!r.slotFreeEvent.ResetEvent()) Trace("Resetevent12 failed\n");
  if (c.jitterSectors > 0) {
    for (int tries = 1; !CorrectJitter(k, readBytes, tries == kFinalReadTries); ++tries)
      readAgain();
  } else {
    c.deliveredBytes += readBytes;
  }

  if (mode == kReaderRip) {
    WriteSlotToFile(k);  // the writer swaps the bytes when the drive needs it
  } else if (cdDrives.swapBytes.load(std::memory_order_acquire)) {
    SwapSampleBytes(r.data[k] + r.slotData[k].load(std::memory_order_relaxed),
                    r.slotLength[k].load(std::memory_order_relaxed));
  }

  const int next = (k + 1) % kRingSlots;
  r.producerSlot.store(next, std::memory_order_seq_cst);
  if (mode != kReaderStream) return;

  const int32_t consumer = r.consumerSlot.load(std::memory_order_seq_cst);
  if (next == (consumer + kRingSlots - 2) % kRingSlots) {
    // The ring is full: the consumer wakes the reader once it has played 8 more slots. If it
    // got there before the mark was set, the reader wakes itself.
    const int32_t mark = (consumer + 8) % kRingSlots;
    r.resumeMark.store(mark, std::memory_order_seq_cst);
    const int32_t now = r.consumerSlot.load(std::memory_order_seq_cst);
    int32_t expected = mark;
    if ((now - consumer + kRingSlots) % kRingSlots >= 8 &&
        r.resumeMark.compare_exchange_strong(expected, -1, std::memory_order_seq_cst))
      r.slotFreeEvent.Set();
  } else if (!r.slotFreeEvent.Set()) {
    Trace("Setevent13 failed\n");
  }
  if (c.runStarting && next == (consumer + 2) % kRingSlots) StartStreaming();
}

void TraceJitterStatistics() {
  const JitterStatistics& s = cdReader.jitter;
  Trace(
      "ReadTrack: jitter N=%d: %d exact, %d later (largest %d), %d earlier (largest %d), "
      "%d missed\n",
      cdReader.jitterSectors, s.exact, s.positive, s.largestPositive, s.negative, s.largestNegative,
      s.missed);
}

// The range of a track to rip: its start up to the next track's (the last track: the disc's
// end).
void TrackRange(int track, int32_t* start, int32_t* end) {
  const int last = player.lastTrack.load(std::memory_order_acquire);
  track = std::clamp(track, 0, kMaxTracks - 1);
  *start = static_cast<int32_t>(player.cdTrack[track].startFrame);
  *end = track < last ? static_cast<int32_t>(player.cdTrack[track + 1].startFrame)
                      : static_cast<int32_t>(player.discLengthFrames) - 1;
}

// Whether the run starting at firstSector reads the R-W sub-channel with its audio: only when
// the track carries CD+G, which the first sectors of the track tell. A run from the track's
// start always looks; one from inside it (a seek, a resumed pause) goes by the last look at
// the same track of the same drive.
void PrepareSubcode(int mode, int32_t firstSector) {
  CdReaderState& c = cdReader;
  c.rawTailCount = 0;
  c.subcodeForm = 0;
  if (mode != kReaderStream) return;
  const int32_t trackSector = c.rangeStartFrame - kLeadInFrames;
  const void* device = player.device.load(std::memory_order_acquire);
  if (firstSector == trackSector || trackSector != c.probedTrackSector ||
      device != c.probedDevice) {
    const RwForm form = SelectedDriveRwForm();
    const int32_t sectors =
        std::clamp(c.readEnd.load(std::memory_order_relaxed) - trackSector, 0, kCdgProbeSectors);
    std::vector<uint8_t> packs;
    std::string error;
    const bool graphics = form != RwForm::kNone && sectors > 0 &&
                          ReadDrivePacks(trackSector, sectors, form, &packs, &error) &&
                          HasCdgPacks(packs.data(), packs.size() / kPackBytes);
    c.probedTrackSector = trackSector;
    c.probedDevice = device;
    c.probedForm = graphics ? static_cast<int32_t>(form) : 0;
  }
  c.subcodeForm = c.probedForm;
  SetCdgStreamTrack(player.currentTrack.load(std::memory_order_acquire), c.subcodeForm != 0);
}

// The sub-channel of a completed read with R-W (block bytes a sector: audio, then 96 bytes)
// into slot k's packs. Raw data is de-interleaved here: the packs of a read's last two sectors
// come with the next read when it continues this one.
void TakeSubcode(int k, int32_t position, int32_t count, const uint8_t* buffer, int32_t block) {
  CdReaderState& c = cdReader;
  CddaRingState& r = cddaRing;
  const int32_t trackSector = c.rangeStartFrame - kLeadInFrames;
  uint8_t* out = r.subcode[k];
  if (c.subcodeForm == static_cast<int32_t>(RwForm::kPacks)) {
    for (int32_t i = 0; i < count; ++i)
      std::memcpy(out + i * kSubcodeBytes, buffer + i * block + kSector, kSubcodeBytes);
    r.slotSubcodeSector[k].store(position - trackSector, std::memory_order_relaxed);
    r.slotSubcodeSectors[k].store(count, std::memory_order_relaxed);
    return;
  }
  uint8_t raw[(kSectorsPerRead + 2) * kSubcodeBytes];
  int32_t runStart = position, n = 0;
  if (c.rawTailCount > 0 && c.rawTailSector + c.rawTailCount == position) {
    runStart = c.rawTailSector;
    n = c.rawTailCount;
    std::memcpy(raw, c.rawTail, static_cast<size_t>(n) * kSubcodeBytes);
  }
  for (int32_t i = 0; i < count; ++i)
    std::memcpy(raw + (n + i) * kSubcodeBytes, buffer + i * block + kSector, kSubcodeBytes);
  n += count;
  const size_t done = RawToPackSectors(raw, static_cast<size_t>(n), out, nullptr);
  r.slotSubcodeSector[k].store(runStart - trackSector, std::memory_order_relaxed);
  r.slotSubcodeSectors[k].store(static_cast<int32_t>(done), std::memory_order_relaxed);
  c.rawTailCount = std::min(n, 2);
  c.rawTailSector = runStart + n - c.rawTailCount;
  std::memcpy(c.rawTail, raw + (n - c.rawTailCount) * kSubcodeBytes,
              static_cast<size_t>(c.rawTailCount) * kSubcodeBytes);
}

}  // namespace

void SetCdReaderMessagePump(CdReaderMessagePump pump) {
  messagePump.store(pump, std::memory_order_release);
}

void SetCdStreamHost(CdStreamHost* host) {
  installedHost.store(host, std::memory_order_release);
}

CdStreamHost& StreamHost() {
  CdStreamHost* host = installedHost.load(std::memory_order_acquire);
  return host ? *host : defaultHost;
}

bool CddaStreamDrained() {
  CddaRingState& r = cddaRing;
  const int32_t run = r.consumerRun.load(std::memory_order_relaxed);
  if (PausedRun() && run == r.runSerial.load(std::memory_order_acquire)) StorePauseSector();
  r.drainedRun.store(run, std::memory_order_release);
  return r.drainedEvent.Set();
}

namespace {

constexpr int kRetrySectors = 1;

// Bytes a sector takes in a read: its audio, then the R-W sub-channel when a CD+G track is read
// with it.
int32_t BlockBytes() {
  return cdReader.subcodeForm != 0 ? kSector + kSubcodeBytes : CurrentSectorSize();
}

// One read command of count sectors at position into buffer. Returns the send status; srb
// holds the read's final status.
int SendRead(int32_t position, int32_t count, uint8_t* buffer, ScsiRequestBlock* srb) {
  CdReaderState& c = cdReader;
  const RwForm form = static_cast<RwForm>(c.subcodeForm);
  *srb = ScsiRequestBlock{};
  srb->command = SC_EXEC_SCSI_CMD;
  srb->adapter = cdDrives.currentAdapter.load(std::memory_order_acquire);
  srb->target = cdDrives.currentTarget.load(std::memory_order_acquire);
  srb->lun = cdDrives.currentLun.load(std::memory_order_acquire);
  srb->flags = SRB_DIR_IN | SRB_EVENT_NOTIFY;
  srb->senseLength = kSenseLength;
  srb->buffer = buffer;
  srb->bufferLength = static_cast<uint32_t>(BlockBytes() * count);
  srb->postEvent = &c.readDoneEvent;
  srb->cdbLength = form != RwForm::kNone
                       ? BuildReadSubchannelCdb(position, count, srb->lun, form, true, srb->cdb)
                       : BuildReadCdb(cdDrives.readMethod.load(std::memory_order_acquire), position,
                                      count, srb->lun, srb->cdb);
  cddaRing.readError.store(1, std::memory_order_release);
  const int sent = SendASPI32Command(srb);
  if (sent != SS_PENDING && sent != SS_COMP) return sent;
  const bool waited = sent == SS_COMP || c.readDoneEvent.Wait(kInfinite) == kWaitObject0;
  if (waited && srb->status == SS_COMP) cddaRing.readError.store(0, std::memory_order_release);
  return sent;
}

// The audio of count sectors at position into buffer, back to back; with a CD+G track the
// sub-channel goes into the packs of ring slot `slot` (none when slot is -1). A read that fails
// is traced and tests for the disc; with retrySectors its sectors are then read one at a time,
// so that only those that fail again are silence. Returns the sectors that are silence, or -1
// when the command could not be sent.
int32_t ReadAudio(void* window, int mode, int32_t position, int32_t count, uint8_t* buffer,
                  int retrySectors, int slot) {
  CdReaderState& c = cdReader;
  const int32_t block = BlockBytes();
  ScsiRequestBlock srb;
  const int sent = SendRead(position, count, buffer, &srb);
  if (sent != SS_PENDING && sent != SS_COMP) {
    Trace("ReadCD: ASPI not complete or pending; returned: %d\n", sent);
    return -1;
  }
  if (srb.status != SS_COMP && c.subcodeForm != 0 && SenseKey(srb) == kSenseKeyIllegalRequest) {
    // The drive gives the sub-channel but not with the audio: the track plays without its
    // graphics, and this read goes again the usual way.
    Trace("ReadCD: the drive does not read audio with the R-W sub-channel; no CD+G\n");
    c.subcodeForm = c.probedForm = 0;
    SetCdgStreamTrack(player.currentTrack.load(std::memory_order_acquire), false);
    return ReadAudio(window, mode, position, count, buffer, retrySectors, slot);
  }
  int32_t failed = 0;
  if (srb.status != SS_COMP) {
    Trace("ReadCD: sectors %d-%d could not be read: status %d, sense key %d, code 0x%02X\n",
          position, position + count - 1, srb.status, SenseKey(srb), SenseCode(srb));
    // What a failed read leaves in the buffer is not audio: it plays as silence.
    std::memset(buffer, 0, static_cast<size_t>(block * count));
    c.rawTailCount = 0;
    TestForDisc(window, mode);
    failed = count;
    if (retrySectors && count > 1 && !StopRequested()) {
      failed = 0;
      for (int32_t i = 0; i < count; ++i) {
        uint8_t* sector = buffer + i * block;
        ScsiRequestBlock one;
        const int again = SendRead(position + i, 1, sector, &one);
        if ((again != SS_PENDING && again != SS_COMP) || one.status != SS_COMP) {
          std::memset(sector, 0, static_cast<size_t>(block));
          ++failed;
        }
      }
      Trace("ReadCD: read one at a time, %d of sectors %d-%d failed\n", failed, position,
            position + count - 1);
    }
    if (failed == count) return failed;
  }
  if (block > kSector) {
    if (c.subcodeForm != 0 && slot >= 0) TakeSubcode(slot, position, count, buffer, block);
    // Blocks with sub-channel bytes: keep the audio of each sector, back to back.
    for (int32_t i = 1; i < count; ++i)
      std::memmove(buffer + i * kSector, buffer + i * block, kSector);
  }
  return failed;
}

}  // namespace

int ReadCD(void* window, int mode) {
  CdReaderState& c = cdReader;
  CddaRingState& r = cddaRing;
  const int32_t position = c.readPosition.load(std::memory_order_relaxed);
  const int32_t count =
      std::min(kSectorsPerRead, c.readEnd.load(std::memory_order_relaxed) - position);
  // The run's final read (shorter than 26 sectors, or exactly the 26 that are left).
  if (position + count >= c.readEnd.load(std::memory_order_relaxed)) c.lastChunk = 1;
  const int k = r.producerSlot.load(std::memory_order_relaxed);
  uint8_t* buffer = r.data[k];

  r.slotByteOffset[k].store((position - c.rangeStartFrame + kLeadInFrames) * kSector,
                            std::memory_order_relaxed);
  r.slotData[k].store(0, std::memory_order_relaxed);
  r.slotLength[k].store(count * kSector, std::memory_order_relaxed);
  r.slotSubcodeSectors[k].store(0, std::memory_order_relaxed);
  r.slotTrackSector[k].store(c.rangeStartFrame - kLeadInFrames, std::memory_order_relaxed);
  c.readPosition.store(position + count, std::memory_order_relaxed);

  const int32_t failed =
      ReadAudio(window, mode, position, count, buffer, mode == kReaderRip ? kRetrySectors : 0, k);
  if (failed < 0) {
    c.unreadableSectors.fetch_add(count, std::memory_order_relaxed);
    return 1;  // the chunk is skipped
  }
  c.unreadableSectors.fetch_add(failed, std::memory_order_relaxed);
  PostProcess(k, count * kSector, mode, [&] {
    // Into a scratch buffer first: a failed read again leaves the slot's audio as it was.
    std::vector<uint8_t> again(static_cast<size_t>(count) * BlockBytes());
    if (ReadAudio(window, mode, position, count, again.data(), 0, -1) == 0)
      std::memcpy(buffer, again.data(), static_cast<size_t>(count) * kSector);
  });
  return 1;
}

void ReadTrack(int trackIndex, void* window, int mode) {
  CdReaderState& c = cdReader;
  CddaRingState& r = cddaRing;
  const bool rip = mode == kReaderRip;
  c.resumingFromPause.store(0, std::memory_order_release);
  c.unreadableSectors.store(0, std::memory_order_relaxed);

  int32_t rangeStart = 0, rangeEnd = 0;
  if (rip) {
    TrackRange(trackIndex, &rangeStart, &rangeEnd);
  } else {
    rangeStart = player.playStartFrame.load(std::memory_order_acquire);
    rangeEnd = player.playEndFrame.load(std::memory_order_acquire);
  }
  int32_t first = rangeStart - kLeadInFrames;
  if (int32_t seek = player.seekFrame.exchange(0, std::memory_order_acq_rel)) {
    first = seek;
  } else if (int32_t pause = player.pauseSector.load(std::memory_order_acquire)) {
    first = pause;
    c.resumingFromPause.store(1, std::memory_order_release);
  }
  c.rangeStartFrame = rangeStart;
  c.readStart.store(first, std::memory_order_relaxed);
  c.readEnd.store(rangeEnd - kLeadInFrames, std::memory_order_relaxed);
  r.producerSlot.store(0, std::memory_order_seq_cst);
  r.consumerSlot.store(0, std::memory_order_seq_cst);

  if (rip && !PrepareWavFile(trackIndex, first, c.readEnd.load(std::memory_order_relaxed))) return;

  c.runStarting = 1;
  r.resumeMark.store(-1, std::memory_order_seq_cst);
  c.jitterSectors =
      std::clamp(rip ? settings.jitterBuffer : c.jitterSetting.load(std::memory_order_acquire), 0,
                 kMaxJitterSectors);
  r.slotFreeEvent.Set();
  r.drainedEvent.ResetEvent();
  c.readDoneEvent.ResetEvent();

  for (;;) {
    PrepareSubcode(mode, first);
    const int32_t run = BeginRun(first);
    c.readPosition.store(first, std::memory_order_relaxed);
    c.runBytes = std::max<int64_t>(c.readEnd.load(std::memory_order_relaxed) - first, 0) * kSector;
    c.deliveredBytes = 0;
    c.firstBlock = 1;
    c.lastChunk = 0;
    bool stopped = false;
    while (c.readPosition.load(std::memory_order_relaxed) <
           c.readEnd.load(std::memory_order_relaxed)) {
      ReadCD(window, mode);
      if (RunMustEnd(mode)) {
        StopRun(window, run, mode);
        stopped = true;
        break;
      }
      if (rip) {
        if (CdReaderMessagePump pump = messagePump.load(std::memory_order_acquire)) pump();
      }
    }
    if (rip) {
      RipReadReport report;
      report.unreadableSectors = c.unreadableSectors.load(std::memory_order_relaxed);
      report.unmatchedReads = c.jitterSectors > 0 ? c.jitter.missed : 0;
      report.stopped = stopped;
      FinishWavFile(report);
      break;
    }
    if (stopped) break;

    // The range is read: what is in the ring plays out (also a range shorter than two slots).
    if (c.runStarting && r.producerSlot.load(std::memory_order_relaxed) !=
                             r.consumerSlot.load(std::memory_order_seq_cst))
      StartStreaming();
    r.draining.store(1, std::memory_order_release);
    WaitForConsumer(run);
    if (RunMustEnd(mode)) {  // stopped while the ring played out
      StopRun(window, run, mode);
      break;
    }
    const int answer = StreamHost().NextRange(window);
    if (answer == 1) {
      rangeStart = player.playStartFrame.load(std::memory_order_acquire);
      first = rangeStart - kLeadInFrames;
      c.rangeStartFrame = rangeStart;
      c.readStart.store(first, std::memory_order_relaxed);
      c.readEnd.store(player.playEndFrame.load(std::memory_order_acquire) - kLeadInFrames,
                      std::memory_order_relaxed);
      c.runStarting = 1;
      continue;
    }
    if (answer == 0) {
      ClearRing();
      r.ringDrained.store(0, std::memory_order_release);
      StreamHost().PlayedOut(window);
    } else {
      Trace("wrong response from SongDoneHandler\n");
    }
    break;
  }
  if (c.jitterSectors > 0) TraceJitterStatistics();
  player.readerIdle.store(1, std::memory_order_release);
  if (rip) CloseWavFile();
}

int CdReadDriver(void* window, int mode) {
  CdReaderState& c = cdReader;
  c.readerMode.store(mode, std::memory_order_release);
  if (mode == kReaderStop || mode == kReaderPause) {
    c.stopReading.store(1, std::memory_order_seq_cst);
    return 0;
  }
  if (mode == kReaderRip) {
    c.stopReading.store(0, std::memory_order_seq_cst);
    player.readerBusy.store(1, std::memory_order_release);
    ReadTrack(player.currentTrack.load(std::memory_order_acquire), window, kReaderRip);
    player.readerBusy.store(0, std::memory_order_release);
    return 0;
  }
  if (mode != kReaderStream) return 0;

  // The stop flag was cleared by CDDA_PLAY before this reader started, so a stop sent in
  // between is not lost.
  player.readerBusy.store(1, std::memory_order_release);
  const auto playing = [&c] {
    return player.cdState.load(std::memory_order_acquire) == CD_PLAY &&
           c.readerThreadRunning.load(std::memory_order_acquire);
  };
  for (;;) {
    ReadTrack(player.currentTrack.load(std::memory_order_acquire), window, kReaderStream);
    // A restart's stop can end the run before the restart itself is asked for: wait for it
    // rather than ending the stream (the window thread is between the two stores).
    while (playing() && player.restartAnnounced.load(std::memory_order_seq_cst) &&
           !player.restartPending.load(std::memory_order_seq_cst)) {
      c.awaitingRestart.store(1, std::memory_order_release);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    c.awaitingRestart.store(0, std::memory_order_release);
    if (!playing() || !player.restartPending.exchange(0, std::memory_order_seq_cst)) break;
    player.restartAnnounced.store(0, std::memory_order_seq_cst);
    // A restart raises the stop before it asks for the restart, so this clears the stop of
    // every restart taken here; a later one leaves restartPending set and ends the next run.
    c.stopReading.store(0, std::memory_order_seq_cst);
    StreamHost().RestartRange(window);
    while (player.seekPending.load(std::memory_order_acquire) &&
           c.readerThreadRunning.load(std::memory_order_acquire))
      std::this_thread::sleep_for(std::chrono::milliseconds(kSeekPollMs));
  }
  player.readerBusy.store(0, std::memory_order_release);
  return 0;
}
