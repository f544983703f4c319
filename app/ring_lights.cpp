#include "app/ring_lights.h"

#include "cd/play_state.h"
#include "diagnostics/diagnostics.h"
#include "widgets/bitmap_layer.h"

namespace {

// Sends a light its index only when it shows another one (no repaint otherwise).
void ShowLight(QWidget* light, int index) {
  if (light && gkBitmapLayer_GetIndex(light) != index) gkBitmapLayer_SetIndex(light, index);
}

}  // namespace

void ResetRingLEDs(RingLights* ring) {
  ring->start = 0;
  ring->tick = ring->divisor;
  SetAllRingLEDs(ring, 0);
}

void SetAllRingLEDs(RingLights* ring, int index) {
  for (int i = 0; i < ring->count; ++i) ShowLight(ring->lights[i], index);
}

void ArrangeRingLEDs(RingLights* ring) {
  ++ring->tick;
  if (ring->divisor <= 0 || ring->tick % ring->divisor != 1) return;
  if (ring->mode == kLEDRing_Animation_Random) {
    Trace("ArrangeRingLEDs: kLEDRing_Animation_Random Not Implemented\n");
    return;
  }
  if (ring->mode != kRingAnimationRotate || ring->lit <= 0) {
    SetAllRingLEDs(ring, 0);
    return;
  }
  bool on[kRingLightCount] = {};
  const int spacing = ring->count / ring->lit;
  for (int k = 0; k < ring->lit; ++k) on[(ring->start + k * spacing) % ring->count] = true;
  ring->start = (ring->start + 1) % ring->count;
  for (int i = 0; i < ring->count; ++i) ShowLight(ring->lights[i], on[i] ? 1 : 0);
}

void BlinkRingLEDs(RingLights* ring) {
  const int phase = ring->blinkCounter % 32;
  if (phase == 0) {
    SetAllRingLEDs(ring, 0);
  } else if (phase == 15) {
    const int first = ring->blinkPhase % 2;
    for (int i = 0; i < ring->count; ++i) ShowLight(ring->lights[i], (i % 2) == first ? 1 : 0);
    ++ring->blinkPhase;
  }
  ++ring->blinkCounter;
}

void StepRingLights(RingLights* ring, int cdState) {
  if (cdState == CD_PLAY) {
    ArrangeRingLEDs(ring);
  } else if (cdState == CD_STOP || cdState == CD_PAUSE) {
    BlinkRingLEDs(ring);
  } else {
    ResetRingLEDs(ring);
  }
}
