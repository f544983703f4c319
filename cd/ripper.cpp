#include "cd/ripper.h"

#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "audio/cdda_ring.h"
#include "cd/aspi_drives.h"
#include "cd/disk_space.h"
#include "cd/read_commands.h"
#include "cdinfo/info_file.h"
#include "cdinfo/text_util.h"
#include "diagnostics/diagnostics.h"
#include "platform/files/output_file.h"
#include "settings/settings.h"

namespace {

using Clock = std::chrono::steady_clock;

// The rip under way. The reader's thread owns it; a writer thread touches only the file (to
// write) and writeErrors, and is joined before the reader touches the file again.
struct RipState {
  OutputFile file;
  std::string path;
  std::string outputOverride;
  uint32_t dataSize = 0;
  Clock::time_point started;
  pthread_t writer{};
  bool writerStarted = false;
  std::atomic<int32_t> writeErrors{0};
  std::mutex resultLock;
  RipResult last;
  std::atomic<FreeSpaceProbe> probe{nullptr};
};
RipState rip;

void PutLittleEndian(uint8_t* out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Writes one slot's delivered bytes, then frees the slot for the reader.
void WriteSlot(int slot) {
  CddaRingState& r = cddaRing;
  int32_t start = 0, end = 0;
  CddaSlotRange(slot, &start, &end);
  uint8_t* data = r.data[slot] + start;
  const int32_t length = end - start;
  if (cdDrives.swapBytes.load(std::memory_order_acquire)) {
    Trace("swapping bytes");
    SwapSampleBytes(data, length);
  }
  const int64_t before = rip.file.Size();
  if (!rip.file.Write(data, static_cast<size_t>(length))) {
    const int error = errno;
    rip.writeErrors.fetch_add(1, std::memory_order_relaxed);
    Trace("writeproc error here\n");
    Trace("Write failed written:%d  wanted: %d Status %d\n",
          static_cast<int>(rip.file.Size() - before), static_cast<int>(length), error);
  }
  r.consumerSlot.store((slot + 1) % kRingSlots, std::memory_order_release);
  if (!r.slotFreeEvent.Set()) Trace("Setevent3 failed\n");
}

void* WriterThread(void* slot) {
  WriteSlot(static_cast<int>(reinterpret_cast<intptr_t>(slot)));
  return nullptr;
}

void JoinWriter() {
  if (!rip.writerStarted) return;
  pthread_join(rip.writer, nullptr);
  rip.writerStarted = false;
}

std::string FolderOf(const std::string& path) {
  std::filesystem::path folder = std::filesystem::path(path).parent_path();
  return folder.empty() ? std::string(".") : folder.string();
}

// A name made of dots and blanks only would be hidden or empty.
bool IsUsableName(const std::string& name) {
  return name.find_first_not_of(". ") != std::string::npos;
}

// Why a rip whose reads went as reported is not kept, "" when it is.
std::string RipProblem(const RipReadReport& reads, int64_t audioBytes) {
  if (rip.file.Failed()) return rip.file.Error();
  if (reads.unreadableSectors > 0)
    return std::to_string(reads.unreadableSectors) + " sectors could not be read";
  if (reads.stopped) return "the rip was stopped before the track's end";
  if (audioBytes != rip.dataSize) return "the rip is not the track's length";
  return "";
}

void NoteRipFailure(const std::string& error) {
  Trace("The rip of %s is not kept: %s\n", rip.path.c_str(), error.c_str());
  std::lock_guard<std::mutex> guard(rip.resultLock);
  rip.last.error = error;
}

}  // namespace

std::string RipFilePath(int trackIndex) {
  std::string title;
  if (trackIndex >= 0 && trackIndex < kMaxTitleTracks) {
    std::lock_guard<std::mutex> guard(cdInfo.lock);
    title = cdTitles.tracks[trackIndex].title;
  }
  // No folder separators, NUL or other reserved characters survive: the file stays in the
  // CD information folder whatever the title says.
  std::string name = cdinfo::FileNamePart(title, kFileNameTitleBytes);
  if (!IsUsableName(name)) name = "Track " + std::to_string(trackIndex + 1);
  std::string folder = settings.databasePath;
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder + name + ".WAV";
}

void SetRipOutputPath(const std::string& path) {
  rip.outputOverride = path;
}

void SetFreeSpaceProbe(FreeSpaceProbe probe) {
  rip.probe.store(probe, std::memory_order_release);
}

void BuildWavHeader(uint32_t dataSize, uint8_t header[kWavHeaderBytes]) {
  std::memcpy(header, "RIFF", 4);
  PutLittleEndian(header + 4, dataSize + 36, 4);
  std::memcpy(header + 8, "WAVE", 4);
  std::memcpy(header + 12, "fmt ", 4);
  PutLittleEndian(header + 16, 16, 4);      // format chunk size
  PutLittleEndian(header + 20, 1, 2);       // PCM
  PutLittleEndian(header + 22, 2, 2);       // channels
  PutLittleEndian(header + 24, 44100, 4);   // sample rate
  PutLittleEndian(header + 28, 176400, 4);  // byte rate
  PutLittleEndian(header + 32, 4, 2);       // block align
  PutLittleEndian(header + 34, 16, 2);      // bits per sample
  std::memcpy(header + 36, "data", 4);
  PutLittleEndian(header + 40, dataSize, 4);
}

int PrepareWavFile(int trackIndex, int32_t readStart, int32_t readEnd) {
  CloseWavFile();
  {
    std::lock_guard<std::mutex> guard(rip.resultLock);
    rip.last = RipResult{};
  }
  rip.started = Clock::now();
  rip.writeErrors.store(0, std::memory_order_relaxed);
  const int64_t sectors = std::max<int64_t>(static_cast<int64_t>(readEnd) - readStart, 0);
  const int64_t dataSize = sectors * kRawSectorBytes;
  rip.dataSize = static_cast<uint32_t>(std::min<int64_t>(dataSize, UINT32_MAX - 36));
  rip.path = rip.outputOverride.empty() ? RipFilePath(trackIndex) : rip.outputOverride;

  // A folder that is not there has no free space to speak of: say what is wrong.
  const std::string folder = FolderOf(rip.path);
  if (std::string problem = FolderProblem(folder); !problem.empty()) {
    Trace("Can't open file %s\n", rip.path.c_str());
    NoteRipFailure(problem);
    return 0;
  }
  const int64_t estimate = (dataSize + kWavHeaderBytes) >> 20;
  FreeSpaceProbe probe = rip.probe.load(std::memory_order_acquire);
  const int64_t freeSpace = probe ? probe(folder) : GetFreeDiskMegabytes(folder);
  Trace("file length in Mbytes =%d\n", static_cast<int>(estimate));
  Trace("free disk space in Mbytes = %d\n", static_cast<int>(freeSpace));
  if (freeSpace < estimate) {
    Trace(
        "Not enough space to write file!\r free: %lu\r Estimated size: %lu\r Samplelength: "
        "%lu\r end: %lu\r start: %lu\n",
        static_cast<unsigned long>(freeSpace), static_cast<unsigned long>(estimate),
        static_cast<unsigned long>(dataSize), static_cast<unsigned long>(readEnd),
        static_cast<unsigned long>(readStart));
    NoteRipFailure("not enough space in " + folder + ": " + std::to_string(freeSpace) +
                   " MB free, " + std::to_string(estimate) + " MB needed");
    return 0;
  }
  if (!rip.file.Create(rip.path)) {
    Trace("Can't open file %s\n", rip.path.c_str());
    NoteRipFailure(rip.file.Error());
    return 0;
  }
  // The sizes stay 0 until the rip is complete: a file cut short never claims the whole track.
  uint8_t header[kWavHeaderBytes];
  BuildWavHeader(0, header);
  if (!rip.file.Write(header, sizeof header)) {
    Trace("Write failed written:%d  wanted: %d Status %d\n", 0, kWavHeaderBytes, errno);
    rip.writeErrors.fetch_add(1, std::memory_order_relaxed);
  }
  return 1;
}

void WriteSlotToFile(int slot) {
  // Writes happen one at a time: the reader waits for the slot to be freed before the next
  // read is handed on, so the previous writer has finished or is finishing.
  JoinWriter();
  if (pthread_create(&rip.writer, nullptr, WriterThread,
                     reinterpret_cast<void*>(static_cast<intptr_t>(slot))) == 0) {
    rip.writerStarted = true;
    return;
  }
  WriteSlot(slot);  // no thread: write on the reader's thread
}

void FinishWavFile(const RipReadReport& reads) {
  CddaRingState& r = cddaRing;
  r.slotFreeEvent.Wait(kInfinite);
  r.slotFreeEvent.ResetEvent();
  JoinWriter();
  if (!rip.file.IsOpen()) return;

  const double seconds = std::chrono::duration<double>(Clock::now() - rip.started).count();
  const int whole = static_cast<int>(seconds);
  Trace("it took %2d:%02d to rip the file\n", whole / 60, whole % 60);
  const int64_t fileBytes = std::max<int64_t>(rip.file.Size(), 0);
  const int64_t audioBytes = std::max<int64_t>(fileBytes - kWavHeaderBytes, 0);
  const double factor =
      seconds > 0.0 ? static_cast<double>(audioBytes) / kCdBytesPerSecond / seconds : 0.0;
  Trace("%3.1f X\n", factor);

  // The header names the data actually written.
  uint8_t sizes[4];
  PutLittleEndian(sizes, static_cast<uint32_t>(std::max<int64_t>(fileBytes - 8, 0)), 4);
  rip.file.WriteAt(4, sizes, 4);
  PutLittleEndian(sizes, static_cast<uint32_t>(audioBytes), 4);
  rip.file.WriteAt(40, sizes, 4);

  if (reads.unmatchedReads > 0)
    Trace("FinishWavFile: %d reads of %s could not be matched to the one before\n",
          reads.unmatchedReads, rip.path.c_str());
  std::string problem = RipProblem(reads, audioBytes);
  if (problem.empty() && !rip.file.Commit()) problem = rip.file.Error();
  {
    std::lock_guard<std::mutex> guard(rip.resultLock);
    rip.last.path = problem.empty() ? rip.path : std::string();
    rip.last.fileBytes = fileBytes;
    rip.last.seconds = seconds;
    rip.last.realTimeFactor = factor;
    rip.last.writeErrors = rip.writeErrors.load(std::memory_order_relaxed);
    rip.last.unreadableSectors = reads.unreadableSectors;
    rip.last.unmatchedReads = reads.unmatchedReads;
  }
  if (!problem.empty()) NoteRipFailure(problem);
  CloseWavFile();
}

void CloseWavFile() {
  JoinWriter();
  rip.file.Abandon();
}

RipResult LastRipResult() {
  std::lock_guard<std::mutex> guard(rip.resultLock);
  return rip.last;
}
