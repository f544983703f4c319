#include "platform/audio/sim_audio.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/audio/wave_stream.h"

namespace {

using Clock = std::chrono::steady_clock;

// ---- Wave devices ------------------------------------------------------------------------

class SimPort : public WavePort {
 public:
  SimPort(bool input, const WaveDeviceFormat& format, bool realTime, bool stall,
          SimAudioOptions::Stall hiccup, SimPcmSource source, SimPcmSink sink,
          std::function<void()> onClose)
      : input_(input),
        format_(format),
        realTime_(realTime),
        stall_(stall),
        hiccup_(hiccup),
        source_(std::move(source)),
        sink_(std::move(sink)),
        onClose_(std::move(onClose)) {
    if (!input_) ReportHeldFrames(format_.nBlockAlign, format_.nSamplesPerSec);
  }

  uint32_t Transfer(uint8_t* data, uint32_t bytes, const std::atomic<bool>& interrupt) override {
    if (stall_) {
      while (!interrupt.load(std::memory_order_acquire))
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      return 0;
    }
    if (input_ && hiccup_.atFrame >= 0 && frames_ >= hiccup_.atFrame && !Hiccup(interrupt))
      return 0;
    if (realTime_ && !Pace(bytes, interrupt)) return 0;
    frames_ += bytes / std::max<uint32_t>(format_.nBlockAlign, 1);
    if (input_) {
      size_t got = source_.read ? std::min<size_t>(source_.read(data, bytes), bytes) : 0;
      // Silence: 0 for 16-bit samples, 128 for unsigned 8-bit ones.
      std::memset(data + got, format_.wBitsPerSample == 8 ? 0x80 : 0, bytes - got);
    } else if (sink_.write) {
      sink_.write(data, bytes);
    }
    return bytes;
  }

  void Drop() override { clockRunning_ = false; }

  void Close() override {
    if (source_.close) source_.close();
    if (sink_.close) sink_.close();
    if (onClose_) onClose_();
  }

