#include "audio/voicefile.h"

#include <unistd.h>

#include <cstring>
#include <vector>

#include "settings/settings.h"
#include "tests/audio_io/engine_fixture.h"
#include "tests/support/outside_tool.h"

using namespace testutil;

namespace {

class VoiceFileTest : public EngineTest {
 protected:
  VoiceFileTest() {
    settings.databasePath = dir_.Path() + "/";
    voiceDisc =
        VoiceDisc{[this](int track) {
                    return VoiceTitles{album_, track < int(tracks_.size()) ? tracks_[track] : ""};
                  },
                  0x0a0b0c0du, 2};
    DefaultSoundBlock();
  }
  ~VoiceFileTest() override {
    // Files a test leaves open are closed as shutdown would.
    CloseSound();
    waveFileCloseIn(&soundBlock.voiceInFile);
    waveFileCloseOut(&soundBlock.voiceOutFile);
    DefaultSoundBlock();
    voiceDisc = VoiceDisc{};
    SetVoicePlayButtonUpdate(nullptr);
  }
  std::string Folder() const { return dir_.Path() + "/"; }

  std::string album_;
  std::vector<std::string> tracks_ = std::vector<std::string>(4);
};

}  // namespace

TEST_F(VoiceFileTest, TheNameComesFromTheDiscAndSongTitles) {
  VoiceDisc none{nullptr, 0x0a0b0c0du, 2};
  EXPECT_EQ(VoiceFileName(none, 2), Folder() + "Unknown CD Song3 Unknown Song 0a0b0c0d.wav");
  album_ = "Greatest Hits";
  tracks_[0] = "Opening Number";
  EXPECT_EQ(VoiceFileName(voiceDisc, 0),
            Folder() + "Greatest Hits Song1 Opening Number 0a0b0c0d.wav");
  EXPECT_EQ(VoiceFileName(voiceDisc, 1),
            Folder() + "Greatest Hits Song2 Unknown Song 0a0b0c0d.wav");
}

TEST_F(VoiceFileTest, TitlesCannotReachIntoOtherFoldersAndSafeTitlesStayAsTheyAre) {
  EXPECT_EQ(SafeFileNamePart("AC/DC"), "AC_DC");
  EXPECT_EQ(SafeFileNamePart("../../etc/passwd"), ".._.._etc_passwd");
  EXPECT_EQ(SafeFileNamePart(std::string("A\0B", 3)), "A_B");
  EXPECT_EQ(SafeFileNamePart("."), "_");
  EXPECT_EQ(SafeFileNamePart(".."), "__");
  for (const char* safe : {"...", "Don't Stop: Live", "Café 1999", ".hidden", "a..b", ""})
    EXPECT_EQ(SafeFileNamePart(safe), safe);

  album_ = "../../outside";
  tracks_[2] = std::string("Side A/\0B", 9);
  std::string name;
  ASSERT_EQ(SetUpWaveOutFile(&soundBlock.voiceOutFile, voiceDisc, 2, &name), 1);
  EXPECT_EQ(name, Folder() + ".._.._outside Song3 Side A__B 0a0b0c0d.wav");
  EXPECT_TRUE(waveFileCloseOut(&soundBlock.voiceOutFile));
  EXPECT_EQ(access(name.c_str(), F_OK), 0);  // inside the CD information folder
}

TEST_F(VoiceFileTest, RecordingFilesAre22050HzMonoAndReplaceTheOldOne) {
  const std::string path = VoiceFileName(voiceDisc, 2);
  WriteBytes(path, Bytes(5000, 0x77));
  int updates = -1;
  SetVoicePlayButtonUpdate([&](void*, int available) { updates = available; });
  ASSERT_EQ(StartVoiceFileRecording(nullptr), 1);
  EXPECT_EQ(soundBlock.voiceRecordOn.load(), 1);
  EXPECT_EQ(updates, 1);
  EXPECT_EQ(VoiceRecordFileName(), path);
  const WavePcmFormat& f = soundBlock.voiceOutFile.format;
  EXPECT_EQ(f.nSamplesPerSec, 22050u);
  EXPECT_EQ(f.nChannels, 1);
  EXPECT_EQ(f.wBitsPerSample, 16);
  // No streaming thread runs: stopping closes the file here.
  EXPECT_EQ(StopVoiceFileRecording(), 1);
  EXPECT_EQ(soundBlock.voiceRecordOn.load(), 0);
  EXPECT_FALSE(WaveFileIsOpen(soundBlock.voiceOutFile));
  EXPECT_EQ(ReadBytes(path).size(), 44u);
  EXPECT_EQ(VoiceRecordingExists(voiceDisc, 2), 1);
  EXPECT_EQ(VoiceRecordingExists(voiceDisc, 3), 0);
  SKIP_WITHOUT_TOOL("sox", "sox");
  EXPECT_EQ(Shell("sox --i -r " + Quote(path)), "22050\n");
}

