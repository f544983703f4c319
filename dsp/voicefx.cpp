#include "dsp/voicefx.h"

#include <algorithm>
#include <cmath>

#include "diagnostics/diagnostics.h"
#include "dsp/kernels.h"

namespace {

constexpr float kPitchWindow = 0.105f;  // the pitch shifters' own window
constexpr float kPitchShiftPresetWindow = 0.1f;
constexpr float kReverbCombDelay = 0.05f;
constexpr float kLeftCombStretch = 1.05f;

bool ValidPreset(int preset) {
  return preset >= 1 && preset <= kVoiceFXPresets && preset != 9;
}

// The reverb's combs as at start-up: the base delay on the right, 5 % longer on the left, so
// the two channels differ.
void SetStereoCombs(Reverb* reverb, float combDelay) {
  SetReverb_CombDelay(reverb, combDelay);
  for (IIIR& comb : reverb->combs[0]) comb.delayTime *= kLeftCombStretch;
}

void SetPitchWindows(VoiceFX* fx, float window) {
  for (PitchShift& shifter : fx->pitch) SetPitchShift_Window(&shifter, window);
}

// The preset table: parameters only; SetVoiceFX_Preset initialises afterwards.
void ApplyPresetSettings(VoiceFX* fx, int p) {
  IIIR(&bank)[kVoiceFXBankRows][2] = fx->bank;
  Oscillator* osc = fx->oscillators;
  // The pitch presets start from the shifters' own window whatever preset 17 left behind.
  if (p == 5 || p == 6 || p == 8 || p == 18 || p == 19) SetPitchWindows(fx, kPitchWindow);
  switch (p) {
    case 1:
    case 2:
    case 3:
      SetVoiceFX_MixPercent(fx, 100.0f);
      SetReverb_Wet(&fx->reverb, p == 2 ? 4.0f : 2.0f);
      if (p == 2)
        SetReverb_CombDelay(&fx->reverb, 0.04f);
      else
        SetStereoCombs(&fx->reverb, kReverbCombDelay);
      SetReverb_DecayTime(&fx->reverb, p == 1 ? 2.0f : p == 2 ? 0.7f : 5.0f);
      break;
    case 4:
      SetIIIR_DelayAndFeedback(&fx->echo[0], 0.6f, 0.5f);
      SetIIIR_DelayAndFeedback(&fx->echo[1], 0.6f, -0.5f);
      SetIIR1_Frequency(&fx->echo[0].damping, 1000.0);
      break;
    case 5:
      fx->fxGain = 0.25f;
      SetPitchShift_Semitones(&fx->pitch[0], 7.0f);
      break;
    case 6:
      fx->fxGain = 0.25f;
      SetPitchShift_Semitones(&fx->pitch[0], -5.0f);
      break;
    case 7:
      fx->fxGain = 0.1f;
      fx->bankCount = 3;
      SetVoiceFX_MidiNote(fx, 68);
      SetVoiceFX_BankDecay(fx, 0.5f);
      break;
    case 8:
      fx->fxGain = 0.25f;
      fx->oscillatorCount = 5;
      SetOscillator(&osc[0], 0.0f, 0.5f, kWhiteNoise);
      SetOscillator(&osc[1], 1000.0f, 2.5f, kSine);
      SetOscillator(&osc[2], 0.1f, 1.0f, kTriangle);
      SetOscillator(&osc[3], 200.0f, 2.0f, kSine);
      SetOscillator(&osc[4], 1500.0f, 1.5f, kSine);
      fx->bankCount = 1;
      bank[0][0].delayTimeModulation = bank[0][1].delayTimeModulation = 0.0005f;
      SetIIIR_DelayAndFeedback(&bank[0][0], 0.004f, 0.7f);
      SetIIIR_DelayAndFeedback(&bank[0][1], 0.004f, -0.7f);
      fx->echo[0].h[2] = fx->echo[1].h[2] = 0.0f;
      SetIIIR_DelayAndFeedback(&fx->pitch[0].feedbackDelay, 0.025f, 0.46f);
      break;
    case 10:
    case 11:
    case 12:
      for (IIIR& echo : fx->echo)
        SetIIIR_DelayAndFeedback(&echo, p == 10 ? 0.9f : p == 11 ? 0.25f : 0.1f, 0.0f);
      break;
    case 13:
      SetIIIR_DelayAndFeedback(&fx->echo[0], 0.1f, 0.5f);
      SetIIIR_DelayAndFeedback(&fx->echo[1], 0.1f, -0.5f);
      break;
    case 14:
      for (IIIR& record : bank[0]) {
        SetIIIR_DelayTime(&record, 0.4f);
        SetIIIR_FeedbackFromDecay(&record, 3.0f);
      }
      bank[0][1].feedback = -bank[0][1].feedback;
      break;
    case 15:
      fx->bankCount = 2;
      fx->oscillatorCount = 4;
      SetOscillator(&osc[0], 3.2f, 1.0f, kTriangle);
      SetOscillator(&osc[2], 5.0f, 1.0f, kTriangle);
      bank[0][0].delayTimeModulation = 0.012f;
      bank[0][1].delayTimeModulation = 0.019f;
      SetIIIR_DelayAndFeedback(&bank[0][0], 0.025f, 0.99f);
      SetIIIR_DelayAndFeedback(&bank[0][1], 0.04f, -0.99f);
      bank[1][0].delayTimeModulation = bank[1][1].delayTimeModulation = 0.0f;
      SetIIIR_DelayAndFeedback(&bank[1][0], 0.1f, 0.99f);
      SetIIIR_DelayAndFeedback(&bank[1][1], 0.2f, 0.99f);
      break;
    case 16:
      fx->bankCount = 1;
      fx->oscillatorCount = 1;
      SetOscillator(&osc[0], 1.0f, 1.0f, kSine);
      bank[0][0].delayTimeModulation = bank[0][1].delayTimeModulation = 0.01f;
      SetIIIR_DelayAndFeedback(&bank[0][0], 0.04f, 0.99f);
      SetIIIR_DelayAndFeedback(&bank[0][1], 0.04f, -0.99f);
      break;
    case 17:
      fx->oscillatorCount = 4;
      for (int k = 0; k < 2; ++k) {
        SetOscillator(&osc[k], 10.0f, 1.0f, kSawtoothUp);
        osc[k].phase = k == 0 ? 0.0 : 3.141592653589793;
      }
      // The shifters' ramps run at the preset's 10 Hz, so the taps' 0.1 s is one window.
      SetPitchWindows(fx, kPitchShiftPresetWindow);
      for (PitchShift& shifter : fx->pitch) {
        for (IIIR& tap : shifter.taps) SetIIIR_DelayAndFeedback(&tap, 0.1f, 1.0f);
        const float depth = 0.999f * shifter.taps[0].delayTime;
        for (IIIR& tap : shifter.taps) {
          tap.delayTimeModulation = depth;
          tap.h[0] = 0.0f;
        }
      }
      break;
    case 18:
    case 19:
      for (PitchShift& shifter : fx->pitch) SetPitchShift_Semitones(&shifter, p == 18 ? 12 : -12);
      break;
    case 20:
      fx->bankCount = 1;
      SetIIIR_DelayAndFeedback(&bank[0][0], 0.0025f, 0.97f);
      SetIIIR_DelayAndFeedback(&bank[0][1], 0.005f, -0.97f);
      for (IIIR& record : bank[0]) SetIIIR_FeedbackFromDecay(&record, 1.0f);
      break;
  }
}

int ActiveRows(const VoiceFX* fx) {
  return std::clamp(fx->bankCount, 0, kVoiceFXBankRows);
}

// One sub-block of a preset that produces output.
void ComputePiece(float* const in[2], float* const out[2], int n, VoiceFX* fx, int p) {
  float* const temp[2] = {fx->temp[0], fx->temp[1]};
  float* const modulation[2] = {fx->modulation[0], fx->modulation[1]};
  const float gain = fx->fxGain;
  switch (p) {
    case 1:
    case 2:
    case 3:
      ComputeReverb(in[0], out, n, &fx->reverb, 0);
      break;
    case 4:
      ComputeCombDamped(in[0], out[0], n, &fx->echo[0], 0);
      ComputeScale(out[0], out[0], n, 0.25f);
      ComputeCopy(out[0], out[1], n);
      break;
    case 5:
    case 6:
    case 17:
      ComputePitchShift(in[0], temp[0], n, &fx->pitch[0]);
      ComputeScale(temp[0], out[0], n, gain);
      ComputeCopy(out[0], out[1], n);
      break;
    case 7: {
      const float g = std::min(gain, 0.99f);
      for (int ch = 0; ch < 2; ++ch) {
        for (int k = 0; k < ActiveRows(fx); ++k)
          ComputeCombFeedback(in[0], temp[ch], n, &fx->bank[k][ch], k > 0);
        ComputeScale(temp[ch], out[ch], n, g);
      }
      break;
    }
    case 8:
      ComputeOscillator(modulation[0], n, &fx->oscillators[1], 0);
      ComputeOscillator(modulation[0], n, &fx->oscillators[3], 1);
      ComputeOscillator(modulation[0], n, &fx->oscillators[4], 1);
      ComputeScale(in[0], temp[0], n, gain);
      ComputeRingModulate(temp[0], modulation[0], temp[0], n);
      ComputePitchShiftFeedback(temp[0], out[0], n, &fx->pitch[0]);
      ComputeCopy(out[0], out[1], n);
      break;
    case 14:
      for (int ch = 0; ch < 2; ++ch) {
        ComputeReverseDelay(in[ch], temp[ch], n, &fx->bank[0][ch], 0);
        ComputeScale(temp[ch], out[ch], n, gain);
      }
      break;
    case 15:
      ComputeOscillator(modulation[0], n, &fx->oscillators[0], 0);
      ComputeOscillator(modulation[1], n, &fx->oscillators[2], 0);
      for (int ch = 0; ch < 2; ++ch) {
        fx->bank[0][ch].modulationSource = modulation[ch];
        ComputeIFIR_ModulatedLinearInterpolation(in[0], temp[ch], n, &fx->bank[0][ch], 0);
        ComputeDelayLine(temp[ch], temp[ch], n, &fx->bank[1][ch], 1);
        ComputeScale(temp[ch], out[ch], n, gain);
      }
      break;
    case 16:
      ComputeOscillator(modulation[0], n, &fx->oscillators[0], 0);
      for (int ch = 0; ch < 2; ++ch) {
        fx->bank[0][ch].modulationSource = modulation[0];
        ComputeIFIR_ModulatedLinearInterpolation(in[0], temp[ch], n, &fx->bank[0][ch], 0);
        ComputeScale(temp[ch], out[ch], n, gain);
      }
      break;
    case 18:
    case 19:
      for (int ch = 0; ch < 2; ++ch) {
        ComputePitchShiftV1(in[0], temp[ch], n, &fx->pitch[ch]);
        ComputeScale(temp[ch], out[ch], n, gain);
      }
      break;
  }
}

bool ProducesOutput(int p) {
  return (p >= 1 && p <= 8) || (p >= 14 && p <= 19);
}

void ApplyParameter(VoiceFX* fx, int which, float v) {
  switch (which) {
    case kVoiceFXPreset:
      SetVoiceFX_Preset(fx, static_cast<int>(v));
      return;
    case kVoiceFXVariation:
      SetVoiceFX_Variation(fx, v);
      return;
    case kVoiceFXGain:
      fx->fxGain = v;
      return;
    case kVoiceFXMixPercent:
      SetVoiceFX_MixPercent(fx, v);
      UpdateReverb(&fx->reverb);
      return;
    case kVoiceFXEchoDelay:
      for (IIIR& echo : fx->echo) echo.delayTime = v;
      break;
    case kVoiceFXEchoFeedback:
      fx->echo[0].feedback = v;
      fx->echo[1].feedback = -v;
      break;
    case kVoiceFXReverbDecay:
      SetReverb_DecayTime(&fx->reverb, v);
      break;
    case kVoiceFXReverbDamping:
      SetReverb_DampingFrequency(&fx->reverb, v);
      break;
    case kVoiceFXReverbHiFrequency:
      SetIIR2_Frequency(&fx->reverb.inputFilter, v);
      break;
    case kVoiceFXBankDelay:
      for (IIIR& record : fx->bank[0]) record.delayTime = v;
      break;
    case kVoiceFXBankFeedback:
      SetVoiceFX_BankFeedback(fx, v);
      break;
    case kVoiceFXMidiNote:
      SetVoiceFX_MidiNote(fx, static_cast<int>(v + 0.5f));
      break;
    case kVoiceFXBankDecay:
      SetVoiceFX_BankDecay(fx, v);
      break;
  }
  UpdateVoiceFX(fx);
}

}  // namespace

