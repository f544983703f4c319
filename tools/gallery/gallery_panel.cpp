#include "tools/gallery/gallery_panel.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <cmath>

#include "diagnostics/diagnostics.h"
#include "platform/sync/periodic_timer.h"
#include "resources/skin/skin.h"
#include "resources/skin/skin_layout.h"
#include "widgets/bitmap_array.h"
#include "widgets/bitmap_button.h"
#include "widgets/bitmap_layer.h"
#include "widgets/container.h"
#include "widgets/draw_area.h"
#include "widgets/level_meter.h"
#include "widgets/menu_popup.h"
#include "widgets/slider.h"
#include "widgets/template_loader.h"
#include "widgets/text_pane.h"

namespace {

const char* const kTitles[] = {"Harbour Lights",       "Paper Moon Parade", "Northbound",
                               "Midnight at the Pier", "Golden Hour",       "Slow Dancer"};
constexpr int kTracks = 6;

constexpr const char* kLyrics =
    "****Lyrics for Track 4, Midnight at the Pier:\n"
    "\n"
    "Lanterns on the water,\n"
    "the ferry makes its final call;\n"
    "you hum the chorus softly\n"
    "while the harbour lights fall.\n"
    "\n"
    "Oh, midnight at the pier,\n"
    "the whole town fast asleep,\n"
    "just a song between two strangers\n"
    "and a promise we can keep.\n"
    "\n"
    "The radio is crackling\n"
    "an old familiar tune,\n"
    "the violins are weeping\n"
    "underneath a paper moon.\n"
    "\n"
    "We dance along the railings\n"
    "where the sailors used to stand,\n"
    "the city for an audience,\n"
    "the ocean for a band.\n";

std::vector<QPixmap> TimeBitmaps() {
  std::vector<QPixmap> bitmaps;
  for (int d = 0; d < 10; ++d)
    bitmaps.push_back(LoadSkinBitmap(QString("IDB_BITMAP_DIGIT_%1").arg(d)));
  for (const char* name : {"COLON", "BLANK", "LEFTEND", "RIGHTEND"}) {
    bitmaps.push_back(LoadSkinBitmap(QString("IDB_BITMAP_DIGIT_") + name));
  }
  return bitmaps;
}

void OnButtonCallback(int32_t id) {
  if (GalleryPanel* panel = GalleryPanel::Of(QApplication::focusWidget())) panel->OnButton(id);
}

void OnTabCallback(int32_t index) {
  if (GalleryPanel* panel = GalleryPanel::Of(QApplication::focusWidget())) panel->OnTab(index);
}

void OnSliderCallback(int32_t id) {
  if (GalleryPanel* panel = GalleryPanel::Of(QApplication::focusWidget())) panel->OnButton(id);
}

QFont PanelFont(int points, int weight) {
  return GkCreateFont(GkFontDescription("Tahoma", points, weight, 96));
}

}  // namespace

GalleryPanel::GalleryPanel(QWidget* parent, const GalleryPanelSetup& setup) : setup_(setup) {
  panel_ = GkLoadTemplate(SkinTemplatePath(), parent);
  if (!panel_) return;
  panel_->setProperty("galleryPanel", QVariant::fromValue(static_cast<void*>(this)));
  panel_->installEventFilter(this);
  // The panel's whole-pixel nudges put every widget exactly on the skin.
  for (const SkinNudge& nudge : kSkinNudges) {
    if (QWidget* w = Item(nudge.id))
      w->move(std::max(0, w->x() + nudge.dx), std::max(0, w->y() + nudge.dy));
  }
  if (auto* background = qobject_cast<QLabel*>(Item(kSkinBackgroundControl))) {
    background->setPixmap(LoadSkinBitmap(kSkinBackgroundId));
  }
  ConfigureButtons();
  ConfigureRing();
  ConfigureDisplay();
  ConfigureMixer();
  ConfigureLowerPanels();
  ConfigurePopups();
  timer_ = std::make_unique<PeriodicTimer>();
  timer_->Start(63, [this](uint32_t) {
    // The timer thread only posts; the widgets are touched on the window thread.
    QMetaObject::invokeMethod(
        this, [this] { Tick(); }, Qt::QueuedConnection);
  });
}

