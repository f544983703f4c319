#include "audio/sound_block.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/karaoke_stage.h"
#include "audio/voice_io.h"
#include "diagnostics/diagnostics.h"
#include "dsp/karaoke.h"
#include "dsp/kernels.h"

SoundBlockState soundBlock;

namespace {
// The record is usable from the start: defaults set and microphone filters designed.
const bool soundBlockDefaulted = (DefaultSoundBlock(), true);
}  // namespace

// ---- Set-up ------------------------------------------------------------------------------

void DefaultSoundBlock() {
  SoundBlockState& s = soundBlock;
  s.cdDataReady.store(0);
  s.karaokeOn.store(0);
  s.stereoGeneratorOn.store(1);
  s.micHighPassOn.store(1);
  s.notch60On.store(1);
  s.notch120On.store(0);
  s.micFilterResetRequests.store(0);
  s.cdLevel.store(1.0f);
  s.voicePlaybackGain.store(1.0f);
  s.microphoneGain.store(1.0f);
  s.softwareMonitoring.store(0);
  s.meterBlocks.store(1);
  s.meterCalls = 0;
  s.voicePlaybackOn.store(0);
  s.voiceRecordOn.store(0);
  s.voicePlaybackCloseRequest.store(0);
  s.voiceRecordCloseRequest.store(0);
  s.voicePlaybackSeekRequest.store(0);
  s.cdMeterLevel.store(0.0f);
  s.micMeterLevel.store(0.0f);
  SetMusicBalance(0.0f);
  s.prevGain[0] = s.prevGain[1] = -1.0f;
  s.musicPeak = s.micPeak = 1.0f;
  s.prevCdStreaming = 0;
  s.recordSubBlockCount = 0;
  s.upsampleCarry = 0.0f;
  s.musicSource = WriteCdDataToFloat1;
  ResetVoiceIo();
  for (int ch = 0; ch < 2; ++ch) {
    s.micHighPass[ch] = IIR1{};
    s.notch60[ch] = IIR2{};
    s.notch120[ch] = IIR2{};
  }
  // The voice effects as at start-up: preset 1 with every memory cleared.
  DefaultVoiceFX(&s.voiceFX);
  SetVoiceFX_SamplingFrequency(&s.voiceFX, kEngineSamplingFrequency);
  SetVoiceFX_Preset(&s.voiceFX, 1);
  InitMicrophoneFilters(kEngineSamplingFrequency);
}

int AllocateSoundBlockBuffers() {
  SoundBlockState& s = soundBlock;
  const int sizes[6] = {kMusicChannelFloats, kMusicChannelFloats, kSubBlockFrames,
                        kSubBlockFrames,     kSubBlockFrames,     kSubBlockFrames};
  for (int i = 0; i < 6; ++i) {
    if (!AllocateEngineBuffer(&s.buffers[i], sizes[i])) {
      FreeSoundBlockBuffers();
      Trace("AllocateSoundBlockBuffers: out of memory for %d floats\n", sizes[i]);
      return 0;
    }
  }
  for (int ch = 0; ch < 2; ++ch) {
    s.musicChannels[ch] = s.buffers[ch].data;
    s.micChannels[ch] = s.buffers[2 + ch].data;
    s.fxChannels[ch] = s.buffers[4 + ch].data;
  }
  SelectBlockKernels();
  return 1;
}

void FreeSoundBlockBuffers() {
  SoundBlockState& s = soundBlock;
  for (EngineBuffer& buffer : s.buffers) FreeEngineBuffer(&buffer);
  for (int ch = 0; ch < 2; ++ch)
    s.musicChannels[ch] = s.micChannels[ch] = s.fxChannels[ch] = nullptr;
}

void InitMicrophoneFilters(double samplingFrequency) {
  SoundBlockState& s = soundBlock;
  for (int ch = 0; ch < 2; ++ch) {
    SetIIR2(&s.notch60[ch], 60.0, 40.0, -40.0, kIIR2Peaking);
    SetIIR2(&s.notch120[ch], 120.0, 40.0, -40.0, kIIR2Peaking);
    SetIIR1_SamplingFrequency(&s.micHighPass[ch], samplingFrequency);
    SetIIR2_SamplingFrequency(&s.notch60[ch], samplingFrequency);
    SetIIR2_SamplingFrequency(&s.notch120[ch], samplingFrequency);
    InitIIR1(&s.micHighPass[ch]);
    InitIIR2(&s.notch60[ch]);
    InitIIR2(&s.notch120[ch]);
  }
}