bool VoiceFXPresetKeepsDryVoice(int preset) {
  return preset >= 1 && preset <= 4;
}

const char* VoiceFXPresetName(int preset) {
  static const char* const kNames[kVoiceFXPresets] = {"ConcertHall",
                                                      "Shower",
                                                      "SportsArena",
                                                      "GrandCanyon",
                                                      "HighVoice",
                                                      "LowVoice",
                                                      "Robot",
                                                      "Monster",
                                                      "ReverbLong",
                                                      "DelayLong",
                                                      "DelayMedium",
                                                      "DelayShort",
                                                      "EchoShort",
                                                      "Double",
                                                      "Crazy",
                                                      "Chorus",
                                                      "PitchShift",
                                                      "",
                                                      "",
                                                      ""};
  return preset >= 1 && preset <= kVoiceFXPresets ? kNames[preset - 1] : "Bogus";
}

void DefaultVoiceFX(VoiceFX* fx) {
  fx->dry = 0.0f;
  fx->fxGain = 1.0f;
  fx->mixPercent = 100.0f;
  fx->bypass.store(0, std::memory_order_relaxed);
  fx->presetNumber.store(1, std::memory_order_relaxed);
  fx->variation.store(0.5f, std::memory_order_relaxed);
  fx->bankCount = 1;
  fx->oscillatorCount = 1;
  for (Oscillator& osc : fx->oscillators) DefaultOscillator(&osc);
  DefaultReverb(&fx->reverb);
  for (IIIR& comb : fx->reverb.combs[0]) {
    comb.delayTime *= kLeftCombStretch;
    comb.h[1] = -comb.h[1];
  }
  for (int ch = 0; ch < 2; ++ch) {
    DefaultIIIR(&fx->echo[ch]);
    DefaultIIIRNested(&fx->nested[ch]);
    for (auto& row : fx->bank) DefaultIIIR(&row[ch]);
    DefaultPitchShift(&fx->pitch[ch]);
  }
  for (int which = 0; which < kVoiceFXParameterCount; ++which)
    fx->requested[which].store(0.0f, std::memory_order_relaxed);
  fx->pendingParameters.store(0, std::memory_order_release);
  fx->modified = 1;
  fx->samplingFrequency = kSamplingFrequencyNotSet;
}

