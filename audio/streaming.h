// The sound card's wave input and output devices, their buffer queues, and the streaming
// thread that keeps them fed: full duplex (each completed input block is processed into the
// next free output block) or output only (each output block the card hands back is processed
// again with no input). Both call ProcessSoundBlock once per 4096-frame block, and both hand
// the end of a digital CD run back to the CD reader.
//
// Block geometry: the standard block is 4096 frames with 4 output blocks queued behind 3 input
// blocks. The low-latency mode uses smaller blocks with fewer output blocks queued (see
// GeometryForBlockFrames); the engine's latency from microphone to speaker is the output queue,
// outputBlocks x blockFrames frames.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "audio/sample_format.h"
#include "platform/audio/audio_device.h"
#include "platform/sync/event.h"

inline constexpr int kBlockFrames = 4096;  // the standard block, and the largest
inline constexpr int kInputHeaderCount = 3;
inline constexpr int kOutputHeaderCount = 4;  // the most output blocks any geometry queues
inline constexpr int kWaveBufferBytes = 50000;

struct BlockGeometry {
  int blockFrames = kBlockFrames;         // frames of one device block (one processing call)
  int outputBlocks = kOutputHeaderCount;  // output blocks queued on the card
  int inputBlocks = kInputHeaderCount;    // input blocks queued for recording
};
// 4096: the standard geometry. 256: 3 output blocks queued (17.4 ms); 512 and 1024: 2.
BlockGeometry GeometryForBlockFrames(int blockFrames);

// Called by the streaming thread once when a digital CD run has ended (cdDataReady fell to 0):
// the CD side stores the pause position when paused and wakes its reader (drainedEvent).
// Returns false when the reader's event could not be set. Installed by the CD reader.
using StreamDrainedHandler = bool (*)();

struct SoundDeviceState {
  // Chosen by InitSound from the settings; fixed while the engine runs.
  BlockGeometry geometry;
  // Device formats: the input one is what ProcessSoundBlock gets as inFormat.
  WAVEFORMATEX inFormat;
  WAVEFORMATEX outFormat;
  int inputBytes = 0;   // bytes of one input block
  int outputBytes = 0;  // bytes of one output block
  int blockDivisor = 16;

  std::atomic<int32_t> inputDriven{1};
  std::atomic<int32_t> outputDriven{0};
  std::atomic<int32_t> soundRunning{0};

  // The devices: owned here until CloseSound, so a handle the streaming thread still holds
  // stays valid (a closed device answers every call with an error).
  std::unique_ptr<WaveInDevice> waveIn;
  std::unique_ptr<WaveOutDevice> waveOut;
  std::atomic<WaveInDevice*> waveInHandle{nullptr};
  std::atomic<WaveOutDevice*> waveOutHandle{nullptr};
  std::unique_ptr<Event> inputDoneEvent;
  std::unique_ptr<Event> outputDoneEvent;

  WaveHeader inHeaders[kInputHeaderCount];
  WaveHeader outHeaders[kOutputHeaderCount];
  alignas(128) uint8_t inBuffers[kInputHeaderCount][kWaveBufferBytes];
  alignas(128) uint8_t outBuffers[kOutputHeaderCount][kWaveBufferBytes];
  std::atomic<int32_t> outWriteFailed[kOutputHeaderCount] = {};
  // Where a block goes when every output block is still queued on the card; it is written
  // when the next one comes back (overflowPending).
  alignas(128) uint8_t overflowBuffer[kBlockFrames * 4];
  bool overflowPending = false;
  std::atomic<int32_t> lostBlocks{0};  // kept-back blocks lost to a newer one
  int64_t outputStartNs = 0;           // when the output started playing (steady clock)

  // The streaming thread's own.
  int32_t outIndex = 0;
  uint32_t inSequence = 0;
  int32_t emptyWakeCount = 0;

  pthread_t thread{};
  bool threadStarted = false;
  Event threadEnded{Event::Reset::kManual};

  std::atomic<StreamDrainedHandler> drainedHandler{nullptr};

  // What the listener hears, published by the streaming thread after each output block: the
  // CD byte position heard at heardAtNs (steady clock), and the position of the last byte
  // written, which the listener cannot pass. A sequence count guards the three.
  std::atomic<uint32_t> heardSequence{0};
  std::atomic<int64_t> heardBytes{0};
  std::atomic<int64_t> heardAtNs{0};
  std::atomic<int64_t> writtenBytes{0};
};
extern SoundDeviceState soundDevices;

void SetStreamDrainedHandler(StreamDrainedHandler handler);

// The CD position the listener hears now, in milliseconds into the current track: what the
// ring consumer has taken less what is still queued for the sound card, the engine's output
// blocks and the card's own buffer where the backend reports it. Between two output blocks it
// runs on with the clock. 0 before any block. Any thread; lyrics and graphics follow it.
int64_t CdPositionHeardMs();
// Streaming thread, after writing an output block: publishes the position heard.
void PublishHeardPosition(WaveOutDevice* device);

// Opens the default input at 44,100 Hz stereo, 16-bit or else 8-bit (the descriptor is
// filled); with an event slot, the device sets that event on each completed block. Prepares
// the 3 input headers without starting. 1 opened, 0 failed.
int OpenSound_InputWAVDevice(WAVEFORMATEX* format, int divisor, std::unique_ptr<Event>* event);
// Opens the default output (null format: the built-in PCM 2 x 44,100 x 16 one) and queues 4
// blocks of silence at once. 1 opened, 0 failed.
int OpenSound_OutputWAVDevice(WAVEFORMATEX* format, int divisor, std::unique_ptr<Event>* event);
int CloseSound_InputWAVDevice();
// Nonzero: starts the input and adds its headers; zero: writes the output headers again.
int StartWAVDevices(int input);
void ProcessAndWAVOutput(WaveHeader* inHeader, int cdActive, int* needsStereoReset);

// Thread entries.
void* ThreadProcessSound_WaveInWaveOut(void* parameter);
void* ThreadProcessSound_WaveOut(void* parameter);