void SetMicFilterSwitch(MicFilter filter, int on) {
  SoundBlockState& s = soundBlock;
  std::atomic<int32_t>& flag = filter == kMicHighPass  ? s.micHighPassOn
                               : filter == kMicNotch60 ? s.notch60On
                                                       : s.notch120On;
  const int32_t value = on ? 1 : 0;
  // The reset is requested before the switch, so the filter never runs on old memories.
  if (value && !flag.load(std::memory_order_acquire))
    s.micFilterResetRequests.fetch_or(filter, std::memory_order_release);
  flag.store(value, std::memory_order_release);
}

void SetMusicBalance(float balance) {
  SoundBlockState& s = soundBlock;
  float gains[2];
  StereoBalanceGains(balance, gains);
  s.balance.store(balance, std::memory_order_relaxed);
  s.panGain[0].store(gains[0], std::memory_order_relaxed);
  s.panGain[1].store(gains[1], std::memory_order_relaxed);
}

float MeterLevelFromPeak(float peak) {
  double dB = 20.0 * std::log10(peak * (1.0 / 32768.0));
  if (!(dB >= -50.0)) dB = -50.0;
  return static_cast<float>((dB + 50.0) * 2.0);
}

// ---- The block ---------------------------------------------------------------------------

namespace {

// The input of one call, checked: 2 channels of 8 or 16 bits with a matching block align.
struct BlockInput {
  const uint8_t* data = nullptr;  // null: no input
  int bits = 16;
  int frameBytes = 4;
};

BlockInput CheckInput(const void* inData, const WAVEFORMATEX* format) {
  BlockInput input;
  if (!inData || !format || format->nChannels != 2) return input;
  if (format->wBitsPerSample != 8 && format->wBitsPerSample != 16) return input;
  if (format->nBlockAlign != format->nChannels * format->wBitsPerSample / 8) return input;
  input.data = static_cast<const uint8_t*>(inData);
  input.bits = format->wBitsPerSample;
  input.frameBytes = format->nBlockAlign;
  return input;
}

// Step 3: the music level and balance, ramped linearly across the sub-block from the gain of
// the previous sub-block; the very first one applies the gain at once.
void ApplyMusicGain(SoundBlockState& s, int length) {
  const float level = s.cdLevel.load(std::memory_order_relaxed);
  for (int ch = 0; ch < 2; ++ch) {
    const float target = level * s.panGain[ch].load(std::memory_order_relaxed);
    const float previous = s.prevGain[ch];
    const float step = previous == -1.0f ? 0.0f : (target - previous) / length;
    if (step == 0.0f)
      ComputeScale(s.musicChannels[ch], s.musicChannels[ch], length, target);
    else
      ComputeScaleRamp(s.musicChannels[ch], s.musicChannels[ch], length, previous, step);
    s.prevGain[ch] = target;
  }
}

// Step 5, voice file: half a sub-block of 22,050 Hz samples interpolated to the sub-block.
void TakeMicrophoneFromFile(SoundBlockState& s, const int16_t* samples, int length) {
  float* mic = s.micChannels[0];
  const int n = length / 2;
  ComputePcm16ToFloat(samples, s.micChannels[1], n);
  ComputeDouble(s.micChannels[1], mic, n, &s.upsampleCarry);
  if (length & 1) mic[length - 1] = s.upsampleCarry;  // odd length: hold the last sample
  ComputeScale(mic, mic, length, s.voicePlaybackGain.load(std::memory_order_relaxed));
}

// Step 5, sound card: left is the microphone, right the scratch channel.
void TakeMicrophoneFromInput(SoundBlockState& s, const BlockInput& input, const uint8_t* data,
                             int length) {
  if (input.bits == 16) {
    ComputeStereo16ToFloat(reinterpret_cast<const int16_t*>(data), s.micChannels[0],
                           s.micChannels[1], length);
  } else {
    ComputeStereo8ToFloat(data, s.micChannels[0], s.micChannels[1], length);
    ComputeScale(s.micChannels[0], s.micChannels[0], length, kEightBitMicrophoneScale);
  }
}

// Step 8: high-pass, 60 Hz notch, 120 Hz notch, each when switched on, in place.
void CleanUpMicrophone(SoundBlockState& s, int length) {
  if (s.micFilterResetRequests.load(std::memory_order_relaxed)) {
    const int32_t resets = s.micFilterResetRequests.exchange(0, std::memory_order_acq_rel);
    for (int ch = 0; ch < 2; ++ch) {
      if (resets & kMicHighPass) ResetIIR1(&s.micHighPass[ch]);
      if (resets & kMicNotch60) ResetIIR2(&s.notch60[ch]);
      if (resets & kMicNotch120) ResetIIR2(&s.notch120[ch]);
    }
  }
  float* mic = s.micChannels[0];
  if (s.micHighPassOn.load(std::memory_order_acquire))
    ComputeIIR1(mic, mic, length, &s.micHighPass[0]);
  if (s.notch60On.load(std::memory_order_acquire))
    ComputeIIR2Section(mic, mic, length, &s.notch60[0]);
  if (s.notch120On.load(std::memory_order_acquire))
    ComputeIIR2Section(mic, mic, length, &s.notch120[0]);
}

// The voice file's position for the CD's: one CD frame (4 bytes) per byte of the file.
int32_t VoiceSeekPosition() {
  return static_cast<int32_t>(CddaStreamBytePosition() / 4);
}

// One call of at most kMaxBlockFrames frames.
void ProcessBlock(const BlockInput& input, int16_t* out, int frames, int cdActive,
                  int* stereoWasMono) {
  SoundBlockState& s = soundBlock;
  float* const music[2] = {s.musicChannels[0], s.musicChannels[1]};
  const int subCount = (frames + kSubBlockFrames - 1) / kSubBlockFrames;

  // Voice file: half a block of 22,050 Hz samples, lined up with the CD on request. Whether
  // the file plays is decided once per call; each sub-block takes its samples as it comes, so
  // the samples the I/O thread reads after a seek are heard from the sub-block they arrive in.
  int16_t voiceSamples[kSubBlockFrames / 2];
  int16_t recordSamples[kMaxBlockFrames / 2];
  const bool playback = VoicePlaybackBegin(cdActive != 0, VoiceSeekPosition);
  bool voiceFailed = false;  // a read of this call failed: silence, and no dry voice
  // The meters show the peak of about 4096 frames whatever the block size.
  const bool meterUpdate = ++s.meterCalls >= s.meterBlocks.load(std::memory_order_relaxed);
  if (meterUpdate) s.meterCalls = 0;

  const uint8_t* in = input.data;
  int recorded = 0;
  for (int sub = 0; sub < subCount; ++sub) {
    const int length = std::min(kSubBlockFrames, frames - sub * kSubBlockFrames);
    const bool last = sub == subCount - 1;

    // 1-4: music, voice reduction, gain and balance, music meter.
    if (cdActive) {
      s.musicSource(music, length * 4);
      if (s.karaokeOn.load(std::memory_order_acquire) == 1) {
        if (s.prevCdStreaming == 0) {
          ResetKaraokeStage();
          s.prevCdStreaming = cdActive;
        }
        RunKaraokeStage(music, s.micChannels[0], length, stereoWasMono);
      } else {
        *stereoWasMono = 1;
      }
      ApplyMusicGain(s, length);
      ComputePeak(music[0], length, &s.musicPeak);
      ComputePeak(music[1], length, &s.musicPeak);
      if (last && meterUpdate) {
        s.cdMeterLevel.store(MeterLevelFromPeak(s.musicPeak), std::memory_order_relaxed);
        s.musicPeak = 1.0f;
      }
    } else {
      std::fill_n(music[0], length, 0.0f);
      std::fill_n(music[1], length, 0.0f);
    }

    // 5: the microphone.
    bool micPresent = true;
    if (playback) {
      VoicePlaybackTake(voiceSamples, length / 2, &voiceFailed);
      TakeMicrophoneFromFile(s, voiceSamples, length);
    } else if (in) {
      TakeMicrophoneFromInput(s, input, in, length);
    } else {
      std::fill_n(s.micChannels[0], length, 0.0f);
      micPresent = false;
    }

    // 6: the dry microphone at 22,050 Hz, after the first three blocks and one sub-block.
    if (in) {
      if (cdActive && VoiceRecordActive()) {
        if (s.recordSubBlockCount > 3 * subCount) {
          ComputeHalve(s.micChannels[0], s.micChannels[1], length);
          ComputeFloatToPcm16(s.micChannels[1], recordSamples + recorded, length / 2, 1);
          recorded += length / 2;
        }
        ++s.recordSubBlockCount;
      } else {
        s.recordSubBlockCount = 0;
      }
    }

    // 7: microphone meter, before the clean-up.
    ComputePeak(s.micChannels[0], length, &s.micPeak);
    if (last && meterUpdate) {
      s.micMeterLevel.store(MeterLevelFromPeak(s.micPeak), std::memory_order_relaxed);
      s.micPeak = 1.0f;
    }

    // 8-9: clean-up, then the effects over the music.
    CleanUpMicrophone(s, length);
    if (micPresent && ComputeVoiceFX(s.micChannels, s.fxChannels, length, &s.voiceFX)) {
      ComputeAdd(music[0], s.fxChannels[0], music[0], length);
      ComputeAdd(music[1], s.fxChannels[1], music[1], length);
      // The reverb presets add to the card's own microphone monitoring; a voice from a file
      // has none, so some of it is added dry.
      if (playback && !voiceFailed &&
          VoiceFXPresetKeepsDryVoice(s.voiceFX.presetNumber.load(std::memory_order_relaxed))) {
        ComputeMultiplyAdd(s.micChannels[0], music[0], length, 0.25f);
        ComputeMultiplyAdd(s.micChannels[0], music[1], length, 0.25f);
      }
    }
    // Software monitoring: the live microphone where the card's own path would carry it.
    if (micPresent && !playback && s.softwareMonitoring.load(std::memory_order_relaxed) &&
        (s.voiceFX.bypass.load(std::memory_order_relaxed) ||
         VoiceFXPresetKeepsDryVoice(s.voiceFX.presetNumber.load(std::memory_order_relaxed)))) {
      const float gain = s.microphoneGain.load(std::memory_order_relaxed);
      ComputeMultiplyAdd(s.micChannels[0], music[0], length, gain);
      ComputeMultiplyAdd(s.micChannels[0], music[1], length, gain);
    }

    // 10: output.
    ComputeFloatToStereo16(music[0], music[1], out, length);
    out += 2 * length;
    if (in) in += input.frameBytes * kSubBlockFrames;
  }

  // After the last sub-block: hand over what was recorded, then the close requests.
  if (recorded > 0) VoiceRecordPut(recordSamples, recorded);
  VoiceIoEndOfCall();
  s.prevCdStreaming = cdActive;
}

}  // namespace

void ProcessSoundBlock(const void* inData, void* outData, int frames, const WAVEFORMATEX* inFormat,
                       int cdActive, int* stereoWasMono) {
  SoundBlockState& s = soundBlock;
  if (frames < 0) frames = 0;
  int16_t* out = static_cast<int16_t*>(outData);
  if (!s.musicChannels[0] || !s.micChannels[0] || !s.fxChannels[0]) {
    if (out) std::memset(out, 0, static_cast<size_t>(frames) * 4);  // no engine: silence
    return;
  }
  if (!out) return;
  int localFlag = 1;
  if (!stereoWasMono) stereoWasMono = &localFlag;
  if (!s.musicSource) s.musicSource = WriteCdDataToFloat1;

  BlockInput input = CheckInput(inData, inFormat);
  do {
    const int part = std::min(frames, kMaxBlockFrames);
    ProcessBlock(input, out, part, cdActive, stereoWasMono);
    out += 2 * part;
    if (input.data) input.data += static_cast<size_t>(part) * input.frameBytes;
    frames -= part;
  } while (frames > 0);
}