 private:
  // The input stops for the stall's length, loses what it would have recorded meanwhile, and
  // starts again. False when interrupted first.
  bool Hiccup(const std::atomic<bool>& interrupt) {
    const auto end =
        Clock::now() + std::chrono::microseconds(hiccup_.frames * 1000000 /
                                                 std::max<uint32_t>(format_.nSamplesPerSec, 1));
    while (Clock::now() < end) {
      if (interrupt.load(std::memory_order_acquire)) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::vector<uint8_t> lost(size_t(hiccup_.frames) * format_.nBlockAlign);
    if (source_.read && !lost.empty()) source_.read(lost.data(), lost.size());
    hiccup_.atFrame = -1;
    clockRunning_ = false;
    CountXrun("SimWaveDevice", true);
    return true;
  }

  // Waits until the device would have moved these bytes at the format's rate. False when
  // interrupted first.
  bool Pace(uint32_t bytes, const std::atomic<bool>& interrupt) {
    const auto now = Clock::now();
    if (!clockRunning_) {
      due_ = now;
      clockRunning_ = true;
    }
    const double seconds = format_.nAvgBytesPerSec ? double(bytes) / format_.nAvgBytesPerSec : 0.0;
    due_ += std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    // A device that fell far behind (a stalled consumer) does not catch up in a burst.
    if (due_ < now - std::chrono::milliseconds(500)) due_ = now;
    if (!input_)
      NoteHeldFrames(
          std::chrono::duration_cast<std::chrono::nanoseconds>(due_.time_since_epoch()).count(), 0);
    while (Clock::now() < due_) {
      if (interrupt.load(std::memory_order_acquire)) return false;
      std::this_thread::sleep_for(
          std::min<Clock::duration>(due_ - Clock::now(), std::chrono::milliseconds(5)));
    }
    return !interrupt.load(std::memory_order_acquire);
  }

  const bool input_;
  const WaveDeviceFormat format_;
  const bool realTime_;
  const bool stall_;
  SimAudioOptions::Stall hiccup_;
  int64_t frames_ = 0;  // frames moved so far
  SimPcmSource source_;
  SimPcmSink sink_;
  std::function<void()> onClose_;
  bool clockRunning_ = false;
  Clock::time_point due_;
};

// ---- Mixer -------------------------------------------------------------------------------

struct SimControl {
  MixerControlInfo info;
  uint32_t channels = 2;
  std::vector<uint32_t> values;  // channels x items
};

struct SimLine {
  MixerLineInfo info;
  std::vector<uint32_t> controlIds;
};

// The card's mixer state, shared by every handle opened on it.
struct SimMixerState {
  std::mutex lock;
  SimLine destinations[2];
  std::vector<SimLine> sources[2];
  std::map<uint32_t, SimControl> controls;
  std::map<uint32_t, std::vector<std::string>> listTexts;
  bool failing = false;
};

uint32_t LineIdOf(uint32_t destination, uint32_t position) {
  return (destination + 1) * 0x100 + position;
}

void AddControl(SimMixerState* state, SimLine* line, uint32_t type, uint32_t channels,
                uint32_t items, uint32_t initial) {
  SimControl control;
  control.info.controlId = line->info.lineId * 8 + type;
  control.info.type = type;
  control.info.itemCount = items;
  control.info.maximum = type == kControlVolume ? 65535 : 1;
  control.channels = channels;
  control.values.assign(size_t(channels) * std::max<uint32_t>(items, 1), initial);
  line->controlIds.push_back(control.info.controlId);
  line->info.controls = uint32_t(line->controlIds.size());
  state->controls[control.info.controlId] = control;
}

void BuildMixer(SimMixerState* state, const SimMixerLayout& layout) {
  state->failing = layout.failingControls;
  const uint32_t channels = layout.monoControls ? 1 : 2;
  struct SourceSpec {
    const char* name;
    const char* shortName;
    uint32_t type;
  };
  const SourceSpec playback[] = {{kSimWaveName, "Wave", kSrcWaveOut},
                                 {kSimMicName, "Mic", kSrcMicrophone},
                                 {kSimLineName, "Line", kSrcLine},
                                 {kSimCdName, "CD", kSrcCompactDisc}};
  const SourceSpec recording[] = {{kSimMicName, "Mic", kSrcMicrophone},
                                  {kSimLineName, "Line", kSrcLine},
                                  {kSimCdName, "CD", kSrcCompactDisc},
                                  {kSimWaveName, "Wave", kSrcWaveOut}};
  for (uint32_t d = 0; d < 2; ++d) {
    SimLine& dst = state->destinations[d];
    dst.info.destination = d;
    dst.info.lineId = LineIdOf(d, 0);
    dst.info.componentType = d == 0 ? kDstSpeakers : kDstWaveIn;
    dst.info.channels = channels;
    dst.info.name = d == 0 ? kSimSpeakersName : kSimRecordingName;
    dst.info.shortName = d == 0 ? "Volume" : "Recording";
    for (const SourceSpec& spec : d == 0 ? playback : recording) {
      if (spec.type == kSrcMicrophone && !layout.microphone) continue;
      if (spec.type == kSrcMicrophone && d == 0 && !layout.playbackMicrophone) continue;
      SimLine src;
      src.info.destination = d;
      src.info.source = uint32_t(state->sources[d].size());
      src.info.lineId = LineIdOf(d, src.info.source + 1);
      src.info.componentType = spec.type;
      src.info.channels = spec.type == kSrcMicrophone ? 1 : channels;
      src.info.name = spec.name;
      src.info.shortName = spec.shortName;
      AddControl(state, &src, kControlVolume, src.info.channels, 1, 32768);
      AddControl(state, &src, kControlMute, 1, 1, d == 0 ? 1 : 0);
      state->sources[d].push_back(src);
    }
    dst.info.connections = uint32_t(state->sources[d].size());
    AddControl(state, &dst, kControlVolume, channels, 1, 32768);
    AddControl(state, &dst, kControlMute, 1, 1, 1);
    if (d == 1) {
      // The recording source selector: one item per source, in source order; the line input
      // is selected at first.
      const uint32_t items = dst.info.connections;
      AddControl(state, &dst, kControlMux, 1, items, 0);
      std::vector<std::string>& texts = state->listTexts[dst.controlIds.back()];
      for (uint32_t s = 0; s < items; ++s) {
        texts.push_back(state->sources[1][s].info.name);
        if (state->sources[1][s].info.componentType == kSrcLine)
          state->controls[dst.controlIds.back()].values[s] = 1;
      }
    }
  }
}

class SimMixer : public MixerDevice {
 public:
  SimMixer(std::shared_ptr<SimMixerState> state, MixerChangeCallback onChange)
      : state_(std::move(state)), onChange_(std::move(onChange)) {}

  int GetCaps(MixerCaps* caps) override {
    caps->name = "Simulated Mixer";
    caps->destinations = 2;
    return kMmSysErrNoError;
  }

