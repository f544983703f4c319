// Helpers the player's source files share (not part of the player's interface).
#pragma once

#include <string>

#include "cd/player.h"

namespace cdplayer {

CdPlayerDisplay& Display();
CdDiscHooks& Hooks();

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A disc with audio tracks is loaded (playing, paused or stopped).
bool HasAudioDisc();
// Title texts, copied under the CD information lock ("" outside the table).
std::string TitleOf(int track);
std::string ArtistOf(int track);
std::string AlbumTitle();
std::string AlbumArtist();
// Track artists count as present when track 1 has one.
bool TrackArtistsPresent();
// A new disc: no titles until its information is loaded.
void ClearTitles();

void SetMark(std::atomic<uint64_t>* marks, int track, bool on);
bool TestMark(const std::atomic<uint64_t>* marks, int track);
void ClearMarks(std::atomic<uint64_t>* marks);

// The place in the play order: the shuffle index in shuffle mode, else the track index.
int PlayPosition();
// Moves to a place in the play order; currentTrack follows.
void SetPlayPosition(int position);
// Steps forward (backward) over skipped tracks from the current place. Running off the end
// moves to place 0 and answers false.
bool CdFindPlayable();
bool CdFindPlayableBackward();
// A new disc: the play order becomes a fresh permutation of its tracks.
void ShuffleOrderForNewDisc();

// Window thread: what a message the stream posted shows (CddaWindowMessage).
void ShowStreamMessage(int message);

}  // namespace cdplayer
