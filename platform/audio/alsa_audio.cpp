#include "platform/audio/alsa_audio.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "diagnostics/diagnostics.h"
#include "platform/audio/wave_stream.h"

namespace {

// ---- alsa-lib's error lines --------------------------------------------------------------

void AlsaErrorToTrace(const char* /*file*/, int /*line*/, const char* function, int err,
                      const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (err)
    Trace("%s: %s: %s\n", function ? function : "alsa-lib", text, snd_strerror(err));
  else
    Trace("%s: %s\n", function ? function : "alsa-lib", text);
}

// ---- PCM ---------------------------------------------------------------------------------

int CodeOfOpenError(int err) {
  switch (-err) {
    case ENOENT:
    case ENODEV:
      return kMmSysErrBadDeviceId;
    case EBUSY:
    case EAGAIN:
      return kMmSysErrAllocated;
    case ENOMEM:
      return kMmSysErrNoMem;
    case ENXIO:
    case ENOSYS:
    case EOPNOTSUPP:
      return kMmSysErrNoDriver;
    default:
      return kMmSysErrError;
  }
}

// Sets 44,100 Hz interleaved PCM in the format's width and channels, with the period and
// buffer the geometry asks for (none: 1024-frame periods, a 4096-frame playback and a
// 16384-frame capture buffer), and traces what the device granted. Returns 0 or a code; the
// granted buffer and period in *granted.
int ConfigurePcm(snd_pcm_t* pcm, const WaveDeviceFormat& format, bool capture,
                 const WaveDeviceGeometry& geometry, WaveDeviceGeometry* granted) {
  if (format.wFormatTag != 1 || format.nSamplesPerSec == 0 ||
      (format.wBitsPerSample != 8 && format.wBitsPerSample != 16))
    return kWavErrBadFormat;
  snd_pcm_hw_params_t* params = nullptr;
  if (snd_pcm_hw_params_malloc(&params) < 0) return kMmSysErrNoMem;
  int code = kMmSysErrNoError;
  unsigned rate = format.nSamplesPerSec;
  const bool asked = geometry.periodFrames > 0 && geometry.periods > 0;
  snd_pcm_uframes_t period = asked ? snd_pcm_uframes_t(geometry.periodFrames) : 1024;
  // Capture is read as each period completes: a deeper buffer only guards against overruns.
  snd_pcm_uframes_t buffer = !asked    ? (capture ? 16384 : 4096)
                             : capture ? period * 8
                                       : period * snd_pcm_uframes_t(geometry.periods);
  const snd_pcm_uframes_t askedPeriod = period, askedBuffer = buffer;
  if (snd_pcm_hw_params_any(pcm, params) < 0 ||
      snd_pcm_hw_params_set_access(pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
      snd_pcm_hw_params_set_format(
          pcm, params, format.wBitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE) <
          0 ||
      snd_pcm_hw_params_set_channels(pcm, params, format.nChannels) < 0 ||
      snd_pcm_hw_params_set_rate(pcm, params, rate, 0) < 0) {
    code = kWavErrBadFormat;
  } else {
    snd_pcm_hw_params_set_period_size_near(pcm, params, &period, nullptr);
    snd_pcm_hw_params_set_buffer_size_near(pcm, params, &buffer);
    if (snd_pcm_hw_params(pcm, params) < 0) code = kWavErrBadFormat;
  }
  snd_pcm_hw_params_free(params);
  if (code == kMmSysErrNoError) {
    snd_pcm_get_params(pcm, &buffer, &period);
    Trace("AlsaWaveDevice: %s %s period %lu buffer %lu frames (asked %lu, %lu)\n",
          snd_pcm_name(pcm), capture ? "capture" : "playback", (unsigned long)period,
          (unsigned long)buffer, (unsigned long)askedPeriod, (unsigned long)askedBuffer);
    granted->periodFrames = int(period);
    granted->periods = period ? int(buffer / period) : 0;
  }
  return code;
}

class AlsaPort : public WavePort {
 public:
  AlsaPort(snd_pcm_t* pcm, bool capture, const WaveDeviceFormat& format,
           const WaveDeviceGeometry& granted)
      : pcm_(pcm), capture_(capture), format_(format), granted_(granted) {
    if (!capture_) ReportHeldFrames(format_.nBlockAlign, format_.nSamplesPerSec);
  }
  ~AlsaPort() override { Close(); }

  uint32_t Transfer(uint8_t* data, uint32_t bytes, const std::atomic<bool>& interrupt) override {
    const uint32_t frameBytes = format_.nBlockAlign;
    const snd_pcm_uframes_t frames = bytes / frameBytes;
    snd_pcm_uframes_t done = 0;
    while (done < frames && !interrupt.load(std::memory_order_acquire)) {
      uint8_t* at = data + done * frameBytes;
      snd_pcm_sframes_t r = capture_ ? snd_pcm_readi(pcm_, at, frames - done)
                                     : snd_pcm_writei(pcm_, at, frames - done);
      if (r == -EAGAIN) {
        int w = snd_pcm_wait(pcm_, 20);
        if (w < 0 && !Recover(w)) return Failed(data, bytes, w, interrupt);
        continue;
      }
      if (r < 0) {
        if (!Recover(int(r))) return Failed(data, bytes, int(r), interrupt);
        continue;
      }
      done += snd_pcm_uframes_t(r);
      if (!capture_) NoteDelay(int64_t(frames - done));
    }
    return done == frames ? bytes : uint32_t(done * frameBytes);
  }

  void Drop() override {
    snd_pcm_drop(pcm_);
    snd_pcm_prepare(pcm_);
  }

  void Close() override {
    if (!pcm_) return;
    if (!capture_) {
      // Let what was handed to the device play out (a reset before has dropped it).
      snd_pcm_nonblock(pcm_, 0);
      snd_pcm_drain(pcm_);
    }
    snd_pcm_close(pcm_);
    pcm_ = nullptr;
  }

 private:
  // An underrun or overrun (-EPIPE) or a suspend: snd_pcm_recover prepares the device again.
  // An xrun is counted and traced; after a playback underrun the buffer is filled with silence
  // up to the configured queue less one period, so the latency is what it was before.
  bool Recover(int err) {
    if (snd_pcm_recover(pcm_, err, 1) < 0) return false;
    if (err != -EPIPE) return true;
    CountXrun("AlsaWaveDevice", capture_);
    if (!capture_ && granted_.periods > 1) {
      const snd_pcm_uframes_t pad =
          snd_pcm_uframes_t(granted_.periods - 1) * snd_pcm_uframes_t(granted_.periodFrames);
      std::vector<uint8_t> silence(pad * format_.nBlockAlign,
                                   format_.wBitsPerSample == 8 ? 0x80 : 0);
      snd_pcm_sframes_t w = snd_pcm_writei(pcm_, silence.data(), pad);
      (void)w;  // a refused pad leaves the device to restart on the next write
    }
    return true;
  }

  // After a write: the device plays what it holds (snd_pcm_delay) from now on; `pending` more
  // frames of this transfer wait.
  void NoteDelay(int64_t pending) {
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_delay(pcm_, &delay) < 0) delay = 0;
    const int64_t now = SteadyNowNs();
    NoteHeldFrames(now + int64_t(std::max<snd_pcm_sframes_t>(delay, 0)) * 1000000000 /
                             std::max<uint32_t>(format_.nSamplesPerSec, 1),
                   pending);
  }

  // A device that stopped working: traced once, then buffers pass at the device's pace (input
  // as silence), so the engine's streaming goes on instead of spinning.
  uint32_t Failed(uint8_t* data, uint32_t bytes, int err, const std::atomic<bool>& interrupt) {
    if (!failed_) {
      Trace("AlsaWaveDevice: %s %s failed: %s\n", snd_pcm_name(pcm_),
            capture_ ? "snd_pcm_readi" : "snd_pcm_writei", snd_strerror(err));
      failed_ = true;
    }
    if (capture_) std::memset(data, format_.wBitsPerSample == 8 ? 0x80 : 0, bytes);
    const auto due = std::chrono::steady_clock::now() +
                     std::chrono::microseconds(uint64_t(bytes) * 1000000 /
                                               std::max<uint32_t>(format_.nAvgBytesPerSec, 1));
    while (std::chrono::steady_clock::now() < due && !interrupt.load(std::memory_order_acquire))
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return bytes;
  }

  snd_pcm_t* pcm_;
  const bool capture_;
  const WaveDeviceFormat format_;
  const WaveDeviceGeometry granted_;
  bool failed_ = false;
};

// ---- Mixer -------------------------------------------------------------------------------

struct AlsaControl {
  MixerControlInfo info;
  uint32_t channels = 1;
  snd_mixer_elem_t* elem = nullptr;  // the element the control acts on
  bool capture = false;              // capture side of the element
  // Mux controls: the enumerated element, or the elements whose exclusive capture switches
  // select the source (one per item).
  std::vector<snd_mixer_elem_t*> items;
  std::vector<std::string> itemNames;
};

struct AlsaLine {
  MixerLineInfo info;
  std::vector<AlsaControl> controls;
};

uint32_t LineIdOf(uint32_t destination, uint32_t position) {
  return (destination + 1) * 0x100 + position;
}

bool NameHas(const std::string& name, const char* word) {
  std::string lower = name;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return lower.find(word) != std::string::npos;
}

class AlsaMixer : public MixerDevice {
 public:
  AlsaMixer(snd_mixer_t* mixer, MixerChangeCallback onChange)
      : mixer_(mixer), onChange_(std::move(onChange)) {
    BuildLines();
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ >= 0) watcher_ = std::thread([this] { Watch(); });
  }

