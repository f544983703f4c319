// Class registry, template loading, the bad-handle convention, key forwarding, the reset on
// size changes and the common paint fallbacks.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QLabel>
#include <memory>

#include "tests/support/trace_capture.h"
#include "tests/widgets/widget_test_support.h"
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

QWidget* Other(QWidget*) {
  return nullptr;
}

TEST(Registry, OneTakenNameFailsTheWholeButRegistersTheOtherEight) {
  QCoreApplication* app = QCoreApplication::instance();
  gkUnregisterClasses(app);
  int otherProgram = 0;  // another program instance: only its address matters
  auto* other = reinterpret_cast<QCoreApplication*>(&otherProgram);
  ASSERT_TRUE(GkRegisterWindowClass("gktext", Other, other));

  EXPECT_FALSE(gkRegisterClasses(app));
  for (const char* name : {"bitmaparray", "bitmapbutton", "bitmapslider", "bitmaplayer",
                           "gkmenupopup", "gkdrawarea", "vumeter", "gkcontainer"}) {
    EXPECT_TRUE(GkIsWindowClassRegistered(name)) << name;
  }
  // The taken name is still the other instance's: ours cannot unregister it.
  EXPECT_FALSE(GkUnregisterWindowClass("gktext", app));
  EXPECT_EQ(GkCreateWindow("gktext", nullptr), nullptr);

  EXPECT_TRUE(GkUnregisterWindowClass("gktext", other));
  EXPECT_EQ(gkUnregisterClasses(app), 0);
  EXPECT_FALSE(GkIsWindowClassRegistered("bitmapbutton"));
  EXPECT_TRUE(gkRegisterClasses(app));
}

constexpr char kTemplate[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0">
 <class>Panel</class>
 <widget class="QWidget" name="Panel">
  <property name="geometry"><rect><x>0</x><y>0</y><width>300</width><height>200</height></rect></property>
  <widget class="bitmapbutton" name="IDC_BUTTON_CDPLAYER_PLAY">
   <property name="geometry"><rect><x>10</x><y>20</y><width>40</width><height>30</height></rect></property>
   <property name="controlId"><number>1007</number></property>
  </widget>
  <widget class="gktext" name="IDC_TEXT_TITLE">
   <property name="geometry"><rect><x>60</x><y>20</y><width>200</width><height>24</height></rect></property>
   <property name="controlId"><number>1098</number></property>
  </widget>
  <widget class="bitmapslider" name="IDC_TRACKBAR_TIME">
   <property name="geometry"><rect><x>10</x><y>60</y><width>280</width><height>26</height></rect></property>
   <property name="controlId"><number>1185</number></property>
   <property name="visible"><bool>false</bool></property>
  </widget>
  <widget class="QLabel" name="IDC_STATIC_BACKGROUND">
   <property name="geometry"><rect><x>0</x><y>0</y><width>300</width><height>200</height></rect></property>
   <property name="controlId"><number>1298</number></property>
  </widget>
 </widget>
</ui>
)";

TEST(TemplateLoader, BuildsOurClassesByNameWithTheirControlIdsAndRectangles) {
  Host host;
  QByteArray bytes(kTemplate);
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  QWidget* panel = GkLoadTemplate(&buffer, &host);
  ASSERT_NE(panel, nullptr);

  QWidget* play = GkGetDlgItem(panel, 1007);
  ASSERT_NE(play, nullptr);
  EXPECT_EQ(play->geometry(), QRect(10, 20, 40, 30));
  EXPECT_EQ(play->objectName(), "IDC_BUTTON_CDPLAYER_PLAY");
  TraceCapture trace;
  EXPECT_EQ(gkButton_GetState(play), 1);  // a real bitmap button with its record
  EXPECT_EQ(gkText_SetColors(GkGetDlgItem(panel, 1098), 0, 0, 0), 1);
  QWidget* slider = GkGetDlgItem(panel, 1185);
  EXPECT_EQ(gkSlider_SetRange(slider, 0, 100), 1);
  EXPECT_TRUE(slider->isHidden());
  EXPECT_EQ(trace.Text(), "");
  EXPECT_NE(qobject_cast<QLabel*>(GkGetDlgItem(panel, 1298)), nullptr);
  EXPECT_EQ(GkGetDlgItem(panel, 4242), nullptr);
}