void SetVoiceFX_SamplingFrequency(VoiceFX* fx, double samplingFrequency) {
  for (Oscillator& osc : fx->oscillators) SetOscillator_SamplingFrequency(&osc, samplingFrequency);
  SetReverb_SamplingFrequency(&fx->reverb, samplingFrequency);
  for (int ch = 0; ch < 2; ++ch) {
    SetIIIR_SamplingFrequency(&fx->echo[ch], samplingFrequency);
    SetIIIRNested_SamplingFrequency(&fx->nested[ch], samplingFrequency);
    SetPitchShift_SamplingFrequency(&fx->pitch[ch], samplingFrequency);
    for (auto& row : fx->bank) SetIIIR_SamplingFrequency(&row[ch], samplingFrequency);
  }
  fx->modified = samplingFrequency != fx->samplingFrequency;
  fx->samplingFrequency = samplingFrequency;
}

void SetVoiceFX_Preset(VoiceFX* fx, int preset) {
  fx->bankCount = 1;
  fx->variation.store(0.5f, std::memory_order_relaxed);
  if (!ValidPreset(preset)) {
    Trace("SetVoiceFX_Preset: bogus presetNumber=%d\n", preset);
    return;
  }
  // The number first, so that the settings that depend on it (the reverb's share of the mix)
  // apply to the preset being chosen.
  fx->presetNumber.store(preset, std::memory_order_release);
  ApplyPresetSettings(fx, preset);
  InitVoiceFX(fx);
  SetVoiceFX_Variation(fx, 0.5f);
}

