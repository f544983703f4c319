#include "app/display_modes.h"

#include <algorithm>
#include <cstdio>
#include <tuple>

#include "app/processor_log.h"
#include "diagnostics/diagnostics.h"
#include "settings/settings.h"

ScreenModeState screenModes;

namespace {

ScreenModeState& S() {
  return screenModes;
}

bool Qualifies(const DisplayMode& m, bool allowOne) {
  return m.width >= 400 &&
         (m.frequency >= 60 || m.frequency == 0 || (allowOne && m.frequency == 1));
}

bool SameMode(const DisplayMode& a, const DisplayMode& b) {
  return a.width == b.width && a.height == b.height && a.bitsPerPixel == b.bitsPerPixel &&
         a.frequency == b.frequency;
}

void LogMode(const char* label, int index, const DisplayMode& m) {
  LogPrintf("%s %d: %4d x %4d, %2d bit color at %d hz\n", label, index, m.width, m.height,
            m.bitsPerPixel, m.frequency);
}

const char* ChangeResultLine(int result) {
  switch (result) {
    case DISP_CHANGE_SUCCESSFUL:
      return "ChangeScreenDeviceMode: DISP_CHANGE_SUCCESSFUL\n";
    case DISP_CHANGE_RESTART:
      return "ChangeScreenDeviceMode: DISP_CHANGE_RESTART\n";
    case DISP_CHANGE_BADFLAGS:
      return "ChangeScreenDeviceMode: DISP_CHANGE_BADFLAGS\n";
    case DISP_CHANGE_FAILED:
      return "ChangeScreenDeviceMode: DISP_CHANGE_FAILED\n";
    case DISP_CHANGE_BADMODE:
      return "ChangeScreenDeviceMode: DISP_CHANGE_BADMODE\n";
    case DISP_CHANGE_NOTUPDATED:
      return "ChangeScreenDeviceMode: DISP_CHANGE_NOTUPDATED\n";
    default:
      return "ChangeScreenDeviceMode: Undocumented return value!!!!\n";
  }
}

bool EnterScaled() {
  if (!S().window || !S().window->EnterScaledFullScreen()) return false;
  S().scaledFullScreen = true;
  S().fullScreenMode = true;
  S().window->SetFullScreenCheck(true);
  return true;
}

}  // namespace

void SetDisplayBackend(std::unique_ptr<DisplayBackend> backend) {
  S().backend = std::move(backend);
}

void SetFullScreenWindow(FullScreenWindow* window, void* owner, const QRect& normalGeometry) {
  S().window = window;
  S().owner = owner;
  S().normalGeometry = normalGeometry;
}

int FindScreenMode(int width, int height, int depth) {
  int found = -1;
  for (int i = 0; i <= S().screenModeCount; ++i) {
    const DisplayMode& m = S().screenModes[i];
    if (m.width == width && m.height == height && m.bitsPerPixel == depth) found = i;
  }
  return found;
}

int FindScreenDeviceMode(void* window, int screenWidth, int screenHeight) {
  ScreenModeState& s = S();
  s.screenModes.clear();
  s.screenModeCount = -1;
  s.currentMode = 0;
  s.defaultScreenMode1 = -1;
  s.fullScreenModeIndex = -1;
  DisplayBackend* backend = s.backend.get();

  // 1. Count the qualifying modes.
  int count = -1;
  DisplayMode mode;
  for (int i = 0; backend && count < kMaxScreenModeCount && backend->EnumMode(i, &mode); ++i) {
    if (Qualifies(mode, false)) ++count;
  }
  // 2. None at all.
  if (count == -1) {
    ShowMessageBox(window, "SetDisp Error", "No Display modes available.", kMbOk);
    return 0;
  }
  // 3. Fill the table, dropping a default-frequency entry of a mode already there.
  for (int i = 0; static_cast<int>(s.screenModes.size()) < count + 1 && backend->EnumMode(i, &mode);
       ++i) {
    if (!Qualifies(mode, true)) continue;
    if (mode.frequency == 0 || mode.frequency == 1) {
      const bool known =
          std::any_of(s.screenModes.begin(), s.screenModes.end(), [&](const DisplayMode& m) {
            return m.width == mode.width && m.height == mode.height &&
                   m.bitsPerPixel == mode.bitsPerPixel;
          });
      if (known) continue;
    }
    s.screenModes.push_back(mode);
  }
  s.screenModeCount = static_cast<int>(s.screenModes.size()) - 1;
  // 4. Sort.
  std::stable_sort(s.screenModes.begin(), s.screenModes.end(),
                   [](const DisplayMode& a, const DisplayMode& b) {
                     return std::tie(a.width, a.height, a.bitsPerPixel, a.frequency) <
                            std::tie(b.width, b.height, b.bitsPerPixel, b.frequency);
                   });
  // 5. The current mode.
  DisplayMode current;
  if (IsWindowsNT() && backend->CurrentMode(&current)) {
    for (int i = 0; i <= s.screenModeCount; ++i) {
      if (SameMode(s.screenModes[i], current)) s.currentMode = i;
    }
  }
  // 6. The normal mode from the display settings of the older platform: that location does
  // not exist here.
  Trace("FindCurrentScreenDeviceMode: RegQueryValueEx: BitsPerPixel failed !\n");
  // 7. The screen as it is now.
  LogPrintf("FindScreenDeviceMode: unable to find _defaultScreenMode1\n");
  s.defaultScreenMode1 = FindScreenMode(screenWidth, screenHeight, s.screenDepth);
  if (s.defaultScreenMode1 < 0) {
    LogPrintf("FindScreenDeviceMode: unable to find _defaultScreenMode2\n");
  } else {
    s.currentMode = s.defaultScreenMode1;
  }
  // 8. Full screen.
  s.fullScreenModeIndex = FindScreenMode(kFullScreenWidth, kFullScreenHeight, s.screenDepth);
  if (s.fullScreenModeIndex < 0)
    LogPrintf("FindScreenDeviceMode: unable to find _fullScreenMode\n");
  return 1;
}

