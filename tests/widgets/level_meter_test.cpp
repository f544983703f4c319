// Level meter: the bar's fall, the peak's hold and fall, generated pictures, skin pictures
// and the spiral marker's position.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/widgets/widget_test_support.h"
#include "widgets/level_meter.h"

namespace {

class MeterTest : public testing::Test {
 protected:
  void SetUp() override {
    meter = GkNewLevelMeter(&host);
    meter->setGeometry(0, 0, 42, 102);  // pictures of 40 x 100 inside a one-pixel frame
    host.ShowActive();
    vu_SetRange(meter, 0, 100);
  }
  // Pixel of the picture (frame excluded).
  QColor At(int x, int y) { return PixelOf(meter, x + 1, y + 1); }
  void SkinPictures() {
    QPixmap pictures[2] = {Solid(40, 100, kBlue), Solid(40, 100, kRed)};
    vu_SetGraphics(meter, pictures, 2);
  }
  Host host{kMagenta};
  QWidget* meter = nullptr;
};

TEST_F(MeterTest, BarFallsAFixedShareOfTheRangePerUpdate) {
  vu_SetBarHold(meter, 8);
  vu_SetBarFallRate(meter, 0.15625f);
  vu_SetBarPosition(meter, 100);
  EXPECT_FLOAT_EQ(vu_GetBarPosition(meter), 100);
  const float expected[7] = {84.375f, 68.75f, 53.125f, 37.5f, 21.875f, 6.25f, 0.0f};
  for (float value : expected) {
    vu_SetBarPosition(meter, 0);
    EXPECT_FLOAT_EQ(vu_GetBarPosition(meter), value);
  }
  vu_SetBarPosition(meter, 30);  // a rise is taken at once
  EXPECT_FLOAT_EQ(vu_GetBarPosition(meter), 30);
}

TEST_F(MeterTest, PeakHoldsForHalfItsHoldThenFallsButNeverBelowTheBar) {
  vu_SetPeakHold(meter, 16);
  vu_SetPeakFallRate(meter, 0.015625f);
  vu_SetBarPosition(meter, 100);
  for (int i = 0; i < 8; ++i) {
    vu_SetBarPosition(meter, 50);
    EXPECT_FLOAT_EQ(vu_GetLinePosition(meter), 100) << i;
  }
  vu_SetBarPosition(meter, 50);
  EXPECT_FLOAT_EQ(vu_GetLinePosition(meter), 98.4375f);
  vu_SetBarPosition(meter, 97.5f);
  EXPECT_FLOAT_EQ(vu_GetLinePosition(meter), 97.5f);  // not below the bar
}

TEST_F(MeterTest, WithoutPeakHoldTheMarkerOnlyRises) {
  vu_SetBarPosition(meter, 60);
  vu_SetBarPosition(meter, 10);
  EXPECT_FLOAT_EQ(vu_GetLinePosition(meter), 60);
  vu_SetBarPosition(meter, 120);  // clamped to the range
  EXPECT_FLOAT_EQ(vu_GetLinePosition(meter), 100);
}

TEST_F(MeterTest, GeneratedSolidMeterRunsFromDarkGreenToRed) {
  vu_SetPositions(meter, 0, 100);
  EXPECT_EQ(At(20, 98), QColor(0, 127, 0));  // bottom segment, lit
  EXPECT_EQ(At(20, 5), QColor(255, 0, 0));   // top segments
  EXPECT_EQ(At(0, 50), QColor(Qt::black));   // the solid fill leaves column 0
  vu_SetPositions(meter, 0, 0);
  EXPECT_EQ(At(20, 98), QColor(0, 63, 0));  // off: half as bright
  EXPECT_EQ(At(20, 5), QColor(127, 0, 0));
  vu_SetPositions(meter, 0, -20);  // below the minimum: the off picture only
  EXPECT_EQ(At(20, 98), QColor(0, 63, 0));
}

TEST_F(MeterTest, DottedStyleDrawsEveryThirdRowWithAWhiteMarker) {
  vu_SetStyle(meter, kGkMeterStyleDotted);
  vu_SetPositions(meter, 50, 100);
  EXPECT_EQ(At(2, 98), QColor(0, 165, 0));  // 127 * 1.3, dots from the inset
  EXPECT_EQ(At(2, 97), QColor(Qt::black));
  EXPECT_EQ(At(4, 98), QColor(Qt::black));   // two pixels on, one off
  EXPECT_EQ(At(10, 50), QColor(Qt::white));  // marker row h - 50
  EXPECT_EQ(At(37, 50), QColor(Qt::black));  // ends at w - inset - 1
}

TEST_F(MeterTest, SkinPicturesRevealTheOnPictureFromTheBottom) {
  SkinPictures();
  vu_SetPositions(meter, 0, 25);
  EXPECT_EQ(At(20, 74), kBlue);
  EXPECT_EQ(At(20, 75), kRed);
  EXPECT_EQ(host.grab().toImage().pixelColor(0, 50), kMagenta);  // the frame stays unpainted
}

TEST_F(MeterTest, SpiralMarkerFollowsTheCoils) {
  SkinPictures();
  vu_SetLineAttributes(meter, 7, 3, 6, 8);
  auto markerLeft = [&](float peak, double angle) {
    vu_SetLineSpiralCoils(meter, 1, 1.0, angle, 0.0);
    vu_SetPositions(meter, peak, 0);
    const int row = 100 - static_cast<int>(100 * peak / 100 + 0.5);
    for (int x = 0; x < 40; ++x) {
      if (At(x, row) == kRed) return x;
    }
    return -1;
  };
  // Upright coils (angle 0): one coil takes the marker from the right edge to the left and
  // back; phase^2 of the span from the left edge.
  EXPECT_EQ(markerLeft(50, 0.0), 0);    // phase 0
  EXPECT_EQ(markerLeft(20, 0.0), 17);   // phase 0.6545: 0.4284 of 40
  EXPECT_EQ(markerLeft(100, 0.0), 33);  // phase 1: kept within the picture
  // Slanted by a tenth (drift 10 over 100 rows): the span narrows by the drift, from the
  // bottom on one side for a positive angle and on the other for a negative one.
  const double slant = std::atan(0.1);
  EXPECT_EQ(markerLeft(50, slant), 5);
  EXPECT_EQ(markerLeft(20, slant), 15);
  EXPECT_EQ(markerLeft(20, -slant), 21);
}

TEST_F(MeterTest, SizeChangeClearsTheSkinAndRedrawsGeneratedPictures) {
  SkinPictures();
  vu_SetPositions(meter, 0, 100);
  meter->resize(22, 52);
  EXPECT_FLOAT_EQ(vu_GetBarPosition(meter), 0);
  vu_SetPositions(meter, 0, 100);
  EXPECT_EQ(PixelOf(meter, 10, 49), QColor(0, 127, 0));  // generated at the new size
}

}  // namespace
