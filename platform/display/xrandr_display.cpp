// XRandR backend: the modes of the output that shows the screen (the primary output, else the
// first one with a CRTC), at the screen's depth.
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <cmath>

#include "diagnostics/diagnostics.h"
#include "platform/display/display_modes.h"

namespace {

int lastXError = 0;
int RecordXError(Display*, XErrorEvent* event) {
  lastXError = event->error_code;
  return 0;
}

int RefreshRate(const XRRModeInfo& info) {
  double lines = info.vTotal;
  if (info.modeFlags & RR_DoubleScan) lines *= 2;
  if (info.modeFlags & RR_Interlace) lines /= 2;
  if (info.hTotal == 0 || lines <= 0) return 0;
  return static_cast<int>(std::lround(info.dotClock / (info.hTotal * lines)));
}

class XrandrDisplayBackend : public DisplayBackend {
 public:
  struct Entry {
    RRMode id;
    DisplayMode mode;
  };

  XrandrDisplayBackend(Display* display) : display_(display) {
    root_ = DefaultRootWindow(display_);
    depth_ = DefaultDepth(display_, DefaultScreen(display_));
    Refresh();
  }
  ~XrandrDisplayBackend() override { XCloseDisplay(display_); }

  bool Usable() const { return crtc_ != 0 && !modes_.empty(); }

  bool EnumMode(int index, DisplayMode* mode) override {
    if (index < 0 || index >= static_cast<int>(modes_.size())) return false;
    *mode = modes_[index].mode;
    return true;
  }
  bool CurrentMode(DisplayMode* mode) override {
    for (const Entry& e : modes_) {
      if (e.id == currentMode_) {
        *mode = e.mode;
        return true;
      }
    }
    return false;
  }
  int TestMode(const DisplayMode& mode) override {
    return Find(mode) ? DISP_CHANGE_SUCCESSFUL : DISP_CHANGE_BADMODE;
  }
  int ApplyMode(const DisplayMode& mode) override {
    const Entry* entry = Find(mode);
    if (!entry) return DISP_CHANGE_BADMODE;
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display_, root_);
    if (!resources) return DISP_CHANGE_FAILED;
    XRRCrtcInfo* crtc = XRRGetCrtcInfo(display_, resources, crtc_);
    if (!crtc) {
      XRRFreeScreenResources(resources);
      return DISP_CHANGE_FAILED;
    }
    int activeCrtcs = 0;
    for (int i = 0; i < resources->ncrtc; ++i) {
      XRRCrtcInfo* other = XRRGetCrtcInfo(display_, resources, resources->crtcs[i]);
      if (other && other->mode != None) ++activeCrtcs;
      if (other) XRRFreeCrtcInfo(other);
    }
    const int screen = DefaultScreen(display_);
    const int oldWidth = DisplayWidth(display_, screen),
              oldHeight = DisplayHeight(display_, screen);
    const double mmPerPixelX = DisplayWidthMM(display_, screen) / std::max(1.0, 1.0 * oldWidth);
    const double mmPerPixelY = DisplayHeightMM(display_, screen) / std::max(1.0, 1.0 * oldHeight);
    auto resize = [&](int w, int h) {
      XRRSetScreenSize(display_, root_, w, h, static_cast<int>(w * mmPerPixelX),
                       static_cast<int>(h * mmPerPixelY));
    };
    lastXError = 0;
    XErrorHandler previous = XSetErrorHandler(RecordXError);
    XGrabServer(display_);
    const int w = mode.width, h = mode.height;
    if (w > oldWidth || h > oldHeight) resize(std::max(w, oldWidth), std::max(h, oldHeight));
    const Status status =
        XRRSetCrtcConfig(display_, resources, crtc_, CurrentTime, crtc->x, crtc->y, entry->id,
                         crtc->rotation, crtc->outputs, crtc->noutput);
    // With one screen shown, the screen takes the mode's size (no panning over a larger one).
    if (status == RRSetConfigSuccess && activeCrtcs == 1 && (w != oldWidth || h != oldHeight))
      resize(w, h);
    XUngrabServer(display_);
    XSync(display_, False);
    XSetErrorHandler(previous);
    XRRFreeCrtcInfo(crtc);
    XRRFreeScreenResources(resources);
    if (status != RRSetConfigSuccess || lastXError != 0) {
      Trace("XrandrDisplayBackend: mode change refused (status %d, X error %d)\n", status,
            lastXError);
      return DISP_CHANGE_FAILED;
    }
    Refresh();
    return DISP_CHANGE_SUCCESSFUL;
  }
  int ScreenDepth() override { return depth_; }
  bool CanSwitch() const override { return true; }
  std::string Name() const override { return "XRandR"; }

 private:
  const Entry* Find(const DisplayMode& mode) const {
    for (const Entry& e : modes_) {
      if (e.mode.width == mode.width && e.mode.height == mode.height &&
          e.mode.bitsPerPixel == mode.bitsPerPixel && e.mode.frequency == mode.frequency)
        return &e;
    }
    return nullptr;
  }

  void Refresh() {
    modes_.clear();
    crtc_ = 0;
    currentMode_ = None;
    XRRScreenResources* resources = XRRGetScreenResources(display_, root_);
    if (!resources) return;
    RROutput chosen = XRRGetOutputPrimary(display_, root_);
    XRROutputInfo* output = chosen ? XRRGetOutputInfo(display_, resources, chosen) : nullptr;
    if (!output || output->crtc == 0) {
      if (output) XRRFreeOutputInfo(output);
      output = nullptr;
      for (int i = 0; i < resources->noutput && !output; ++i) {
        XRROutputInfo* candidate = XRRGetOutputInfo(display_, resources, resources->outputs[i]);
        if (candidate && candidate->crtc != 0) {
          output = candidate;
        } else if (candidate) {
          XRRFreeOutputInfo(candidate);
        }
      }
    }
    if (output) {
      crtc_ = output->crtc;
      if (XRRCrtcInfo* crtc = XRRGetCrtcInfo(display_, resources, crtc_)) {
        currentMode_ = crtc->mode;
        XRRFreeCrtcInfo(crtc);
      }
      for (int i = 0; i < output->nmode; ++i) {
        for (int j = 0; j < resources->nmode; ++j) {
          const XRRModeInfo& info = resources->modes[j];
          if (info.id != output->modes[i]) continue;
          DisplayMode mode;
          mode.width = static_cast<int>(info.width);
          mode.height = static_cast<int>(info.height);
          mode.bitsPerPixel = depth_;
          mode.frequency = RefreshRate(info);
          mode.fields =
              kDmBitsPerPel | kDmPelsWidth | kDmPelsHeight | kDmDisplayFlags | kDmDisplayFrequency;
          modes_.push_back(Entry{info.id, mode});
        }
      }
      XRRFreeOutputInfo(output);
    }
    XRRFreeScreenResources(resources);
  }

  Display* display_;
  Window root_ = 0;
  int depth_ = 0;
  RRCrtc crtc_ = 0;
  RRMode currentMode_ = None;
  std::vector<Entry> modes_;
};

}  // namespace

std::unique_ptr<DisplayBackend> CreateXrandrDisplayBackend() {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return nullptr;
  int eventBase = 0, errorBase = 0;
  if (!XRRQueryExtension(display, &eventBase, &errorBase)) {
    XCloseDisplay(display);
    return nullptr;
  }
  auto backend = std::make_unique<XrandrDisplayBackend>(display);
  if (!backend->Usable()) return nullptr;
  return backend;
}
