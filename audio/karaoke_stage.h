// The karaoke stage of the processing block: voice reduction of the CD's music, run on every
// CD sub-block while karaoke is on. In order: the crossover and difference signal M = L - R
// (dsp/karaoke.h), the stereo generator, and bass replace.
//
// Stereo generator: a three-tap comb K of M (the stereo comb's FIR coefficients h0, h1, taps
// `bands` samples apart) gives the left channel and its complement D - K (D = M delayed to the
// comb's middle tap) the right, both scaled by sqrt 2. Whenever it starts from mono operation
// (karaoke off, generator off, start-up) it restarts: the comb's span becomes 2000 samples
// until the next FIR update, and the stage's memories are cleared. With the generator off,
// both channels carry M.
//
// Threads: the stage's records belong to the audio thread. The window thread changes
// parameters with SetKaraokeParameter (atomic values and a pending mask); the stage applies
// them at its next sub-block. The switch itself is soundBlock.stereoGeneratorOn.
#pragma once

#include <atomic>
#include <cstdint>

#include "dsp/conventions.h"
#include "dsp/delay.h"
#include "dsp/karaoke.h"

enum KaraokeParameter : int32_t {
  kKaraokeCrossoverFrequency = 0,  // Hz, all four crossover filters
  kKaraokeCrossoverOrder,          // 0 (off), 2, 4 or 16
  kKaraokeUseButterworth,          // 0 or 1 ("Hard Knee")
  kKaraokeBassReplaceDB,           // dB
  kKaraokeVoiceReduce,             // stored only
  kStereoGeneratorFrequency,       // Hz, the comb's FIR design
  kStereoGeneratorBands,           // tap spacing in samples
  kStereoGeneratorOrder,           // FIR taps (3, 5, 7, 11, 21, 31)
  kKaraokeParameterCount
};

// The comb span a restart from mono uses.
inline constexpr int kStereoRestartSpan = 2000;
// 1.4142135f, the float nearest sqrt 2.
inline constexpr float kStereoGeneratorScale = 1.4142135f;

struct KaraokeStageState {
  Karaoke karaoke;
  IIIR stereoComb;   // memory, indices and FIR of the three-tap comb
  IIIR stereoDelay;  // plain delay to the comb's middle tap
  alignas(128) float bassBuffers[2][kSubBlockFrames] = {};
  // Latest requested values (the defaults until changed) and the mask of those not yet applied.
  std::atomic<float> parameters[kKaraokeParameterCount] = {};
  std::atomic<int32_t> pendingParameters{0};
};

extern KaraokeStageState karaokeStage;

// Every record of the stage to its defaults for 44,100 Hz and initialised: crossover 310 Hz,
// order 4, bass replace 0 dB, stereo comb 3 taps 750 samples apart (low-pass design at
// 11,025 Hz, Hamming), no pending change. karaokeStage starts in this state. Not while blocks
// run.
void DefaultKaraokeStage();
// Sets the sampling frequency on the stage's records and initialises them (start-up).
void InitKaraokeStage(double samplingFrequency);

// Any thread: requests a parameter change, applied at the stage's next sub-block. A value that
// is not a number is ignored; others are limited to what the records can hold.
void SetKaraokeParameter(KaraokeParameter which, float value);
// The latest requested value (the default until one is set).
float KaraokeParameterValue(KaraokeParameter which);

// Clears the reducer's and the stereo generator's memories (first CD block of a run).
void ResetKaraokeStage();

// Runs the stage in place on music[0..1] (at most kSubBlockFrames frames; longer blocks are cut
// to it) with scratch as a free array of as many floats. *stereoWasMono is the calling thread's
// flag: set when the stage produced mono, cleared after a stereo-generator block.
void RunKaraokeStage(float* const music[2], float* scratch, int length, int* stereoWasMono);
