// What the lyrics area shows while a song plays. The lyrics panel hands its text and its
// showing and hiding here; a window-thread timer then follows the position the listener hears:
// - a track with CD+G shows its graphics (CdgView) in place of the lyrics text while the
//   lyrics view is in front, and over the whole screen in full screen (a click there leaves
//   full screen, keys go to the panel's keyboard map);
// - a time-synced lyrics section has its sung line highlighted (synced_lyrics_view.h).
// The timer runs every 10 ms while graphics are shown and the disc plays (under a frame of
// 1/75 s), every 50 ms while synced lyrics are shown and it plays, and every 100 ms otherwise,
// to notice the play starting and a track's graphics arriving with the first read.
#pragma once

#include <QString>
#include <cstdint>

class CdgView;
class QWidget;

// The lyrics panel's hooks: the text for the lyrics pane (SetLyricsText), and the lyrics view
// shown or hidden (ShowLyricsPanel).
void ShowLyricsText(QWidget* pane, const QString& text);
void LyricsAreaShown(bool shown);

// The position followed, in milliseconds into the current track: the one the listener hears
// (CdPositionHeardMs). Tests hand in their own; nullptr goes back to it.
using ListenerPositionSource = int64_t (*)();
void SetListenerPositionSource(ListenerPositionSource source);

// One step of following (the timer's); tests call it directly.
void FollowLyricsArea();

// The graphics views, null until first needed.
CdgView* LyricsCdgView();
CdgView* FullScreenCdgView();
