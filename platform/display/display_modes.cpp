#include "platform/display/display_modes.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "diagnostics/diagnostics.h"

namespace {

class SimDisplayBackend : public DisplayBackend {
 public:
  explicit SimDisplayBackend(SimDisplayOptions options) : options_(std::move(options)) {}

  bool EnumMode(int index, DisplayMode* mode) override {
    if (index < 0 || index >= static_cast<int>(options_.modes.size())) return false;
    *mode = options_.modes[index];
    return true;
  }
  bool CurrentMode(DisplayMode* mode) override {
    if (options_.current < 0 || options_.current >= static_cast<int>(options_.modes.size()))
      return false;
    *mode = options_.modes[options_.current];
    return true;
  }
  int TestMode(const DisplayMode& mode) override {
    if (!options_.canSwitch) return DISP_CHANGE_FAILED;
    const int index = Find(mode);
    if (index < 0) return DISP_CHANGE_BADMODE;
    return index == options_.restartIndex ? DISP_CHANGE_RESTART : DISP_CHANGE_SUCCESSFUL;
  }
  int ApplyMode(const DisplayMode& mode) override {
    const int test = TestMode(mode);
    if (test != DISP_CHANGE_SUCCESSFUL) return test;
    if (options_.applyResult != DISP_CHANGE_SUCCESSFUL) return options_.applyResult;
    options_.current = Find(mode);
    applied_.push_back(mode);
    return DISP_CHANGE_SUCCESSFUL;
  }
  int ScreenDepth() override { return options_.depth; }
  bool CanSwitch() const override { return options_.canSwitch; }
  std::string Name() const override { return options_.canSwitch ? "table" : "current screen"; }

  const std::vector<DisplayMode>& Applied() const { return applied_; }

 private:
  int Find(const DisplayMode& mode) const {
    for (size_t i = 0; i < options_.modes.size(); ++i) {
      const DisplayMode& m = options_.modes[i];
      if (m.width == mode.width && m.height == mode.height && m.bitsPerPixel == mode.bitsPerPixel &&
          m.frequency == mode.frequency)
        return static_cast<int>(i);
    }
    return -1;
  }

  SimDisplayOptions options_;
  std::vector<DisplayMode> applied_;
};

constexpr uint32_t kAllModeFields =
    kDmBitsPerPel | kDmPelsWidth | kDmPelsHeight | kDmDisplayFlags | kDmDisplayFrequency;

// Wayland, or an X server on another machine: the display's mode is not ours to change.
bool DisplayCannotSwitch() {
  const char* session = std::getenv("XDG_SESSION_TYPE");
  if (std::getenv("WAYLAND_DISPLAY") || (session && std::strcmp(session, "wayland") == 0))
    return true;
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return true;
  const char* colon = std::strrchr(display, ':');
  if (!colon) return true;
  const std::string host(display, colon);
  return !(host.empty() || host == "unix" || host.rfind("/", 0) == 0);
}

}  // namespace

std::unique_ptr<DisplayBackend> CreateSimDisplayBackend(SimDisplayOptions options) {
  for (DisplayMode& mode : options.modes) {
    if (mode.fields == 0) mode.fields = kAllModeFields;
  }
  return std::make_unique<SimDisplayBackend>(std::move(options));
}

bool ParseDisplayModeList(const std::string& text, SimDisplayOptions* options) {
  SimDisplayOptions parsed;
  parsed.current = -1;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(',', start);
    if (end == std::string::npos) end = text.size();
    std::string item = text.substr(start, end - start);
    start = end + 1;
    while (!item.empty() && item.front() == ' ') item.erase(item.begin());
    if (item.empty()) {
      if (end == text.size()) break;
      return false;
    }
    bool current = item.back() == '*';
    if (current) item.pop_back();
    DisplayMode mode;
    int used = 0;
    if (std::sscanf(item.c_str(), "%dx%dx%d%n", &mode.width, &mode.height, &mode.bitsPerPixel,
                    &used) != 3)
      return false;
    if (item[used] == '@') {
      int more = 0;
      if (std::sscanf(item.c_str() + used + 1, "%d%n", &mode.frequency, &more) != 1) return false;
      used += 1 + more;
    }
    if (item[used] != '\0' || mode.width <= 0 || mode.height <= 0 || mode.bitsPerPixel <= 0 ||
        mode.frequency < 0)
      return false;
    mode.fields = kAllModeFields;
    if (current) parsed.current = static_cast<int>(parsed.modes.size());
    parsed.modes.push_back(mode);
    if (end == text.size()) break;
  }
  if (parsed.modes.empty()) return false;
  if (parsed.current < 0) parsed.current = 0;
  parsed.depth = parsed.modes[parsed.current].bitsPerPixel;
  *options = parsed;
  return true;
}

const std::vector<DisplayMode>& SimDisplayAppliedModes(DisplayBackend* backend) {
  static const std::vector<DisplayMode> none;
  auto* sim = dynamic_cast<SimDisplayBackend*>(backend);
  return sim ? sim->Applied() : none;
}

std::unique_ptr<DisplayBackend> CreateDisplayBackend(int screenWidth, int screenHeight,
                                                     int screenDepth) {
  if (const char* list = std::getenv("SORN_DISPLAY_MODES"); list && *list) {
    SimDisplayOptions options;
    if (ParseDisplayModeList(list, &options)) return CreateSimDisplayBackend(options);
    Trace("CreateDisplayBackend: bad SORN_DISPLAY_MODES '%s'\n", list);
  }
  if (!DisplayCannotSwitch()) {
    if (auto xrandr = CreateXrandrDisplayBackend()) return xrandr;
  }
  SimDisplayOptions options;
  options.modes.push_back(DisplayMode{screenWidth, screenHeight, screenDepth, 0, kAllModeFields});
  options.depth = screenDepth;
  options.canSwitch = false;
  return CreateSimDisplayBackend(options);
}