GalleryPanel::~GalleryPanel() {
  if (timer_) timer_->Kill();
}

GalleryPanel* GalleryPanel::Of(QWidget* widget) {
  for (QWidget* w = widget; w; w = w->parentWidget()) {
    const QVariant v = w->property("galleryPanel");
    if (v.isValid()) return static_cast<GalleryPanel*>(v.value<void*>());
  }
  return nullptr;
}

QWidget* GalleryPanel::Item(int id) const {
  return GkGetDlgItem(panel_, id);
}

void GalleryPanel::ConfigureButtons() {
  const QPixmap background = LoadSkinBitmap(kSkinBackgroundId);
  const struct {
    int id;
    const char* bitmap;
    int behavior;
  } buttons[] = {
      {1007, "PLAY", kGkButtonToggle},        {1008, "STOP", kGkButtonPush},
      {1013, "PREVIOUSTRACK", kGkButtonPush}, {1014, "NEXTTRACK", kGkButtonPush},
      {1005, "REDUCEVOCAL", kGkButtonToggle}, {1029, "VOICERECORD", kGkButtonToggle},
      {1031, "VOICEPLAY", kGkButtonToggle},
  };
  for (const auto& b : buttons) {
    QWidget* w = Item(b.id);
    QPixmap looks[2] = {LoadSkinBitmap(QString("IDB_BITMAP_BUTTON_%1_DOWN").arg(b.bitmap)),
                        background};
    gkButton_SetBehavior(w, b.id, b.behavior, OnButtonCallback, nullptr);
    gkButton_SetGraphics(w, looks, 2);
    gkButton_SetBitmapCutAreaSelf(w, 1);
    gkButton_SetName(w, b.bitmap);
  }
  if (setup_.playing) gkButton_SetState(Item(1007), 0);
  gkButton_SetState(Item(1005), 0);  // vocals reduced
  for (const auto& w :
       {std::pair{1030, "CLOSE"}, std::pair{1028, "MINIMIZE"}, std::pair{1296, "MAXIMIZE"}}) {
    QPixmap looks[2] = {LoadSkinBitmap(QString("IDB_BITMAP_BUTTON_WINDOW_%1_DOWN").arg(w.second)),
                        LoadSkinBitmap(QString("IDB_BITMAP_BUTTON_WINDOW_%1_UP").arg(w.second))};
    gkButton_SetBehavior(Item(w.first), w.first, kGkButtonPush, nullptr, OnButtonCallback);
    gkButton_SetGraphics(Item(w.first), looks, 2);
  }
  QPixmap download[2] = {LoadSkinBitmap("IDB_BITMAP_BUTTON_DOWNLOADCDINFO_DOWN"),
                         LoadSkinBitmap("IDB_BITMAP_BUTTON_DOWNLOADCDINFO_UP")};
  gkButton_SetBehavior(Item(1040), 1040, kGkButtonPush, OnButtonCallback, nullptr);
  gkButton_SetGraphics(Item(1040), download, 2);
}

void GalleryPanel::ConfigureRing() {
  for (int i = 0; i < 24; ++i) {
    QWidget* light = Item(kRingLightIds[i]);
    const QString base = QString("IDB_BITMAP_RING_LED_%1").arg(i, 2, 10, QChar('0'));
    QPixmap looks[2] = {LoadSkinBitmap(base + "_OFF"), LoadSkinBitmap(base + "_ON")};
    gkBitmapLayer_SetBehavior(light, kRingLightIds[i], nullptr, 0);
    gkBitmapLayer_SetGraphics(light, looks, 2);
  }
  StepRing();
}

