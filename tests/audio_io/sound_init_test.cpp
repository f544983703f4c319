#include "audio/sound_init.h"

#include "platform/audio/audio_device.h"
#include "tests/audio_io/engine_fixture.h"

namespace {

const char kDeviceReport[] =
    "InitSound: Block256 Frames4096 (0.0928798 sec) Div16 Bytes in16384 out16384\n"
    "           16 bit input, 16-bit output\n";

}  // namespace

TEST_F(EngineTest, FullDuplexStartsSetsUpTheMixerAndCloseSoundPutsItBack) {
  TraceCapture trace;
  ASSERT_EQ(Start({}), kInitSound_Ok);
  EXPECT_EQ(trace.Text(), kDeviceReport);
  EXPECT_TRUE(soundDevices.threadStarted);
  EXPECT_NE(soundDevices.waveInHandle.load(), nullptr);
  EXPECT_NE(soundDevices.waveOutHandle.load(), nullptr);
  EXPECT_NE(soundBlock.musicChannels[0], nullptr);
  EXPECT_EQ(soundDevices.inFormat.wBitsPerSample, 16);

  const std::string log = Log();
  EXPECT_THAT(log, HasSubstr("mixerGetNumDevs = 1\n"));
  EXPECT_THAT(log,
              HasSubstr("line0 cConnections=4 szShortName='Volume' mlDst.szName='Speakers' \n"));
  // The last two fields carry the line source, then the wave output.
  EXPECT_THAT(log, HasSubstr("line0:  microphoneIndex=2 waveIndex=3 lineIndex=1\n\n"));
  EXPECT_THAT(log, HasSubstr("line1:  microphoneIndex=1 waveIndex=2 lineIndex=4\n\n"));

  // Line flags: karaoke lines 32, a mono line 1.
  const MixerTable& t = mixerState.table;
  EXPECT_EQ(t.lines[0][0].flags, 32u);
  EXPECT_EQ(t.lines[0][1].flags, 32u);  // wave output to the speakers
  EXPECT_EQ(t.lines[0][2].flags, 1u);   // the mono microphone: not mixed to the speakers
  EXPECT_EQ(t.lines[1][1].flags, 33u);  // the mono microphone recorded
  EXPECT_EQ(t.lines[1][4].flags, 0u);   // wave output is not recorded

  // Karaoke set-up: record the microphone, everything at 90 %.
  EXPECT_EQ(CardValue(1, kSimRecordingName, kControlMute), 0u);
  EXPECT_EQ(CardValue(1, kSimRecordingName, kControlVolume), 58982u);
  EXPECT_EQ(CardValue(1, kSimMicName, kControlMute), 0u);
  EXPECT_EQ(CardValue(1, kSimWaveName, kControlMute), 1u);
  EXPECT_EQ(CardValue(1, kSimWaveName, kControlVolume), 58982u);
  EXPECT_EQ(CardValue(1, kSimRecordingName, kControlMux, 0, 4), 1u);  // the microphone item
  EXPECT_EQ(CardValue(1, kSimRecordingName, kControlMux, 1, 4), 0u);
  EXPECT_EQ(CardValue(0, kSimSpeakersName, kControlMute), 0u);
  EXPECT_EQ(CardValue(0, kSimSpeakersName, kControlVolume), 32768u);  // left alone
  EXPECT_EQ(CardValue(0, kSimMicName, kControlMute), 0u);
  EXPECT_EQ(CardValue(0, kSimWaveName, kControlMute), 0u);
  EXPECT_EQ(CardValue(0, kSimWaveName, kControlVolume), 58982u);

  // A second call does nothing.
  TraceCapture second;
  EXPECT_EQ(InitSound(nullptr, nullptr, kSubBlockDivisor), kInitSound_Ok);
  EXPECT_EQ(second.Text(), "");

  CloseSound();
  EXPECT_TRUE(soundDevices.threadEnded.IsSet());
  EXPECT_FALSE(soundDevices.threadStarted);
  EXPECT_EQ(soundDevices.soundRunning.load(), 0);
  EXPECT_EQ(soundDevices.waveInHandle.load(), nullptr);
  EXPECT_EQ(soundDevices.waveOutHandle.load(), nullptr);
  EXPECT_EQ(soundBlock.musicChannels[0], nullptr);
  EXPECT_EQ(CardValue(1, kSimRecordingName, kControlMute), 1u);
  EXPECT_EQ(CardValue(1, kSimRecordingName, kControlVolume), 32768u);
  EXPECT_EQ(CardValue(1, kSimWaveName, kControlMute), 0u);
  EXPECT_EQ(CardValue(0, kSimWaveName, kControlVolume), 32768u);
  EXPECT_EQ(CardValue(0, kSimMicName, kControlMute), 1u);
  EXPECT_EQ(trace.Text().find("did not end"), std::string::npos);
}

