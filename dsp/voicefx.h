// Voice effect chain: turns the microphone into the sung voice heard over the music. The
// record owns one instance of every effect (echo, reverb, resonator bank, oscillators, nested
// all-passes, pitch shifters) and a preset number that selects which of them runs; a variation
// value 0..1 moves one or two parameters of the preset. Every memory is inside the record, so
// switching presets never allocates.
//
// Presets (1-8 are offered by the microphone panel):
//   1 ConcertHall, 2 Shower, 3 SportsArena  reverb; the variation sets the wet level (and, for
//                                            3, lengthens the decay up to 60 s)
//   4 GrandCanyon   damped echo: 0.05 s at half level (0) .. 0.6 s at 0.89, damped at 6 kHz (1)
//   5 HighVoice     pitch up 0..12 semitones (7 at 0.5)
//   6 LowVoice      pitch from 13 semitones down to 1 up (5 down at 0.5)
//   7 Robot         three resonating combs tuned to a major triad (MIDI note 57..96)
//   8 Monster       ring-modulated, pitched down 6..1 semitones with a shifted feedback echo
//   9 ReverbLong (refused), 10 DelayLong, 11 DelayMedium, 12 DelayShort, 13 EchoShort: set
//   parameters only, no output; 14 Double (reversed delay), 15 Crazy, 16 Chorus (modulated
//   delays), 17 PitchShift, 18 and 19 resampled octave up and down, 20 (no output).
//   17's variation is a free pitch shift: 0 an octave down, 0.5 unchanged, 1 an octave up.
//
// Threads: ComputeVoiceFX runs on the audio thread, which owns the record. The window thread
// writes `bypass` directly and asks for every other change with SetVoiceFXParameter (atomic
// values and a pending mask), which ComputeVoiceFX applies before its next sub-block.
// `presetNumber` and `variation` are published for the window thread to read.
#pragma once

#include <atomic>
#include <cstdint>

#include "dsp/conventions.h"
#include "dsp/delay.h"
#include "dsp/oscillator.h"
#include "dsp/pitchshift.h"
#include "dsp/reverb.h"

inline constexpr int kVoiceFXPresets = 20;
inline constexpr int kVoiceFXOscillators = 6;
inline constexpr int kVoiceFXBankRows = 3;

// Changes the window thread asks for; each is applied as the DSP panel's control does.
enum VoiceFXParameter : int32_t {
  kVoiceFXPreset = 0,         // SetVoiceFX_Preset
  kVoiceFXVariation,          // SetVoiceFX_Variation
  kVoiceFXGain,               // fxGain ("Fx Level")
  kVoiceFXMixPercent,         // SetVoiceFX_MixPercent, then UpdateReverb
  kVoiceFXEchoDelay,          // delayTime of both echo records
  kVoiceFXEchoFeedback,       // echo[0].feedback = v, echo[1].feedback = -v
  kVoiceFXReverbDecay,        // SetReverb_DecayTime
  kVoiceFXReverbDamping,      // SetReverb_DampingFrequency
  kVoiceFXReverbHiFrequency,  // the reverb input filter's frequency
  kVoiceFXBankDelay,          // delayTime of both records of the first bank row
  kVoiceFXBankFeedback,       // SetVoiceFX_BankFeedback
  kVoiceFXMidiNote,           // SetVoiceFX_MidiNote (rounded)
  kVoiceFXBankDecay,          // SetVoiceFX_BankDecay
  kVoiceFXParameterCount
};

struct VoiceFX {
  float dry = 0.0f;
  float fxGain = 1.0f;  // effect output level
  float mixPercent = 100.0f;
  std::atomic<int32_t> bypass{0};        // effects off: silence
  std::atomic<int32_t> presetNumber{1};  // 1..20
  std::atomic<float> variation{0.5f};    // 0..1
  IIIR echo[2];
  Reverb reverb;
  int32_t midiNote = 68;
  float resonatorDecay = 0.5f;
  int32_t bankCount = 1;        // active rows of bank (1..3)
  int32_t oscillatorCount = 1;  // oscillators Update refreshes (1..6)
  Oscillator oscillators[kVoiceFXOscillators];
  IIIR bank[kVoiceFXBankRows][2];
  IIIRNested nested[2];
  PitchShift pitch[2];
  alignas(128) float temp[2][kSubBlockFrames] = {};
  alignas(128) float temp2[2][kSubBlockFrames] = {};
  alignas(128) float modulation[2][kSubBlockFrames] = {};
  int32_t modified = 1;
  double samplingFrequency = kSamplingFrequencyNotSet;
  // Changes asked for by the window thread: latest values and the mask not yet applied.
  std::atomic<float> requested[kVoiceFXParameterCount] = {};
  std::atomic<int32_t> pendingParameters{0};
};

// "ConcertHall" .. "PitchShift"; "" for 18..20; "Bogus" for other numbers.
const char* VoiceFXPresetName(int preset);
// The presets that add to the dry voice the listener hears beside them (1-4, the reverbs and
// the echo); the others replace it.
bool VoiceFXPresetKeepsDryVoice(int preset);

void DefaultVoiceFX(VoiceFX* fx);
void SetVoiceFX_SamplingFrequency(VoiceFX* fx, double samplingFrequency);
// Chooses a preset: its settings, every effect memory cleared, variation 0.5. A number outside
// 1..20, or 9, prints "SetVoiceFX_Preset: bogus presetNumber=%d\n" and keeps the preset (with
// bankCount 1 and variation 0.5).
void SetVoiceFX_Preset(VoiceFX* fx, int preset);
// Moves the current preset's parameters by v (limited to 0..1), then Update where the preset
// has something to update.
void SetVoiceFX_Variation(VoiceFX* fx, float variation);
// p limited to 0..100: dry = (100 - p) / 100, fxGain = p / 100; the same for the reverb's dry
// and wet on presets 1-3.
void SetVoiceFX_MixPercent(VoiceFX* fx, float percent);
// The bank rows resonate on note, note + 4 and note + 7.
void SetVoiceFX_MidiNote(VoiceFX* fx, int note);
// Feedback of the active rows for a decay in seconds; the right channel's is negated.
void SetVoiceFX_BankDecay(VoiceFX* fx, float seconds);
// Feedback of the active rows: value on the left, -value on the right.
void SetVoiceFX_BankFeedback(VoiceFX* fx, float value);
void UpdateVoiceFX(VoiceFX* fx);
void ResetVoiceFX(VoiceFX* fx);
void InitVoiceFX(VoiceFX* fx);

// Any thread (the window thread): asks for a change, applied before the next sub-block. A
// bogus preset number is reported here, with SetVoiceFX_Preset's message, and not passed on; a
// value that is not a number is ignored.
void SetVoiceFXParameter(VoiceFX* fx, VoiceFXParameter which, float value);
// The audio thread's side: applies the pending changes in parameter order (ComputeVoiceFX does
// this itself).
void ApplyVoiceFXRequests(VoiceFX* fx);

// in[0] is the microphone, in[1] the input's other channel; out receives the stereo effect
// output. Returns 1 when out holds output to mix (silence in bypass), 0 when the preset
// produces nothing (out untouched). Any length: the work is done in sub-blocks.
int ComputeVoiceFX(float* const in[2], float* const out[2], int length, VoiceFX* fx);