  ~AlsaMixer() override {
    if (watcher_.joinable()) {
      uint64_t one = 1;
      ssize_t ignored = write(wake_, &one, sizeof one);
      (void)ignored;
      watcher_.join();
    }
    if (wake_ >= 0) close(wake_);
    snd_mixer_close(mixer_);
  }

  int GetCaps(MixerCaps* caps) override {
    caps->name = "ALSA Mixer";
    caps->destinations = 2;
    return kMmSysErrNoError;
  }

  int GetDestinationLineInfo(uint32_t destination, MixerLineInfo* line) override {
    std::lock_guard<std::mutex> guard(lock_);
    if (destination >= 2) return kMixErrInvalLine;
    *line = destinations_[destination].info;
    return kMmSysErrNoError;
  }

  int GetSourceLineInfo(uint32_t destination, uint32_t source, MixerLineInfo* line) override {
    std::lock_guard<std::mutex> guard(lock_);
    if (destination >= 2 || source >= sources_[destination].size()) return kMixErrInvalLine;
    *line = sources_[destination][source].info;
    return kMmSysErrNoError;
  }

  int GetLineControl(uint32_t lineId, uint32_t type, MixerControlInfo* control) override {
    std::lock_guard<std::mutex> guard(lock_);
    AlsaLine* line = FindLine(lineId);
    if (!line) return kMixErrInvalLine;
    for (const AlsaControl& c : line->controls)
      if (c.info.type == type) {
        *control = c.info;
        return kMmSysErrNoError;
      }
    return kMixErrInvalControl;
  }

