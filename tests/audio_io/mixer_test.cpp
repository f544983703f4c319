#include "audio/mixer.h"

#include <gtest/gtest.h>

#include "platform/audio/sim_audio.h"
#include "platform/settings/registry.h"
#include "tests/audio_io/audio_test_util.h"
#include "tests/support/trace_capture.h"

using namespace testutil;

namespace {

// A mixer table of one destination built the way start-up builds it: the destination line,
// then its sources with their controls.
struct SimMixerFixture {
  explicit SimMixerFixture(SimAudioOptions options = {})
      : backend(CreateSimAudioBackend(std::move(options))) {
    backend->OpenMixer(0, nullptr, &mixer);
    ClearMixerTable(&table);
    for (uint32_t d = 0; d < 2; ++d) {
      MixerLineInfo dst;
      mixer->GetDestinationLineInfo(d, &dst);
      InitMixerLineControls(mixer.get(), sndAddMixerLine(&table, d, 0, "", dst.name.c_str(), 32),
                            dst.lineId);
      for (uint32_t s = 0; s < dst.connections; ++s) {
        MixerLineInfo src;
        mixer->GetSourceLineInfo(d, s, &src);
        MixerLine* line = sndAddMixerLine(&table, d, 0, "", src.name.c_str(), 0);
        InitMixerLineControls(mixer.get(), line, src.lineId);
        if (src.componentType == kSrcMicrophone) table.microphoneIndex[d] = int(s) + 1;
        if (src.componentType == kSrcWaveOut) table.waveOutIndex[d] = int(s) + 1;
        if (src.componentType == kSrcLine) table.lineInIndex[d] = int(s) + 1;
      }
    }
  }
  MixerLine& Line(int d, int position) { return table.lines[d][position]; }

  std::unique_ptr<AudioBackend> backend;
  std::unique_ptr<MixerDevice> mixer;
  MixerTable table;
};

void WriteSoundMapper(const char* playback, const char* preferredOnly) {
  bool created = false;
  auto key = RegistryKey::CreateOrOpen(kSoundMapperKey, &created);
  if (playback) key->Write("Playback", playback);
  if (preferredOnly) key->Write("PreferredOnly", preferredOnly);
  key->Flush();
}

}  // namespace

TEST(Mixer, DefaultWaveMixerFollowsTheSoundMapperPreference) {
  TempDir config;
  ScopedEnv env("SORN_CONFIG_DIR", config.Path());
  SimAudioOptions options;
  options.deviceName = "Card A";
  SetAudioBackend(CreateSimAudioBackend(options));
  uint32_t id = 77;
  EXPECT_EQ(GetDefaultWaveMixerID(&id), 0);  // no preference: the first device's mixer
  EXPECT_EQ(id, 0u);

  WriteSoundMapper("Card A", "1");
  id = 77;
  EXPECT_EQ(GetDefaultWaveMixerID(&id), 0);
  EXPECT_EQ(id, 0u);
  WriteSoundMapper("Card B", "0");
  EXPECT_EQ(GetDefaultWaveMixerID(&id), 0);  // not installed, not required: device 0
  WriteSoundMapper("Card B", "1");
  EXPECT_EQ(GetDefaultWaveMixerID(&id), 1);  // required and not installed

  options.noWaveOutDevices = true;
  SetAudioBackend(CreateSimAudioBackend(options));
  WriteSoundMapper("Card A", "0");
  EXPECT_EQ(GetDefaultWaveMixerID(&id), 1);

  options.noWaveOutDevices = false;
  options.mixer.failMixerId = true;
  SetAudioBackend(CreateSimAudioBackend(options));
  TraceCapture trace;
  EXPECT_EQ(GetDefaultWaveMixerID(&id), kMmSysErrNoDriver);
  EXPECT_EQ(trace.Text(), "GetDefaultWaveMixerID: 1st Wave Device MixerID=0\n");
  SetAudioBackend(nullptr);
}