void GalleryPanel::ConfigureDisplay() {
  // Time display riding on the position slider.
  QWidget* display = Item(1184);
  const std::vector<QPixmap> digits = TimeBitmaps();
  gkBitmapArray_SetProperties(display, 1184, 7);
  gkBitmapArray_SetAllBitMaps(display, digits.data(), static_cast<int>(digits.size()));
  QWidget* position = Item(1185);
  QPixmap time[2] = {LoadSkinBitmap("IDB_BITMAP_SLIDER_TIME_TROUGH"),
                     LoadSkinBitmap("IDB_BITMAP_SLIDER_TIME_CAP")};
  gkSlider_SetProperties(position, 1185, kGkSliderHorizontal, OnSliderCallback);
  gkSlider_SetGraphics(position, time);
  gkSlider_SetRange(position, 0, 100);
  gkSlider_SetCapWindow(position, display);
  gkSlider_SetCapOffset(position, 0, -1);
  gkSlider_SetName(position, "IDC_TRACKBAR_TIME");
  ShowTime();
  position->grab();  // a first paint measures the display, by which the cap is placed
  ShowTime();

  // Titles.
  const GkColor green = GkRgb(122, 255, 0);
  const GkColor cyan = GkRgb(0, 255, 246);
  for (int id : {1098, 1103}) {
    gkText_SetFont(Item(id), PanelFont(16, 400), 0);
    gkText_SetColors(Item(id), 0, green, 0);
  }
  for (int id : {1097, 1099}) {
    gkText_SetFont(Item(id), PanelFont(12, 700), 0);
    gkText_SetColors(Item(id), 0, green, 0);
    gkText_SetResize(Item(id), kGkTextResizeWidth, 0);
  }
  for (int id : {1101, 1102}) {
    gkText_SetFont(Item(id), PanelFont(8, 400), 0);
    gkText_SetColors(Item(id), 0, cyan, 0);
    gkText_SetAlignment(Item(id), kGkTextAlignBottom, 0);
  }
  gkText_SetResize(Item(1101), kGkTextResizeHeight, 0);
  gkText_SetResize(Item(1102), kGkTextResizeWidth | kGkTextResizeHeight, 0);
  gkText_SetText(Item(1101), "CD");
  gkText_SetText(Item(1102), "by");

  QWidget* row = Item(1100);
  gkContainer_SetProperties(row, 1100);
  gkContainer_SetWidget(row, Item(1097), 0, kGkPlaceFromLeft);
  gkContainer_SetWidget(row, Item(1102), 1, kGkPlaceFromLeft);
  gkContainer_SetWidget(row, Item(1099), 2, kGkPlaceFromLeft);
  gkContainer_SetSpacing(row, 2, 4, 0);
  gkContainer_SetSpring(row, 1, 100, 0);
  gkContainer_SetSpring(row, 3, 100, 0);
  gkText_SetText(Item(1097), "Songs for a Harbour Town");
  gkText_SetText(Item(1099), "The Lamplighters");
  gkContainer_Layout(row);
  ShowTrack();
}

void GalleryPanel::ConfigureMixer() {
  const struct {
    int id;
    const char* name;
    float value;
  } faders[] = {{1065, "CD_VOLUME", 7.0f}, {1067, "MIC_VOLUME", 5.5f}};
  for (const auto& f : faders) {
    QWidget* w = Item(f.id);
    QPixmap bitmaps[2] = {LoadSkinBitmap(QString("IDB_BITMAP_SLIDER_%1_TROUGH").arg(f.name)),
                          LoadSkinBitmap(QString("IDB_BITMAP_SLIDER_%1_CAP").arg(f.name))};
    gkSlider_SetProperties(w, f.id, kGkSliderVertical, OnSliderCallback);
    gkSlider_SetGraphics(w, bitmaps);
    gkSlider_SetRange(w, 0, 10);
    gkSlider_SetValue(w, f.value);
  }
  const struct {
    int id;
    const char* side;
    double angle;
    double offset;
    int third, fourth;
  } meters[] = {{1292, "LEFT", -0.0460766922526503, 0.0, 6, 8},
                {1293, "RIGHT", 0.0460766922526503, 0.0001, 8, 7}};
  for (const auto& m : meters) {
    QWidget* w = Item(m.id);
    QPixmap pictures[2] = {LoadSkinBitmap(QString("IDB_BITMAP_VUMETER_%1_OFF").arg(m.side)),
                           LoadSkinBitmap(QString("IDB_BITMAP_VUMETER_%1_ON").arg(m.side))};
    vu_SetGraphics(w, pictures, 2);
    vu_SetRange(w, 0, 100);
    vu_SetLineSpiralCoils(w, 1, 13.0, m.angle, m.offset);
    vu_SetLineAttributes(w, 7, 3, m.third, m.fourth);
    vu_SetBarHold(w, 8);
    vu_SetPeakHold(w, 16);
    vu_SetBarFallRate(w, 0.15625f);
    vu_SetPeakFallRate(w, 0.015625f);
  }
}