  int GetControlValues(uint32_t controlId, uint32_t channels, uint32_t items,
                       uint32_t* values) override {
    std::vector<uint32_t> changed;
    int code = ReadValues(controlId, channels, items, values, &changed);
    Report(changed);
    return code;
  }

  int ReadValues(uint32_t controlId, uint32_t channels, uint32_t items, uint32_t* values,
                 std::vector<uint32_t>* changed) {
    std::lock_guard<std::mutex> guard(lock_);
    // Pending events first, so the cached values are the card's (a write to one element can
    // change others, such as the members of an exclusive capture group).
    PumpEvents(changed);
    AlsaControl* c = Find(controlId);
    if (int check = Check(c, channels, items)) return check;
    if (c->info.type == kControlMux) return GetMux(*c, values);
    for (uint32_t ch = 0; ch < channels; ++ch) {
      snd_mixer_selem_channel_id_t id = ChannelOf(*c, ch);
      int err = 0;
      if (c->info.type == kControlVolume) {
        long v = 0, low = 0, high = 0;
        err = c->capture ? snd_mixer_selem_get_capture_volume(c->elem, id, &v)
                         : snd_mixer_selem_get_playback_volume(c->elem, id, &v);
        if (err >= 0)
          err = c->capture ? snd_mixer_selem_get_capture_volume_range(c->elem, &low, &high)
                           : snd_mixer_selem_get_playback_volume_range(c->elem, &low, &high);
        values[ch] = high > low ? uint32_t((v - low) * 65535.0 / (high - low) + 0.5) : 0;
      } else {
        int on = 0;
        err = c->capture ? snd_mixer_selem_get_capture_switch(c->elem, id, &on)
                         : snd_mixer_selem_get_playback_switch(c->elem, id, &on);
        values[ch] = on ? 0 : 1;  // a switch that is on means not muted
      }
      if (err < 0) return kMmSysErrError;
    }
    return kMmSysErrNoError;
  }