TEST_F(VoiceFileTest, NamesThePlatformRefusesLeaveTheFlagsDown) {
  album_ = std::string(199, 'A');
  tracks_[2] = std::string(199, 'T');  // the whole name is longer than a name can be
  int updates = -1;
  SetVoicePlayButtonUpdate([&](void*, int available) { updates = available; });
  TraceCapture trace;
  EXPECT_EQ(StartVoiceFileRecording(nullptr), 0);
  EXPECT_EQ(soundBlock.voiceRecordOn.load(), 0);
  EXPECT_EQ(updates, 0);
  const std::string name = VoiceFileName(voiceDisc, 2);
  EXPECT_EQ(trace.Text(), "SetUpWaveOutFile: Unable to open WAV output file '" + name + "'\n" +
                              "StartVoiceFileRecording: Unable to open output file '" + name +
                              "'\n");
}

TEST_F(VoiceFileTest, PlaybackNeedsARecordingAndRestartingOnlyRealigns) {
  SKIP_WITHOUT_TOOL("sox", "sox");
  const std::string name = VoiceFileName(voiceDisc, 2);
  // No file, then a file with wider samples than a recording has: both are refused.
  for (bool wide : {false, true}) {
    int status = 0;
    if (wide) Shell("sox -n -r 22050 -c 1 -b 24 -t wavpcm " + Quote(name) + " synth 0.1", &status);
    ASSERT_EQ(status, 0);
    TraceCapture trace;
    EXPECT_EQ(OpenVoicePlaybackFile(nullptr), 0);
    EXPECT_EQ(trace.Text(), "SetUpWaveInFile: Unable to open WAV input file '" + name + "'\n");
    EXPECT_FALSE(WaveFileIsOpen(soundBlock.voiceInFile));
    EXPECT_EQ(StartVoiceFilePlayback(nullptr), 0);
    EXPECT_EQ(soundBlock.voicePlaybackOn.load(), 0);
    EXPECT_THAT(trace.Text(),
                HasSubstr("StartVoiceFilePlayback: Unable to open input file '" + name + "'\n"));
  }

  ASSERT_EQ(StartVoiceFileRecording(nullptr), 1);
  ASSERT_EQ(StopVoiceFileRecording(), 1);
  ASSERT_EQ(OpenVoicePlaybackFile(nullptr), 1);
  const int fd = soundBlock.voiceInFile.handle.load();
  EXPECT_EQ(OpenVoicePlaybackFile(nullptr), 1);  // already open
  soundBlock.voicePlaybackSeekRequest.store(0);
  EXPECT_EQ(StartVoiceFilePlayback(nullptr), 1);
  EXPECT_EQ(StartVoiceFilePlayback(nullptr), 1);
  EXPECT_EQ(soundBlock.voiceInFile.handle.load(), fd);  // the same open file
  EXPECT_EQ(soundBlock.voicePlaybackSeekRequest.load(), 1);
  EXPECT_EQ(StopVoiceFilePlayback(), 1);
  EXPECT_FALSE(WaveFileIsOpen(soundBlock.voiceInFile));
  EXPECT_EQ(soundBlock.voicePlaybackOn.load(), 0);
}

TEST_F(VoiceFileTest, TheStreamingThreadClosesTheFileOnRequest) {
  ASSERT_EQ(Start({}), kInitSound_Ok);
  ASSERT_TRUE(WaitOutputBlocks(6));  // the thread streams (it cleared cdDataReady first)
  soundBlock.cdDataReady.store(1);   // the recorder writes only while CD data flows
  ASSERT_EQ(StartVoiceFileRecording(nullptr), 1);
  const std::string path = VoiceRecordFileName();
  // More than the three blocks and one sub-block the recorder leaves out.
  ASSERT_TRUE(WaitOutputBlocks(OutputBlocks() + 10));
  EXPECT_EQ(StopVoiceFileRecording(), 1);
  EXPECT_FALSE(WaveFileIsOpen(soundBlock.voiceOutFile));
  EXPECT_EQ(soundBlock.voiceRecordOn.load(), 0);
  EXPECT_EQ(soundBlock.voiceRecordCloseRequest.load(), 0);
  const Bytes b = ReadBytes(path);
  ASSERT_GT(b.size(), 44u);
  EXPECT_EQ(Le32(b, 40) + 44, b.size());

  ASSERT_EQ(StartVoiceFilePlayback(nullptr), 1);
  ASSERT_TRUE(WaitOutputBlocks(OutputBlocks() + 2));
  EXPECT_EQ(StopVoiceFilePlayback(), 1);
  EXPECT_FALSE(WaveFileIsOpen(soundBlock.voiceInFile));
  EXPECT_EQ(soundBlock.voicePlaybackOn.load(), 0);
}