void GalleryPanel::ConfigureLowerPanels() {
  // The tab.
  QWidget* tabs = Item(1166);
  QPixmap looks[2] = {LoadSkinBitmap(kSkinBackgroundId),
                      LoadSkinBitmap("IDB_BITMAP_LAYER_TABS_TOP_LYRICS")};
  gkBitmapLayer_SetBehavior(tabs, 1166, OnTabCallback, 0);
  gkBitmapLayer_SetGraphics(tabs, looks, 2);
  gkBitmapLayer_SetBitmapCutAreaSelf(tabs, 0);
  gkBitmapLayer_SetVerticalSegmentation(tabs, 2);
  gkBitmapLayer_SetIndex(tabs, setup_.lyricsInFront ? 1 : 0);

  // Microphone panel.
  const QPixmap background = LoadSkinBitmap(kSkinBackgroundId);
  for (int i = 0; i < 8; ++i) {
    QWidget* w = Item(1041 + i);
    QPixmap fx[2] = {LoadSkinBitmap(QString("IDB_BITMAP_BUTTON_MICFX_VOICEFX%1_DOWN").arg(i)),
                     background};
    gkButton_SetBehavior(w, 1041 + i, kGkButtonToggle, OnButtonCallback, nullptr);
    gkButton_SetGraphics(w, fx, 2);
    gkButton_SetBitmapCutAreaSelf(w, 1);
    if (i == setup_.effect) gkButton_SetState(w, 0);
  }
  QWidget* variation = Item(1076);
  QPixmap variationBitmaps[2] = {LoadSkinBitmap("IDB_BITMAP_SLIDER_MICFX_VARIATION_TROUGH"),
                                 LoadSkinBitmap("IDB_BITMAP_SLIDER_MICFX_VARIATION_CAP")};
  gkSlider_SetProperties(variation, 1076, kGkSliderHorizontal, OnSliderCallback);
  gkSlider_SetGraphics(variation, variationBitmaps);
  gkSlider_SetRange(variation, 0, 1);
  gkSlider_SetValue(variation, 0.62f);

  // Lyrics panel.
  gkDrawArea_SetColor_Background(Item(1211), 1211, 0x000000);
  gkDrawArea_SetName(Item(1211), "IDC_DRAWAREA_LYRICS");
  QWidget* lyrics = Item(1210);
  gkText_SetFont(lyrics, PanelFont(12, 700), 0);
  gkText_SetColors(lyrics, 0x000000, 0x00FF7A, 0);
  gkText_SetHighlightColors(lyrics, GkRgb(122, 255, 0), GkRgb(0, 0, 0), 0);
  gkText_SetVerticalClipping(lyrics, 0);
  gkText_UseHighlighting(lyrics, 1);
  lyrics->resize(lyrics->width(), lyrics->height() - 38);  // the edit bar below
  gkText_SetText(lyrics, QString::fromUtf8(kLyrics));
  gkText_SetHighlightLine(lyrics, 4, 0);
  QPixmap line[1] = {LoadSkinBitmap("IDB_BITMAP_LYRICS_LINE")};
  gkBitmapArray_SetProperties(Item(1305), 1305, 1);
  gkBitmapArray_SetAllBitMaps(Item(1305), line, 1);
  QPixmap logo[1] = {LoadSkinBitmap("IDB_BITMAP_LYRICS_CDDB_LOGO")};
  gkBitmapArray_SetProperties(Item(1310), 1310, 1);
  gkBitmapArray_SetAllBitMaps(Item(1310), logo, 1);
  const struct {
    int id;
    const char* name;
  } lyricButtons[] = {{1309, "EDIT"}, {1303, "THISTRACK"}, {1304, "ALLTRACKS"}, {1307, "CANCEL"}};
  for (const auto& b : lyricButtons) {
    QPixmap pair[2] = {LoadSkinBitmap(QString("IDB_BITMAP_BUTTON_LYRICS_%1_DOWN").arg(b.name)),
                       LoadSkinBitmap(QString("IDB_BITMAP_BUTTON_LYRICS_%1_UP").arg(b.name))};
    gkButton_SetBehavior(Item(b.id), b.id, kGkButtonPush, nullptr, OnButtonCallback);
    gkButton_SetGraphics(Item(b.id), pair, 2);
  }
  QWidget* status = Item(1306);
  gkText_SetFont(status, PanelFont(10, 400), 0);
  gkText_SetColors(status, 0, GkRgb(0, 255, 246), 0);
  gkText_SetText(status, "Track 4");
  ShowLowerPanel(setup_.lyricsInFront);
}