  int SetControlValues(uint32_t controlId, uint32_t channels, uint32_t items,
                       const uint32_t* values) override {
    {
      std::lock_guard<std::mutex> guard(lock_);
      AlsaControl* c = Find(controlId);
      if (int check = Check(c, channels, items)) return check;
      if (c->info.type == kControlMux) {
        if (int code = SetMux(*c, values)) return code;
      } else {
        for (uint32_t ch = 0; ch < c->channels; ++ch) {
          const uint32_t value = values[channels == 1 ? 0 : ch];
          snd_mixer_selem_channel_id_t id = ChannelOf(*c, ch);
          int err = 0;
          if (c->info.type == kControlVolume) {
            long low = 0, high = 0;
            err = c->capture ? snd_mixer_selem_get_capture_volume_range(c->elem, &low, &high)
                             : snd_mixer_selem_get_playback_volume_range(c->elem, &low, &high);
            long v =
                low + long(std::min<uint32_t>(value, 65535) * double(high - low) / 65535.0 + 0.5);
            if (err >= 0)
              err = c->capture ? snd_mixer_selem_set_capture_volume(c->elem, id, v)
                               : snd_mixer_selem_set_playback_volume(c->elem, id, v);
          } else {
            err = c->capture ? snd_mixer_selem_set_capture_switch(c->elem, id, value ? 0 : 1)
                             : snd_mixer_selem_set_playback_switch(c->elem, id, value ? 0 : 1);
          }
          if (err < 0) return kMmSysErrError;
        }
      }
    }
    if (onChange_) onChange_(controlId);
    return kMmSysErrNoError;
  }

  int GetListTexts(uint32_t controlId, std::vector<std::string>* texts) override {
    std::lock_guard<std::mutex> guard(lock_);
    AlsaControl* c = Find(controlId);
    if (!c || c->itemNames.empty()) return kMixErrInvalControl;
    *texts = c->itemNames;
    return kMmSysErrNoError;
  }

 private:
  static snd_mixer_selem_channel_id_t ChannelOf(const AlsaControl& c, uint32_t ch) {
    if (c.channels == 1) return SND_MIXER_SCHN_MONO;
    return ch == 0 ? SND_MIXER_SCHN_FRONT_LEFT : SND_MIXER_SCHN_FRONT_RIGHT;
  }

  int Check(const AlsaControl* c, uint32_t channels, uint32_t items) const {
    if (!c) return kMixErrInvalControl;
    if (channels != 1 && channels != c->channels) return kMmSysErrInvalParam;
    if (std::max<uint32_t>(items, 1) != std::max<uint32_t>(c->info.itemCount, 1))
      return kMmSysErrInvalParam;
    return kMmSysErrNoError;
  }

