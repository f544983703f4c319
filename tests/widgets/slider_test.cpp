// Slider: value and position mappings both ways, presses before and beyond the cap, drags,
// keyboard steps, the guards for an empty range or a cap that fills the trough, and the
// linked bitmap array drawn as the cap.
#include <gtest/gtest.h>

#include "tests/support/trace_capture.h"
#include "tests/widgets/widget_test_support.h"
#include "widgets/bitmap_array.h"
#include "widgets/slider.h"

namespace {

void Changed(int32_t id) {
  CallbackLog().push_back("change " + std::to_string(id));
}
void Released(int32_t id) {
  CallbackLog().push_back("release " + std::to_string(id));
}

class SliderTest : public testing::Test {
 protected:
  void SetUp() override {
    CallbackLog().clear();
    slider = GkNewSlider(&host);
    slider->setGeometry(0, 0, 300, 20);
    Horizontal();
    host.ShowActive();
  }
  void Horizontal(int capWidth = 20) {
    gkSlider_SetProperties(slider, 1185, kGkSliderHorizontal, Changed);
    gkSlider_SetReleaseCallback(slider, Released);
    QPixmap bitmaps[2] = {Solid(300, 20, kBlue), Solid(capWidth, 20, kRed)};
    gkSlider_SetGraphics(slider, bitmaps);
    gkSlider_SetRange(slider, 0, 100);
  }
  void Move(int x) { QTest::mouseMove(slider, QPoint(x, 10)); }
  Host host;
  QWidget* slider = nullptr;
};

TEST_F(SliderTest, HorizontalMapsValuesToCapPixelsAndBack) {
  gkSlider_SetValue(slider, 50);
  EXPECT_EQ(gkSlider_GetCapPosition(slider), 140);
  EXPECT_FLOAT_EQ(gkSlider_GetValue(slider), 50);
  gkSlider_SetValue(slider, 100);
  EXPECT_EQ(gkSlider_GetCapPosition(slider), 280);
  EXPECT_FLOAT_EQ(gkSlider_GetValue(slider), 100);
  gkSlider_SetValue(slider, 33);  // read back from the rounded pixel, not the stored value
  EXPECT_EQ(gkSlider_GetCapPosition(slider), 92);
  EXPECT_FLOAT_EQ(gkSlider_GetValue(slider), 92.0f * 100 / 280);
  EXPECT_TRUE(CallbackLog().empty());  // setting a value calls nobody

  const QImage shot = slider->grab().toImage();
  EXPECT_EQ(shot.pixelColor(91, 10), kBlue);
  EXPECT_EQ(shot.pixelColor(92, 10), kRed);
  EXPECT_EQ(shot.pixelColor(111, 10), kRed);
  EXPECT_EQ(shot.pixelColor(112, 10), kBlue);
}

TEST_F(SliderTest, VerticalPutsTheMaximumAtTheTop) {
  slider->setGeometry(0, 0, 20, 110);
  gkSlider_SetProperties(slider, 1065, kGkSliderVertical, Changed);
  QPixmap bitmaps[2] = {Solid(20, 110, kBlue), Solid(20, 10, kRed)};
  gkSlider_SetGraphics(slider, bitmaps);
  gkSlider_SetRange(slider, 0, 10);
  gkSlider_SetValue(slider, 10);
  EXPECT_EQ(gkSlider_GetCapPosition(slider), 0);
  gkSlider_SetValue(slider, 0);
  EXPECT_EQ(gkSlider_GetCapPosition(slider), 100);
  gkSlider_SetValue(slider, 7);
  EXPECT_EQ(gkSlider_GetCapPosition(slider), 30);
  EXPECT_EQ(PixelOf(slider, 10, 35), kRed);
  EXPECT_EQ(PixelOf(slider, 10, 45), kBlue);
}

TEST_F(SliderTest, PressBeforeOrBeyondTheCapJumpsByAQuarterOfTheCap) {
  gkSlider_SetValue(slider, 50);  // cap 140..160
  Press(slider, QPoint(110, 10));
  EXPECT_EQ(gkSlider_GetCapPosition(slider), 105);
  Release(slider, QPoint(110, 10));
  gkSlider_SetValue(slider, 50);
  Press(slider, QPoint(200, 10));
  EXPECT_EQ(gkSlider_GetCapPosition(slider), 185);
  Release(slider, QPoint(200, 10));
  EXPECT_EQ(CallbackLog(), (std::vector<std::string>{"change 1185", "release 1185", "change 1185",
                                                     "release 1185"}));
}

TEST_F(SliderTest, DragHoldsTheCapWhereItWasGrabbedAndStopsAtTheEnds) {
  gkSlider_SetValue(slider, 50);  // cap 140..160
  Press(slider, QPoint(145, 10));
  EXPECT_EQ(gkSlider_GetCapPosition(slider), 140);
  Move(175);
  EXPECT_EQ(gkSlider_GetCapPosition(slider), 170);
  EXPECT_FLOAT_EQ(gkSlider_GetValue(slider), 170.0f * 100 / 280);
  Move(299);
  EXPECT_EQ(gkSlider_GetCapPosition(slider), 280);
  Move(-50);
  EXPECT_EQ(gkSlider_GetCapPosition(slider), 0);
  Release(slider, QPoint(0, 10));
  Move(200);  // no button held: the cap stays
  EXPECT_EQ(gkSlider_GetCapPosition(slider), 0);
  EXPECT_EQ(CallbackLog(), (std::vector<std::string>{"change 1185", "change 1185", "change 1185",
                                                     "change 1185", "release 1185"}));
}

TEST_F(SliderTest, PressOnACapMovedBySetValueGrabsIt) {
  Press(slider, QPoint(5, 10));  // records the cap's extent at 0..20
  Release(slider, QPoint(5, 10));
  gkSlider_SetValue(slider, 50);  // the player moves the cap to 140
  Press(slider, QPoint(150, 10));
  EXPECT_EQ(gkSlider_GetCapPosition(slider), 140);
}

TEST_F(SliderTest, StepsClampAndCallTheReleaseCallback) {
  gkSlider_SetIncrementPercentage(slider, 10);
  gkSlider_SetValue(slider, 95);
  gkSlider_IncrementValue(slider);
  EXPECT_FLOAT_EQ(gkSlider_GetValue(slider), 100);
  gkSlider_IncrementValue(slider);
  EXPECT_FLOAT_EQ(gkSlider_GetValue(slider), 100);
  gkSlider_DecrementValue(slider);
  EXPECT_EQ(gkSlider_GetCapPosition(slider), 252);
  EXPECT_EQ(CallbackLog(),
            (std::vector<std::string>{"release 1185", "release 1185", "release 1185"}));
}

TEST_F(SliderTest, EmptyRangeOrCapFillingTheTroughReadsTheMinimum) {
  Horizontal(300);  // the cap fills the trough
  gkSlider_SetValue(slider, 50);
  EXPECT_EQ(gkSlider_GetCapPosition(slider), 0);
  EXPECT_FLOAT_EQ(gkSlider_GetValue(slider), 0);
  Press(slider, QPoint(150, 10));
  Move(250);
  Release(slider, QPoint(250, 10));
  EXPECT_FLOAT_EQ(gkSlider_GetValue(slider), 0);

  Horizontal(20);
  gkSlider_SetRange(slider, 5, 5);
  gkSlider_SetValue(slider, 5);
  gkSlider_IncrementValue(slider);
  EXPECT_FLOAT_EQ(gkSlider_GetValue(slider), 5);
}

TEST_F(SliderTest, LinkedArrayRidesAsTheCap) {
  QWidget* display = GkNewBitmapArray(&host);
  display->setGeometry(0, 40, 70, 22);
  display->hide();
  QPixmap digits[2] = {Solid(10, 22, kGreen), Solid(10, 22, kRed)};
  gkBitmapArray_SetProperties(display, 1184, 3);
  gkBitmapArray_SetAllBitMaps(display, digits, 2);
  const int indices[3] = {0, -1, 1};
  gkBitmapArray_SetAllIndices(display, indices, 3);

  gkSlider_SetCapWindow(slider, display);
  gkSlider_SetCapOffset(slider, 0, -1);
  slider->grab();  // the first paint measures the array
  EXPECT_EQ(gkBitmapArray_GetTotalWidth(display), 20);
  gkSlider_SetValue(slider, 100);  // span 300 - 20
  EXPECT_EQ(gkSlider_GetCapPosition(slider), 280);
  const QImage shot = slider->grab().toImage();
  EXPECT_EQ(shot.pixelColor(285, 10), kGreen);
  EXPECT_EQ(shot.pixelColor(295, 10), kRed);
  EXPECT_EQ(shot.pixelColor(275, 10), kBlue);
}

TEST_F(SliderTest, VerticalWithoutACapTracesAndDrawsNothing) {
  QWidget* bare = GkNewSlider(&host);
  bare->setGeometry(0, 30, 20, 100);
  TraceCapture trace;
  bare->grab();
  EXPECT_NE(trace.Text().find("gkSlider OnPaint: hBitMaps[kCap]=0\n"), std::string::npos);
}

}  // namespace