void GalleryPanel::ConfigurePopups() {
  const QPixmap background = LoadSkinBitmap(kSkinBackgroundId);
  const struct {
    int id;
    std::vector<std::pair<int, const char*>> items;
  } popups[] = {
      {1171,
       {{40044, "&Preferences ..."},
        {40041, "&Repeat"},
        {134, "Edit &Lyrics For This Song"},
        {40182, "&Full Screen"}}},
      {1168, {{40040, "Get CD &Info From Internet"}, {40042, "Visit the &Web Site"}}},
      {1167, {{40005, "About Sorn Karaoke ..."}, {40006, "&Help Topics"}}},
  };
  for (const auto& popup : popups) {
    QWidget* w = Item(popup.id);
    QPixmap looks[2] = {QPixmap(), background};
    gkMenuPopUp_SetBehavior(w, popup.id, nullptr);
    gkMenuPopUp_SetGraphics(w, looks, 2);
    gkMenuPopUp_SetBitmapCutAreaSelf(w, 1);
    gkMenuPopUp_SetAlignment(w, kGkMenuCenterAlign | kGkMenuVCenterAlign);
    gkMenuPopUp_NewMenu(w);
    for (const auto& item : popup.items) gkMenuPopUp_AppendItem(w, item.first, item.second);
  }
  QWidget* tracks = Item(1010);
  gkMenuPopUp_SetBehavior(tracks, 1010, nullptr);
  gkMenuPopUp_SetAlignment(tracks, kGkMenuCenterAlign | kGkMenuVCenterAlign);
  for (int t = 0; t < kTracks; ++t) {
    gkMenuPopUp_AppendItem(tracks, 5000 + t, QString("%1. %2").arg(t + 1).arg(kTitles[t]));
  }
  gkMenuPopUp_SetBehavior(Item(1169), 1169, nullptr);
}

void GalleryPanel::ShowTime() {
  const int minutes = setup_.seconds / 60;
  const int secs = setup_.seconds % 60;
  const int indices[7] = {
      12, minutes < 10 ? -1 : minutes / 10, minutes % 10, 10, secs / 10, secs % 10, 13};
  gkBitmapArray_SetAllIndices(Item(1184), indices, 7);
  QWidget* position = Item(1185);
  gkSlider_SetIncrementPercentage(position, 3.0f * 100 / trackSeconds_);
  gkSlider_SetValue(position, 100.0f * setup_.seconds / trackSeconds_);
}

void GalleryPanel::ShowTrack() {
  gkText_SetText(Item(1098),
                 QString("%1. %2").arg(setup_.track + 1).arg(kTitles[setup_.track % kTracks]));
}