  int GetMux(const AlsaControl& c, uint32_t* values) {
    const uint32_t n = c.info.itemCount;
    std::fill(values, values + n, 0u);
    if (c.elem) {  // enumerated element
      unsigned item = 0;
      if (snd_mixer_selem_get_enum_item(c.elem, SND_MIXER_SCHN_MONO, &item) < 0)
        return kMmSysErrError;
      if (item < n) values[item] = 1;
      return kMmSysErrNoError;
    }
    for (uint32_t i = 0; i < n; ++i) {
      int on = 0;
      if (snd_mixer_selem_get_capture_switch(c.items[i], SND_MIXER_SCHN_MONO, &on) < 0)
        return kMmSysErrError;
      values[i] = on ? 1 : 0;
    }
    return kMmSysErrNoError;
  }

  int SetMux(const AlsaControl& c, const uint32_t* values) {
    const uint32_t n = c.info.itemCount;
    if (std::count_if(values, values + n, [](uint32_t v) { return v != 0; }) != 1)
      return kMmSysErrInvalParam;
    const uint32_t item =
        uint32_t(std::find_if(values, values + n, [](uint32_t v) { return v != 0; }) - values);
    int err = c.elem ? snd_mixer_selem_set_enum_item(c.elem, SND_MIXER_SCHN_MONO, item)
                     : snd_mixer_selem_set_capture_switch_all(c.items[item], 1);
    return err < 0 ? kMmSysErrError : kMmSysErrNoError;
  }

  AlsaLine* FindLine(uint32_t lineId) {
    for (uint32_t d = 0; d < 2; ++d) {
      if (destinations_[d].info.lineId == lineId) return &destinations_[d];
      for (AlsaLine& s : sources_[d])
        if (s.info.lineId == lineId) return &s;
    }
    return nullptr;
  }

  AlsaControl* Find(uint32_t controlId) {
    for (uint32_t d = 0; d < 2; ++d) {
      for (AlsaControl& c : destinations_[d].controls)
        if (c.info.controlId == controlId) return &c;
      for (AlsaLine& s : sources_[d])
        for (AlsaControl& c : s.controls)
          if (c.info.controlId == controlId) return &c;
    }
    return nullptr;
  }

  static void AddControl(AlsaLine* line, uint32_t type, snd_mixer_elem_t* elem, bool capture,
                         uint32_t channels) {
    AlsaControl c;
    c.info.controlId = line->info.lineId * 8 + type;
    c.info.type = type;
    c.info.maximum = type == kControlVolume ? 65535 : 1;
    c.elem = elem;
    c.capture = capture;
    c.channels = channels;
    line->controls.push_back(std::move(c));
    line->info.controls = uint32_t(line->controls.size());
  }

  // Volume and switch controls of one side of an element.
  static void AddElementControls(AlsaLine* line, snd_mixer_elem_t* elem, bool capture) {
    const bool mono =
        capture ? snd_mixer_selem_is_capture_mono(elem) : snd_mixer_selem_is_playback_mono(elem);
    const uint32_t channels = mono ? 1 : 2;
    line->info.channels = channels;
    if (capture ? snd_mixer_selem_has_capture_volume(elem)
                : snd_mixer_selem_has_playback_volume(elem))
      AddControl(line, kControlVolume, elem, capture, channels);
    if (capture ? snd_mixer_selem_has_capture_switch(elem)
                : snd_mixer_selem_has_playback_switch(elem))
      AddControl(line, kControlMute, elem, capture, 1);
  }

  AlsaLine NewLine(uint32_t destination, uint32_t position, const std::string& name,
                   uint32_t type) {
    AlsaLine line;
    line.info.destination = destination;
    line.info.source = position ? position - 1 : 0;
    line.info.lineId = LineIdOf(destination, position);
    line.info.componentType = type;
    line.info.channels = 2;
    line.info.name = name;
    line.info.shortName = name.substr(0, 15);
    return line;
  }

