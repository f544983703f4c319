#include "app/audio_context.h"

#include <memory>

#include "dsp/karaoke.h"
#include "dsp/voicefx.h"

AudioContext audioContext;

namespace {

std::unique_ptr<VoiceFX> shownVoiceFX;

// The shown copy made afresh from the engine's record as start-up leaves it: the same preset
// at the same variation.
void StartShownVoiceFX() {
  if (!shownVoiceFX) shownVoiceFX = std::make_unique<VoiceFX>();
  VoiceFX* shown = shownVoiceFX.get();
  const VoiceFX& engine = soundBlock.voiceFX;
  DefaultVoiceFX(shown);
  SetVoiceFX_SamplingFrequency(shown, kEngineSamplingFrequency);
  SetVoiceFX_Preset(shown, engine.presetNumber.load());
  InitVoiceFX(shown);
  const float variation = engine.variation.load();
  if (variation != shown->variation.load()) SetVoiceFX_Variation(shown, variation);
}

constexpr ParameterRange kRanges[kAudioParameterCount] = {
    {25.0f, 2000.0f},        // crossover frequency
    {-24.0f, 24.0f},         // bass replace, dB
    {0.0f, 4.0f},            // fx level
    {0.0f, 1.0f},            // variation
    {0.0f, 100.0f},          // fx wet/dry mix, percent
    {-1.0f, 1.0f},           // stereo balance
    {-1.0f, 1.0f},           // voice reduce
    {0.0f, 1.0f},            // ambience delay time, s
    {-0.99f, 0.99f},         // feedback
    {0.2f, 20.0f},           // reverb decay time, s
    {150.0f, 10000.0f},      // reverb damping, Hz
    {150.0f, 10000.0f},      // reverb input filter, Hz
    {0.01f, 1.0f},           // 2nd fx decay time, s
    {0.002f, 0.02f},         // 2nd fx delay time, s
    {344.53125f, 11025.0f},  // stereo generator frequency, Hz
    {1.0f, 1000.0f},         // stereo generator bands
    {36.0f, 127.0f},         // MIDI note
};

}  // namespace

void DefaultAudioContext(AudioContext* context, int* doneFlag) {
  context->block = &soundBlock;
  context->karaoke = &karaokeStage;
  DefaultSoundBlock();
  DefaultKaraokeStage();
  SoundBlockState& block = *context->block;
  block.micHighPassOn.store(1);
  block.notch60On.store(1);
  block.notch120On.store(0);
  block.stereoGeneratorOn.store(1);
  SetKaraokeParameter(kStereoGeneratorOrder, 3.0f);
  SetKaraokeParameter(kStereoGeneratorBands, 750.0f);
  for (int i = 0; i < kAudioParameterCount; ++i) context->ranges[i] = kRanges[i];
  context->initialised = 0;
  if (doneFlag) *doneFlag = 1;
}

void InitAudioContext(AudioContext* context) {
  if (!context->block) DefaultAudioContext(context, nullptr);
  InitMicrophoneFilters(kEngineSamplingFrequency);
  InitKaraokeStage(kEngineSamplingFrequency);
  VoiceFX* fx = &context->block->voiceFX;
  SetVoiceFX_SamplingFrequency(fx, kEngineSamplingFrequency);
  SetVoiceFX_Preset(fx, fx->presetNumber.load());
  InitVoiceFX(fx);
  SetMusicBalance(context->block->balance.load());
  StartShownVoiceFX();
  context->initialised = 1;
}

void FreeAudioContextBuffers() {
  shownVoiceFX.reset();
  audioContext.initialised = 0;
}

const VoiceFX& ShownVoiceFX() {
  if (!shownVoiceFX) StartShownVoiceFX();
  return *shownVoiceFX;
}

void RequestVoiceFXChange(VoiceFXParameter which, float value) {
  if (!shownVoiceFX) StartShownVoiceFX();
  SetVoiceFXParameter(&soundBlock.voiceFX, which, value);
  // The copy takes the change the way the engine will: through a request of its own.
  SetVoiceFXParameter(shownVoiceFX.get(), which, value);
  ApplyVoiceFXRequests(shownVoiceFX.get());
}

float ParameterFromPosition(const ParameterRange& range, int position) {
  return range.minimum + (range.maximum - range.minimum) * static_cast<float>(position) / 100.0f;
}

int PositionFromParameter(const ParameterRange& range, float value) {
  const float span = range.maximum - range.minimum;
  if (span == 0.0f) return 0;
  return static_cast<int>(0.5f + (value - range.minimum) / span * 100.0f);
}
