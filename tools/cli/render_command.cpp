#include "tools/cli/render_command.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>

#include "audio/audio_config.h"
#include "audio/cdda_consumer.h"
#include "audio/cdda_ring.h"
#include "audio/sound_block.h"
#include "audio/sound_init.h"
#include "audio/streaming.h"
#include "audio/voicefile.h"
#include "audio/wavefile.h"
#include "cd/cd_reader.h"
#include "cd/cdda_manager.h"
#include "cd/player.h"
#include "cdinfo/info_file.h"
#include "dsp/voicefx.h"
#include "platform/audio/sim_audio.h"
#include "platform/files/output_file.h"
#include "platform/sync/event.h"
#include "settings/settings.h"
#include "tools/cli/play_commands.h"

namespace fs = std::filesystem;

namespace {

struct RenderArguments {
  std::string disc, mic, record, playback, out;
  int track = 0;
  int karaoke = 0;
  int preset = 0;  // 0: effects bypassed
  float variation = -1.0f;
};

// A WAV file the engine can use: opened, then its format checked as its user checks it.
bool ReadableWav(const std::string& path, bool (*usable)(const WavePcmFormat&)) {
  WaveFile file;
  waveFileInit(&file);
  if (!waveFileOpenIn(&file, path.c_str())) return false;
  const bool ok = usable(file.format);
  waveFileCloseIn(&file);
  return ok;
}

// One line of error for bad usage; false when the arguments are not usable.
bool ParseRender(const std::vector<std::string>& args, RenderArguments* a, std::string* error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--track" && hasValue) {
      if (!ParseNumber(args[++i], 1, kMaxTracks, &a->track)) {
        *error = "--track takes a track number";
        return false;
      }
    } else if (arg == "--karaoke") {
      a->karaoke = 1;
      if (hasValue && (args[i + 1] == "on" || args[i + 1] == "off"))
        a->karaoke = args[++i] == "on" ? 1 : 0;
    } else if (arg == "--mic" && hasValue) {
      a->mic = args[++i];
    } else if (arg == "--preset" && hasValue) {
      if (!ParseNumber(args[++i], 1, kVoiceFXPresets, &a->preset) || a->preset == 9) {
        *error = "--preset takes a preset number from 1 to 20 (not 9)";
        return false;
      }
    } else if (arg == "--variation" && hasValue) {
      char* end = nullptr;
      a->variation = std::strtof(args[++i].c_str(), &end);
      if (*end != '\0' || !(a->variation >= 0.0f && a->variation <= 1.0f)) {
        *error = "--variation takes a number from 0 to 1";
        return false;
      }
    } else if (arg == "--record" && hasValue) {
      a->record = args[++i];
    } else if (arg == "--playback" && hasValue) {
      a->playback = args[++i];
    } else if (arg == "--out" && hasValue) {
      a->out = args[++i];
    } else if (!arg.empty() && arg[0] != '-' && a->disc.empty()) {
      a->disc = arg;
    } else {
      *error = "unexpected argument '" + arg + "'";
      return false;
    }
  }
  if (a->disc.empty() || a->track == 0 || a->out.empty()) {
    *error =
        "usage: sorn-karaoke-cli render DISC --track N [--karaoke [on|off]] [--mic FILE.wav] "
        "[--preset P] [--variation V] [--record TAKE.wav] [--playback TAKE.wav] --out OUT.wav";
    return false;
  }
  if (!a->mic.empty() && !ReadableWav(a->mic, WavFileSourceAccepts)) {
    *error = "cannot read the microphone file " + a->mic +
             " (a PCM WAV file of 8 or 16 bits and one or two channels)";
    return false;
  }
  if (!a->playback.empty() && !ReadableWav(a->playback, VoiceTakeFormatUsable)) {
    *error = "cannot read the take " + a->playback + " (a PCM WAV file of 16 bits)";
    return false;
  }
  std::vector<std::string> inputs = DiscInputFiles(a->disc);
  for (const std::string* input : {&a->mic, &a->playback})
    if (!input->empty()) inputs.push_back(*input);
  std::vector<std::string> outputs{a->out};
  if (!a->record.empty()) outputs.push_back(a->record);
  if (std::string clash = OutputClash(outputs, inputs); !clash.empty()) {
    *error = clash;
    return false;
  }
  for (const std::string& output : outputs)
    if (!CheckOutputPath(output, error)) return false;
  return true;
}