TEST(BadHandle, EveryOperationNamesItselfAndChangesNothing) {
  Host host;
  QWidget plain(&host);
  std::unique_ptr<QWidget> button(GkNewBitmapButton(&host));
  QPixmap bitmaps[2] = {Solid(4, 4, kRed), Solid(4, 4, kBlue)};
  TraceCapture trace;

  EXPECT_EQ(gkButton_SetGraphics(nullptr, bitmaps, 2), 0);
  EXPECT_EQ(gkSlider_SetRange(&plain, 0, 1), 0);
  EXPECT_EQ(vu_SetGraphics(button.get(), bitmaps, 2), 0);  // a window of another class
  EXPECT_EQ(gkBitmapLayer_GetIndex(nullptr), 0);
  EXPECT_EQ(gkButton_GetState(&plain), 0);
  EXPECT_EQ(gkText_ScrollLineUp(nullptr), 0);
  EXPECT_EQ(gkBitmapArray_SetAllIndices(nullptr, nullptr, 0), 0);
  EXPECT_EQ(gkMenuPopUp_SetMenu(nullptr, nullptr), 0);
  EXPECT_EQ(gkContainer_SetProperties(&plain, 1), 0);
  EXPECT_EQ(gkDrawArea_SetColor_Background(nullptr, 1, 0), 0);
  EXPECT_EQ(trace.Text(),
            "gkButton_SetGraphics: HWND or PINSTDATA =NULL\n"
            "gkSlider_SetRange: HWND or PINSTDATA =NULL\n"
            "vu_SetGraphics: HWND or PINSTDATA =NULL\n"
            "gkBitmapLayer_GetIndex: HWND or PINSTDATA =NULL\n"
            "gkButton_GetState: HWND or PINSTDATA =NULL\n"
            "gkText_ScrollLineUp: HWND or PINSTDATA =NULL\n"
            "gkBitmapArray_SetAllIndices: HWND or PINSTDATA =NULL\n"
            "gkMenuPopUp_SetMenu: HWND or PINSTDATA =NULL\n"
            "gkContainer_SetProperties: PINSTDATA=NULL\n"
            "gkDrawArea_SetColor_Background: PINSTDATA=NULL\n");

  // The quiet ones stay quiet.
  TraceCapture quiet;
  gkButton_SetScrollInterval(nullptr, 10);
  EXPECT_EQ(gkText_PageDown(&plain), 0);
  EXPECT_EQ(gkText_GetCellHeight(nullptr), 0);
  gkBitmapArray_SetIndex(nullptr, 0, 1);
  EXPECT_EQ(vu_SetPositions(nullptr, 1, 1), 0);
  EXPECT_EQ(quiet.Text(), "");

  // The button that was handed to vu_SetGraphics is untouched.
  int count = -1;
  gkButton_GetGraphics(button.get(), &count);
  EXPECT_EQ(count, 0);
}

TEST(KeyForwarding, KeysReachTheOwnerOnceWhicheverWidgetHasTheFocus) {
  Host host;
  QWidget* button = GkCreateWindow("bitmapbutton", &host, 1007);
  QWidget* text = GkCreateWindow("gktext", &host, 1098);
  gkButton_SetBehavior(button, 1007, kGkButtonPush, nullptr, nullptr);
  gkText_SetText(text, "title");
  host.ShowActive();

  QTest::keyClick(button, Qt::Key_Left);
  QTest::keyClick(text, Qt::Key_Space);
  EXPECT_EQ(host.keys, (std::vector<int>{Qt::Key_Left, Qt::Key_Space}));
}

