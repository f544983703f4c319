// The display-mode table and full screen. Start-up builds the table of the display's modes
// (at least 400 pixels wide, 60 Hz or more or the default frequency, sorted by width, height,
// depth and frequency), finds the normal mode and the 800 x 600 full-screen mode at the
// screen's depth, and writes the table to the log. Full screen switches the display to that
// mode and moves the window to the top-left corner; where there is no such mode or the
// display cannot switch (Wayland, a remote X server, a refused change) the window is shown
// full screen instead, scaled to fit with its aspect kept, and no mode changes.
#pragma once

#include <QRect>
#include <memory>
#include <vector>

#include "platform/display/display_modes.h"

inline constexpr int kFullScreenWidth = 800;
inline constexpr int kFullScreenHeight = 600;
inline constexpr int kMaxScreenModeCount = 41;  // the count stops here (at most 42 modes)
inline constexpr int kFullScreenCommand = 40182;

// What full screen does to the main window; the main window implements it.
class FullScreenWindow {
 public:
  virtual ~FullScreenWindow() = default;
  virtual void MoveToOrigin() = 0;  // (0, 0), normal size kept
  virtual void RestoreGeometry(const QRect& normal) = 0;
  virtual bool EnterScaledFullScreen() = 0;  // false when it cannot be shown
  virtual void LeaveScaledFullScreen() = 0;
  virtual void SetFullScreenCheck(bool checked) = 0;  // the "Full Screen Mode" menu item
};

struct ScreenModeState {
  std::unique_ptr<DisplayBackend> backend;
  FullScreenWindow* window = nullptr;
  void* owner = nullptr;  // the main window, owner of the boxes
  std::vector<DisplayMode> screenModes;
  int screenModeCount = -1;  // index of the last entry; -1 for an empty table
  int currentMode = 0;
  int defaultScreenMode1 = -1;  // the normal mode, -1 when not found
  int fullScreenModeIndex = -1;
  int screenDepth = 0;
  bool fullScreenMode = false;  // the display (or the window) is in full screen
  bool scaledFullScreen = false;
  QRect normalGeometry;  // the window's position and size before full screen
  int lastChangeResult = DISP_CHANGE_SUCCESSFUL;
};

extern ScreenModeState screenModes;

// The backend the table is built from and the window full screen moves (start-up; tests hand
// in a simulated table and a recorder).
void SetDisplayBackend(std::unique_ptr<DisplayBackend> backend);
void SetFullScreenWindow(FullScreenWindow* window, void* owner, const QRect& normalGeometry);

// Builds the table and finds the normal and full-screen modes; the screen's present size is
// the normal mode's fallback. 1, or 0 (after the "No Display modes available." box) when the
// display lists no mode.
int FindScreenDeviceMode(void* window, int screenWidth, int screenHeight);
void WriteAllScreenDeviceModesToLogFile();
// Bits per pixel of the screen, logged; 0 when it cannot be read.
int GetScreenBitDepth();
// Switches to entry index. 1 when a change was attempted, 0 when nothing was done.
int ChangeScreenDeviceMode(void* window, int index);
// Enters or leaves full screen; nothing unless "Use Full Screen" is on. The result: whether
// it is now in (on) or a change was attempted (off).
int SetFullScreenMode(bool on);
// The "Full Screen Mode" command: toggles full screen and the setting with it.
void FullScreenModeCommand();
// Frees the table (shutdown).
void FreeScreenDeviceModes();

// The table's entry for width, height and depth with the highest frequency, or -1.
int FindScreenMode(int width, int height, int depth);