  void BuildLines() {
    std::vector<snd_mixer_elem_t*> elems;
    for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer_); e; e = snd_mixer_elem_next(e))
      if (snd_mixer_selem_is_active(e)) elems.push_back(e);
    auto nameOf = [](snd_mixer_elem_t* e) { return std::string(snd_mixer_selem_get_name(e)); };
    auto byName = [&](const std::string& name) -> snd_mixer_elem_t* {
      for (snd_mixer_elem_t* e : elems)
        if (nameOf(e) == name) return e;
      return nullptr;
    };

    // Playback: "Master" is the destination line, the other playback elements its sources.
    AlsaLine& play = destinations_[0] = NewLine(0, 0, "Master", kDstSpeakers);
    snd_mixer_elem_t* master = byName("Master");
    if (master) AddElementControls(&play, master, false);
    for (snd_mixer_elem_t* e : elems) {
      if (e == master) continue;
      if (!snd_mixer_selem_has_playback_volume(e) && !snd_mixer_selem_has_playback_switch(e))
        continue;
      AlsaLine src =
          NewLine(0, uint32_t(sources_[0].size()) + 1, nameOf(e), AlsaSourceTypeOfName(nameOf(e)));
      AddElementControls(&src, e, false);
      sources_[0].push_back(std::move(src));
    }
    play.info.connections = uint32_t(sources_[0].size());

    // Recording: "Capture" is the destination line.
    AlsaLine& rec = destinations_[1] = NewLine(1, 0, "Capture", kDstWaveIn);
    snd_mixer_elem_t* capture = byName("Capture");
    if (capture && (snd_mixer_selem_has_capture_volume(capture) ||
                    snd_mixer_selem_has_capture_switch(capture)))
      AddElementControls(&rec, capture, true);
    snd_mixer_elem_t* enumSource = nullptr;
    for (snd_mixer_elem_t* e : elems)
      if (snd_mixer_selem_is_enumerated(e) && snd_mixer_selem_is_enum_capture(e)) {
        enumSource = e;
        break;
      }
    AlsaControl mux;
    if (enumSource) {
      // The sources are the enumeration's items, so that the mux items follow source order.
      int count = snd_mixer_selem_get_enum_items(enumSource);
      for (int i = 0; i < count; ++i) {
        char text[64] = {};
        snd_mixer_selem_get_enum_item_name(enumSource, unsigned(i), sizeof text - 1, text);
        AlsaLine src =
            NewLine(1, uint32_t(sources_[1].size()) + 1, text, AlsaSourceTypeOfName(text));
        if (snd_mixer_elem_t* e = byName(text)) AddElementControls(&src, e, true);
        mux.itemNames.push_back(text);
        sources_[1].push_back(std::move(src));
      }
      mux.elem = enumSource;
    } else {
      for (snd_mixer_elem_t* e : elems) {
        if (e == capture) continue;
        if (!snd_mixer_selem_has_capture_volume(e) && !snd_mixer_selem_has_capture_switch(e))
          continue;
        AlsaLine src = NewLine(1, uint32_t(sources_[1].size()) + 1, nameOf(e),
                               AlsaSourceTypeOfName(nameOf(e)));
        AddElementControls(&src, e, true);
        if (snd_mixer_selem_has_capture_switch_exclusive(e)) {
          mux.items.push_back(e);
          mux.itemNames.push_back(nameOf(e));
        }
        sources_[1].push_back(std::move(src));
      }
      // An exclusive group selects among all sources only when every source belongs to it.
      if (mux.items.size() != sources_[1].size()) {
        mux.items.clear();
        mux.itemNames.clear();
      }
    }
    rec.info.connections = uint32_t(sources_[1].size());
    if (!mux.itemNames.empty()) {
      mux.info.controlId = rec.info.lineId * 8 + kControlMux;
      mux.info.type = kControlMux;
      mux.info.itemCount = uint32_t(mux.itemNames.size());
      mux.info.maximum = 1;
      mux.channels = 1;
      rec.controls.push_back(std::move(mux));
      rec.info.controls = uint32_t(rec.controls.size());
    }

    // Change notification: every element reports to the watcher thread.
    for (snd_mixer_elem_t* e : elems) {
      snd_mixer_elem_set_callback_private(e, this);
      snd_mixer_elem_set_callback(e, &AlsaMixer::ElementChanged);
    }
  }

  static int ElementChanged(snd_mixer_elem_t* elem, unsigned int mask) {
    auto* self = static_cast<AlsaMixer*>(snd_mixer_elem_get_callback_private(elem));
    if (self && (mask & SND_CTL_EVENT_MASK_VALUE)) self->changedElems_.push_back(elem);
    return 0;
  }

  // Waits for element changes made by other programs and reports the controls they touch.
  void Watch() {
    for (;;) {
      std::vector<pollfd> fds;
      {
        std::lock_guard<std::mutex> guard(lock_);
        int n = snd_mixer_poll_descriptors_count(mixer_);
        fds.resize(size_t(std::max(n, 0)) + 1);
        if (n > 0) snd_mixer_poll_descriptors(mixer_, fds.data() + 1, unsigned(n));
      }
      fds[0] = pollfd{wake_, POLLIN, 0};
      if (poll(fds.data(), fds.size(), -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[0].revents) return;
      std::vector<uint32_t> changed;
      {
        std::lock_guard<std::mutex> guard(lock_);
        PumpEvents(&changed);
      }
      Report(changed);
    }
  }

  // Lets alsa-lib apply pending element events; collects the controls they touched. Called
  // under the lock.
  void PumpEvents(std::vector<uint32_t>* changed) {
    changedElems_.clear();
    snd_mixer_handle_events(mixer_);
    for (snd_mixer_elem_t* e : changedElems_)
      for (uint32_t d = 0; d < 2; ++d) {
        for (const AlsaControl& c : destinations_[d].controls)
          if (c.elem == e || std::find(c.items.begin(), c.items.end(), e) != c.items.end())
            changed->push_back(c.info.controlId);
        for (const AlsaLine& s : sources_[d])
          for (const AlsaControl& c : s.controls)
            if (c.elem == e) changed->push_back(c.info.controlId);
      }
    changedElems_.clear();
  }

  void Report(const std::vector<uint32_t>& changed) {
    if (!onChange_) return;
    for (uint32_t id : changed) onChange_(id);
  }

  snd_mixer_t* mixer_;
  MixerChangeCallback onChange_;
  std::mutex lock_;  // alsa-lib's mixer is not thread safe: every call goes under this lock
  AlsaLine destinations_[2];
  std::vector<AlsaLine> sources_[2];
  std::vector<snd_mixer_elem_t*> changedElems_;
  int wake_ = -1;
  std::thread watcher_;
};

