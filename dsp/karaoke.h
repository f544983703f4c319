// Karaoke voice reducer: removes what is mixed equally into both channels (the lead vocal)
// above a crossover frequency. Each channel is split into a low and a high band (by default
// order 4: two identical second-order sections at 310 Hz), the high bands are subtracted
// (L - R), and the low bands are kept for the owner to add back (bass replace).
// The crossover is on while lowBand[0].order is not 0; that one field switches both the split
// and the bass replace.
//
// The stage around it (stereo generator, bass replace, resets) belongs to the audio engine's
// processing block; the pan law of its balance control is here too.
#pragma once

#include <cstdint>

#include "dsp/conventions.h"
#include "dsp/iir.h"

struct Karaoke {
  float bassReplaceDB = 0.0f;  // level of the added-back low band
  float voiceReduce = 1.0f;    // stored for the DSP panel; the cancellation is always L - R
  IIR2 lowBand[2];             // crossover low-pass per channel (0 left, 1 right)
  IIR2 highBand[2];            // crossover high-pass per channel
  int32_t useButterworth = 0;  // copied into all four filters
  float bassGain = 1.0f;       // derived: 10^(bassReplaceDB / 20)
  // The current block's low band of each channel: two arrays of kSubBlockFrames floats owned by
  // the record's owner, null until it sets them.
  float* bassBuffer[2] = {nullptr, nullptr};
  int32_t modified = 1;
  double samplingFrequency = kSamplingFrequencyNotSet;
};

// Defaults: low-pass and high-pass at 310 Hz, order 4, Q 0.707106781; bass replace 0 dB.
void DefaultKaraoke(Karaoke* karaoke);
void SetKaraoke_SamplingFrequency(Karaoke* karaoke, double samplingFrequency);
// Stores the flag in the record and the four filters and clears their state; Update follows.
void SetKaraoke_UseButterworth(Karaoke* karaoke, int useButterworth);
// Stores the level and sets bassGain at once.
void SetKaraoke_BassReplaceDB(Karaoke* karaoke, float dB);
// Crossover frequency of all four filters (Q and gain of lowBand[0]), then UpdateKaraoke.
void SetKaraoke_CrossoverFrequency(Karaoke* karaoke, double frequency);
// Crossover order of all four filters: 0 (off), 2, 4 or 16 (limited to 0..16), each updated.
void SetKaraoke_CrossoverOrder(Karaoke* karaoke, int order);
// Designs the four filters afresh (each marked modified) and recomputes bassGain.
void UpdateKaraoke(Karaoke* karaoke);
void ResetKaraoke(Karaoke* karaoke);  // clears the four filters' state
void InitKaraoke(Karaoke* karaoke);

// In place on channels[0] (left) and channels[1] (right), at most kSubBlockFrames samples
// (longer blocks are cut to that, the size of the bass buffers). With the crossover on, each
// channel's low band goes to its bass buffer and the channel keeps its high band. Then
// channels[0] = channels[0] - channels[1]; channels[1] is left for the caller.
void ComputeKaraoke(float* const channels[2], int length, Karaoke* karaoke);

// Constant-power balance: angle = (balance + 1) * pi/4 (as the float 0.7853982);
// gains[0] (left) = cos(angle), gains[1] (right) = sin(angle). Balance -1 gives (1, 0), 0 gives
// (0.7071, 0.7071), +1 gives (0, 1).
void StereoBalanceGains(float balance, float gains[2]);
