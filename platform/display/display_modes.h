// The display's modes: list them, report the current one, test and apply one, and the
// screen's depth. The X server's modes through XRandR, or a listed table (tests, headless
// runs, and displays that cannot switch modes, which list their current mode only).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Which fields of a mode record are defined.
enum DisplayModeFields : uint32_t {
  kDmBitsPerPel = 0x00040000,
  kDmPelsWidth = 0x00080000,
  kDmPelsHeight = 0x00100000,
  kDmDisplayFlags = 0x00200000,
  kDmDisplayFrequency = 0x00400000,
};

struct DisplayMode {
  int width = 0;
  int height = 0;
  int bitsPerPixel = 0;
  int frequency = 0;  // Hz; 0 or 1: the adapter's default
  uint32_t fields = 0;
};

// Results of testing or applying a mode, with the platform's values.
enum DisplayChangeResult : int {
  DISP_CHANGE_SUCCESSFUL = 0,
  DISP_CHANGE_RESTART = 1,
  DISP_CHANGE_FAILED = -1,
  DISP_CHANGE_BADMODE = -2,
  DISP_CHANGE_NOTUPDATED = -3,
  DISP_CHANGE_BADFLAGS = -4,
};

class DisplayBackend {
 public:
  virtual ~DisplayBackend() = default;
  // Mode number index of the display; false when there are no more.
  virtual bool EnumMode(int index, DisplayMode* mode) = 0;
  virtual bool CurrentMode(DisplayMode* mode) = 0;
  virtual int TestMode(const DisplayMode& mode) = 0;
  virtual int ApplyMode(const DisplayMode& mode) = 0;
  // Bits per pixel of the screen; 0 when it cannot be read.
  virtual int ScreenDepth() = 0;
  // Whether modes can be changed at all (false: the current mode is all there is).
  virtual bool CanSwitch() const = 0;
  virtual std::string Name() const = 0;
};

// A listed table. current indexes modes; a mode that is not in the table tests BADMODE; with
// canSwitch false every change answers FAILED. A restart mode tests RESTART.
struct SimDisplayOptions {
  std::vector<DisplayMode> modes;
  int current = 0;
  int depth = 24;
  bool canSwitch = true;
  int restartIndex = -1;  // a mode whose change asks for a restart
  int applyResult = DISP_CHANGE_SUCCESSFUL;
};
std::unique_ptr<DisplayBackend> CreateSimDisplayBackend(SimDisplayOptions options);
// Reads "WxHxD@F,..." with a "*" after the current entry (e.g. "800x600x24@60,
// 1024x768x24@75*"); "@F" may be left out (0). False on a malformed list.
bool ParseDisplayModeList(const std::string& text, SimDisplayOptions* options);
// The simulated backend's applied modes (tests and headless runs look at them).
const std::vector<DisplayMode>& SimDisplayAppliedModes(DisplayBackend* backend);

// The X server's modes through XRandR, for the output on which the screen is shown. Null
// when there is no X display or no RandR.
std::unique_ptr<DisplayBackend> CreateXrandrDisplayBackend();

// What the program uses: SORN_DISPLAY_MODES names a table; otherwise XRandR on a local X
// server; otherwise (Wayland, a remote X server, no RandR) the current screen only, of the
// given size and depth, which cannot switch.
std::unique_ptr<DisplayBackend> CreateDisplayBackend(int screenWidth, int screenHeight,
                                                     int screenDepth);