// Opens and loads the simple mixer of a control device. Returns 0 or an ALSA error.
int OpenSimpleMixer(const std::string& device, snd_mixer_t** out) {
  snd_mixer_t* mixer = nullptr;
  int err = snd_mixer_open(&mixer, 0);
  if (err < 0) return err;
  if ((err = snd_mixer_attach(mixer, device.c_str())) < 0 ||
      (err = snd_mixer_selem_register(mixer, nullptr, nullptr)) < 0 ||
      (err = snd_mixer_load(mixer)) < 0) {
    snd_mixer_close(mixer);
    return err;
  }
  *out = mixer;
  return 0;
}

// ---- Backend -----------------------------------------------------------------------------

class AlsaBackend : public AudioBackend {
 public:
  explicit AlsaBackend(AlsaAudioOptions options) : options_(std::move(options)) {}

  const char* Name() const override { return "alsa"; }
  void SetDeviceGeometry(const WaveDeviceGeometry& geometry) override { geometry_ = geometry; }

  int OpenWaveIn(const WaveDeviceFormat& format, Event* doneEvent, bool queryOnly,
                 std::unique_ptr<WaveInDevice>* device) override {
    snd_pcm_t* pcm = nullptr;
    WaveDeviceGeometry granted;
    if (int code = Open(format, true, &pcm, &granted)) return code;
    if (queryOnly) {
      snd_pcm_close(pcm);
      return kMmSysErrNoError;
    }
    *device = std::make_unique<StreamWaveIn>(std::make_unique<AlsaPort>(pcm, true, format, granted),
                                             doneEvent, false);
    return kMmSysErrNoError;
  }