TEST(Mixer, VolumesReadAsPercentOfTheLouderChannelAndMonoControlsFillBoth) {
  SimMixerFixture stereo;
  MixerLine& dst = stereo.Line(0, 0);
  const uint32_t values[2] = {65535, 0};
  ASSERT_EQ(SetMixerLineVolume(stereo.mixer.get(), &dst, values, 2), 1);
  EXPECT_EQ(GetVolume(stereo.mixer.get(), &dst, 2), 100);
  ASSERT_EQ(SetMixerLineVolumePercent(stereo.mixer.get(), &dst, 50.0, 2), 1);
  GetAudioHardwareVolumes(stereo.mixer.get(), &dst, 2);
  EXPECT_EQ(dst.volume[0], 32768u);  // 50 x 655.35 rounded
  EXPECT_EQ(dst.volume[1], 32768u);
  EXPECT_EQ(GetVolume_Destination(stereo.mixer.get(), &stereo.table, 0, 2), 50);
  ASSERT_EQ(SetMixerLineVolumePercent(stereo.mixer.get(), &dst, 250.0, 2), 1);  // limited
  EXPECT_EQ(GetVolume(stereo.mixer.get(), &dst, 1), 100);

  SimAudioOptions monoOptions;
  monoOptions.mixer.monoControls = true;
  SimMixerFixture mono(monoOptions);
  MixerLine& m = mono.Line(1, 0);
  // A stereo write to a mono control is retried with one value; a stereo read likewise.
  const uint32_t pair[2] = {40000, 10};
  ASSERT_EQ(SetMixerLineVolume(mono.mixer.get(), &m, pair, 2), 1);
  m.volume[0] = m.volume[1] = 0;
  GetAudioHardwareVolumes(mono.mixer.get(), &m, 2);
  EXPECT_EQ(m.volume[0], 40000u);
  EXPECT_EQ(m.volume[1], 40000u);
  EXPECT_EQ(GetVolume(mono.mixer.get(), &m, 2), 61);

  TraceCapture trace;
  EXPECT_EQ(GetVolume(nullptr, &m, 2), 0);
  EXPECT_EQ(trace.Text(), "GetVolume: mixer=NULL\n");
}

TEST(Mixer, MicrophoneOperationsNeedAMicrophoneLine) {
  SimMixerFixture card;
  const int mic = card.table.microphoneIndex[kMixerPlayback];
  ASSERT_GT(mic, 0);
  EXPECT_EQ(SetMute_Microphone(card.mixer.get(), &card.table, kMixerPlayback, 1), 1);
  EXPECT_EQ(card.Line(kMixerPlayback, mic).mute, 1u);
  GetAudioHardwareMute(card.mixer.get(), &card.Line(kMixerPlayback, mic));
  EXPECT_EQ(card.Line(kMixerPlayback, mic).mute, 1u);
  EXPECT_EQ(SetVolume_Microphone(card.mixer.get(), &card.table, kMixerRecording, 70, 1), 1);
  EXPECT_EQ(GetVolume_Microphone(card.mixer.get(), &card.table, kMixerRecording, 1), 70);

  // The recording selector: the microphone's item is the only one set.
  ASSERT_EQ(SelectInput_Microphone(card.mixer.get(), &card.table, kMixerRecording), 1);
  MixerLine& rec = card.Line(kMixerRecording, 0);
  std::vector<uint32_t> items(rec.muxItemCount);
  ASSERT_EQ(card.mixer->GetControlValues(rec.muxControlId, 1, rec.muxItemCount, items.data()), 0);
  for (uint32_t i = 0; i < items.size(); ++i)
    EXPECT_EQ(items[i], i + 1 == uint32_t(card.table.microphoneIndex[kMixerRecording]) ? 1u : 0u);
  EXPECT_EQ(SelectInput_Microphone(card.mixer.get(), &card.table, kMixerPlayback), 0);  // no mux

  SimAudioOptions noMic;
  noMic.mixer.microphone = false;
  SimMixerFixture bare(noMic);
  EXPECT_EQ(SetMute_Microphone(bare.mixer.get(), &bare.table, kMixerPlayback, 1), 0);
  EXPECT_EQ(SetVolume_Microphone(bare.mixer.get(), &bare.table, kMixerRecording, 50, 2), 0);
  EXPECT_EQ(GetVolume_Microphone(bare.mixer.get(), &bare.table, kMixerRecording, 2), 0);
  EXPECT_EQ(SelectInput_Microphone(bare.mixer.get(), &bare.table, kMixerRecording), 0);
}