// A take copied whole into place (the user's file is replaced only by a complete copy).
bool CopyTake(const std::string& from, const std::string& to, std::string* error) {
  std::ifstream in(from, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) {
    *error = "cannot read the take " + from;
    return false;
  }
  return WriteFileAtomically(to, bytes, error);
}

// The voice files of a render live in a scratch folder, not among the user's recordings.
class VoiceScratch {
 public:
  bool Enter() {
    char pattern[] = "/tmp/sorn-render-XXXXXX";
    if (!mkdtemp(pattern)) return false;
    folder_ = pattern;
    saved_ = settings.databasePath;
    settings.databasePath = folder_ + "/";
    return true;
  }
  ~VoiceScratch() {
    if (folder_.empty()) return;
    settings.databasePath = saved_;
    std::error_code error;
    fs::remove_all(folder_, error);
  }

 private:
  std::string folder_, saved_;
};

}  // namespace

void WriteCdDataForRender(float* const channels[2], int bytes) {
  const CddaRingState& r = cddaRing;
  for (;;) {
    const int fill = (r.producerSlot.load(std::memory_order_acquire) -
                      r.consumerSlot.load(std::memory_order_acquire) + kRingSlots) %
                     kRingSlots;
    if (fill >= 2 || r.draining.load(std::memory_order_acquire) ||
        !soundBlock.cdDataReady.load(std::memory_order_acquire))
      break;
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  WriteCdDataToFloat1(channels, bytes);
}

int CommandRender(const std::vector<std::string>& args, std::string* out, std::string* err) {
  RenderArguments a;
  std::string error;
  if (!ParseRender(args, &a, &error)) {
    *err += "sorn-karaoke-cli render: " + error + "\n";
    return 2;
  }
  if (int status = OpenPlayerTrack(a.disc, true, a.track, &error)) {
    *err += "sorn-karaoke-cli render: " + error + "\n";
    return status;
  }
  const int track = a.track - 1;

  // The voice files of the track, named as the player names them.
  VoiceScratch scratch;
  if ((!a.record.empty() || !a.playback.empty()) && !scratch.Enter()) {
    ClosePlayerDisc();
    *err += "sorn-karaoke-cli render: no scratch folder for the voice files\n";
    return 1;
  }
  voiceDisc =
      VoiceDisc{[](int t) {
                  return VoiceTitles{cdTitles.albumTitle,
                                     t >= 0 && t < kMaxTitleTracks ? cdTitles.tracks[t].title : ""};
                },
                static_cast<uint32_t>(std::strtoul(CurrentDiscId().c_str(), nullptr, 16)), track};
  std::error_code fileError;
  if (!a.playback.empty() && !fs::copy_file(a.playback, VoiceFileName(voiceDisc, track),
                                            fs::copy_options::overwrite_existing, fileError)) {
    ClosePlayerDisc();
    *err += "sorn-karaoke-cli render: cannot copy the take " + a.playback + "\n";
    return 1;
  }

  // One song, then stop.
  player.cdMode.store(kCdModeSingleSong);
  player.repeat.store(0);
  CdSelectTrack(nullptr, track);

  // The output is the card's start-up silence (its queued output blocks), then the track, and
  // nothing after it, however long the engine runs on before it is closed. The limit is set
  // once the engine has chosen its blocks; the streaming thread waits at the gate till then.
  CdComputePlayEnd();
  const int64_t trackFrames =
      int64_t(player.playEndFrame.load() - int32_t(player.cdTrack[track].startFrame)) *
      kRawSectorBytes / 4;
  auto output = std::make_shared<WavSinkControl>();

  auto gate = std::make_shared<PassGate>();
  SimAudioOptions options = SimOptionsWithFiles(a.mic, "", false);
  options.openSink = [output, path = a.out](const WaveDeviceFormat& format) {
    return WavFileSink(path, format, output);
  };
  auto openSource = options.openSource;
  options.openSource = [gate, openSource](const WaveDeviceFormat& format) {
    SimPcmSource source = openSource ? openSource(format) : SimPcmSource{};
    auto read = source.read;
    auto first = std::make_shared<bool>(true);
    source.read = [gate, read, first](uint8_t* data, size_t bytes) -> size_t {
      if (*first) {
        *first = false;
        gate->Pass();
      }
      return read ? read(data, bytes) : 0;
    };
    return source;
  };
  SetAudioBackend(CreateSimAudioBackend(std::move(options)));
  soundBlock.musicSource = WriteCdDataForRender;  // set before the streaming thread starts
  const int started = InitSound(nullptr, nullptr, kSubBlockDivisor);
  int code = 0;
  if (started != kInitSound_Ok || !gate->WaitReached(10000)) {
    *err += "sorn-karaoke-cli render: the simulated sound card did not start\n";
    code = 1;
  } else {
    const BlockGeometry& geometry = soundDevices.geometry;
    output->frameLimit.store(int64_t(geometry.outputBlocks) * geometry.blockFrames + trackFrames);
    const float level = settings.audioCdLevel / 7.0f;
    soundBlock.cdLevel.store(level * level * level * level);  // the CD panel's level curve
    soundBlock.karaokeOn.store(a.karaoke);
    if (a.preset) {
      SetVoiceFXParameter(&soundBlock.voiceFX, kVoiceFXPreset, static_cast<float>(a.preset));
      if (a.variation >= 0.0f)
        SetVoiceFXParameter(&soundBlock.voiceFX, kVoiceFXVariation, a.variation);
      soundBlock.voiceFX.bypass.store(0);
    } else {
      soundBlock.voiceFX.bypass.store(1);
    }
    if (!a.record.empty() && !StartVoiceFileRecording(nullptr)) code = 1;
    if (!a.playback.empty() && !StartVoiceFilePlayback(nullptr)) code = 1;

    const CdTrack& t = player.cdTrack[track];
    const int seconds = t.lengthMinutes * 60 + t.lengthSeconds;
    std::string title;
    {
      std::lock_guard<std::mutex> guard(cdInfo.lock);
      title = cdTitles.tracks[track].title;
    }
    std::fprintf(stderr, "render: track %d \"%s\" (%d:%02d), karaoke %s\n", a.track, title.c_str(),
                 seconds / 60, seconds % 60, a.karaoke ? "on" : "off");
    CdPlayPause(nullptr);
    while (!soundBlock.cdDataReady.load() && player.cdState.load() == CD_PLAY)
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    gate->Open();
    int shown = -1;
    while (player.cdState.load() == CD_PLAY) {
      const int at = player.readerPositionSeconds.load();
      if (at != shown) {
        std::fprintf(stderr, "render: %d s of %d s\n", at, seconds);
        shown = at;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    CddaJoinReader();
    if (const int unreadable = cdReader.unreadableSectors.load(); unreadable > 0) {
      *err += "sorn-karaoke-cli render: " + std::to_string(unreadable) + " sectors of track " +
              std::to_string(a.track) + " could not be read\n";
      code = 1;
    }
    if (!a.record.empty()) {
      std::string error = "the recording did not end";
      if (!StopVoiceFileRecording() ||
          (code == 0 && !CopyTake(VoiceRecordFileName(), a.record, &error))) {
        *err += "sorn-karaoke-cli render: cannot write the take " + a.record + ": " + error + "\n";
        code = 1;
      }
    }
    if (!a.playback.empty()) StopVoiceFilePlayback();
  }
  gate->Open();
  // The output is put in place at the card's close only when the render succeeded.
  output->keep.store(code == 0);
  CloseSound();
  SetAudioBackend(nullptr);
  soundBlock.musicSource = WriteCdDataToFloat1;
  ClosePlayerDisc();
  if (code == 0 && output->closed.load() != 1) {
    *err += "sorn-karaoke-cli render: cannot write " + a.out + "\n";
    code = 1;
  }
  if (code == 0) {
    std::fprintf(stderr, "render: done\n");
    *out += a.out + "\n";
  }
  return code;
}
