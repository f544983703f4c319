// Where the skin draws each control of the main window, in pixels of the 800 x 600 panel.
//
// The skin generator draws the panel background, and every "down" and "on" look cut from it,
// at these rectangles; it also writes the panel template (cdplayer.ui) from them. After the
// panel loads its template it nudges some widgets by whole pixels (kSkinNudges); the template
// places those widgets that much the other way, so that they land exactly on the skin.
#pragma once

#include <cmath>

struct SkinRect {
  int x, y, width, height;
};

struct SkinControl {
  int id;
  const char* className;
  const char* name;
  SkinRect rect;  // where the skin draws it
  bool hidden;    // created hidden by the template
};

struct SkinNudge {
  int id, dx, dy;
};

inline constexpr int kSkinWidth = 800;
inline constexpr int kSkinHeight = 600;
inline constexpr int kSkinBackgroundId = 325;  // the panel background bitmap
inline constexpr int kSkinBackgroundControl = 1298;

// The ring of 24 lights, in ring order, clockwise from the top.
inline constexpr int kRingLightIds[24] = {1009, 1011, 1012, 1015, 1016, 1017, 1018, 1019,
                                          1020, 1021, 1022, 1023, 1024, 1025, 1026, 1027,
                                          1032, 1033, 1034, 1035, 1036, 1037, 1038, 1039};
inline constexpr int kRingCenterX = 152;
inline constexpr int kRingCenterY = 200;
inline constexpr int kRingRadius = 120;
inline constexpr int kRingLightSize = 22;

inline SkinRect RingLightRect(int index) {
  const double angle = (-90.0 + 15.0 * index) * 3.14159265358979323846 / 180.0;
  const int cx = static_cast<int>(std::lround(kRingCenterX + kRingRadius * std::cos(angle)));
  const int cy = static_cast<int>(std::lround(kRingCenterY + kRingRadius * std::sin(angle)));
  return SkinRect{cx - kRingLightSize / 2, cy - kRingLightSize / 2, kRingLightSize, kRingLightSize};
}

// The lower panel (microphone effects or lyrics) and the lyrics panel's offset in it.
inline constexpr SkinRect kLowerPanel = {326, 210, 466, 383};

