// Track ripping: the current track, read digitally by the reader in rip mode, goes into a
// 16-bit stereo 44,100 Hz WAV file named after the track's title in the CD information folder.
// One writer thread per read chunk writes it, in order; the header is written here and given
// the final sizes at the end. The file is written under a temporary name and put in place only
// when the whole track was read and written (platform/files/output_file.h): a rip with sectors
// that could not be read, a write error or a stop leaves no file that looks complete. Everything
// is reported to the trace and in LastRipResult.
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
// How the reads of a rip went, as the reader saw them.
struct RipReadReport {
  int32_t unreadableSectors = 0;  // silence in the rip's place
  int32_t unmatchedReads = 0;     // overlaps the jitter correction could not match
  bool stopped = false;           // the rip ended before the track's end
};
// After the last read: waits for the last write, reports the time taken, writes the header's
// sizes and puts the file in place when nothing failed.
void FinishWavFile(const RipReadReport& reads);
// Closes the file if it is still open; a file not put in place is removed.
void CloseWavFile();

// How the last rip went.
struct RipResult {
  std::string path;   // the file ripped; empty when the rip did not produce one
  std::string error;  // why not
  int64_t fileBytes = 0;
  double seconds = 0.0;         // time from preparing the file to its end
  double realTimeFactor = 0.0;  // seconds of audio ripped per second
  int writeErrors = 0;
  int32_t unreadableSectors = 0;
  int32_t unmatchedReads = 0;
};
RipResult LastRipResult();

// Free megabytes under a folder; tests install another probe (nullptr: the real one).
using FreeSpaceProbe = int64_t (*)(const std::string& folder);
void SetFreeSpaceProbe(FreeSpaceProbe probe);
