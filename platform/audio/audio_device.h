// The sound card as the engine sees it: wave input and output devices with queued buffer
// headers, and a mixer of lines and controls. Two backends implement it: ALSA (what a user
// runs) and a simulated card (headless runs and tests).
//
// Results are the platform's codes below (0 = success). Buffers are described by WaveHeader
// records that the caller owns; a device completes them in order, setting the done flag and,
// when the device was opened with an event, setting that event once per completed buffer.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class Event;

// ---- Result codes ------------------------------------------------------------------------

enum AudioResult : int {
  kMmSysErrNoError = 0,
  kMmSysErrError = 1,
  kMmSysErrBadDeviceId = 2,
  kMmSysErrNotEnabled = 3,
  kMmSysErrAllocated = 4,
  kMmSysErrInvalHandle = 5,
  kMmSysErrNoDriver = 6,
  kMmSysErrNoMem = 7,
  kMmSysErrNotSupported = 8,
  kMmSysErrInvalParam = 11,
  kWavErrBadFormat = 32,
  kWavErrStillPlaying = 33,
  kWavErrUnprepared = 34,
  kWavErrSync = 35,
  kMixErrInvalLine = 1024,
  kMixErrInvalControl = 1025,
};

// Error texts for the codes, one lookup per direction.
std::string WaveInErrorText(int code);
std::string WaveOutErrorText(int code);

// ---- Wave format and buffer headers ------------------------------------------------------

struct WaveDeviceFormat {
  uint16_t wFormatTag = 1;  // PCM
  uint16_t nChannels = 2;
  uint32_t nSamplesPerSec = 44100;
  uint32_t nAvgBytesPerSec = 176400;
  uint16_t nBlockAlign = 4;
  uint16_t wBitsPerSample = 16;
  uint16_t cbSize = 0;
};

enum WaveHeaderFlags : uint32_t {
  kWhdrDone = 0x01,
  kWhdrPrepared = 0x02,
  kWhdrInQueue = 0x10,
};

// A buffer handed to a device. `flags` and `bytesRecorded` are written by the device's thread
// when it completes the buffer (release) and read by the engine's thread (acquire); the
// buffer's bytes are published with the done flag.
struct WaveHeader {
  uint8_t* data = nullptr;
  uint32_t bufferLength = 0;
  std::atomic<uint32_t> bytesRecorded{0};
  uintptr_t user = 0;
  std::atomic<uint32_t> flags{0};
  uint32_t loops = 0;

  bool Done() const { return flags.load(std::memory_order_acquire) & kWhdrDone; }
};

// Wave input: buffers are added to a queue, filled in order once started.
class WaveInDevice {
 public:
  virtual ~WaveInDevice() = default;
  virtual int PrepareHeader(WaveHeader* header) = 0;
  virtual int UnprepareHeader(WaveHeader* header) = 0;
  virtual int AddBuffer(WaveHeader* header) = 0;
  virtual int Start() = 0;
  // Stops recording; a partly filled buffer is returned done, empty ones stay queued.
  virtual int Stop() = 0;
  // Stops recording and returns every queued buffer done.
  virtual int Reset() = 0;
  // Fails with kWavErrStillPlaying while buffers are queued. Afterwards every call returns
  // kMmSysErrInvalHandle.
  virtual int Close() = 0;
};

// Wave output: written buffers play in order, without gaps while the queue is not empty.
class WaveOutDevice {
 public:
  virtual ~WaveOutDevice() = default;
  virtual int PrepareHeader(WaveHeader* header) = 0;
  virtual int UnprepareHeader(WaveHeader* header) = 0;
  virtual int Write(WaveHeader* header) = 0;
  // Frames written and not yet heard: the queued buffers and what the device itself holds.
  // kMmSysErrNotSupported when the device cannot tell.
  virtual int GetDelayFrames(int64_t* /*frames*/) { return kMmSysErrNotSupported; }
  // Stops playing and returns every queued buffer done.
  virtual int Reset() = 0;
  virtual int Close() = 0;
};

// ---- Mixer -------------------------------------------------------------------------------

// Component types of mixer lines: destinations from 0, sources from 0x1000.
enum MixerComponentType : uint32_t {
  kDstUndefined = 0,
  kDstDigital = 1,
  kDstLine = 2,
  kDstMonitor = 3,
  kDstSpeakers = 4,
  kDstHeadphones = 5,
  kDstTelephone = 6,
  kDstWaveIn = 7,
  kDstVoiceIn = 8,
  kSrcUndefined = 0x1000,
  kSrcDigital = 0x1001,
  kSrcLine = 0x1002,
  kSrcMicrophone = 0x1003,
  kSrcSynthesizer = 0x1004,
  kSrcCompactDisc = 0x1005,
  kSrcTelephone = 0x1006,
  kSrcPcSpeaker = 0x1007,
  kSrcWaveOut = 0x1008,
  kSrcAuxiliary = 0x1009,
  kSrcAnalog = 0x100A,
};
const char* MixerComponentTypeName(uint32_t type);  // "DST_SPEAKERS", "SRC_MICROPHONE", ...

