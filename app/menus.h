// The panel's menus: the main menu (resource 202) with its four submenus, the command ids of
// the track list, and the check marks the commands keep in step.
#pragma once

#include <QString>

class QMenu;

// Main menu submenus, in the resource's order.
enum MainSubmenu : int {
  kSubmenuOptions = 0,
  kSubmenuInternet = 1,
  kSubmenuHelp = 2,
  kSubmenuDebug = 3,
  kSubmenuCount = 4,
};

// Command ids of the menus.
enum MenuCommand : int {
  kCmdEditLyrics = 134,
  kCmdFirstTrack = 800,
  kCmdExit = 40002,
  kCmdRecordFileSelect = 40003,
  kCmdAbout = 40005,
  kCmdLaunchMmsys = 40026,
  kCmdPreferences = 40044,
  kCmdHelpTopics = 40045,
  kCmdCdPlayer = 40017,
  kCmdDspParameters = 40043,
  kCmdSoundRecorder = 40057,
  kCmdObjectTWave = 40089,
  kCmdObjectSphere = 40090,
  kCmdObjectPyramid = 40091,
  kCmdObjectText = 40092,
  kCmdDirectSoundCaps = 40099,
  kCmdGetCdInfo = 40122,
  kCmdCopySongToWav = 40123,
  kCmdToggleSkip = 40127,
  kCmdEjectCd = 40128,
  kCmdFontLyrics = 40161,
  kCmdFontTrack = 40162,
  kCmdFontAlbum = 40163,
  kCmdFontPrefix = 40164,
  kCmdRecordToFile = 40166,
  kCmdSingleSongPlay = 40167,
  kCmdIntroPlay = 40168,
  kCmdRepeat = 40169,
  kCmdResetCycleCounter = 40170,
  kCmdLyricsState1 = 40171,
  kCmdLyricsState2 = 40172,
  kCmdLyricsState3 = 40173,
  kCmdCddbWebSite = 40176,
  kCmdLyricsWebSite = 40177,
  kCmdUpdateServerList = 40178,
  kCmdLyricsState4 = 40179,
  kCmdLaunchMixer = 40181,
  kCmdFullScreen = 40182,
  kCmdDeviceManager = 40183,
  kCmdProcessViewer = 40184,
  kCmdEditCdInfo = 40185,
  kCmdGetLyrics = 40186,
  kCmdGetTrackLyrics = 40187,
};

inline constexpr int kTrackCommandCount = 50;
// The track command table: 800 for the first track, 40101..40119, then 40130..40159; -1 ends it.
extern const int kTrackCommandIds[kTrackCommandCount + 1];
// The command of a track index, or -1 beyond the table.
int TrackCommandId(int track);
// The track index a command selects, or -1 when it is not a track command.
int TrackOfCommand(int commandId);

// Builds the main menu's submenu (menu 202); the caller owns it. Its label is the title.
QMenu* LoadMainSubmenu(MainSubmenu which);
QString MainSubmenuLabel(MainSubmenu which);

// Check marks by command id, in every menu the panel shows (and the Debug menu).
void RegisterCommandMenu(QMenu* menu);
void UnregisterCommandMenu(QMenu* menu);
void CheckMenuCommand(int commandId, bool checked);
bool MenuCommandChecked(int commandId);
