// The CD+G of the track being played: the ring consumer hands over the packs of the audio it
// delivers (audio/cdda_ring.h); they are decoded on the audio thread up to the position the
// listener hears and the screen is published for the window, which takes the latest one.
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

// Any thread: the latest screen and the pack position (300 a second from the track's start)
// it shows. False while nothing has been decoded since the stream started.
bool CurrentCdgScreen(CdgScreen* screen, int64_t* packPosition = nullptr);

// Tests and diagnostics: called on the audio thread each time the screen has followed the
// stream, with the screen and its pack position.
using CdgScreenObserver = void (*)(const CdgScreen& screen, int64_t packPosition, void* context);
void SetCdgScreenObserver(CdgScreenObserver observer, void* context);

// Back to no track and no screen (the decoder state goes).
void ResetCdgStream();