TEST_F(VoiceFileTest, AStopThatIsNotHonouredGivesUpAfterFiveSeconds) {
  SimAudioOptions stalled;
  stalled.failInputOpen = kMmSysErrBadDeviceId;
  stalled.stallOutput = true;  // the streaming thread runs but never processes a block
  ASSERT_EQ(Start(stalled), kInitSound_InputFailed);
  ASSERT_EQ(StartVoiceFileRecording(nullptr), 1);
  EXPECT_EQ(StopVoiceFileRecording(), 0);
  // The request stays for the audio thread; the record is not opened again over it.
  EXPECT_EQ(soundBlock.voiceRecordCloseRequest.load(), 1);
  EXPECT_TRUE(WaveFileIsOpen(soundBlock.voiceOutFile));
  TraceCapture trace;
  EXPECT_EQ(StartVoiceFileRecording(nullptr), 0);
  EXPECT_THAT(trace.Text(), HasSubstr("SetUpWaveOutFile: Unable to open WAV output file"));
}

namespace {

// Music for the alignment test: silence, counting the CD frames handed out.
int64_t alignmentCdFrame = 0;
void CountingSilence(float* const channels[2], int bytes) {
  std::fill_n(channels[0], bytes / 4, 0.0f);
  std::fill_n(channels[1], bytes / 4, 0.0f);
  alignmentCdFrame += bytes / 4;
}

WAVEFORMATEX Stereo16() {
  WAVEFORMATEX f;
  f.wBitsPerSample = 16;
  sndCompleteWaveFormatEx(&f);
  return f;
}

}  // namespace

// The singer's voice at CD frame F of the track is recorded, then played back over the same
// track: where does it come out? Recording leaves out the first 3 blocks and 1 sub-block
// (12,544 frames), the latency a sung note takes from the speakers back to the input. File
// sample j holds CD frames 12,544 + 2j and + 1, and plays back at CD frame 2j + 1: the voice
// of frame F comes back at frame F - 12,543.
TEST_F(VoiceFileTest, ARecordingPlaysBackWhereTheCdWasWhenItWasSung) {
  ASSERT_EQ(AllocateSoundBlockBuffers(), 1);
  SoundBlockState& s = soundBlock;
  s.micHighPassOn.store(0);
  s.notch60On.store(0);
  s.notch120On.store(0);
  s.musicSource = CountingSilence;
  alignmentCdFrame = 0;
  const WAVEFORMATEX format = Stereo16();
  const int64_t sung[] = {20000, 33334, 50000};  // CD frames of three short notes
  constexpr int kBlocks = 16;

  ASSERT_EQ(StartVoiceFileRecording(nullptr), 1);
  int stereoWasMono = 1;
  std::vector<int16_t> in(2 * 4096), out(2 * 4096);
  for (int block = 0; block < kBlocks; ++block) {
    std::fill(in.begin(), in.end(), int16_t{0});
    for (int64_t f : sung)
      for (int64_t frame = f; frame < f + 2; ++frame)
        if (frame / 4096 == block) in[size_t(2 * (frame % 4096))] = 16000;  // left: the voice
    ProcessSoundBlock(in.data(), out.data(), 4096, &format, 1, &stereoWasMono);
  }
  ASSERT_EQ(StopVoiceFileRecording(), 1);
  const Bytes file = ReadBytes(VoiceRecordFileName());
  const auto recorded = Samples16(file.data() + 44, file.size() - 44);
  EXPECT_EQ(recorded.size(), size_t(kBlocks * 4096 - 12544) / 2);
  std::vector<int64_t> notesInFile;
  for (size_t j = 0; j < recorded.size(); ++j)
    if (recorded[j] != 0) notesInFile.push_back(int64_t(j));
  ASSERT_EQ(notesInFile.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(notesInFile[size_t(i)], (sung[i] - 12544) / 2);
  for (int64_t j : notesInFile) EXPECT_EQ(recorded[size_t(j)], 16000);

  // Playback over the same track from its start: the voice from the file is the microphone,
  // heard dry at a quarter (the effects are off, the reverb preset adds the dry voice).
  s.voiceFX.bypass.store(1);
  s.voiceFX.presetNumber.store(1);
  alignmentCdFrame = 0;
  ASSERT_EQ(StartVoiceFilePlayback(nullptr), 1);
  std::vector<int16_t> left;
  for (int block = 0; block < kBlocks; ++block) {
    ProcessSoundBlock(nullptr, out.data(), 4096, &format, 1, &stereoWasMono);
    for (int i = 0; i < 4096; ++i) left.push_back(out[size_t(2 * i)]);
  }
  EXPECT_EQ(StopVoiceFilePlayback(), 1);
  std::vector<int64_t> heard;
  for (size_t frame = 0; frame < left.size(); ++frame)
    if (left[frame] == 4000) heard.push_back(int64_t(frame));
  ASSERT_EQ(heard.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(heard[size_t(i)], sung[i] - 12543) << "note " << i;
    // The 2:1 interpolation puts half of the note on either side.
    EXPECT_EQ(left[size_t(heard[size_t(i)] - 1)], 2000);
    EXPECT_EQ(left[size_t(heard[size_t(i)] + 1)], 2000);
  }
  FreeSoundBlockBuffers();
}