TEST(Mixer, ReadAndRestoreTheStartUpStateAndReportFailures) {
  SimMixerFixture card;
  MixerTable snapshot = card.table;
  ReadMixerState(card.mixer.get(), &snapshot);
  EXPECT_EQ(snapshot.lines[0][0].volume[0], 32768u);
  EXPECT_EQ(snapshot.lines[0][0].mute, 1u);
  const uint32_t loud[2] = {60000, 60000};
  SetMixerLineVolume(card.mixer.get(), &card.Line(0, 0), loud, 2);
  SetMixerLineMute(card.mixer.get(), &card.Line(0, 0), 0);
  SetMute_Microphone(card.mixer.get(), &card.table, kMixerRecording, 1);
  RestoreMixerState(card.mixer.get(), &snapshot);
  MixerLine check = card.Line(0, 0);
  GetAudioHardwareVolumes(card.mixer.get(), &check, 2);
  GetAudioHardwareMute(card.mixer.get(), &check);
  EXPECT_EQ(check.volume[0], 32768u);
  EXPECT_EQ(check.mute, 1u);
  MixerLine mic = card.Line(kMixerRecording, card.table.microphoneIndex[kMixerRecording]);
  GetAudioHardwareMute(card.mixer.get(), &mic);
  EXPECT_EQ(mic.mute, 0u);

  // Lines without controls and controls that fail are reported by the getters.
  TraceCapture trace;
  MixerLine bare;
  bare.lineId = 7;
  std::snprintf(bare.name, sizeof bare.name, "Nothing");
  GetAudioHardwareMute(card.mixer.get(), &bare);
  GetAudioHardwareVolumes(card.mixer.get(), &bare, 2);
  EXPECT_EQ(SetMixerLineMute(card.mixer.get(), &bare, 1), 0);
  EXPECT_EQ(trace.Text(),
            "GetAudioHardwareMute: 7 'Nothing' Hey.  No ID for mute\n"
            "GetAudioHardwareVolumes: 7 'Nothing' Hey.  No ID for Volume\n");

  SimAudioOptions failing;
  failing.mixer.failingControls = true;
  SimMixerFixture broken(failing);
  TraceCapture failures;
  MixerLine& dst = broken.Line(0, 0);
  GetAudioHardwareMute(broken.mixer.get(), &dst);
  GetAudioHardwareVolumes(broken.mixer.get(), &dst, 2);
  EXPECT_EQ(SelectInput_Microphone(broken.mixer.get(), &broken.table, kMixerRecording), 0);
  const std::string id = std::to_string(dst.lineId);
  EXPECT_EQ(failures.Text(),
            "GetAudioHardwareMute: " + id + " 'Speakers' Error in mixerGetControlDetails()\n" +
                "GetAudioHardwareVolumes: " + id +
                " 'Speakers' Error in mixerGetControlDetails()\n" +
                "SelectInput_Microphone: mixerSetControlDetails(Select Input) failed\n");

  SimAudioOptions noMic;
  noMic.mixer.microphone = false;
  SimMixerFixture bareCard(noMic);
  MixerTable noMicSnapshot = bareCard.table;
  TraceCapture missing;
  ReadMixerState(bareCard.mixer.get(), &noMicSnapshot);
  EXPECT_EQ(missing.Text(),
            "GetMute_Microphone: Uh oh kMixerLineConnection_NotFound\n"
            "GetMute_Microphone: Uh oh kMixerLineConnection_NotFound\n");
}

TEST(Mixer, ADestinationHoldsAtMostFifteenLines) {
  MixerTable table;
  ClearMixerTable(&table);
  for (int i = 0; i < kMixerMaxLines; ++i)
    EXPECT_NE(sndAddMixerLine(&table, 1, 0, "s", "n", 0), nullptr);
  EXPECT_EQ(sndAddMixerLine(&table, 1, 0, "s", "n", 0), nullptr);
  EXPECT_EQ(table.lineCount[1], kMixerMaxLines);
  EXPECT_EQ(sndAddMixerLine(&table, 9, 0, "s", "n", 0), nullptr);
  const std::string longName(1000, 'x');
  MixerLine* line = sndAddMixerLine(&table, 0, 0, longName.c_str(), longName.c_str(), 1);
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(std::string(line->shortName).size(), 199u);
  EXPECT_EQ(std::string(line->name).size(), 399u);
}
