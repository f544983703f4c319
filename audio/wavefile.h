// WAV files: the reader and writer of the voice recordings.
//
// One WaveFile record per open file. The writer produces the 44-byte header (RIFF, "fmt " of
// 16 bytes, "data") with both sizes filled in at close; it writes under a temporary name and
// the close puts the file in place only when every write succeeded (a file being replaced, a
// take being played back meanwhile, stays whole until then). The reader accepts any PCM WAVE
// file, skipping unknown chunks, and delivers silence past the end of the data. Counts are
// samples over all channels; bytes = count x nBlockAlign / nChannels.
//
// A record is used by one thread at a time: the window thread opens it before it raises the
// engine's on-flag, then only the audio thread reads, writes and closes it. The open state is
// published through `handle`, so the window thread can poll it while it waits for a close.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/files/output_file.h"

// The 16-byte PCM format exactly as stored in the file.
struct WavePcmFormat {
  uint16_t wFormatTag = 1;
  uint16_t nChannels = 1;
  uint32_t nSamplesPerSec = 44100;
  uint32_t nAvgBytesPerSec = 88200;
  uint16_t nBlockAlign = 2;
  uint16_t wBitsPerSample = 16;
};

inline constexpr uint16_t kWaveFormatPcm = 1;

// Four-character chunk ids as they read in the file ("RIFF" is 'R','I','F','F').
constexpr uint32_t FourCc(const char (&id)[5]) {
  return uint32_t(uint8_t(id[0])) | uint32_t(uint8_t(id[1])) << 8 | uint32_t(uint8_t(id[2])) << 16 |
         uint32_t(uint8_t(id[3])) << 24;
}

struct WaveChunkInfo {
  uint32_t id = 0;
  uint32_t size = 0;       // bytes of chunk data, without the 8-byte header and the pad byte
  uint32_t formType = 0;   // RIFF chunks only
  int64_t dataOffset = 0;  // file position of the chunk's data
  uint32_t flags = 0;      // kChunkDirty: the size must be written at close
};
inline constexpr uint32_t kChunkDirty = 1;

// The buffered-I/O state: the writer copies samples byte by byte into `buffer` and writes it
// out when full; the reader tracks its file position and the end of the data chunk.
struct WaveIoInfo {
  std::unique_ptr<uint8_t[]> buffer;
  size_t next = 0;       // writer: next free byte of buffer
  size_t end = 0;        // writer: size of buffer
  bool dirty = false;    // writer: buffer holds bytes not yet written
  int64_t position = 0;  // reader: file position of the next byte to read
  int64_t dataEnd = 0;   // reader: first byte after the data chunk (bounded by the file size)
  int64_t written = 0;   // writer: sample bytes written to the file so far
};
inline constexpr size_t kWaveIoBufferBytes = 8192;

struct WaveFile {
  std::string path;                 // reader: its own copy; writer: the caller's path
  std::atomic<int32_t> handle{-1};  // file descriptor, -1 when closed; "open" means >= 0
  OutputFile output;                // writer: the file under its temporary name
  bool inPlace = false;             // writer: written under its own name (set before the open)
  WaveChunkInfo riffChunk;
  WaveChunkInfo subChunk;  // "fmt ", then "data"
  WaveIoInfo ioInfo;
  WavePcmFormat format;
  int32_t sampleCount = 0;  // reader: samples in the data; writer: samples written so far
  int32_t pendingSeek = 0;  // reader: byte position to go to before the next read
  // reader: a seek waits for the next read. Kept apart from the position, so that a seek to
  // position 0 (the start of the track) is a seek too.
  bool seekPending = false;
};

// Open state as the window thread sees it (acquire: a closed record is fully released).
inline bool WaveFileIsOpen(const WaveFile& file) {
  return file.handle.load(std::memory_order_acquire) >= 0;
}

// Resets the record: closed, no path, counts 0, PCM mono 44,100 Hz 16-bit. Never call it on
// an open record (the file would stay open unreferenced).
void waveFileInit(WaveFile* file);
// Sets rate, channels and bits and recomputes nBlockAlign and nAvgBytesPerSec.
void waveFileSetFormat(WaveFile* file, uint32_t rate, uint16_t channels, uint16_t bits);

// True if the file is open and positioned at the first byte of its data.
bool waveFileOpenIn(WaveFile* file, const char* path);
bool waveFileCloseIn(WaveFile* file);
// True if the file was created with its header written and the data chunk started. The
// caller has set `format` before.
bool waveFileOpenOut(WaveFile* file, const char* path);
// True if the sizes were written, the file closed and put in place. The file descriptor is
// released in every case; on a failure the file is removed (an earlier file of that name
// stays) and the result is false.
bool waveFileCloseOut(WaveFile* file);
// Closes a writer without putting its file in place (a failed render). True if it was open.
bool waveFileAbandonOut(WaveFile* file);

// Reads count samples into buffer, which holds count x nBlockAlign / nChannels bytes. Returns
// the samples read; what could not be read (past the end of the data) is zero-filled. Returns
// -1 when a pending seek failed.
int32_t wavReadSamples(WaveFile* file, void* buffer, int32_t count);
// Writes count samples; returns the samples written.
int32_t wavWriteSamples(WaveFile* file, const void* data, int32_t count);
// The next read starts at byte bytePosition + 12 of the file; a position that falls inside the
// header (0 included) starts at the first sample.
void waveFileSetPendingSeek(WaveFile* file, int32_t bytePosition);
