// Track ripping: the current track, read digitally by the reader in rip mode, goes into a
// 16-bit stereo 44,100 Hz WAV file named after the track's title in the CD information folder.
// One writer thread per read chunk writes it, in order; the header is written here and fixed
// from the final file size at the end. Everything is reported to the trace only.
#pragma once

#include <cstdint>
#include <string>

inline constexpr int kWavHeaderBytes = 44;

// "<CD information folder><title>.WAV", the title reduced to a name that stays inside the
// folder ("Track N" when nothing is left of it).
std::string RipFilePath(int trackIndex);
// The next rips write to this file instead ("" for the title's file).
void SetRipOutputPath(const std::string& path);

// The 44-byte header of a WAV file holding dataSize bytes of CD audio.
void BuildWavHeader(uint32_t dataSize, uint8_t header[kWavHeaderBytes]);

// Before the first read: names the file, checks the free space of its folder, creates it and
// writes the header for the sectors readStart..readEnd. 1, or 0 when the rip is to end.
int PrepareWavFile(int trackIndex, int32_t readStart, int32_t readEnd);
// Starts the writer thread of a slot (after jitter correction); it frees the slot when done.
void WriteSlotToFile(int slot);
// After the last read: waits for the last write, reports the time taken and fixes the header.
void FinishWavFile();
// Closes the file if it is still open.
void CloseWavFile();

// How the last rip went.
struct RipResult {
  std::string path;
  int64_t fileBytes = 0;
  double seconds = 0.0;         // time from preparing the file to its end
  double realTimeFactor = 0.0;  // seconds of audio ripped per second
  int writeErrors = 0;
};
RipResult LastRipResult();

// Free megabytes under a folder; tests install another probe (nullptr: the real one).
using FreeSpaceProbe = int64_t (*)(const std::string& folder);
void SetFreeSpaceProbe(FreeSpaceProbe probe);