void SetVoiceFX_Variation(VoiceFX* fx, float v) {
  if (std::isnan(v)) return;
  v = std::clamp(v, 0.0f, 1.0f);
  fx->variation.store(v, std::memory_order_relaxed);
  const float u = 2.0f * v - 1.0f;
  const int p = fx->presetNumber.load(std::memory_order_relaxed);
  auto reverbWet = [&] {
    SetReverb_Wet(&fx->reverb, u >= 0.0f ? 0.45f * u + 0.15f : 0.15f * (u + 1.0f));
  };
  switch (p) {
    case 1:
    case 2:
      reverbWet();
      break;
    case 3:
      reverbWet();
      // Below the middle the preset's own 5 s, so the decay never depends on the slider's path.
      SetReverb_DecayTime(&fx->reverb, u > 0.0f ? 55.0f * u * u + 5.0f : 5.0f);
      break;
    case 4:
      if (u >= 0.0f) {
        SetIIIR_DelayAndFeedback(&fx->echo[0], 0.6f, 0.39999998f * u + 0.5f);
        SetIIR1_Frequency(&fx->echo[0].damping, 5000.0f * u + 1000.0f);
      } else {
        SetIIIR_DelayAndFeedback(&fx->echo[0], 0.55f * (u + 1.0f) + 0.05f, 0.5f);
        SetIIR1_Frequency(&fx->echo[0].damping, 1000.0);  // the damping's value at the middle
      }
      break;
    case 5: {
      const float s = u >= 0.0f ? 6.0f * u + 7.0f : 8.0f * (u + 1.0f) - 1.0f;
      SetPitchShift_Semitones(&fx->pitch[0], std::clamp(s, 0.0f, 12.0f));
      break;
    }
    case 6:
      SetPitchShift_Semitones(&fx->pitch[0],
                              u >= 0.0f ? 6.0f * u - 5.0f : 8.0f * (u + 1.0f) - 13.0f);
      break;
    case 7: {
      const float note = u >= 0.0f ? 28.0f * u + 68.0f : 11.0f * (u + 1.0f) + 57.0f;
      SetVoiceFX_MidiNote(fx, static_cast<int>(note + 0.5f));
      SetVoiceFX_BankDecay(fx, 0.5f);
      break;
    }
    case 8:
      SetPitchShift_Semitones(&fx->pitch[0],
                              u >= 0.0f ? 3.0f * u - 4.0f : 2.0f * (u + 1.0f) - 6.0f);
      fx->pitch[0].feedbackDelay.h[0] = 0.4f * std::sqrt(std::fabs(u)) + 0.45f;
      break;
    case 14:
      break;
    case 15: {
      const float f = 49.5f * v * v + 0.5f;
      SetOscillator(&fx->oscillators[0], 1.2f * f, 1.0f, kTriangle);
      SetOscillator(&fx->oscillators[2], f, 1.0f, kTriangle);
      break;
    }
    case 16: {
      const float d = 0.015f * v * v + 0.005f;
      fx->bank[0][0].delayTimeModulation = fx->bank[0][1].delayTimeModulation = d;
      break;
    }
    case 17:
      for (PitchShift& shifter : fx->pitch) SetPitchShift_Semitones(&shifter, 24.0f * v - 12.0f);
      break;
    case 18:
      for (PitchShift& shifter : fx->pitch) SetPitchShift_Semitones(&shifter, 12.0f * v);
      break;
    case 19:
      for (PitchShift& shifter : fx->pitch) SetPitchShift_Semitones(&shifter, 19.0f * v - 19.0f);
      break;
    default:  // 9..13 and the rest: nothing to move, no Update
      return;
  }
  UpdateVoiceFX(fx);
}

