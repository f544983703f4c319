// Points alsa-lib at a configuration of the test's own for the lifetime of the object: HOME
// moves to a scratch folder whose .asoundrc defines
//   pcm "sornfile"  the file plugin over the null device: playback is recorded into
//                   PlayedFile(), capture reads CaptureFile();
//   pcm "sornduplex" the same for both directions at once (capture keeps its own copy);
//   pcm "sornbusy"  a device that is always in use;
//   pcm "sornxrun"  playback that plays at once and underruns once, after two transfers;
//   ctl "sorncard"  a mixer with Master, PCM, Mic, Line and Capture elements and a
//                   "Capture Source" enumeration (the test plugin).
#pragma once

#include <alsa/asoundlib.h>
#include <dlfcn.h>

#include <fstream>
#include <memory>
#include <string>

#include "tests/audio_io/audio_test_util.h"

class AlsaTestConfig {
 public:
  AlsaTestConfig() : home_("HOME", dir_.Path()), xdg_("XDG_CONFIG_HOME", dir_.Path() + "/xdg") {
    const std::string plugin = SORN_ALSA_TEST_PLUGIN;
    const std::string played = Quoted(PlayedFile()), captured = Quoted(CaptureFile());
    std::ofstream rc(dir_.File(".asoundrc"));
    rc << "pcm.sornfile { type file slave.pcm \"null\" format \"raw\" file " + played + " infile " +
              captured + " }\n";
    rc << "pcm.sornduplex { type asym\n";
    rc << "  playback.pcm { type file slave.pcm \"null\" format \"raw\" file " + played + " }\n";
    rc << "  capture.pcm { type file slave.pcm \"null\" format \"raw\" file " +
              Quoted(dir_.File("copy.raw")) + " infile " + captured + " }\n";
    rc << "}\n";
    rc << "pcm_type.sornbusy { lib " + Quoted(plugin) + " }\n";
    rc << "pcm.sornbusy { type sornbusy }\n";
    rc << "pcm_type.sornxrun { lib " + Quoted(plugin) + " }\n";
    rc << "pcm.sornxrun { type sornxrun }\n";
    rc << "ctl_type.sorncard { lib " + Quoted(plugin) + " }\n";
    rc << "ctl.sorncard { type sorncard }\n";
    rc.close();
    testutil::WriteBytes(CaptureFile(), {});
    snd_config_update_free_global();
    plugin_ = dlopen(SORN_ALSA_TEST_PLUGIN, RTLD_NOW);
    if (auto reset = reinterpret_cast<void (*)()>(Symbol("sorn_test_card_reset"))) reset();
  }
  ~AlsaTestConfig() {
    snd_config_update_free_global();
    if (plugin_) dlclose(plugin_);
  }

  std::string PlayedFile() const { return dir_.File("played.raw"); }
  std::string CaptureFile() const { return dir_.File("captured.raw"); }

  long CardValue(const char* name, unsigned channel) {
    auto get = reinterpret_cast<long (*)(const char*, unsigned)>(Symbol("sorn_test_card_value"));
    return get ? get(name, channel) : -1;
  }
  void ChangeCard(const char* name, unsigned channel, long value) {
    auto change =
        reinterpret_cast<void (*)(const char*, unsigned, long)>(Symbol("sorn_test_card_change"));
    if (change) change(name, channel, value);
  }

 private:
  static std::string Quoted(const std::string& text) { return "\"" + text + "\""; }
  void* Symbol(const char* name) { return plugin_ ? dlsym(plugin_, name) : nullptr; }

  testutil::TempDir dir_;
  testutil::ScopedEnv home_;
  testutil::ScopedEnv xdg_;
  void* plugin_ = nullptr;
};