enum MixerControlType : uint32_t {
  kControlMute = 1,    // boolean, one value per channel
  kControlVolume = 2,  // unsigned 0..65535 per channel
  kControlMixer = 3,   // multiple select: one boolean per item
  kControlMux = 4,     // single select: one boolean per item, exactly one set
};
const char* MixerControlTypeName(uint32_t type);  // "MUTE", "VOLUME", "MIXER", "MUX"

struct MixerCaps {
  std::string name;
  uint32_t destinations = 0;
};

struct MixerLineInfo {
  uint32_t destination = 0;
  uint32_t source = 0;
  uint32_t lineId = 0;
  uint32_t componentType = kDstUndefined;
  uint32_t channels = 0;
  uint32_t connections = 0;  // a destination's source count
  uint32_t controls = 0;
  bool disconnected = false;
  std::string shortName;
  std::string name;
};

struct MixerControlInfo {
  uint32_t controlId = 0;  // never 0 for a real control
  uint32_t type = 0;
  uint32_t itemCount = 0;  // mixer and mux controls
  uint32_t minimum = 0;
  uint32_t maximum = 0;
};

// Called when a control of the mixer changes (from another program or the hardware), on a
// thread of the backend. Receives the control id.
using MixerChangeCallback = std::function<void(uint32_t controlId)>;

class MixerDevice {
 public:
  virtual ~MixerDevice() = default;
  virtual int GetCaps(MixerCaps* caps) = 0;
  virtual int GetDestinationLineInfo(uint32_t destination, MixerLineInfo* line) = 0;
  virtual int GetSourceLineInfo(uint32_t destination, uint32_t source, MixerLineInfo* line) = 0;
  // The line's control of that type, if it has one.
  virtual int GetLineControl(uint32_t lineId, uint32_t type, MixerControlInfo* control) = 0;
  // Values of a control: channels x items 32-bit values (items 1 for mute and volume).
  virtual int GetControlValues(uint32_t controlId, uint32_t channels, uint32_t items,
                               uint32_t* values) = 0;
  virtual int SetControlValues(uint32_t controlId, uint32_t channels, uint32_t items,
                               const uint32_t* values) = 0;
  // Item names of a mixer or mux control.
  virtual int GetListTexts(uint32_t controlId, std::vector<std::string>* texts) = 0;
};

// ---- Backend -----------------------------------------------------------------------------

// The period and buffer the engine asks a device for: periodFrames per block and periods
// blocks queued on output. 0: the backend's own choice.
struct WaveDeviceGeometry {
  int periodFrames = 0;
  int periods = 0;
};

class AudioBackend {
 public:
  virtual ~AudioBackend() = default;
  virtual const char* Name() const = 0;

  // Applies to the devices opened from then on.
  virtual void SetDeviceGeometry(const WaveDeviceGeometry& /*geometry*/) {}
  // The devices keep the pace of real sound (false: a simulated card running as fast as the
  // engine takes its buffers, with no deadline to keep).
  virtual bool RealTime() const { return true; }

  // Wave input. queryOnly asks whether the format would open, opening nothing. doneEvent, if
  // not null, is set on each completed buffer.
  virtual int OpenWaveIn(const WaveDeviceFormat& format, Event* doneEvent, bool queryOnly,
                         std::unique_ptr<WaveInDevice>* device) = 0;
  virtual int OpenWaveOut(const WaveDeviceFormat& format, Event* doneEvent,
                          std::unique_ptr<WaveOutDevice>* device) = 0;

  virtual int WaveOutDeviceCount() = 0;
  virtual std::string WaveOutDeviceName(int device) = 0;
  // The mixer that belongs to a wave output device.
  virtual int MixerIdOfWaveOut(int device, uint32_t* mixerId) = 0;

  virtual int MixerDeviceCount() = 0;
  virtual int OpenMixer(uint32_t mixerId, MixerChangeCallback onChange,
                        std::unique_ptr<MixerDevice>* mixer) = 0;
};

// The process's sound card. Installed once before the engine starts (audio start-up chooses
// it from the configuration; tests install their own).
void SetAudioBackend(std::unique_ptr<AudioBackend> backend);
AudioBackend* CurrentAudioBackend();

// Bytes a frame and bytes a second from the other fields.
void CompleteWaveDeviceFormat(WaveDeviceFormat* format);
