// Shared pieces of the end-to-end playback tests: disc samples as the image holds them, what
// the engine makes of them without vocal reduction, and WAV files read back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The disc's interleaved 16-bit samples from sector `first` for `sectors` sectors.
std::vector<int16_t> DiscSamples(int first, int sectors);
// What the speakers get for music samples with karaoke off: each sample times the music gain
// (1.0 at CD level 7) and the centre balance gain, rounded by the output rule.
std::vector<int16_t> WithMusicGains(const std::vector<int16_t>& samples);
// The interleaved samples of a 16-bit stereo WAV file (empty when it cannot be read).
std::vector<int16_t> ReadStereoWav(const std::string& path);
// Writes a 16-bit stereo 44,100 Hz WAV file.
void WriteStereoWav(const std::string& path, const std::vector<int16_t>& samples);
