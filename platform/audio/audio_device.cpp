#include "platform/audio/audio_device.h"

#include <cstdio>

namespace {

struct AudioPlatform {
  std::unique_ptr<AudioBackend> backend;
};
AudioPlatform audioPlatform;

const char* CommonErrorText(int code) {
  switch (code) {
    case kMmSysErrNoError:
      return "no error";
    case kMmSysErrError:
      return "unspecified device error";
    case kMmSysErrBadDeviceId:
      return "the sound device does not exist";
    case kMmSysErrNotEnabled:
      return "the sound device is not enabled";
    case kMmSysErrAllocated:
      return "the sound device is in use by another program";
    case kMmSysErrInvalHandle:
      return "the device handle is not open";
    case kMmSysErrNoDriver:
      return "no sound driver is installed";
    case kMmSysErrNoMem:
      return "not enough memory for the sound device";
    case kMmSysErrNotSupported:
      return "the sound device does not support this operation";
    case kMmSysErrInvalParam:
      return "invalid parameter";
    case kWavErrBadFormat:
      return "the sound device does not support the wave format";
    case kWavErrStillPlaying:
      return "the buffer is still queued on the device";
    case kWavErrUnprepared:
      return "the buffer header is not prepared";
    case kWavErrSync:
      return "the device is synchronous";
    default:
      return nullptr;
  }
}

std::string ErrorText(int code) {
  if (const char* text = CommonErrorText(code)) return text;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "Unknown error %d.", code);
  return buffer;
}

}  // namespace

std::string WaveInErrorText(int code) {
  return ErrorText(code);
}
std::string WaveOutErrorText(int code) {
  return ErrorText(code);
}

const char* MixerComponentTypeName(uint32_t type) {
  switch (type) {
    case kDstUndefined:
      return "DST_UNDEFINED";
    case kDstDigital:
      return "DST_DIGITAL";
    case kDstLine:
      return "DST_LINE";
    case kDstMonitor:
      return "DST_MONITOR";
    case kDstSpeakers:
      return "DST_SPEAKERS";
    case kDstHeadphones:
      return "DST_HEADPHONES";
    case kDstTelephone:
      return "DST_TELEPHONE";
    case kDstWaveIn:
      return "DST_WAVEIN";
    case kDstVoiceIn:
      return "DST_VOICEIN";
    case kSrcUndefined:
      return "SRC_UNDEFINED";
    case kSrcDigital:
      return "SRC_DIGITAL";
    case kSrcLine:
      return "SRC_LINE";
    case kSrcMicrophone:
      return "SRC_MICROPHONE";
    case kSrcSynthesizer:
      return "SRC_SYNTHESIZER";
    case kSrcCompactDisc:
      return "SRC_COMPACTDISC";
    case kSrcTelephone:
      return "SRC_TELEPHONE";
    case kSrcPcSpeaker:
      return "SRC_PCSPEAKER";
    case kSrcWaveOut:
      return "SRC_WAVEOUT";
    case kSrcAuxiliary:
      return "SRC_AUXILIARY";
    case kSrcAnalog:
      return "SRC_ANALOG";
    default:
      return "Bogus";
  }
}

const char* MixerControlTypeName(uint32_t type) {
  switch (type) {
    case kControlMute:
      return "MUTE";
    case kControlVolume:
      return "VOLUME";
    case kControlMixer:
      return "MIXER";
    case kControlMux:
      return "MUX";
    default:
      return "Bogus";
  }
}

void SetAudioBackend(std::unique_ptr<AudioBackend> backend) {
  audioPlatform.backend = std::move(backend);
}

AudioBackend* CurrentAudioBackend() {
  return audioPlatform.backend.get();
}

void CompleteWaveDeviceFormat(WaveDeviceFormat* format) {
  format->nBlockAlign = uint16_t(format->nChannels * format->wBitsPerSample / 8);
  format->nAvgBytesPerSec = uint32_t(format->nBlockAlign) * format->nSamplesPerSec;
}
