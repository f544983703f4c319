#include "tests/playback/playback_support.h"

#include "audio/wavefile.h"
#include "dsp/karaoke.h"
#include "dsp/kernels.h"
#include "tests/cd/disc_image.h"

std::vector<int16_t> DiscSamples(int first, int sectors) {
  std::vector<int16_t> samples(static_cast<size_t>(sectors) * 1176);
  const int64_t base = static_cast<int64_t>(first) * 2352;
  for (size_t i = 0; i < samples.size(); ++i) {
    const int64_t b = base + 2 * static_cast<int64_t>(i);
    samples[i] = static_cast<int16_t>(PatternByte(b) | PatternByte(b + 1) << 8);
  }
  return samples;
}

std::vector<int16_t> WithMusicGains(const std::vector<int16_t>& samples) {
  float gains[2];
  StereoBalanceGains(0.0f, gains);
  const size_t frames = samples.size() / 2;
  std::vector<float> left(frames), right(frames);
  for (size_t i = 0; i < frames; ++i) {
    left[i] = static_cast<float>(samples[2 * i]) * (1.0f * gains[0]);
    right[i] = static_cast<float>(samples[2 * i + 1]) * (1.0f * gains[1]);
  }
  std::vector<int16_t> out(samples.size());
  ComputeFloatToStereo16(left.data(), right.data(), out.data(), static_cast<int>(frames));
  return out;
}

std::vector<int16_t> ReadStereoWav(const std::string& path) {
  WaveFile file;
  waveFileInit(&file);
  if (!waveFileOpenIn(&file, path.c_str())) return {};
  std::vector<int16_t> samples(static_cast<size_t>(file.sampleCount));
  const int32_t got = wavReadSamples(&file, samples.data(), file.sampleCount);
  waveFileCloseIn(&file);
  samples.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return samples;
}

void WriteStereoWav(const std::string& path, const std::vector<int16_t>& samples) {
  WaveFile file;
  waveFileInit(&file);
  waveFileSetFormat(&file, 44100, 2, 16);
  waveFileOpenOut(&file, path.c_str());
  wavWriteSamples(&file, samples.data(), static_cast<int32_t>(samples.size()));
  waveFileCloseOut(&file);
}
