#include "audio/wavefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>

#include "diagnostics/diagnostics.h"

namespace {

// Error codes of the platform's buffered file I/O, used for the RIFF close messages.
constexpr int kMmioErrCannotWrite = 262;
constexpr int kMmioErrCannotSeek = 263;
constexpr int kMmSysErrInvalParam = 11;

constexpr uint32_t kRiff = FourCc("RIFF");
constexpr uint32_t kWave = FourCc("WAVE");
constexpr uint32_t kFmt = FourCc("fmt ");
constexpr uint32_t kData = FourCc("data");

uint16_t Get16(const uint8_t* p) {
  return uint16_t(p[0] | p[1] << 8);
}
uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void Put16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// Reads up to n bytes at the file position; returns the bytes read (short at the end of the
// file), or -1 on an error.
ssize_t ReadAt(int fd, int64_t position, void* out, size_t n) {
  size_t done = 0;
  while (done < n) {
    ssize_t got = pread(fd, static_cast<uint8_t*>(out) + done, n - done, position + done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += size_t(got);
  }
  return ssize_t(done);
}

// Looks for a chunk with the given id among the chunks in [begin, end) of the file. Chunks are
// word aligned: an odd size is followed by a pad byte.
bool FindChunk(int fd, int64_t begin, int64_t end, uint32_t id, WaveChunkInfo* chunk) {
  int64_t at = begin;
  while (at + 8 <= end) {
    uint8_t header[8];
    if (ReadAt(fd, at, header, 8) != 8) return false;
    uint32_t size = Get32(header + 4);
    if (Get32(header) == id) {
      chunk->id = id;
      chunk->size = size;
      chunk->formType = 0;
      chunk->dataOffset = at + 8;
      chunk->flags = 0;
      return true;
    }
    at += 8 + int64_t(size) + (size & 1);
  }
  return false;
}

// A writer's descriptor belongs to its OutputFile, which the caller commits or abandons.
void CloseDescriptor(WaveFile* file) {
  int fd = file->handle.load(std::memory_order_relaxed);
  file->ioInfo.buffer.reset();
  file->path.clear();
  file->handle.store(-1, std::memory_order_release);
  if (fd >= 0 && !file->output.IsOpen()) close(fd);
}

// Writes the writer's buffer out. False when it could not all be written.
bool FlushBuffer(WaveFile* file, size_t* written) {
  WaveIoInfo& io = file->ioInfo;
  *written = 0;
  if (!io.dirty || io.next == 0) {
    io.dirty = false;
    return true;
  }
  const int64_t before = file->output.Size();
  bool ok = file->output.Write(io.buffer.get(), io.next);
  *written = ok ? io.next : size_t(std::max<int64_t>(file->output.Size() - before, 0));
  io.written += int64_t(*written);
  io.next = 0;
  io.dirty = false;
  return ok;
}

bool WriteSizeAt(WaveFile* file, int64_t position, uint32_t value, int* code) {
  uint8_t bytes[4];
  Put32(bytes, value);
  if (!file->output.WriteAt(position, bytes, 4)) {
    *code = errno == ESPIPE ? kMmioErrCannotSeek : kMmioErrCannotWrite;
    return false;
  }
  return true;
}

}  // namespace

void waveFileInit(WaveFile* file) {
  file->path.clear();
  file->handle.store(-1, std::memory_order_release);
  file->riffChunk = WaveChunkInfo{};
  file->subChunk = WaveChunkInfo{};
  file->ioInfo = WaveIoInfo{};
  file->sampleCount = 0;
  file->pendingSeek = 0;
  file->seekPending = false;
  file->inPlace = false;
  file->format = WavePcmFormat{};
  waveFileSetFormat(file, 44100, 1, 16);
}

void waveFileSetFormat(WaveFile* file, uint32_t rate, uint16_t channels, uint16_t bits) {
  file->format.nSamplesPerSec = rate;
  file->format.nChannels = channels;
  file->format.wBitsPerSample = bits;
  file->format.nBlockAlign = uint16_t(channels * bits / 8);
  file->format.nAvgBytesPerSec = uint32_t(file->format.nBlockAlign) * rate;
}

bool waveFileOpenIn(WaveFile* file, const char* path) {
  file->pendingSeek = 0;
  file->seekPending = false;
  if (path == nullptr) {
    Trace("waveFileOpenIn: path=NULL\n");
    return false;
  }
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  auto fail = [&](const char* message) {
    Trace("%s", message);
    close(fd);
    return false;
  };
  file->path = path;

  struct stat info;
  if (fstat(fd, &info) != 0) return fail("waveFileOpenIn: end-of-file, probably\n");
  const int64_t fileSize = info.st_size;

  // The RIFF chunk: id, size, form type.
  uint8_t riff[12];
  if (ReadAt(fd, 0, riff, 12) != 12) return fail("waveFileOpenIn: end-of-file, probably\n");
  if (Get32(riff) != kRiff || Get32(riff + 8) != kWave) return fail("waveFileOpenIn: BAD_FORMAT\n");
  file->riffChunk = WaveChunkInfo{kRiff, Get32(riff + 4), kWave, 8, 0};
  // The search stays inside the RIFF chunk and inside the file.
  const int64_t riffEnd = std::min<int64_t>(8 + int64_t(file->riffChunk.size), fileSize);

  WaveChunkInfo& fmt = file->subChunk;
  if (!FindChunk(fd, 12, riffEnd, kFmt, &fmt)) return fail("waveFileOpenIn: no 'fmt ' chunk\n");
  if (fmt.size < 16) return fail("waveFileOpenIn: 'fmt ' chunk too small\n");
  uint8_t raw[16];
  if (ReadAt(fd, fmt.dataOffset, raw, 16) != 16)
    return fail("waveFileOpenIn: truncated file, probably\n");
  // Leaving the chunk skips what follows the 16 bytes (the extra-size field of an 18-byte
  // chunk); the chunk must end inside the file.
  if (fmt.dataOffset + int64_t(fmt.size) > fileSize)
    return fail("waveFileOpenIn: 2 truncated file, probably\n");
  WavePcmFormat& f = file->format;
  f.wFormatTag = Get16(raw);
  f.nChannels = Get16(raw + 2);
  f.nSamplesPerSec = Get32(raw + 4);
  f.nAvgBytesPerSec = Get32(raw + 8);
  f.nBlockAlign = Get16(raw + 12);
  f.wBitsPerSample = Get16(raw + 14);
  // A PCM file without channels or block size has no sample size to count with.
  if (f.wFormatTag != kWaveFormatPcm || f.nChannels == 0 || f.nBlockAlign == 0)
    return fail("waveFileOpenIn: bad input file format\n");

  WaveChunkInfo data;
  if (!FindChunk(fd, 12, riffEnd, kData, &data)) return fail("waveFileOpenIn: no 'data' chunk\n");
  file->subChunk = data;

  WaveIoInfo& io = file->ioInfo;
  io = WaveIoInfo{};
  io.position = data.dataOffset;
  io.dataEnd = std::min<int64_t>(data.dataOffset + int64_t(data.size), fileSize);

  int64_t samples = int64_t(data.size) * f.nChannels / f.nBlockAlign;
  file->sampleCount = int32_t(std::min<int64_t>(samples, INT32_MAX));
  file->handle.store(fd, std::memory_order_release);
  return true;
}

bool waveFileCloseIn(WaveFile* file) {
  if (file->handle.load(std::memory_order_relaxed) < 0) return false;
  CloseDescriptor(file);
  return true;
}

bool waveFileOpenOut(WaveFile* file, const char* path) {
  file->pendingSeek = 0;
  file->seekPending = false;
  if (path == nullptr) return false;
  OutputFile& output = file->output;
  if (!output.Create(path, file->inPlace)) return false;
  file->path = path;
  auto fail = [&](const char* message) {
    Trace("%s", message);
    output.Abandon();
    file->path.clear();
    return false;
  };

  // RIFF chunk with form type WAVE; its size is written at close.
  uint8_t header[44];
  std::memcpy(header, "RIFF", 4);
  Put32(header + 4, 0);
  std::memcpy(header + 8, "WAVE", 4);
  if (!output.Write(header, 12)) return fail("waveOpenOutFile: mmioCreateChunk() RIFF error\n");
  file->riffChunk = WaveChunkInfo{kRiff, 0, kWave, 8, kChunkDirty};

  std::memcpy(header + 12, "fmt ", 4);
  Put32(header + 16, 16);
  if (!output.Write(header + 12, 8))
    return fail("waveOpenOutFile: 666 cannot write file, probably\n");
  const WavePcmFormat& f = file->format;
  Put16(header + 20, f.wFormatTag);
  Put16(header + 22, f.nChannels);
  Put32(header + 24, f.nSamplesPerSec);
  Put32(header + 28, f.nAvgBytesPerSec);
  Put16(header + 32, f.nBlockAlign);
  Put16(header + 34, f.wBitsPerSample);
  if (!output.Write(header + 20, 16)) return fail("waveFileOpenOut: short header write\n");

  std::memcpy(header + 36, "data", 4);
  Put32(header + 40, 0);
  if (!output.Write(header + 36, 8))
    return fail("waveFileOpenOut: mmioCreateChunk() 'data' error\n");
  file->subChunk = WaveChunkInfo{kData, 0, 0, 44, kChunkDirty};

  WaveIoInfo& io = file->ioInfo;
  io = WaveIoInfo{};
  io.buffer.reset(new (std::nothrow) uint8_t[kWaveIoBufferBytes]);
  if (!io.buffer) return fail("waveFileOpenOut: mmioGetInfo() error\n");
  io.end = kWaveIoBufferBytes;

  file->sampleCount = 0;
  file->handle.store(output.Descriptor(), std::memory_order_release);
  return true;
}

bool waveFileCloseOut(WaveFile* file) {
  const int fd = file->handle.load(std::memory_order_relaxed);
  if (fd < 0) return false;
  bool ok = true;
  size_t flushed = 0;
  file->ioInfo.dirty = true;
  const bool flushOk = FlushBuffer(file, &flushed);

  // Leaving "data": a pad byte after odd data, then the data size.
  const int64_t dataBytes = file->ioInfo.written;
  int code = 0;
  bool dataOk = flushOk;
  if (dataOk && (dataBytes & 1)) {
    const uint8_t pad = 0;
    dataOk = file->output.Write(&pad, 1);
  }
  if (dataOk) dataOk = WriteSizeAt(file, file->subChunk.dataOffset - 4, uint32_t(dataBytes), &code);
  if (!dataOk) {
    Trace("waveFileCloseOut: mmioAscend() from 'data' chunk error\n");
    ok = false;
  } else {
    // Leaving "RIFF": its size covers everything after its 8-byte header.
    const int64_t riffSize = file->subChunk.dataOffset + dataBytes + (dataBytes & 1) - 8;
    if (!WriteSizeAt(file, 4, uint32_t(riffSize), &code)) {
      if (code == kMmioErrCannotSeek)
        Trace("waveFileCloseOut: mmioAscend() from 'RIFF' chunk error MMIOERR_CANNOTSEEK\n");
      else if (code == kMmioErrCannotWrite)
        Trace("waveFileCloseOut: mmioAscend() from 'RIFF' chunk error MMIOERR_CANNOTWRITE\n");
      else if (code == kMmSysErrInvalParam)
        Trace("waveFileCloseOut: mmioAscend() from 'RIFF' chunk error MMSYSERR_INVALPARAM\n");
      else
        Trace("waveFileCloseOut: mmioAscend() from 'RIFF' chunk error%d\n", code);
      ok = false;
    }
  }
  // The descriptor is released in every case, so a failed close never leaves the record
  // open for ever (the engine would then wait on it and leak it at the next open). A file
  // with a failed write is not put in place.
  CloseDescriptor(file);
  if (ok && !file->output.Commit()) {
    Trace("waveFileCloseOut: %s\n", file->output.Error().c_str());
    ok = false;
  }
  file->output.Abandon();
  return ok;
}

bool waveFileAbandonOut(WaveFile* file) {
  if (file->handle.load(std::memory_order_relaxed) < 0) return false;
  CloseDescriptor(file);
  file->output.Abandon();
  return true;
}

int32_t wavReadSamples(WaveFile* file, void* buffer, int32_t count) {
  const WavePcmFormat& f = file->format;
  if (count <= 0 || f.nChannels == 0) return 0;
  const int64_t bytes = int64_t(count) * f.nBlockAlign / f.nChannels;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  WaveIoInfo& io = file->ioInfo;
  const int fd = file->handle.load(std::memory_order_relaxed);

  if (file->seekPending) {
    // The position counts from the RIFF chunk's data offset plus 4 (byte 12 of the file).
    const int64_t target = file->riffChunk.dataOffset + int64_t(file->pendingSeek) + 4;
    if (fd < 0 || target < 0 || lseek(fd, target, SEEK_SET) != target) return -1;
    file->pendingSeek = 0;
    file->seekPending = false;
    // A position inside the header starts at the first sample: header bytes are no sound.
    io.position = std::max<int64_t>(target, file->subChunk.dataOffset);
  }

  int64_t got = 0;
  if (fd >= 0) {
    // Only bytes of the data chunk are samples; past its end comes silence.
    const int64_t available = std::max<int64_t>(0, io.dataEnd - io.position);
    const int64_t want = std::min(bytes, available);
    ssize_t n = want > 0 ? ReadAt(fd, io.position, out, size_t(want)) : 0;
    if (n < 0) n = 0;
    got = n;
    io.position += got;
  }
  // A count too small for one whole sample (a block smaller than its channels) asks for no
  // bytes at all, and the caller's buffer may then be null.
  if (bytes > got) std::memset(out + got, 0, size_t(bytes - got));
  return int32_t(got * f.nChannels / f.nBlockAlign);
}

int32_t wavWriteSamples(WaveFile* file, const void* data, int32_t count) {
  const WavePcmFormat& f = file->format;
  if (count <= 0 || f.nChannels == 0 || file->handle.load(std::memory_order_relaxed) < 0) return 0;
  const int64_t bytes = int64_t(count) * f.nBlockAlign / f.nChannels;
  const uint8_t* in = static_cast<const uint8_t*>(data);
  WaveIoInfo& io = file->ioInfo;
  for (int64_t i = 0; i < bytes; ++i) {
    io.buffer[io.next++] = in[i];
    io.dirty = true;
    if (io.next == io.end) {
      size_t written = 0;
      if (!FlushBuffer(file, &written)) {
        Trace("wavWriteSamples: mmioAdvance() error: short write %d/%d bytes\n", int(i + 1),
              int(bytes));
        return int32_t((i + 1) * f.nChannels / f.nBlockAlign);
      }
    }
  }
  file->sampleCount += count;
  return count;
}

void waveFileSetPendingSeek(WaveFile* file, int32_t bytePosition) {
  file->pendingSeek = bytePosition;
  file->seekPending = true;
}