void GalleryPanel::ShowLowerPanel(bool lyrics) {
  for (int id = 1041; id <= 1048; ++id) Item(id)->setVisible(!lyrics);
  Item(1076)->setVisible(!lyrics);
  for (int id : {1211, 1210, 1305, 1306, 1309}) Item(id)->setVisible(lyrics);
}

void GalleryPanel::OnTab(int index) {
  setup_.lyricsInFront = index == 1;
  ShowLowerPanel(setup_.lyricsInFront);
}

void GalleryPanel::OnButton(int id) {
  switch (id) {
    case 1007:
      setup_.playing = gkButton_GetState(Item(1007)) != 1;
      break;
    case 1008:
      setup_.playing = false;
      setup_.seconds = 0;
      gkButton_SetState(Item(1007), 1);
      ShowTime();
      break;
    case 1013:
    case 1014:
      setup_.track = (setup_.track + (id == 1014 ? 1 : kTracks - 1)) % kTracks;
      setup_.seconds = 0;
      ShowTrack();
      ShowTime();
      break;
    case 1185:
      setup_.seconds = static_cast<int>(gkSlider_GetValue(Item(1185)) * trackSeconds_ / 100);
      break;
    case 1030:
      QApplication::quit();
      break;
    default:
      if (id >= 1041 && id <= 1048 && gkButton_GetState(Item(id)) != 1) {
        // One voice effect at a time.
        for (int other = 1041; other <= 1048; ++other) {
          if (other != id) gkButton_SetState(Item(other), 1);
        }
      }
      break;
  }
}

void GalleryPanel::Tick() {
  ++tick_;
  const double t = tick_ * 0.063;
  const double music = setup_.playing
                           ? 58 + 26 * std::sin(t * 2.1) * std::fabs(std::sin(t * 0.43)) +
                                 12 * std::sin(t * 7.7 + 1.3)
                           : 0;
  const double voice = 45 + 35 * std::max(0.0, std::sin(t * 1.7)) * std::fabs(std::sin(t * 5.3));
  vu_SetBarPosition(Item(1292), static_cast<float>(music));
  vu_SetBarPosition(Item(1293), static_cast<float>(voice));
  if (setup_.playing && tick_ % 16 == 0) {
    setup_.seconds = (setup_.seconds + 1) % trackSeconds_;
    ShowTime();
  }
  StepRing();
}

void GalleryPanel::StepRing() {
  if (setup_.playing) {
    if (tick_ % 4 != 1 && tick_ != 0) return;
    for (int i = 0; i < 24; ++i) {
      const int offset = (i - ringStart_ + 24) % 24;
      gkBitmapLayer_SetIndex(Item(kRingLightIds[i]), offset % 8 == 0 ? 1 : 0);
    }
    ringStart_ = (ringStart_ + 1) % 24;
    return;
  }
  const int phase = blink_ % 32;
  if (phase == 0 || phase == 15) {
    for (int i = 0; i < 24; ++i) {
      const bool lit = phase == 15 && i % 2 == blinkPhase_ % 2;
      gkBitmapLayer_SetIndex(Item(kRingLightIds[i]), lit ? 1 : 0);
    }
    if (phase == 15) ++blinkPhase_;
  }
  ++blink_;
}

bool GalleryPanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched == panel_ && event->type() == GkCommandEvent::EventType()) {
    Trace("gallery: command %d\n", static_cast<GkCommandEvent*>(event)->CommandId());
    return true;
  }
  if (watched == panel_ && event->type() == QEvent::KeyPress) {
    // The keys the widgets forward: arrows step the position, space plays or pauses.
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Right) gkSlider_IncrementValue(Item(1185));
    if (key->key() == Qt::Key_Left) gkSlider_DecrementValue(Item(1185));
    if (key->key() == Qt::Key_Space) {
      gkButton_SetState(Item(1007), setup_.playing ? 1 : 0);
      setup_.playing = !setup_.playing;
    }
    return true;
  }
  return QObject::eventFilter(watched, event);
}