  int GetDestinationLineInfo(uint32_t destination, MixerLineInfo* line) override {
    std::lock_guard<std::mutex> guard(state_->lock);
    if (destination >= 2) return kMixErrInvalLine;
    *line = state_->destinations[destination].info;
    return kMmSysErrNoError;
  }

  int GetSourceLineInfo(uint32_t destination, uint32_t source, MixerLineInfo* line) override {
    std::lock_guard<std::mutex> guard(state_->lock);
    if (destination >= 2 || source >= state_->sources[destination].size()) return kMixErrInvalLine;
    *line = state_->sources[destination][source].info;
    return kMmSysErrNoError;
  }

  int GetLineControl(uint32_t lineId, uint32_t type, MixerControlInfo* control) override {
    std::lock_guard<std::mutex> guard(state_->lock);
    const SimLine* line = FindLine(lineId);
    if (!line) return kMixErrInvalLine;
    for (uint32_t id : line->controlIds) {
      const SimControl& c = state_->controls.at(id);
      if (c.info.type == type) {
        *control = c.info;
        return kMmSysErrNoError;
      }
    }
    return kMixErrInvalControl;
  }

  int GetControlValues(uint32_t controlId, uint32_t channels, uint32_t items,
                       uint32_t* values) override {
    std::lock_guard<std::mutex> guard(state_->lock);
    SimControl* c = Find(controlId);
    int check = Check(c, channels, items);
    if (check != kMmSysErrNoError) return check;
    const uint32_t n = std::max<uint32_t>(items, 1);
    for (uint32_t ch = 0; ch < channels; ++ch)
      for (uint32_t i = 0; i < n; ++i) values[ch * n + i] = c->values[ch * n + i];
    return kMmSysErrNoError;
  }

  int SetControlValues(uint32_t controlId, uint32_t channels, uint32_t items,
                       const uint32_t* values) override {
    {
      std::lock_guard<std::mutex> guard(state_->lock);
      SimControl* c = Find(controlId);
      int check = Check(c, channels, items);
      if (check != kMmSysErrNoError) return check;
      const uint32_t n = std::max<uint32_t>(items, 1);
      if (c->info.type == kControlMux) {
        if (std::count_if(values, values + n, [](uint32_t v) { return v != 0; }) != 1)
          return kMmSysErrInvalParam;
      }
      // One channel given sets every channel alike.
      for (uint32_t ch = 0; ch < c->channels; ++ch)
        for (uint32_t i = 0; i < n; ++i) {
          uint32_t v = values[(channels == 1 ? 0 : ch) * n + i];
          if (c->info.type != kControlVolume) v = v ? 1 : 0;
          c->values[ch * n + i] = std::min<uint32_t>(v, c->info.maximum);
        }
    }
    if (onChange_) onChange_(controlId);
    return kMmSysErrNoError;
  }

  int GetListTexts(uint32_t controlId, std::vector<std::string>* texts) override {
    std::lock_guard<std::mutex> guard(state_->lock);
    auto it = state_->listTexts.find(controlId);
    if (it == state_->listTexts.end()) return kMixErrInvalControl;
    *texts = it->second;
    return kMmSysErrNoError;
  }

 private:
  const SimLine* FindLine(uint32_t lineId) const {
    for (uint32_t d = 0; d < 2; ++d) {
      if (state_->destinations[d].info.lineId == lineId) return &state_->destinations[d];
      for (const SimLine& s : state_->sources[d])
        if (s.info.lineId == lineId) return &s;
    }
    return nullptr;
  }
  SimControl* Find(uint32_t controlId) {
    auto it = state_->controls.find(controlId);
    return it == state_->controls.end() ? nullptr : &it->second;
  }
  // A control is read or written with one channel (all alike) or all of its channels.
  int Check(const SimControl* c, uint32_t channels, uint32_t items) const {
    if (!c) return kMixErrInvalControl;
    if (state_->failing) return kMmSysErrError;
    if (channels != 1 && channels != c->channels) return kMmSysErrInvalParam;
    if (std::max<uint32_t>(items, 1) != std::max<uint32_t>(c->info.itemCount, 1))
      return kMmSysErrInvalParam;
    return kMmSysErrNoError;
  }

  std::shared_ptr<SimMixerState> state_;
  MixerChangeCallback onChange_;
};

// ---- Backend -----------------------------------------------------------------------------

class SimBackend : public AudioBackend {
 public:
  explicit SimBackend(SimAudioOptions options)
      : options_(std::move(options)), mixer_(std::make_shared<SimMixerState>()) {
    BuildMixer(mixer_.get(), options_.mixer);
  }

