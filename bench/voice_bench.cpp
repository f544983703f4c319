// Cost of the processing block with voice reduction and with each voice-effect preset. One
// iteration is one 4096-frame device block (92.9 ms of sound) with CD music and a microphone;
// x_realtime is seconds of sound per second of CPU.
//
// ProcessSoundBlock/karaoke: karaoke on (crossover order 4, stereo generator on), the voice
// effects bypassed. ProcessSoundBlock/preset:N: karaoke on and preset N running.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "audio/karaoke_stage.h"
#include "audio/sound_block.h"
#include "bench/bench_support.h"
#include "dsp/kernels.h"

namespace {

using bench::kBlockFrames;
using bench::kRate;
using bench::LoopMusicSource;
using bench::musicLoop;
using bench::musicPosition;
using bench::ReportRealtime;

// A voice-like microphone: a 180 Hz tone with harmonics and a slow vibrato, in the left channel.
std::vector<int16_t> VoiceInput(int frames) {
  std::vector<int16_t> in(2 * frames);
  double phase = 0.0;
  for (int i = 0; i < frames; ++i) {
    phase += kTwoPi * 180.0 * (1.0 + 0.02 * std::sin(kTwoPi * 5.0 * i / kRate)) / kRate;
    in[2 * i] = static_cast<int16_t>(8000 * std::sin(phase) + 3000 * std::sin(2 * phase) +
                                     1500 * std::sin(3 * phase));
    in[2 * i + 1] = static_cast<int16_t>(i % 64);
  }
  return in;
}

// Stereo music standing in for the CD: a centre voice over side instruments and a centre bass.

void MakeMusic(int frames) {
  musicLoop.resize(2 * frames);
  for (int i = 0; i < frames; ++i) {
    const double t = i / kRate;
    const double centre = 6000 * std::sin(kTwoPi * 440 * t) + 5000 * std::sin(kTwoPi * 55 * t);
    musicLoop[2 * i] = static_cast<int16_t>(centre + 4000 * std::sin(kTwoPi * 660 * t));
    musicLoop[2 * i + 1] = static_cast<int16_t>(centre + 4000 * std::sin(kTwoPi * 1320 * t));
  }
  musicPosition = 0;
}

// preset 0: effects bypassed.
void VoiceBlockBenchmark(benchmark::State& state, int preset) {
  if (!AllocateSoundBlockBuffers()) {
    state.SkipWithError("no engine buffers");
    return;
  }
  DefaultSoundBlock();
  DefaultKaraokeStage();
  MakeMusic(8 * kBlockFrames);
  soundBlock.musicSource = LoopMusicSource;
  soundBlock.cdLevel = 0.8f;
  soundBlock.karaokeOn = 1;
  if (preset > 0)
    SetVoiceFX_Preset(&soundBlock.voiceFX, preset);
  else
    soundBlock.voiceFX.bypass = 1;
  const std::vector<int16_t> in = VoiceInput(kBlockFrames);
  std::vector<int16_t> out(2 * kBlockFrames);
  WAVEFORMATEX format;
  sndCompleteWaveFormatEx(&format);
  int stereoWasMono = 1;
  for (auto _ : state) {
    ProcessSoundBlock(in.data(), out.data(), kBlockFrames, &format, 1, &stereoWasMono);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  ReportRealtime(state, kBlockFrames);
  FreeSoundBlockBuffers();
  DefaultSoundBlock();
  DefaultKaraokeStage();
}

const struct Registration {
  Registration() {
    benchmark::RegisterBenchmark("ProcessSoundBlock/karaoke", VoiceBlockBenchmark, 0);
    for (int preset = 1; preset <= 8; ++preset) {
      const std::string name = "ProcessSoundBlock/preset:" + std::to_string(preset);
      benchmark::RegisterBenchmark(name.c_str(), VoiceBlockBenchmark, preset);
    }
  }
} registration;

}  // namespace