  int OpenWaveOut(const WaveDeviceFormat& format, Event* doneEvent,
                  std::unique_ptr<WaveOutDevice>* device) override {
    snd_pcm_t* pcm = nullptr;
    WaveDeviceGeometry granted;
    if (int code = Open(format, false, &pcm, &granted)) return code;
    *device = std::make_unique<StreamWaveOut>(
        std::make_unique<AlsaPort>(pcm, false, format, granted), doneEvent, false);
    return kMmSysErrNoError;
  }

  int WaveOutDeviceCount() override { return 1; }
  std::string WaveOutDeviceName(int device) override {
    return device == 0 ? options_.pcmDevice : std::string();
  }
  int MixerIdOfWaveOut(int device, uint32_t* mixerId) override {
    if (device != 0) return kMmSysErrBadDeviceId;
    if (MixerDeviceCount() == 0) return kMmSysErrNoDriver;
    *mixerId = 0;
    return kMmSysErrNoError;
  }

  int MixerDeviceCount() override {
    snd_mixer_t* mixer = nullptr;
    if (OpenSimpleMixer(options_.mixerDevice, &mixer) < 0) return 0;
    snd_mixer_close(mixer);
    return 1;
  }

  int OpenMixer(uint32_t mixerId, MixerChangeCallback onChange,
                std::unique_ptr<MixerDevice>* mixer) override {
    if (mixerId != 0) return kMmSysErrBadDeviceId;
    snd_mixer_t* handle = nullptr;
    if (int err = OpenSimpleMixer(options_.mixerDevice, &handle); err < 0)
      return CodeOfOpenError(err);
    *mixer = std::make_unique<AlsaMixer>(handle, std::move(onChange));
    return kMmSysErrNoError;
  }

 private:
  int Open(const WaveDeviceFormat& format, bool capture, snd_pcm_t** out,
           WaveDeviceGeometry* granted) {
    snd_pcm_t* pcm = nullptr;
    int err =
        snd_pcm_open(&pcm, options_.pcmDevice.c_str(),
                     capture ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (err < 0) return CodeOfOpenError(err);
    if (int code = ConfigurePcm(pcm, format, capture, geometry_, granted)) {
      snd_pcm_close(pcm);
      return code;
    }
    if (snd_pcm_prepare(pcm) < 0) {
      snd_pcm_close(pcm);
      return kMmSysErrError;
    }
    *out = pcm;
    return kMmSysErrNoError;
  }

  const AlsaAudioOptions options_;
  WaveDeviceGeometry geometry_;
};

}  // namespace

void RouteAlsaErrorsToTrace() {
  snd_lib_error_set_handler(&AlsaErrorToTrace);
}

bool AlsaSoundCardPresent() {
  int card = -1;
  return snd_card_next(&card) == 0 && card >= 0;
}

uint32_t AlsaSourceTypeOfName(const std::string& name) {
  if (NameHas(name, "mic")) return kSrcMicrophone;
  if (NameHas(name, "line")) return kSrcLine;
  if (NameHas(name, "cd")) return kSrcCompactDisc;
  if (NameHas(name, "pcm") || NameHas(name, "wave") || NameHas(name, "mix")) return kSrcWaveOut;
  if (NameHas(name, "synth") || NameHas(name, "fm") || NameHas(name, "midi"))
    return kSrcSynthesizer;
  if (NameHas(name, "aux") || NameHas(name, "video")) return kSrcAuxiliary;
  if (NameHas(name, "beep") || NameHas(name, "speaker")) return kSrcPcSpeaker;
  if (NameHas(name, "phone")) return kSrcTelephone;
  if (NameHas(name, "digital") || NameHas(name, "iec958") || NameHas(name, "spdif"))
    return kSrcDigital;
  return kSrcAnalog;
}

std::unique_ptr<AudioBackend> CreateAlsaAudioBackend(AlsaAudioOptions options) {
  RouteAlsaErrorsToTrace();
  return std::make_unique<AlsaBackend>(std::move(options));
}
