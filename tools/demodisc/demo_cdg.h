// The demo disc's CD+G: one song's lyrics drawn as tiles with a small built-in font, each word
// turning from white to yellow at the note it is sung on, and the disc's raw P-W sub-channel
// (demo.sub) that carries it beside the image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DemoLyricLine {
  std::string text;
  std::vector<int64_t> noteSamples;  // sample position (from the track's start) of each note
};

struct DemoCdgSong {
  std::string title, artist;
  std::vector<DemoLyricLine> lines;  // shown two by two
  int64_t totalSamples = 0;
};

// The song's CD+G packs from the track's start (300 a second, a whole number of sectors).
std::vector<uint8_t> DemoSongCdg(const DemoCdgSong& song);

// Raw P-W of every sector of the disc: packs (from sector 0, shorter than the disc or not)
// interleaved into R-W, and the Q channel's position blocks (trackStarts: first sector of each
// track; INDEX 01 of each track is its first sector).
std::vector<uint8_t> DemoDiscSub(const std::vector<uint8_t>& packs,
                                 const std::vector<int32_t>& trackStarts, int32_t discSectors);

// The pack position of a sample position (147 samples a pack).
int64_t PackOfSample(int64_t sample);