inline constexpr SkinControl kSkinControls[] = {
    // Title bar.
    {1169, "gkmenupopup", "IDC_POPUP_LOGO", {14, 8, 190, 30}, false},
    {1171, "gkmenupopup", "IDC_POPUP_OPTIONS", {452, 11, 88, 24}, false},
    {1168, "gkmenupopup", "IDC_POPUP_INTERNET", {544, 11, 96, 24}, false},
    {1167, "gkmenupopup", "IDC_POPUP_HELP", {644, 11, 62, 24}, false},
    {1028, "bitmapbutton", "IDC_BUTTON_WINDOW_MINIMIZE", {712, 12, 22, 22}, true},
    {1296, "bitmapbutton", "IDC_BUTTON_WINDOW_MAXIMIZE", {738, 12, 22, 22}, true},
    {1030, "bitmapbutton", "IDC_BUTTON_WINDOW_CLOSE", {764, 12, 22, 22}, false},
    // Transport inside the ring.
    {1007, "bitmapbutton", "IDC_BUTTON_CDPLAYER_PLAY", {120, 168, 64, 64}, false},
    {1013, "bitmapbutton", "IDC_BUTTON_CDPLAYER_TRACKRESTART", {62, 178, 44, 44}, false},
    {1014, "bitmapbutton", "IDC_BUTTON_CDPLAYER_TRACKNEXT", {198, 178, 44, 44}, false},
    {1008, "bitmapbutton", "IDC_BUTTON_CDPLAYER_STOP", {130, 246, 44, 44}, false},
    {1010, "gkmenupopup", "IDC_POPUP_TRACKS", {122, 118, 60, 32}, false},
    // Singer's switches.
    {1005, "bitmapbutton", "IDC_BUTTON_REDUCEVOCAL", {16, 344, 88, 36}, false},
    {1029, "bitmapbutton", "IDC_BUTTON_VOICERECORD", {110, 344, 88, 36}, false},
    {1031, "bitmapbutton", "IDC_BUTTON_VOICEPLAY", {204, 344, 88, 36}, false},
    // Mixer.
    {1292, "vumeter", "IDC_VUMETER_MUSIC", {22, 404, 42, 162}, false},
    {1065, "bitmapslider", "IDC_SLIDER_CD_VOLUME", {82, 404, 30, 162}, false},
    {1067, "bitmapslider", "IDC_SLIDER_MIC_VOLUME", {192, 404, 30, 162}, false},
    {1293, "vumeter", "IDC_VUMETER_MIC", {240, 404, 42, 162}, false},
    // Display.
    {1098, "gktext", "IDC_TEXT_TITLE", {322, 62, 454, 28}, false},
    {1103, "gktext", "IDC_TEXT_TITLE_SHORT", {322, 62, 330, 28}, true},
    {1040, "bitmapbutton", "IDC_BUTTON_DOWNLOADCDINFO", {660, 60, 116, 30}, true},
    {1101, "gktext", "IDC_TEXT_PREFIX_CD", {322, 104, 26, 14}, false},
    {1097, "gktext", "IDC_TEXT_ALBUM", {352, 98, 200, 22}, false},
    {1102, "gktext", "IDC_TEXT_PREFIX_BY", {556, 102, 20, 14}, false},
    {1099, "gktext", "IDC_TEXT_ARTIST", {580, 98, 190, 22}, false},
    {1100, "gkcontainer", "IDC_CONTAINER_ALBUM", {352, 120, 424, 22}, true},
    {1184, "bitmaparray", "IDC_TIME_DISPLAY", {318, 150, 110, 32}, true},
    {1185, "bitmapslider", "IDC_TRACKBAR_TIME", {318, 150, 462, 30}, false},
    // The tab that switches the lower panel.
    {1166, "bitmaplayer", "IDC_LAYER_TABS", {300, 214, 24, 372}, false},
    // Microphone panel.
    {1041, "bitmapbutton", "IDC_BUTTON_MICFX_CONCERTHALL", {336, 246, 104, 104}, false},
    {1042, "bitmapbutton", "IDC_BUTTON_MICFX_SHOWER", {450, 246, 104, 104}, false},
    {1043, "bitmapbutton", "IDC_BUTTON_MICFX_SPORTSARENA", {564, 246, 104, 104}, false},
    {1044, "bitmapbutton", "IDC_BUTTON_MICFX_GRANDCANYON", {678, 246, 104, 104}, false},
    {1045, "bitmapbutton", "IDC_BUTTON_MICFX_HIGHVOICE", {336, 362, 104, 104}, false},
    {1046, "bitmapbutton", "IDC_BUTTON_MICFX_LOWVOICE", {450, 362, 104, 104}, false},
    {1047, "bitmapbutton", "IDC_BUTTON_MICFX_MONSTER", {564, 362, 104, 104}, false},
    {1048, "bitmapbutton", "IDC_BUTTON_MICFX_ROBOT", {678, 362, 104, 104}, false},
    {1076, "bitmapslider", "IDC_SLIDER_MICFX_VARIATION", {380, 504, 360, 32}, false},
    // Lyrics panel (hidden until its tab is chosen).
    {1211, "gkdrawarea", "IDC_DRAWAREA_LYRICS", {326, 210, 466, 383}, true},
    {1210, "gktext", "IDC_TEXT_LYRICS", {326, 210, 466, 383}, true},
    {1305, "bitmaparray", "IDC_LYRICS_LINE", {326, 555, 466, 10}, true},
    {1306, "gktext", "IDC_TEXT_LYRICS_STATUS", {326, 569, 228, 24}, true},
    {1309, "bitmapbutton", "IDC_BUTTON_LYRICS_EDIT", {466, 563, 188, 29}, true},
    {1303, "bitmapbutton", "IDC_BUTTON_LYRICS_THISTRACK", {562, 563, 108, 31}, true},
    {1304, "bitmapbutton", "IDC_BUTTON_LYRICS_ALLTRACKS", {668, 563, 108, 31}, true},
    {1307, "bitmapbutton", "IDC_BUTTON_LYRICS_CANCEL", {668, 563, 108, 31}, true},
    {1310, "bitmaparray", "IDC_LYRICS_CDDB_LOGO", {626, 568, 36, 26}, true},
};

// Whole-pixel moves the panel makes after loading its template.
inline constexpr SkinNudge kSkinNudges[] = {
    {1015, 0, 1},  {1018, 0, -1}, {1019, 0, -1},  {1021, -1, -1}, {1022, 0, -1},  {1024, 1, 0},
    {1025, 0, -1}, {1026, 0, -1}, {1027, 0, -1},  {1032, 0, -2},  {1034, 0, -1},  {1035, -1, -1},
    {1036, -1, 0}, {1037, -1, 0}, {1038, -1, -1}, {1065, 1, 0},   {1005, -3, -2}, {1029, -5, -3},
    {1031, 1, -1}, {1008, 0, 1},  {1007, -1, 1},  {1013, 1, 0},   {1166, -2, 1},  {1292, 0, -1},
    {1293, 0, -1}, {1101, 0, -1},
};

inline const SkinControl* FindSkinControl(int id) {
  for (const SkinControl& control : kSkinControls) {
    if (control.id == id) return &control;
  }
  return nullptr;
}

inline SkinNudge FindSkinNudge(int id) {
  for (const SkinNudge& nudge : kSkinNudges) {
    if (nudge.id == id) return nudge;
  }
  return SkinNudge{id, 0, 0};
}