void WriteAllScreenDeviceModesToLogFile() {
  LogPrintf("WriteAllScreenDeviceModesToLogFile: _screenModeCount=%d\n", S().screenModeCount);
  for (int i = 0; i <= S().screenModeCount; ++i) {
    const DisplayMode& m = S().screenModes[i];
    LogPrintf("%d: %4d x %4d, %2d bit color at %d hz\n", i, m.width, m.height, m.bitsPerPixel,
              m.frequency);
  }
}

int GetScreenBitDepth() {
  const int bits = S().backend ? S().backend->ScreenDepth() : 0;
  LogPrintf("GetScreenBitDepth: bitsPerPixel=%d\n", bits);
  S().screenDepth = bits;
  return bits;
}

int ChangeScreenDeviceMode(void* window, int index) {
  ScreenModeState& s = S();
  // An absent entry (no normal or no full-screen mode) changes nothing.
  if (index < 0 || index > s.screenModeCount || !s.backend) return 0;
  const int currentIndex = std::clamp(s.currentMode, 0, s.screenModeCount);
  const DisplayMode& from = s.screenModes[currentIndex];
  const DisplayMode& to = s.screenModes[index];
  LogMode("--currentMode", currentIndex, from);
  LogMode("--newMode    ", index, to);
  if ((to.fields &
       (kDmPelsWidth | kDmPelsHeight | kDmBitsPerPel | kDmDisplayFlags | kDmDisplayFrequency)) == 0)
    return 0;
  if (SameMode(to, from)) return 0;
  s.currentMode = index;
  int result = s.backend->TestMode(to);
  if (result == DISP_CHANGE_RESTART) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "%dx%dx%d (%d Hz)-> %dx%dx%d (%d Hz) screen mode change probably requires a "
                  "restart\nPress Ok to continue.\n",
                  from.width, from.height, from.bitsPerPixel, from.frequency, to.width, to.height,
                  to.bitsPerPixel, to.frequency);
    ShowMessageBox(window, "Set Display Message", text, kMbOk);
  } else if (result == DISP_CHANGE_SUCCESSFUL) {
    result = s.backend->ApplyMode(to);
  }
  s.lastChangeResult = result;
  LogPrintf("%s", ChangeResultLine(result));
  return 1;
}

int SetFullScreenMode(bool on) {
  ScreenModeState& s = S();
  if (!settings.useFullScreen) return 0;
  if (on) {
    // Already in full screen: nothing changes, and leaving it later still restores the mode.
    if (s.fullScreenMode) return 0;
    const bool canSwitch = s.backend && s.backend->CanSwitch() && s.fullScreenModeIndex >= 0;
    if (!canSwitch) return EnterScaled() ? 1 : 0;
    const int result = ChangeScreenDeviceMode(s.owner, s.fullScreenModeIndex);
    if (result == 1 && s.lastChangeResult != DISP_CHANGE_SUCCESSFUL) {
      // The display refused the mode: the window goes full screen without it.
      return EnterScaled() ? 1 : 0;
    }
    s.fullScreenMode = result == 1;
    if (s.fullScreenMode && s.window) {
      s.window->MoveToOrigin();
      s.window->SetFullScreenCheck(true);
    }
    return result;
  }
  if (s.scaledFullScreen) {
    if (s.window) s.window->LeaveScaledFullScreen();
    s.scaledFullScreen = false;
    s.fullScreenMode = false;
    if (s.window) s.window->SetFullScreenCheck(false);
    return 1;
  }
  const int result = ChangeScreenDeviceMode(s.owner, s.defaultScreenMode1);
  if (result == 1) {
    if (s.window) {
      s.window->RestoreGeometry(s.normalGeometry);
      s.window->SetFullScreenCheck(false);
    }
    s.fullScreenMode = false;
  }
  return result;
}

void FullScreenModeCommand() {
  if (S().fullScreenMode) {
    SetFullScreenMode(false);
    settings.useFullScreen = 0;
  } else {
    settings.useFullScreen = 1;
    SetFullScreenMode(true);
  }
}

void FreeScreenDeviceModes() {
  S().screenModes.clear();
  S().screenModes.shrink_to_fit();
  S().screenModeCount = -1;
}