  const char* Name() const override { return "sim"; }
  bool RealTime() const override { return options_.realTime; }

  int OpenWaveIn(const WaveDeviceFormat& format, Event* doneEvent, bool queryOnly,
                 std::unique_ptr<WaveInDevice>* device) override {
    if (int code = CheckFormat(format)) return code;
    if (options_.refuse16BitInput && format.wBitsPerSample != 8) return kWavErrBadFormat;
    if (queryOnly) return options_.failInputQuery;
    if (options_.failInputOpen) return options_.failInputOpen;
    SimPcmSource source;
    if (options_.openSource) source = options_.openSource(format);
    {
      std::lock_guard<std::mutex> guard(inputs_->lock);
      ++inputs_->open;
    }
    auto port =
        std::make_unique<SimPort>(true, format, options_.realTime, false, options_.inputStall,
                                  std::move(source), SimPcmSink{}, [inputs = inputs_] {
                                    std::lock_guard<std::mutex> guard(inputs->lock);
                                    --inputs->open;
                                  });
    *device = std::make_unique<StreamWaveIn>(std::move(port), doneEvent, !options_.realTime);
    return kMmSysErrNoError;
  }

  int OpenWaveOut(const WaveDeviceFormat& format, Event* doneEvent,
                  std::unique_ptr<WaveOutDevice>* device) override {
    if (int code = CheckFormat(format)) return code;
    if (options_.failOutputOpen) return options_.failOutputOpen;
    {
      std::lock_guard<std::mutex> guard(inputs_->lock);
      if (options_.refuseOutputWithInput && inputs_->open > 0) return kMmSysErrAllocated;
    }
    SimPcmSink sink;
    if (options_.openSink) sink = options_.openSink(format);
    // A stalled output needs a device thread to stall on.
    const bool synchronous = !options_.realTime && !options_.stallOutput;
    auto port = std::make_unique<SimPort>(false, format, options_.realTime, options_.stallOutput,
                                          SimAudioOptions::Stall{}, SimPcmSource{}, std::move(sink),
                                          nullptr);
    *device = std::make_unique<StreamWaveOut>(std::move(port), doneEvent, synchronous);
    return kMmSysErrNoError;
  }

  int WaveOutDeviceCount() override { return options_.noWaveOutDevices ? 0 : 1; }
  std::string WaveOutDeviceName(int device) override {
    return device == 0 && !options_.noWaveOutDevices ? options_.deviceName : std::string();
  }
  int MixerIdOfWaveOut(int device, uint32_t* mixerId) override {
    if (device != 0 || options_.noWaveOutDevices) return kMmSysErrBadDeviceId;
    if (!options_.mixer.present || options_.mixer.failMixerId) return kMmSysErrNoDriver;
    *mixerId = 0;
    return kMmSysErrNoError;
  }

  int MixerDeviceCount() override { return options_.mixer.present ? 1 : 0; }
  int OpenMixer(uint32_t mixerId, MixerChangeCallback onChange,
                std::unique_ptr<MixerDevice>* mixer) override {
    if (!options_.mixer.present || mixerId != 0) return kMmSysErrBadDeviceId;
    if (options_.mixer.failOpen) return kMmSysErrAllocated;
    *mixer = std::make_unique<SimMixer>(mixer_, std::move(onChange));
    return kMmSysErrNoError;
  }

 private:
  static int CheckFormat(const WaveDeviceFormat& format) {
    if (format.wFormatTag != 1 || format.nChannels < 1 || format.nChannels > 2 ||
        (format.wBitsPerSample != 8 && format.wBitsPerSample != 16) ||
        format.nSamplesPerSec != 44100 ||
        format.nBlockAlign != format.nChannels * format.wBitsPerSample / 8)
      return kWavErrBadFormat;
    return kMmSysErrNoError;
  }

  const SimAudioOptions options_;
  std::shared_ptr<SimMixerState> mixer_;
  // Open inputs, shared with the devices (which may outlive the backend).
  struct OpenInputs {
    std::mutex lock;
    int open = 0;
  };
  std::shared_ptr<OpenInputs> inputs_ = std::make_shared<OpenInputs>();
};

}  // namespace

std::unique_ptr<AudioBackend> CreateSimAudioBackend(SimAudioOptions options) {
  return std::make_unique<SimBackend>(std::move(options));
}
