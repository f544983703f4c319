// The CD+G of the track being played, in two stages so that the screen can follow the position
// the listener hears to the pack (1/300 s) while the audio thread works once per block:
//
// - The audio thread (the ring consumer hands it the packs of the audio it delivers,
//   audio/cdda_ring.h) keeps the packs of the last seconds, decodes those that lie well behind
//   the delivered position into a base screen, and publishes the base screen with the packs
//   after it through a triple buffer. It never blocks, never allocates and copies only what
//   changed since a buffer was last filled.
// - A reader (the window, once per frame) takes the latest publication and decodes onward
//   from where it left off up to the pack it asks for: the screen at exactly that pack.
//
// The screen follows one track: it starts blank when the packs come from another track, or
// from more than a second away from where they left off (a seek); packs that come again
// (a paused track resuming, overlapping reads) are taken once.
#pragma once

#include <cstdint>

#include "cd/cdg_decoder.h"

// The reader, at the start of each run: whether the track (index) being read carries CD+G.
// A track that does installs the hand-over from the ring.
void SetCdgStreamTrack(int trackIndex, bool hasCdg);

// Window thread (any thread): the current track carries CD+G (the player's current track is
// the one the reader found it on).
bool CurrentTrackHasCdg();

// The pack position (300 a second from the track's start) of a time in milliseconds.
int64_t CdgPackOfMs(int64_t ms);

// One reader thread at a time (readers take turns): the screen at pack position `pack` of the
// stream, kept within the packs published (earlier than the oldest kept: the oldest; later
// than the last delivered: the last). *shown is the position the screen shows. False while
// nothing has been published since the stream started.
bool CdgScreenAt(int64_t pack, CdgScreen* screen, int64_t* shown = nullptr);

// The screen at the position the listener hears now (audio/streaming.h CdPositionHeardMs).
bool CurrentCdgScreen(CdgScreen* screen, int64_t* packPosition = nullptr);

// Tests and diagnostics: called on the audio thread after each publication with the pack
// position delivered so far.
using CdgDeliveryObserver = void (*)(int64_t deliveredPack, void* context);
void SetCdgDeliveryObserver(CdgDeliveryObserver observer, void* context);

// Back to no track and no screen (the decoder state goes).
void ResetCdgStream();
