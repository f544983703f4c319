// The ALSA backend for real, without a sound card: PCM through alsa-lib's "file" plugin over
// the "null" device, a mixer from a test control plugin, and a PCM that is always busy, all
// configured by an asoundrc the test writes.
#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

#include "platform/audio/alsa_audio.h"
#include "platform/sync/event.h"
#include "tests/audio_io/alsa_test_config.h"
#include "tests/audio_io/audio_test_util.h"
#include "tests/support/trace_capture.h"

using namespace testutil;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

bool WaitDone(const WaveHeader& header) {
  return WaitUntil([&] { return header.Done(); });
}

Bytes Pattern(size_t bytes, int seed) {
  Bytes b(bytes);
  for (size_t i = 0; i < bytes; ++i) b[i] = uint8_t((i * 7 + size_t(seed) * 13 + i / 256) & 0xFF);
  return b;
}

}  // namespace

TEST(AlsaBackend, PlaysBlocksThroughTheFilePluginByteForByte) {
  AlsaTestConfig alsa;
  auto backend = CreateAlsaAudioBackend({"sornfile", "sorncard"});
  WaveDeviceFormat format;
  Event done;
  std::unique_ptr<WaveOutDevice> out;
  ASSERT_EQ(backend->OpenWaveOut(format, &done, &out), kMmSysErrNoError);

  const Bytes a = Pattern(16384, 1), b = Pattern(16384, 2);
  WaveHeader ha{.data = const_cast<uint8_t*>(a.data()), .bufferLength = uint32_t(a.size())},
      hb{.data = const_cast<uint8_t*>(b.data()), .bufferLength = uint32_t(b.size())};
  ASSERT_EQ(out->Write(&ha), kWavErrUnprepared);
  ASSERT_EQ(out->PrepareHeader(&ha), kMmSysErrNoError);
  ASSERT_EQ(out->PrepareHeader(&hb), kMmSysErrNoError);
  ASSERT_EQ(out->Write(&ha), kMmSysErrNoError);
  ASSERT_EQ(out->Write(&hb), kMmSysErrNoError);
  ASSERT_TRUE(WaitDone(ha));
  ASSERT_TRUE(WaitDone(hb));
  EXPECT_EQ(done.Wait(1000), kWaitObject0);
  EXPECT_EQ(out->UnprepareHeader(&ha), kMmSysErrNoError);
  ASSERT_EQ(out->Close(), kMmSysErrNoError);
  EXPECT_EQ(out->Write(&hb), kMmSysErrInvalHandle);

  Bytes expected = a;
  expected.insert(expected.end(), b.begin(), b.end());
  const Bytes played = ReadBytes(alsa.PlayedFile());
  ASSERT_GE(played.size(), expected.size());
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), played.begin()));
}

// The low-latency geometry: the device is asked for a period of one block and a buffer of the
// queued blocks, and what it granted is traced; without a geometry the request is as before.
TEST(AlsaBackend, AsksForThePeriodAndBufferAndTracesWhatItGot) {
  AlsaTestConfig alsa;
  auto backend = CreateAlsaAudioBackend({"sornfile", "sorncard"});
  WaveDeviceFormat format;
  std::unique_ptr<WaveOutDevice> out;
  TraceCapture trace;
  ASSERT_EQ(backend->OpenWaveOut(format, nullptr, &out), kMmSysErrNoError);
  EXPECT_THAT(trace.Text(), HasSubstr("playback period 1024 buffer 4096 frames (asked 1024, "
                                      "4096)\n"));
  out->Close();
  backend->SetDeviceGeometry({256, 3});
  ASSERT_EQ(backend->OpenWaveOut(format, nullptr, &out), kMmSysErrNoError);
  EXPECT_THAT(trace.Text(), HasSubstr("AlsaWaveDevice: sornfile playback period 256 buffer 768 "
                                      "frames (asked 256, 768)\n"));
  int64_t delay = -1;
  EXPECT_EQ(out->GetDelayFrames(&delay), kMmSysErrNoError);
  EXPECT_EQ(delay, 0);  // nothing written yet
  out->Close();
}

