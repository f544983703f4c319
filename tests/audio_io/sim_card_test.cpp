#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "platform/audio/sim_audio.h"
#include "platform/sync/event.h"
#include "tests/audio_io/audio_test_util.h"

using namespace testutil;

namespace {

struct Recorder {
  std::mutex lock;
  Bytes played;
  int closes = 0;
};

SimAudioOptions RecordingOptions(std::shared_ptr<Recorder> recorder, bool realTime) {
  SimAudioOptions options;
  options.realTime = realTime;
  options.openSink = [recorder](const WaveDeviceFormat&) {
    SimPcmSink sink;
    sink.write = [recorder](const uint8_t* data, size_t bytes) {
      std::lock_guard<std::mutex> guard(recorder->lock);
      recorder->played.insert(recorder->played.end(), data, data + bytes);
    };
    sink.close = [recorder] {
      std::lock_guard<std::mutex> guard(recorder->lock);
      ++recorder->closes;
    };
    return sink;
  };
  options.openSource = [](const WaveDeviceFormat&) {
    SimPcmSource source;
    auto next = std::make_shared<uint8_t>(0);
    source.read = [next](uint8_t* data, size_t bytes) {
      const size_t n = std::min<size_t>(bytes, 6);  // six bytes, then silence
      for (size_t i = 0; i < n; ++i) data[i] = ++*next;
      return n;
    };
    return source;
  };
  return options;
}

}  // namespace

TEST(SimCard, OutputPlaysWrittenBuffersInOrderAndSignalsEachCompletion) {
  for (bool realTime : {false, true}) {
    auto recorder = std::make_shared<Recorder>();
    auto backend = CreateSimAudioBackend(RecordingOptions(recorder, realTime));
    Event done;
    std::unique_ptr<WaveOutDevice> out;
    ASSERT_EQ(backend->OpenWaveOut(WaveDeviceFormat{}, &done, &out), kMmSysErrNoError);
    Bytes a(400, 1), b(400, 2);
    WaveHeader ha{.data = a.data(), .bufferLength = 400}, hb{.data = b.data(), .bufferLength = 400};
    out->PrepareHeader(&ha);
    out->PrepareHeader(&hb);
    ASSERT_EQ(out->Write(&ha), kMmSysErrNoError);
    ASSERT_EQ(out->Write(&hb), kMmSysErrNoError);
    int signals = 0;
    while (!(ha.Done() && hb.Done()) && done.Wait(2000) == kWaitObject0) ++signals;
    EXPECT_TRUE(ha.Done() && hb.Done()) << realTime;
    if (signals == 0) {
      EXPECT_EQ(done.Wait(0), kWaitObject0);  // completed within Write
    }
    ASSERT_EQ(out->Close(), kMmSysErrNoError);
    std::lock_guard<std::mutex> guard(recorder->lock);
    Bytes expected(800, 1);
    std::fill(expected.begin() + 400, expected.end(), 2);
    EXPECT_EQ(recorder->played, expected);
    EXPECT_EQ(recorder->closes, 1);
  }
}

TEST(SimCard, InputFillsFromItsSourceThenSilenceAndStopsOnReset) {
  auto recorder = std::make_shared<Recorder>();
  auto backend = CreateSimAudioBackend(RecordingOptions(recorder, true));
  WaveDeviceFormat eight;
  eight.wBitsPerSample = 8;
  CompleteWaveDeviceFormat(&eight);
  std::unique_ptr<WaveInDevice> in;
  ASSERT_EQ(backend->OpenWaveIn(eight, nullptr, false, &in), kMmSysErrNoError);
  Bytes data(10, 0xEE), big(44100 * 2 * 10);
  // slow takes ten seconds at the card's pace.
  WaveHeader h{.data = data.data(), .bufferLength = 10},
      slow{.data = big.data(), .bufferLength = uint32_t(big.size())};
  in->PrepareHeader(&h);
  in->PrepareHeader(&slow);
  in->AddBuffer(&h);
  in->AddBuffer(&slow);
  ASSERT_EQ(in->Start(), kMmSysErrNoError);
  ASSERT_TRUE(WaitUntil([&] { return h.Done(); }));
  EXPECT_EQ(data, (Bytes{1, 2, 3, 4, 5, 6, 0x80, 0x80, 0x80, 0x80}));  // 8-bit silence is 128
  EXPECT_EQ(h.bytesRecorded.load(), 10u);
  // The long buffer is still being recorded; a reset hands it back at once.
  EXPECT_FALSE(slow.Done());
  EXPECT_EQ(in->Reset(), kMmSysErrNoError);
  EXPECT_TRUE(slow.Done());
  EXPECT_LT(slow.bytesRecorded.load(), slow.bufferLength);
  EXPECT_EQ(in->Close(), kMmSysErrNoError);
  EXPECT_EQ(in->Start(), kMmSysErrInvalHandle);
}

// Mono controls take one value and refuse two; every change is reported.
TEST(SimCard, MonoControlsAndChangeNotification) {
  SimAudioOptions options;
  options.mixer.monoControls = true;
  auto backend = CreateSimAudioBackend(options);
  std::atomic<int> changes{0};
  std::unique_ptr<MixerDevice> mixer;
  ASSERT_EQ(backend->OpenMixer(
                0, [&](uint32_t) { ++changes; }, &mixer),
            kMmSysErrNoError);
  MixerLineInfo rec, none;
  ASSERT_EQ(mixer->GetDestinationLineInfo(1, &rec), kMmSysErrNoError);
  EXPECT_EQ(mixer->GetSourceLineInfo(1, rec.connections, &none), kMixErrInvalLine);
  MixerControlInfo volume;
  ASSERT_EQ(mixer->GetLineControl(rec.lineId, kControlVolume, &volume), kMmSysErrNoError);
  uint32_t two[2] = {1, 2};
  EXPECT_EQ(mixer->GetControlValues(volume.controlId, 2, 0, two), kMmSysErrInvalParam);
  const uint32_t one = 1234;
  EXPECT_EQ(mixer->SetControlValues(volume.controlId, 1, 0, &one), kMmSysErrNoError);
  EXPECT_EQ(changes.load(), 1);
  uint32_t read = 0;
  EXPECT_EQ(mixer->GetControlValues(volume.controlId, 1, 0, &read), kMmSysErrNoError);
  EXPECT_EQ(read, 1234u);
}