TEST(SizeChange, FirstSizeKeepsTheGraphicsALaterOneClearsThemAndPaintsBlack) {
  // Templates size and configure their widgets before the panel shows: that is no change.
  Host host;
  QWidget* button = GkNewBitmapButton(&host);
  button->setGeometry(10, 10, 20, 20);
  QPixmap looks[2] = {Solid(20, 20, kRed), Solid(20, 20, kGreen)};
  gkButton_SetGraphics(button, looks, 2);
  gkButton_SetName(button, "IDC_BUTTON_CDPLAYER_STOP");
  host.ShowActive();
  EXPECT_EQ(PixelOf(button, 5, 5), kGreen);

  button->resize(24, 20);
  int count = -1;
  const QPixmap* held = gkButton_GetGraphics(button, &count);
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(held[1].isNull());
  EXPECT_STREQ(gkButton_GetName(button), "");
  EXPECT_EQ(PixelOf(button, 5, 5), QColor(Qt::black));
}

TEST(CutArea, WindowFormTakesAHiddenTemplatesPositionAndSize) {
  Host host;
  QWidget marker(&host);
  marker.setGeometry(50, 0, 30, 10);
  marker.hide();
  QWidget* button = GkNewBitmapButton(&host);
  button->setGeometry(0, 0, 30, 10);
  QPixmap background = Halves(100, 10, kRed, kBlue);  // red below x 50, blue from x 50
  QPixmap looks[2] = {QPixmap(), background};
  gkButton_SetGraphics(button, looks, 2);
  EXPECT_EQ(PixelOf(button, 2, 2), kRed);  // no cut: the bitmap's origin
  gkButton_SetBitmapCutArea2(button, 1, &marker);
  EXPECT_EQ(PixelOf(button, 2, 2), kBlue);
  gkButton_EnableBitmapCutArea(button, 1, 0);
  EXPECT_EQ(PixelOf(button, 2, 2), kRed);
}

TEST(Paint, EmptySlotsFallBackPerClass) {
  Host host(kMagenta);
  QWidget* button = GkNewBitmapButton(&host);
  button->setGeometry(0, 0, 20, 20);
  QWidget* area = GkNewDrawArea(&host);
  area->setGeometry(30, 0, 20, 20);
  QWidget* popup = GkNewMenuPopUp(&host);
  popup->setGeometry(60, 0, 20, 20);
  QWidget* source = GkNewDrawArea(&host);
  source->setGeometry(90, 0, 40, 20);
  QWidget* sourced = GkNewBitmapButton(&host);
  sourced->setGeometry(140, 0, 20, 20);
  host.ShowActive();
  gkDrawArea_SetColor_Background(area, 1211, GkRgb(0, 0, 255));
  gkDrawArea_SetColor_Background(source, 1, GkRgb(0, 255, 0));
  gkButton_SetBitmapSourceWindow(sourced, 1, source);

  const QImage shot = host.grab().toImage();
  EXPECT_EQ(shot.pixelColor(10, 10), QColor(Qt::black));  // button: black
  EXPECT_EQ(shot.pixelColor(40, 10), kBlue);              // draw area: its background
  EXPECT_EQ(shot.pixelColor(70, 10), kMagenta);           // popup: what lies beneath
  EXPECT_EQ(shot.pixelColor(150, 10), kGreen);            // source window stands in
}

TEST(SysColorChange, ResetsAConfiguredLayerLikeASizeChange) {
  Host host;
  QWidget* layer = GkNewBitmapLayer(&host);
  layer->setGeometry(0, 0, 10, 10);
  host.ShowActive();
  QPixmap two[2] = {Solid(10, 10, kRed), Solid(10, 10, kGreen)};
  gkBitmapLayer_SetGraphics(layer, two, 2);
  gkBitmapLayer_SetIndex(layer, 1);
  const QPalette saved = QApplication::palette();
  QPalette changed = saved;
  changed.setColor(QPalette::Window, QColor(1, 2, 3));
  QApplication::setPalette(changed);
  QCoreApplication::processEvents();
  EXPECT_EQ(gkBitmapLayer_GetIndex(layer), 0);
  QApplication::setPalette(saved);
}

}  // namespace
