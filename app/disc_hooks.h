// What the program does when the player has scanned a disc: the disc id from its layout, the
// demo disc's information file installed where the disc has none yet, then the disc's CD
// information file read into the title tables and shown.
#pragma once

#include "cd/player.h"

class AppDiscHooks : public CdDiscHooks {
 public:
  void ComputeDiscIdentity(void* window) override;
  void LoadCdInformation(void* window) override;
  // The editors, the volume control and the help page the commands started.
  void WatchLaunchedPrograms(void* window) override;
};

void InstallAppDiscHooks();
