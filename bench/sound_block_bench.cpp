// Cost of the processing block and of its kernels. One iteration of a ProcessSoundBlock
// benchmark is one 4096-frame device block (92.9 ms of sound); one iteration of a kernel
// benchmark (ProcessSoundBlock/kernels/...) is one 256-frame sub-block. x_realtime is seconds
// of sound per second of CPU.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "audio/sound_block.h"
#include "bench/bench_support.h"
#include "dsp/iir.h"
#include "dsp/kernels.h"

namespace {

using bench::kBlockFrames;
using bench::kRate;
using bench::LoopMusicSource;
using bench::musicLoop;
using bench::musicPosition;
using bench::ReportRealtime;


// A microphone with hum and a voice-like tone, interleaved with a quiet right channel.
std::vector<int16_t> MicrophoneInput(int frames) {
  std::vector<int16_t> in(2 * frames);
  for (int i = 0; i < frames; ++i) {
    const double t = i / kRate;
    in[2 * i] = static_cast<int16_t>(3000 * std::sin(kTwoPi * 60 * t) +
                                     9000 * std::sin(kTwoPi * 220 * t) + (i * 7919 % 401) - 200);
    in[2 * i + 1] = static_cast<int16_t>(i % 64);
  }
  return in;
}

void SetUpBlock(bool withCd) {
  AllocateSoundBlockBuffers();
  DefaultSoundBlock();
  InitMicrophoneFilters(kRate);
  SetMicFilterSwitch(kMicHighPass, 1);
  SetMicFilterSwitch(kMicNotch60, 1);
  SetMicFilterSwitch(kMicNotch120, 1);
  // The voice effects have benchmarks of their own (voice_bench.cpp); here they are bypassed.
  soundBlock.voiceFX.bypass.store(1);
  if (withCd) {
    musicLoop = MicrophoneInput(8 * kBlockFrames);
    musicPosition = 0;
    soundBlock.musicSource = LoopMusicSource;
    soundBlock.cdLevel = 0.8f;
  }
}

void BlockBenchmark(benchmark::State& state, KernelVariant variant, bool withCd) {
  if (!SetBlockKernelVariant(variant)) {
    state.SkipWithError("kernel variant not available on this processor");
    return;
  }
  SetUpBlock(withCd);
  const std::vector<int16_t> in = MicrophoneInput(kBlockFrames);
  std::vector<int16_t> out(2 * kBlockFrames);
  WAVEFORMATEX format;
  sndCompleteWaveFormatEx(&format);
  int stereoWasMono = 1;
  for (auto _ : state) {
    ProcessSoundBlock(in.data(), out.data(), kBlockFrames, &format, withCd ? 1 : 0, &stereoWasMono);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  ReportRealtime(state, kBlockFrames);
  FreeSoundBlockBuffers();
  DefaultSoundBlock();
  SelectBlockKernels();
}

// ---- Kernels on one sub-block ------------------------------------------------------------

struct SubBlock {
  std::vector<float> a, b, out;
  std::vector<int16_t> pcm;
  SubBlock()
      : a(kSubBlockFrames), b(kSubBlockFrames), out(kSubBlockFrames), pcm(2 * kSubBlockFrames) {
    for (int i = 0; i < kSubBlockFrames; ++i) {
      a[i] = static_cast<float>(20000 * std::sin(i * 0.01));
      b[i] = static_cast<float>(15000 * std::cos(i * 0.03));
      pcm[2 * i] = static_cast<int16_t>(a[i]);
      pcm[2 * i + 1] = static_cast<int16_t>(b[i]);
    }
  }
};

using KernelBody = void (*)(const BlockKernelTable& table, SubBlock& data);

void KernelBenchmark(benchmark::State& state, KernelVariant variant, KernelBody body) {
  const BlockKernelTable* table = BlockKernelsFor(variant);
  if (!table) {
    state.SkipWithError("kernel variant not available on this processor");
    return;
  }
  SubBlock data;
  for (auto _ : state) {
    body(*table, data);
    benchmark::DoNotOptimize(data.out.data());
    benchmark::DoNotOptimize(data.pcm.data());
    benchmark::ClobberMemory();
  }
  ReportRealtime(state, kSubBlockFrames);
}

void FilterBenchmark(benchmark::State& state, bool notch) {
  SubBlock data;
  IIR1 highPass;
  IIR2 notch60;
  SetIIR1_SamplingFrequency(&highPass, kRate);
  InitIIR1(&highPass);
  SetIIR2(&notch60, 60.0, 40.0, -40.0, kIIR2Peaking);
  SetIIR2_SamplingFrequency(&notch60, kRate);
  InitIIR2(&notch60);
  for (auto _ : state) {
    if (notch)
      ComputeIIR2Section(data.a.data(), data.out.data(), kSubBlockFrames, &notch60);
    else
      ComputeIIR1(data.a.data(), data.out.data(), kSubBlockFrames, &highPass);
    benchmark::DoNotOptimize(data.out.data());
    benchmark::ClobberMemory();
  }
  ReportRealtime(state, kSubBlockFrames);
}

const struct Registration {
  Registration() {
    const KernelVariant best = SelectBlockKernels();
    benchmark::RegisterBenchmark("ProcessSoundBlock/mic", BlockBenchmark, best, false);
    benchmark::RegisterBenchmark("ProcessSoundBlock/mic/plain", BlockBenchmark, kKernelPlain,
                                 false);
    benchmark::RegisterBenchmark("ProcessSoundBlock/mic+cd", BlockBenchmark, best, true);

    const std::pair<const char*, KernelBody> kernels[] = {
        {"ComputeScale",
         [](const BlockKernelTable& t, SubBlock& d) {
           t.scale(d.a.data(), d.out.data(), kSubBlockFrames, 0.7f);
         }},
        {"ComputeAdd",
         [](const BlockKernelTable& t, SubBlock& d) {
           t.add(d.a.data(), d.b.data(), d.out.data(), kSubBlockFrames);
         }},
        {"ComputeWeightedSum",
         [](const BlockKernelTable& t, SubBlock& d) {
           t.weightedSum(d.a.data(), d.b.data(), d.out.data(), kSubBlockFrames, 0.3f, 1.0f);
         }},
        {"ComputePeak",
         [](const BlockKernelTable& t, SubBlock& d) {
           float peak = 1.0f;
           t.peak(d.a.data(), kSubBlockFrames, &peak);
           benchmark::DoNotOptimize(peak);
         }},
        {"ComputeStereo16ToFloat",
         [](const BlockKernelTable& t, SubBlock& d) {
           t.stereo16ToFloat(d.pcm.data(), d.out.data(), d.b.data(), kSubBlockFrames);
         }},
        {"ComputeFloatToStereo16",
         [](const BlockKernelTable& t, SubBlock& d) {
           t.floatToStereo16(d.a.data(), d.b.data(), d.pcm.data(), kSubBlockFrames);
         }},
    };
    for (const auto& [name, body] : kernels)
      for (KernelVariant v : {kKernelPlain, kKernelSse2, kKernelAvx2}) {
        const char* variantName = v == kKernelPlain ? "plain" : v == kKernelSse2 ? "sse2" : "avx2";
        const std::string full =
            std::string("ProcessSoundBlock/kernels/") + name + "/" + variantName;
        benchmark::RegisterBenchmark(full.c_str(), KernelBenchmark, v, body);
      }
    benchmark::RegisterBenchmark("ProcessSoundBlock/kernels/ComputeIIR1", FilterBenchmark, false);
    benchmark::RegisterBenchmark("ProcessSoundBlock/kernels/ComputeIIR2Section", FilterBenchmark,
                                 true);
  }
} registration;

}  // namespace