void SetVoiceFX_MixPercent(VoiceFX* fx, float percent) {
  if (std::isnan(percent)) return;
  const float p = std::clamp(percent, 0.0f, 100.0f);
  fx->dry = (100.0f - p) * 0.01f;
  fx->fxGain = 0.01f * p;
  fx->mixPercent = p;
  const int preset = fx->presetNumber.load(std::memory_order_relaxed);
  if (preset >= 1 && preset <= 3) {
    fx->reverb.dry = fx->dry;
    fx->reverb.wet = fx->fxGain;
    fx->reverb.mixPercent = p;
  }
}

void SetVoiceFX_MidiNote(VoiceFX* fx, int note) {
  fx->midiNote = note;
  for (int ch = 0; ch < 2; ++ch) {
    SetIIIR_MidiNote(&fx->bank[0][ch], note);
    SetIIIR_MidiNote(&fx->bank[1][ch], note + 4);
    SetIIIR_MidiNote(&fx->bank[2][ch], note + 7);
  }
}

void SetVoiceFX_BankDecay(VoiceFX* fx, float seconds) {
  fx->resonatorDecay = seconds;
  for (int k = 0; k < ActiveRows(fx); ++k) {
    for (IIIR& record : fx->bank[k]) SetIIIR_FeedbackFromDecay(&record, seconds);
    fx->bank[k][1].feedback = -fx->bank[k][1].feedback;
  }
}