// An underrun is recovered with snd_pcm_recover, counted and traced, and the queue goes on.
TEST(AlsaBackend, AnUnderrunIsRecoveredCountedAndTraced) {
  AlsaTestConfig alsa;
  auto backend = CreateAlsaAudioBackend({"sornxrun", "sorncard"});
  backend->SetDeviceGeometry({256, 3});
  WaveDeviceFormat format;
  std::unique_ptr<WaveOutDevice> out;
  TraceCapture trace;
  ASSERT_EQ(backend->OpenWaveOut(format, nullptr, &out), kMmSysErrNoError);
  std::vector<Bytes> blocks;
  std::vector<WaveHeader> headers(6);
  for (size_t i = 0; i < headers.size(); ++i) {
    blocks.push_back(Pattern(1024, int(i)));
    headers[i].data = blocks.back().data();
    headers[i].bufferLength = 1024;
    ASSERT_EQ(out->PrepareHeader(&headers[i]), kMmSysErrNoError);
    ASSERT_EQ(out->Write(&headers[i]), kMmSysErrNoError);
  }
  for (const WaveHeader& h : headers) EXPECT_TRUE(WaitDone(h));
  EXPECT_THAT(trace.Text(), HasSubstr("AlsaWaveDevice: playback underrun recovered (1 so far)\n"));
  EXPECT_THAT(trace.Text(), Not(HasSubstr("(2 so far)")));
  out->Reset();
  out->Close();
}

TEST(AlsaBackend, CapturesAGivenFileIn16And8Bits) {
  AlsaTestConfig alsa;
  const Bytes source = Pattern(3 * 16384, 5);
  WriteBytes(alsa.CaptureFile(), source);
  auto backend = CreateAlsaAudioBackend({"sornfile", "sorncard"});

  WaveDeviceFormat format;
  EXPECT_EQ(backend->OpenWaveIn(format, nullptr, true, nullptr), kMmSysErrNoError);  // a query
  Event done;
  std::unique_ptr<WaveInDevice> in;
  ASSERT_EQ(backend->OpenWaveIn(format, &done, false, &in), kMmSysErrNoError);
  Bytes first(16384), second(16384);
  WaveHeader h1{.data = first.data(), .bufferLength = 16384},
      h2{.data = second.data(), .bufferLength = 16384};
  in->PrepareHeader(&h1);
  in->PrepareHeader(&h2);
  ASSERT_EQ(in->AddBuffer(&h1), kMmSysErrNoError);
  ASSERT_EQ(in->AddBuffer(&h2), kMmSysErrNoError);
  EXPECT_EQ(in->AddBuffer(&h2), kWavErrStillPlaying);
  EXPECT_FALSE(h1.Done());  // nothing is recorded before the start
  ASSERT_EQ(in->Start(), kMmSysErrNoError);
  ASSERT_TRUE(WaitDone(h1));
  ASSERT_TRUE(WaitDone(h2));
  EXPECT_EQ(h1.bytesRecorded.load(), 16384u);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), source.begin()));
  EXPECT_TRUE(std::equal(second.begin(), second.end(), source.begin() + 16384));
  EXPECT_EQ(in->Close(), kMmSysErrNoError);

  // The 8-bit fallback format opens too.
  WaveDeviceFormat eight;
  eight.wBitsPerSample = 8;
  CompleteWaveDeviceFormat(&eight);
  EXPECT_EQ(eight.nBlockAlign, 2);
  EXPECT_EQ(backend->OpenWaveIn(eight, nullptr, true, nullptr), kMmSysErrNoError);
}