TEST_F(EngineTest, InputFailureRunsOutputOnly) {
  SimAudioOptions options;
  options.failInputQuery = kMmSysErrNoDriver;
  TraceCapture trace;
  ASSERT_EQ(Start(options), kInitSound_InputFailed);
  const std::string noDriver = WaveInErrorText(kMmSysErrNoDriver);
  EXPECT_TRUE(TraceShows(trace, "ThreadProcessSound_WaveOut: start\n"));
  const std::string expected =
      "OpenSound_InputWAVDevice: waveInOpen query error " + noDriver + "\n" +
      "OpenSound_InputWAVDevice: Failed to open at 16-bits, 44100 Hz\n" +
      "OpenSound_InputWAVDevice: waveInOpen query error " + noDriver + "\n" +
      "OpenSound_InputWAVDevice: Uh oh.  Failed to open at 8-bits, 44100 Hz\n" +
      "InitSound: kInitSound_InputFailed:  using sound output only\n";
  EXPECT_EQ(trace.Text().substr(0, expected.size()), expected);
  EXPECT_EQ(soundDevices.waveInHandle.load(), nullptr);
  EXPECT_EQ(soundDevices.outputDriven.load(), 1);
  EXPECT_EQ(soundDevices.inputDriven.load(), 0);
  const std::string log = Log();
  EXPECT_THAT(log, HasSubstr("InitSound: !okIn -> switch to output driven\n"));
  EXPECT_THAT(log, HasSubstr("InitSound: !okIn && okOut kInitSound_InputFailed\n"));
  EXPECT_THAT(log, HasSubstr("InitSound: !okIn && okOut:  using sound output only\n"));
  CloseSound();
  EXPECT_TRUE(soundDevices.threadEnded.IsSet());

  // An input that passes the query but fails to open.
  options.failInputQuery = 0;
  options.failInputOpen = kMmSysErrAllocated;
  TraceCapture again;
  ASSERT_EQ(Start(options), kInitSound_InputFailed);
  EXPECT_THAT(again.Text(), HasSubstr("OpenSound_InputWAVDevice: waveInOpen1 error " +
                                      WaveInErrorText(kMmSysErrAllocated) + "\n"));
}

TEST_F(EngineTest, NoDeviceAtAllMeansNoSoundAndEachOutputCodeHasItsLine) {
  const std::pair<int, const char*> codes[] = {
      {kMmSysErrBadDeviceId, "mmr=2 MMSYSERR_BADDEVICEID\n"},
      {kMmSysErrAllocated, "mmr=4 MMSYSERR_ALLOCATED\n"},
      {kMmSysErrNoDriver, "mmr=6 MMSYSERR_NODRIVER \n"},
      {kMmSysErrNoMem, "mmr=7 MMSYSERR_NOMEM \n"},
      {kWavErrBadFormat, "mmr=32 WAVERR_BADFORMAT \n"},
      {kWavErrSync, "mmr=35 WAVERR_SYNC  \n"},
      {99, "mmr=99 DUNNO ERROR\n"},
  };
  for (const auto& [code, line] : codes) {
    SimAudioOptions options;
    options.failInputOpen = kMmSysErrBadDeviceId;
    options.failOutputOpen = code;
    TraceCapture trace;
    EXPECT_EQ(Start(options), kInitSound_NoDevices);
    EXPECT_THAT(trace.Text(),
                HasSubstr(std::string("OpenSound_OutputWAVDevice: Failed to open WAV out "
                                      "device\n") +
                          line))
        << code;
    EXPECT_FALSE(soundDevices.threadStarted);
    EXPECT_EQ(soundDevices.soundRunning.load(), 0);
    CloseSound();
  }
  EXPECT_THAT(Log(), HasSubstr("InitSound: !okIn && !okOut\n"));
}

TEST_F(EngineTest, AnOutputRefusedBesideTheInputGivesUpTheInput) {
  SimAudioOptions options;
  options.refuseOutputWithInput = true;
  TraceCapture trace;
  ASSERT_EQ(Start(options), kInitSound_NoFullDuplex);
  EXPECT_THAT(trace.Text(), HasSubstr("OpenSound_OutputWAVDevice: Failed to open WAV out device\n"
                                      "mmr=4 MMSYSERR_ALLOCATED\n"));
  EXPECT_TRUE(TraceShows(trace, "ThreadProcessSound_WaveOut: start\n"));
  EXPECT_EQ(soundDevices.waveInHandle.load(), nullptr);
  EXPECT_NE(soundDevices.waveOutHandle.load(), nullptr);
  EXPECT_THAT(Log(), HasSubstr("InitSound: okIn && !okOut  --> okOut !!\n"));
}