void SetVoiceFX_BankFeedback(VoiceFX* fx, float value) {
  for (int k = 0; k < ActiveRows(fx); ++k) {
    fx->bank[k][0].feedback = value;
    fx->bank[k][1].feedback = -value;
  }
}

void UpdateVoiceFX(VoiceFX* fx) {
  if (fx->samplingFrequency == kSamplingFrequencyNotSet)
    Trace("UpdateVoiceFX: Hey.  samplingFrequency=%g not set !\n", fx->samplingFrequency);
  const int oscillators = std::clamp(fx->oscillatorCount, 0, kVoiceFXOscillators);
  for (int k = 0; k < oscillators; ++k) UpdateOscillator(&fx->oscillators[k]);
  for (PitchShift& shifter : fx->pitch) UpdatePitchShift(&shifter);
  UpdateReverb(&fx->reverb);
  for (int ch = 0; ch < 2; ++ch) {
    UpdateIIIR(&fx->echo[ch]);
    UpdateIIIRNested(&fx->nested[ch]);
    for (int k = 0; k < ActiveRows(fx); ++k) UpdateIIIR(&fx->bank[k][ch]);
  }
  fx->modified = 0;
}

void ResetVoiceFX(VoiceFX* fx) {
  for (Oscillator& osc : fx->oscillators) ResetOscillator(&osc);
  ResetReverb(&fx->reverb);
  for (int ch = 0; ch < 2; ++ch) {
    ResetPitchShift(&fx->pitch[ch]);
    ResetIIIR(&fx->echo[ch]);
    ResetIIIRNested(&fx->nested[ch]);
    for (int k = 0; k < ActiveRows(fx); ++k) ResetIIIR(&fx->bank[k][ch]);
  }
}

void InitVoiceFX(VoiceFX* fx) {
  fx->modified = 1;
  UpdateVoiceFX(fx);
  ResetVoiceFX(fx);
}

void SetVoiceFXParameter(VoiceFX* fx, VoiceFXParameter which, float value) {
  if (which < 0 || which >= kVoiceFXParameterCount || std::isnan(value)) return;
  if (which == kVoiceFXPreset &&
      !(value >= 1.0f && value <= kVoiceFXPresets && ValidPreset(static_cast<int>(value)))) {
    Trace("SetVoiceFX_Preset: bogus presetNumber=%d\n",
          std::fabs(value) < 2e9f ? static_cast<int>(value) : 0);
    return;
  }
  fx->requested[which].store(value, std::memory_order_relaxed);
  fx->pendingParameters.fetch_or(1 << which, std::memory_order_release);
}

void ApplyVoiceFXRequests(VoiceFX* fx) {
  if (!fx->pendingParameters.load(std::memory_order_relaxed)) return;
  const int32_t pending = fx->pendingParameters.exchange(0, std::memory_order_acquire);
  for (int which = 0; which < kVoiceFXParameterCount; ++which)
    if (pending & (1 << which))
      ApplyParameter(fx, which, fx->requested[which].load(std::memory_order_relaxed));
}

int ComputeVoiceFX(float* const in[2], float* const out[2], int length, VoiceFX* fx) {
  ApplyVoiceFXRequests(fx);
  if (fx->bypass.load(std::memory_order_acquire)) {
    std::fill_n(out[0], std::max(length, 0), 0.0f);
    std::fill_n(out[1], std::max(length, 0), 0.0f);
    return 1;
  }
  const int p = fx->presetNumber.load(std::memory_order_relaxed);
  if (!ProducesOutput(p)) return 0;
  for (int done = 0; done < length; done += kSubBlockFrames) {
    const int n = std::min(kSubBlockFrames, length - done);
    float* const x[2] = {in[0] + done, in[1] + done};
    float* const y[2] = {out[0] + done, out[1] + done};
    ComputePiece(x, y, n, fx, p);
  }
  return 1;
}
