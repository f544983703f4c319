#include "app/disc_hooks.h"

#include <algorithm>

#include "app/external_programs.h"
#include "cd/demo_disc.h"
#include "cdinfo/disc_id.h"
#include "cdinfo/info_file.h"
#include "diagnostics/diagnostics.h"

void AppDiscHooks::ComputeDiscIdentity(void*) {
  DiscLayout layout;
  layout.trackCount = std::min(player.lastTrack.load() + 1, kMaxTitleTracks);
  for (int i = 0; i < layout.trackCount; ++i) {
    const CdTrack& t = player.cdTrack[i];
    layout.position[i] = PackMsf(t.startMinutes, t.startSeconds, t.startFrames);
    layout.length[i] = PackMsf(t.lengthMinutes, t.lengthSeconds, t.lengthFrames);
    layout.dataTrack[i] = !IsTrackAudio(i);
  }
  SetDiscLayout(layout);
}

void AppDiscHooks::LoadCdInformation(void* window) {
  const std::string discId = CurrentDiscId();
  Trace("LoadCdInformation: disc %s\n", discId.c_str());
  InstallDemoDiscInfo(discId);
  LoadCdInfoFile(window);
  CdShowTitles(window);
}

void AppDiscHooks::WatchLaunchedPrograms(void* window) {
  WatchExternalPrograms(window);
}

void InstallAppDiscHooks() {
  static AppDiscHooks hooks;
  SetCdDiscHooks(&hooks);
}
