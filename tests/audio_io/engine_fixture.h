// The audio engine on the simulated sound card: a scratch settings folder and log, a card with
// the test's options, InitSound, and CloseSound at the end.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "audio/cdda_ring.h"
#include "audio/mixer.h"
#include "audio/sound_block.h"
#include "audio/sound_init.h"
#include "audio/streaming.h"
#include "diagnostics/diagnostics.h"
#include "platform/audio/sim_audio.h"
#include "platform/sync/event.h"
#include "tests/audio_io/audio_test_util.h"
#include "tests/support/trace_capture.h"

using ::testing::HasSubstr;

namespace testutil {

// The CD ring empty and at the start of a track, as before a first run.
inline void ResetCddaRing() {
  CddaRingState& r = cddaRing;
  r.producerSlot = r.consumerSlot = r.consumerOffset = 0;
  r.underrun = r.ringDrained = r.draining = r.readError = 0;
  r.resumeMark = -1;
  r.lastPosition = 0;
}

}  // namespace testutil

class EngineTest : public ::testing::Test {
 protected:
  EngineTest() : config_("SORN_CONFIG_DIR", dir_.Path()) {
    SetLogFolderSource([this] { return dir_.Path() + "/"; });
  }
  ~EngineTest() override {
    CloseSound();
    SetAudioBackend(nullptr);
    SetLogFolderSource(nullptr);
    SetStreamDrainedHandler(nullptr);
  }

  // Starts the engine on a simulated card; the card counts the output blocks it plays.
  int Start(SimAudioOptions options) {
    auto counter = std::make_shared<std::atomic<int64_t>>(0);
    outputBytes_ = counter;
    auto inner = options.openSink;
    options.openSink = [inner, counter](const WaveDeviceFormat& format) {
      SimPcmSink sink = inner ? inner(format) : SimPcmSink{};
      auto write = sink.write;
      sink.write = [write, counter](const uint8_t* data, size_t bytes) {
        if (write) write(data, bytes);
        counter->fetch_add(int64_t(bytes), std::memory_order_release);
      };
      return sink;
    };
    SetAudioBackend(CreateSimAudioBackend(std::move(options)));
    return InitSound(nullptr, nullptr, kSubBlockDivisor);
  }

  // Output blocks played so far (the first four are the silence queued at opening).
  int64_t OutputBlocks() const {
    return outputBytes_ ? outputBytes_->load(std::memory_order_acquire) / 16384 : 0;
  }
  bool WaitOutputBlocks(int64_t count) const {
    return testutil::WaitUntil([&] { return OutputBlocks() >= count; }, 10000);
  }

  std::string Log() {
    testutil::Bytes b = testutil::ReadBytes(dir_.File(kLogFileName));
    return std::string(b.begin(), b.end());
  }

  // Waits (bounded) until the trace holds the text.
  static bool TraceShows(TraceCapture& trace, const std::string& text) {
    return testutil::WaitUntil([&] { return trace.Text().find(text) != std::string::npos; });
  }

  // A control value of the simulated card, looked up by line name.
  uint32_t CardValue(uint32_t destination, const std::string& lineName, uint32_t type,
                     uint32_t item = 0, uint32_t items = 0) {
    std::unique_ptr<MixerDevice> mixer;
    CurrentAudioBackend()->OpenMixer(0, nullptr, &mixer);
    MixerLineInfo line;
    mixer->GetDestinationLineInfo(destination, &line);
    if (line.name != lineName) {
      const uint32_t count = line.connections;
      for (uint32_t s = 0; s < count; ++s) {
        mixer->GetSourceLineInfo(destination, s, &line);
        if (line.name == lineName) break;
      }
    }
    MixerControlInfo control;
    if (mixer->GetLineControl(line.lineId, type, &control) != kMmSysErrNoError) return 0xDEAD;
    std::vector<uint32_t> values(std::max<uint32_t>(items, 1));
    mixer->GetControlValues(control.controlId, 1, items, values.data());
    return values[item];
  }

  testutil::TempDir dir_;
  testutil::ScopedEnv config_;
  std::shared_ptr<std::atomic<int64_t>> outputBytes_;
};