TEST_F(EngineTest, MixerFailuresEndStartUpBeforeAnyDevice) {
  struct Case {
    SimMixerLayout mixer;
    const char* trace;
  };
  SimMixerLayout absent, noId, noOpen;
  absent.present = false;
  noId.failMixerId = true;
  noOpen.failOpen = true;
  const Case cases[] = {
      {absent, "InitSound: No mixer devices installed.\n"},
      {noId,
       "GetDefaultWaveMixerID: 1st Wave Device MixerID=0\n"
       "InitSound: GetDefaultWaveMixerID() failed\n"},
      {noOpen, "InitSound: mixerOpen() _mixerID failed\n"},
  };
  for (const Case& c : cases) {
    SimAudioOptions options;
    options.mixer = c.mixer;
    TraceCapture trace;
    EXPECT_EQ(Start(options), kInitSound_MixerFailed);
    EXPECT_EQ(trace.Text(), c.trace);
    EXPECT_EQ(soundDevices.waveInHandle.load(), nullptr);
    EXPECT_EQ(soundDevices.waveOutHandle.load(), nullptr);
    EXPECT_FALSE(soundDevices.threadStarted);
    CloseSound();
  }
  EXPECT_THAT(Log(), HasSubstr("InitSound: GetDefaultWaveMixerID() failed\n"));
}

TEST_F(EngineTest, AFailedOutputRetryLeavesNoThread) {
  SimAudioOptions options;
  options.failOutputOpen = kMmSysErrAllocated;
  TraceCapture trace;
  ASSERT_EQ(Start(options), kInitSound_ThreadFailed);
  EXPECT_THAT(trace.Text(), HasSubstr("InitSound: CreateThread failed\n"));
  EXPECT_EQ(soundDevices.soundRunning.load(), 0);
  EXPECT_FALSE(soundDevices.threadStarted);
  EXPECT_EQ(soundDevices.waveInHandle.load(), nullptr);
  EXPECT_THAT(Log(), HasSubstr("InitSound: okIn && !okOut  --> another !okOut\n"));
}

TEST_F(EngineTest, AnInputThatOnlyOpensAtEightBitsUsesHalfSizeBlocks) {
  SimAudioOptions options;
  options.refuse16BitInput = true;
  TraceCapture trace;
  ASSERT_EQ(Start(options), kInitSound_Ok);
  EXPECT_EQ(trace.Text(),
            "OpenSound_InputWAVDevice: waveInOpen query error " +
                WaveInErrorText(kWavErrBadFormat) + "\n" +
                "OpenSound_InputWAVDevice: Failed to open at 16-bits, 44100 Hz\n" +
                "InitSound: Block256 Frames4096 (0.0928798 sec) Div16 Bytes in8192 out16384\n" +
                "           8 bit input, 16-bit output\n");
  EXPECT_EQ(soundDevices.inFormat.wBitsPerSample, 8);
  EXPECT_EQ(soundDevices.inFormat.nBlockAlign, 2);
  EXPECT_EQ(soundDevices.inputBytes, 8192);
  for (const WaveHeader& h : soundDevices.inHeaders) EXPECT_EQ(h.bufferLength, 8192u);
}

TEST_F(EngineTest, ACardWithoutMicrophoneTakesTheVoiceFromTheLineInput) {
  SimAudioOptions options;
  options.mixer.microphone = false;
  ASSERT_EQ(Start(options), kInitSound_Ok);
  EXPECT_THAT(Log(), HasSubstr("line1:  microphoneIndex=-1 waveIndex=1 lineIndex=3\n\n"));
  EXPECT_EQ(mixerState.table.microphoneIndex[kMixerRecording], 1);
  EXPECT_EQ(mixerState.table.microphoneIndex[kMixerPlayback], 2);
  EXPECT_EQ(CardValue(1, kSimRecordingName, kControlMux, 0, 3), 1u);  // "Line In" selected
  EXPECT_EQ(CardValue(1, kSimLineName, kControlMute), 0u);
}

TEST_F(EngineTest, AnOutputWithoutCompletionsTimesOutEachSecondAndCloseSoundStillEndsIt) {
  SimAudioOptions options;
  options.failInputOpen = kMmSysErrBadDeviceId;
  options.stallOutput = true;
  TraceCapture trace;
  ASSERT_EQ(Start(options), kInitSound_InputFailed);
  EXPECT_TRUE(TraceShows(
      trace, "ThreadProcessSound_WaveOut: failed  WAIT_OBJECT_0 != waitCode -> error =0\n"));
  CloseSound();
  EXPECT_TRUE(soundDevices.threadEnded.IsSet());
  EXPECT_EQ(trace.Text().find("did not end"), std::string::npos);
}