TEST(AlsaBackend, ResetReturnsQueuedBuffersAndCloseRefusesWhileQueued) {
  AlsaTestConfig alsa;
  WriteBytes(alsa.CaptureFile(), Pattern(16384, 1));
  auto backend = CreateAlsaAudioBackend({"sornfile", "sorncard"});
  std::unique_ptr<WaveInDevice> in;
  ASSERT_EQ(backend->OpenWaveIn(WaveDeviceFormat{}, nullptr, false, &in), kMmSysErrNoError);
  Bytes data(16384);
  WaveHeader h{.data = data.data(), .bufferLength = 16384};
  in->PrepareHeader(&h);
  in->AddBuffer(&h);  // not started: stays queued
  EXPECT_EQ(in->UnprepareHeader(&h), kWavErrStillPlaying);
  EXPECT_EQ(in->Close(), kWavErrStillPlaying);
  EXPECT_EQ(in->Reset(), kMmSysErrNoError);
  EXPECT_TRUE(h.Done());
  EXPECT_EQ(h.bytesRecorded.load(), 0u);
  EXPECT_EQ(in->UnprepareHeader(&h), kMmSysErrNoError);
  EXPECT_EQ(in->Close(), kMmSysErrNoError);
}

TEST(AlsaBackend, MissingAndBusyDevicesGiveTheirCodesAndAlsaErrorsReachTrace) {
  AlsaTestConfig alsa;
  TraceCapture trace;
  auto missing = CreateAlsaAudioBackend({"sorn_no_such_device", "sorn_no_such_ctl"});
  std::unique_ptr<WaveOutDevice> out;
  EXPECT_EQ(missing->OpenWaveOut(WaveDeviceFormat{}, nullptr, &out), kMmSysErrBadDeviceId);
  EXPECT_EQ(missing->OpenWaveIn(WaveDeviceFormat{}, nullptr, true, nullptr), kMmSysErrBadDeviceId);
  EXPECT_EQ(missing->MixerDeviceCount(), 0);
  uint32_t id = 99;
  EXPECT_NE(missing->MixerIdOfWaveOut(0, &id), kMmSysErrNoError);
  // alsa-lib's own complaint arrives as a trace line naming its function.
  EXPECT_NE(trace.Text().find(": Unknown PCM sorn_no_such_device\n"), std::string::npos)
      << trace.Text();

  auto busy = CreateAlsaAudioBackend({"sornbusy", "sorncard"});
  EXPECT_EQ(busy->OpenWaveOut(WaveDeviceFormat{}, nullptr, &out), kMmSysErrAllocated);
  EXPECT_EQ(busy->OpenWaveIn(WaveDeviceFormat{}, nullptr, true, nullptr), kMmSysErrAllocated);
  EXPECT_FALSE(out);

  WaveDeviceFormat odd;
  odd.wBitsPerSample = 24;
  CompleteWaveDeviceFormat(&odd);
  auto file = CreateAlsaAudioBackend({"sornfile", "sorncard"});
  EXPECT_EQ(file->OpenWaveOut(odd, nullptr, &out), kWavErrBadFormat);
}

