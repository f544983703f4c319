// The CD player panel: the main window's skin built from the template "IDD_DIALOG_CDPLAYER",
// its widgets skinned, and what its transport, switches and sliders do. The player shows its
// state through the panel (CdPlayerDisplay); the keyboard map and the commands reach the
// panel's operations here.
#pragma once

#include <QFont>
#include <QString>
#include <QWidget>
#include <cstdint>

inline constexpr int kIdPlay = 1007;
inline constexpr int kIdStop = 1008;
inline constexpr int kIdPrevious = 1013;
inline constexpr int kIdNext = 1014;
inline constexpr int kIdReduceVocal = 1005;
inline constexpr int kIdVoiceRecord = 1029;
inline constexpr int kIdVoicePlay = 1031;
inline constexpr int kIdDownload = 1040;
inline constexpr int kIdClose = 1030;
inline constexpr int kIdTimeDisplay = 1184;
inline constexpr int kIdPositionSlider = 1185;
inline constexpr int kIdCdVolume = 1065;
inline constexpr int kIdMicVolume = 1067;
inline constexpr int kIdMusicMeter = 1292;
inline constexpr int kIdMicMeter = 1293;
inline constexpr int kIdLyricsText = 1210;
inline constexpr int kIdTitle = 1098;
inline constexpr int kIdTitleShort = 1103;
inline constexpr int kIdAlbum = 1097;
inline constexpr int kIdArtist = 1099;
inline constexpr int kIdAlbumRow = 1100;
inline constexpr int kIdTabs = 1166;
inline constexpr int kIdPrefixCd = 1101;
inline constexpr int kIdPrefixBy = 1102;
inline constexpr int kIdTrackList = 1010;
inline constexpr int kIdPopupLogo = 1169;
inline constexpr int kIdPopupHelp = 1167;
inline constexpr int kIdPopupInternet = 1168;
inline constexpr int kIdPopupOptions = 1171;
inline constexpr int kLevelMeterPeriodMs = 63;
// The mixer destination whose microphone line the panel's microphone volume follows.
inline constexpr int kPanelMicDestination = 1;

// Loads the template as a child of the main window: every widget created, those the template
// marks hidden hidden. Null after a trace when the template cannot be built.
QWidget* LoadCdPlayerPanel(QWidget* mainWindow);
// Builds the panel: nudges, skin graphics, behaviours and callbacks, texts, the time display,
// the level-meter timer; installs the panel as the player's display.
void InitializeGUI_CDPlayer(QWidget* panel);
// (Re)loads every skin bitmap of the panel at the skin's present scale and hands them to the
// widgets (start-up, and when the scaled full-screen window needs the 2x drawings).
void ApplyPanelSkin(QWidget* panel);
// Volume sliders from the mixer and the settings, with the gains that follow.
void ApplyPanelVolumeLevels(QWidget* panel);
// The lower panel chosen by "Panel Display" (start-up).
void ShowChosenLowerPanel();
// Releases what the panel holds (shutdown): the level-meter timer, the player's display.
void ReleaseCdPlayerPanel();
QWidget* CdPlayerPanel();

// Widget callbacks.
void CDPlayerPanelStateManager(int32_t id);
void TimeSliderMouseUpCallback(int32_t id);
void PressPlayIfPlaying(int32_t id);
// The tab layer's callback: 0 shows the microphone panel, 1 the lyrics panel.
void ViewPanelStateManager(int32_t index);

// Time display and position slider; either may be null.
void ShowTime(QWidget* display, QWidget* slider, int seconds, int trackSeconds);
// The level-meter tick (message 102): meters from the engine's levels.
void CdPlayerPanelLevelTick(QWidget* panel);

// Voice file operations with their buttons.
void StopVoicePlayback(QWidget* panel, bool releaseButton);
void StopVoiceRecording(QWidget* panel, bool releaseButton);
void RestartVoicePlayback(QWidget* panel);
// The voice-play button's look: usable when the current track has a recording.
void UpdateVoicePlayButton(bool exists);
// Whether the current track has a recording (the voice files follow the player's disc first).
bool CurrentTrackRecordingExists();
// The voice files' view of the disc: its titles, its id and the current track.
void SyncVoiceDisc();
// Set whenever playing or voice playback is started from the panel.
bool PanelPlayRequested();
void ClearPanelPlayRequested();

// The gains the processing chain reads, from the panel's levels (0..10).
float CdGainFromLevel(float level);
float MicGainFromLevel(float level);

// The three panel fonts.
enum PanelFontKind : int { kFontTrackTitle = 0, kFontAlbumArtist = 1, kFontPrefix = 2 };
QFont PanelFont(PanelFontKind kind);
// Replaces a panel font and gives it to its texts (1098/1103, 1097/1099, 1101/1102).
void SetPanelFont(PanelFontKind kind, const QFont& font);

// The download button and the short title: shown for a disc whose titles are unknown.
void ShowDownloadButton(bool show);
bool DownloadButtonShown();
// The title lines as the CD information code sets them (cut to fit their places).
void SetPanelStatusLine(const QString& text);
void SetPanelTitleLine(const QString& album, const QString& artist);
void SetPanelArtistLine(const QString& artist);
// The text of the track title line as given (before it is cut to fit).
QString PanelTitleText();

// The menu with the Debug commands (no popup of the panel shows it by default).
class QMenu;
QMenu* PanelDebugMenu();

// Vocal reduction on or off, with its button.
void SetVocalReduction(QWidget* panel, bool on);
// Presses (button-down) or releases (button-up) a panel button as a click would.
void SendButtonDown(QWidget* button);
void SendButtonUp(QWidget* button);
