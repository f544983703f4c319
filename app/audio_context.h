// The engine's audio context as start-up sets it up: the processing block's records (the
// microphone clean-up filters, the voice effects, the engine flags) and the karaoke stage's
// (the voice reducer, the stereo comb and its delay), with the parameter ranges the panels'
// controls map onto.
#pragma once

#include "audio/karaoke_stage.h"
#include "audio/sound_block.h"

enum AudioParameter : int {
  kParamCrossoverFrequency = 0,  // "LowPass Fc(Hz)"
  kParamBassReplaceDB,
  kParamFxLevel,
  kParamVariation,  // the microphone panel's slider
  kParamFxMixPercent,
  kParamStereoBalance,
  kParamVoiceReduce,
  kParamAmbienceDelay,
  kParamFeedback,  // ambience and 2nd FX
  kParamReverbDecay,
  kParamReverbDamping,
  kParamReverbInputFilter,  // "HiFrequency"
  kParam2ndFxDecay,
  kParam2ndFxDelay,
  kParamStereoGeneratorFrequency,
  kParamStereoGeneratorBands,
  kParamMidiNote,
  kAudioParameterCount
};

struct ParameterRange {
  float minimum;
  float maximum;
};

struct AudioContext {
  SoundBlockState* block = nullptr;
  KaraokeStageState* karaoke = nullptr;
  ParameterRange ranges[kAudioParameterCount] = {};
  int initialised = 0;  // InitAudioContext ran and FreeAudioContextBuffers has not
};

extern AudioContext audioContext;

// Every processor to its defaults and the engine flags to the start-up values (high-pass and
// 60 Hz notch on, 120 Hz notch off, balance 0, stereo generator on with a 3-tap comb 750
// samples apart, no previous gain), the ranges filled; then *doneFlag = 1.
void DefaultAudioContext(AudioContext* context, int* doneFlag);
// Designs the hum notches, sets 44,100 Hz on every processor, applies the stored preset again
// and initialises everything; the balance gains follow the balance.
void InitAudioContext(AudioContext* context);
// Releases what the context holds for the processors at shutdown. The records keep their
// memory inline and the engine frees its own buffers when it closes, so this only marks the
// context as taken down; InitAudioContext brings it back.
void FreeAudioContextBuffers();

// A control position 0..100 and a parameter value, both ways:
// value = min + (max - min) * p / 100; p = int(0.5 + (value - min) / (max - min) * 100).
float ParameterFromPosition(const ParameterRange& range, int position);
int PositionFromParameter(const ParameterRange& range, float value);