TEST(AlsaBackend, MixerMapsSimpleElementsToLinesAndControls) {
  AlsaTestConfig alsa;
  auto backend = CreateAlsaAudioBackend({"sornfile", "sorncard"});
  ASSERT_EQ(backend->MixerDeviceCount(), 1);
  std::mutex lock;
  std::set<uint32_t> changed;
  auto wasReported = [&](uint32_t id) {
    std::lock_guard<std::mutex> guard(lock);
    return changed.count(id) > 0;
  };
  std::unique_ptr<MixerDevice> mixer;
  ASSERT_EQ(backend->OpenMixer(
                0,
                [&](uint32_t controlId) {
                  std::lock_guard<std::mutex> guard(lock);
                  changed.insert(controlId);
                },
                &mixer),
            kMmSysErrNoError);

  MixerLineInfo play, rec;
  ASSERT_EQ(mixer->GetDestinationLineInfo(0, &play), kMmSysErrNoError);
  ASSERT_EQ(mixer->GetDestinationLineInfo(1, &rec), kMmSysErrNoError);
  EXPECT_EQ(play.name, "Master");
  EXPECT_EQ(play.componentType, kDstSpeakers);
  EXPECT_EQ(rec.name, "Capture");
  EXPECT_EQ(rec.componentType, kDstWaveIn);

  auto sources = [&](uint32_t d, uint32_t count) {
    std::vector<MixerLineInfo> lines(count);
    for (uint32_t s = 0; s < count; ++s) EXPECT_EQ(mixer->GetSourceLineInfo(d, s, &lines[s]), 0);
    return lines;
  };
  bool micFound = false, waveFound = false;
  for (const MixerLineInfo& line : sources(0, play.connections)) {
    if (line.componentType == kSrcMicrophone) {
      micFound = true;
      EXPECT_EQ(line.name, "Mic");
      EXPECT_EQ(line.channels, 1u);
    }
    if (line.componentType == kSrcWaveOut) waveFound = line.name == "PCM";
  }
  EXPECT_TRUE(micFound);
  EXPECT_TRUE(waveFound);

  // The recording sources follow the capture-source items, so the mux selects by position.
  const auto recSources = sources(1, rec.connections);
  MixerControlInfo mux;
  ASSERT_EQ(mixer->GetLineControl(rec.lineId, kControlMux, &mux), kMmSysErrNoError);
  ASSERT_EQ(mux.itemCount, rec.connections);
  std::vector<std::string> texts;
  ASSERT_EQ(mixer->GetListTexts(mux.controlId, &texts), kMmSysErrNoError);
  uint32_t micItem = 99;
  for (uint32_t i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(texts[i], recSources[i].name);
    if (recSources[i].componentType == kSrcMicrophone) micItem = i;
  }
  ASSERT_LT(micItem, texts.size());
  std::vector<uint32_t> select(mux.itemCount, 0);
  select[micItem] = 1;
  ASSERT_EQ(mixer->SetControlValues(mux.controlId, 1, mux.itemCount, select.data()),
            kMmSysErrNoError);
  EXPECT_EQ(alsa.CardValue("Capture Source", 0), 0);  // "Mic"
  std::vector<uint32_t> state(mux.itemCount);
  ASSERT_EQ(mixer->GetControlValues(mux.controlId, 1, mux.itemCount, state.data()), 0);
  EXPECT_EQ(state, select);

  // Volume 0..65535 over the element's range, mute the inverse of its switch.
  MixerControlInfo volume, mute;
  ASSERT_EQ(mixer->GetLineControl(play.lineId, kControlVolume, &volume), kMmSysErrNoError);
  ASSERT_EQ(mixer->GetLineControl(play.lineId, kControlMute, &mute), kMmSysErrNoError);
  uint32_t v[2] = {0, 0};
  ASSERT_EQ(mixer->GetControlValues(volume.controlId, 2, 0, v), kMmSysErrNoError);
  EXPECT_EQ(v[0], uint32_t(20 * 65535.0 / 31 + 0.5));
  const uint32_t set[2] = {65535, 0};
  ASSERT_EQ(mixer->SetControlValues(volume.controlId, 2, 0, set), kMmSysErrNoError);
  EXPECT_EQ(alsa.CardValue("Master Playback Volume", 0), 31);
  EXPECT_EQ(alsa.CardValue("Master Playback Volume", 1), 0);
  const uint32_t muted = 1;
  ASSERT_EQ(mixer->SetControlValues(mute.controlId, 1, 0, &muted), kMmSysErrNoError);
  EXPECT_EQ(alsa.CardValue("Master Playback Switch", 0), 0);
  uint32_t m = 0;
  ASSERT_EQ(mixer->GetControlValues(mute.controlId, 1, 0, &m), kMmSysErrNoError);
  EXPECT_EQ(m, 1u);

  // A change made by another program is reported with the control it touched.
  {
    std::lock_guard<std::mutex> guard(lock);
    changed.clear();
  }
  alsa.ChangeCard("Master Playback Volume", 0, 5);
  EXPECT_TRUE(WaitUntil([&] { return wasReported(volume.controlId); }));
  ASSERT_EQ(mixer->GetControlValues(volume.controlId, 2, 0, v), kMmSysErrNoError);
  EXPECT_EQ(v[0], uint32_t(5 * 65535.0 / 31 + 0.5));
  mixer.reset();  // ends the watcher thread
}
