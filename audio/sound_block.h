// The sound processing block: turns one device block of input into one device block of
// output, always on the one audio thread.
//
// Per 256-frame sub-block, in order: the music from the CD ring (or silence), voice
// reduction, music gain and balance with a linear ramp, the music meter, the microphone (from
// a played-back voice file, or the input's left channel, 16- or 8-bit), dry voice recording
// at 22,050 Hz, the microphone meter, the microphone clean-up filters (high-pass, 60 Hz and
// 120 Hz notches), the voice effects mixed over the music, and the conversion to interleaved
// 16-bit output. After the last sub-block: the recorded samples are written, and voice files
// are closed on request.
//
// With software monitoring the dry microphone, after its clean-up, is mixed over the music at
// the microphone gain wherever the card's own microphone path would carry it: effects off, and
// the presets that add to the dry voice (VoiceFXPresetKeepsDryVoice), not the ones that
// replace it.
//
// All of the block's state is one record, soundBlock. Values the window thread (or the CD
// reader) writes while blocks run are atomics; the rest belongs to the audio thread. The
// block allocates nothing, takes no lock and makes no system call of its own: the voice files
// are written and read by the I/O thread (audio/voice_io.h), woken through its doorbell.
#pragma once

#include <atomic>
#include <cstdint>

#include "audio/cdda_consumer.h"
#include "audio/sample_format.h"
#include "audio/wavefile.h"
#include "dsp/conventions.h"
#include "dsp/iir.h"
#include "dsp/voicefx.h"

static_assert(std::atomic<int32_t>::is_always_lock_free && std::atomic<float>::is_always_lock_free,
              "the audio path needs lock-free shared values");

inline constexpr double kEngineSamplingFrequency = 44100.0;
inline constexpr int kMusicChannelFloats = 30256;
// Blocks longer than this are processed as consecutive blocks of this length (the voice
// buffers of a call hold half of it).
inline constexpr int kMaxBlockFrames = 8192;
// 32767 / 127: brings an 8-bit microphone to the 16-bit scale.
inline constexpr float kEightBitMicrophoneScale = 258.00787f;

// Where step 1 takes the music from while CD streaming is on: the CD ring consumer, or
// another source of 16-bit stereo (a tool rendering a file, a test signal).
using MusicSource = void (*)(float* const channels[2], int bytes);

// The microphone clean-up filters, as bits of the reset requests.
enum MicFilter : int32_t { kMicHighPass = 1, kMicNotch60 = 2, kMicNotch120 = 4 };

struct SoundBlockState {
  // ---- Engine buffers (128-byte aligned, allocated once) ---------------------------------
  EngineBuffer buffers[6];
  float* musicChannels[2] = {nullptr, nullptr};  // 30,256 floats each; a call uses 256
  float* micChannels[2] = {nullptr, nullptr};    // [0] microphone, [1] scratch
  float* fxChannels[2] = {nullptr, nullptr};     // stereo output of the voice effects

  // ---- Written by other threads ----------------------------------------------------------
  std::atomic<int32_t> cdDataReady{0};  // CD reader: digital streaming delivers data
  std::atomic<int32_t> karaokeOn{0};
  std::atomic<int32_t> stereoGeneratorOn{1};
  std::atomic<int32_t> micHighPassOn{1};
  std::atomic<int32_t> notch60On{1};
  std::atomic<int32_t> notch120On{0};
  std::atomic<int32_t> micFilterResetRequests{0};  // MicFilter bits, honoured next sub-block
  std::atomic<float> cdLevel{1.0f};
  std::atomic<float> balance{0.0f};  // -1 left .. +1 right
  std::atomic<float> panGain[2] = {0.70710677f, 0.70710677f};
  std::atomic<float> voicePlaybackGain{1.0f};
  std::atomic<float> microphoneGain{1.0f};     // of the software-monitored dry voice
  std::atomic<int32_t> softwareMonitoring{0};  // mix the dry microphone (InitSound decides)
  std::atomic<int32_t> meterBlocks{1};         // calls per meter update (4096 / block frames)
  // Voice files: the window thread opens a file, then sets its on-flag (release); the block
  // closes it on request and then clears the request and the on-flag (release).
  std::atomic<int32_t> voicePlaybackOn{0};
  std::atomic<int32_t> voiceRecordOn{0};
  std::atomic<int32_t> voicePlaybackCloseRequest{0};
  std::atomic<int32_t> voiceRecordCloseRequest{0};
  std::atomic<int32_t> voicePlaybackSeekRequest{0};

  // ---- Written by the block, read by the window thread -----------------------------------
  std::atomic<float> cdMeterLevel{0.0f};  // 0..100 (above 100 for peaks over full scale)
  std::atomic<float> micMeterLevel{0.0f};

  // ---- The audio thread's own ------------------------------------------------------------
  float prevGain[2] = {-1.0f, -1.0f};  // gain of the previous call; -1 = none yet
  float musicPeak = 1.0f;              // running peaks since the last meter update
  float micPeak = 1.0f;
  int32_t prevCdStreaming = 0;      // cdActive of the previous call
  int32_t meterCalls = 0;           // calls since the last meter update
  int32_t recordSubBlockCount = 0;  // sub-blocks seen since recording became active
  float upsampleCarry = 0.0f;       // last voice-file sample of the previous sub-block
  MusicSource musicSource = WriteCdDataToFloat1;

  // ---- Processors and files --------------------------------------------------------------
  IIR1 micHighPass[2];
  IIR2 notch60[2];
  IIR2 notch120[2];
  VoiceFX voiceFX;
  WaveFile voiceInFile;   // playback
  WaveFile voiceOutFile;  // recording
};

extern SoundBlockState soundBlock;

// Every value of soundBlock to its default (buffers and open files are kept): flags and
// levels, prevGain -1, peaks 1, the CD ring as music source, and the microphone filters
// designed afresh for 44,100 Hz. soundBlock starts in this state.
void DefaultSoundBlock();
// Allocates the engine buffers and chooses the block kernels. Returns 1, or 0 after tracing
// when memory is short (no buffer is kept then).
int AllocateSoundBlockBuffers();
void FreeSoundBlockBuffers();

// Designs the microphone clean-up filters of both channels for a sampling frequency: the
// 10 Hz high-pass, and peaking notches of -40 dB with Q 40 at 60 Hz and 120 Hz; then Init
// (Update and Reset) on each.
void InitMicrophoneFilters(double samplingFrequency);

// Window thread: switches a clean-up filter; turning it on clears its memories first.
void SetMicFilterSwitch(MicFilter filter, int on);
// Window thread: stores the balance and its constant-power gains.
void SetMusicBalance(float balance);

// Meter reading of a peak: dB = 20 log10(peak / 32768), at least -50; reading (dB + 50) x 2.
float MeterLevelFromPeak(float peak);

// inData: interleaved stereo input per inFormat (8- or 16-bit), or null for none. outData:
// interleaved 16-bit stereo output, frames x 4 bytes. cdActive: the caller's copy of
// cdDataReady. stereoWasMono: the calling thread's stereo-generator flag (starts at 1).
void ProcessSoundBlock(const void* inData, void* outData, int frames, const WAVEFORMATEX* inFormat,
                       int cdActive, int* stereoWasMono);
