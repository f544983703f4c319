// The ring of 24 lights around the transport: three lights 8 apart rotate while the disc plays
// (one step every fourth level-meter tick), every second light blinks while it is stopped or
// paused, and all are dark without a disc.
#pragma once

#include <QWidget>

inline constexpr int kRingLightCount = 24;
inline constexpr int kRingAnimationRotate = 1;
inline constexpr int kLEDRing_Animation_Random = 2;

struct RingLights {
  QWidget* lights[kRingLightCount] = {};  // the light layers in ring order
  int start = 0;                          // the rotation start, 0..23
  int count = kRingLightCount;
  int lit = 3;  // lit at once
  int mode = kRingAnimationRotate;
  int divisor = 4;  // one step per this many ticks
  int tick = 0;
  int blinkCounter = 0;
  int blinkPhase = 0;
};

// Start 0, tick counter at the divisor, all lights off.
void ResetRingLEDs(RingLights* ring);
// Every light to index (0 off, 1 on).
void SetAllRingLEDs(RingLights* ring, int index);
// One tick of the rotation.
void ArrangeRingLEDs(RingLights* ring);
// One tick of the stopped/paused blink.
void BlinkRingLEDs(RingLights* ring);
// One level-meter tick for the player's state (cd/play_state.h values).
void StepRingLights(RingLights* ring, int cdState);
