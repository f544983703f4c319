// Bitmap layer (cycling, bands, the set-index request) and bitmap array (columns side by
// side, index -1, column limits).
#include <gtest/gtest.h>

#include "tests/support/trace_capture.h"
#include "tests/widgets/widget_test_support.h"
#include "widgets/bitmap_array.h"
#include "widgets/bitmap_layer.h"

namespace {

std::vector<int>& Indices() {
  static std::vector<int> indices;
  return indices;
}
void OnIndex(int32_t index) {
  Indices().push_back(index);
}

class LayerTest : public testing::Test {
 protected:
  void SetUp() override {
    Indices().clear();
    layer = GkNewBitmapLayer(&host);
    layer->setGeometry(10, 10, 20, 80);
    host.ShowActive();
    gkBitmapLayer_SetBehavior(layer, 1166, OnIndex, 0);
    gkBitmapLayer_SetGraphics(layer, two, 2);
  }
  Host host{kMagenta};
  QWidget* layer = nullptr;
  QPixmap two[2] = {Solid(20, 80, kRed), Solid(20, 80, kGreen)};
};

TEST_F(LayerTest, ClicksCycleThroughTheGraphicsAndReportEachIndex) {
  Click(layer);
  Click(layer);
  Click(layer);
  EXPECT_EQ(Indices(), (std::vector<int>{1, 0, 1}));
  EXPECT_EQ(PixelOf(layer, 5, 5), kGreen);
  Click(layer, QPoint(5, 5), Qt::RightButton);  // takes the focus only
  EXPECT_EQ(gkBitmapLayer_GetIndex(layer), 1);
}

TEST_F(LayerTest, BandsPickTheIndexUnderThePointer) {
  gkBitmapLayer_SetVerticalSegmentation(layer, 2);
  Click(layer, QPoint(5, 50));
  Click(layer, QPoint(5, 10));
  EXPECT_EQ(Indices(), (std::vector<int>{1, 0}));

  gkBitmapLayer_SetGraphics(layer, two, 1);  // only one graphic: the lower band gives 0
  Click(layer, QPoint(5, 50));
  EXPECT_EQ(Indices().back(), 0);
}

TEST_F(LayerTest, MoreBandsThanPixelRowsIgnoresTheClick) {
  layer->resize(20, 3);
  gkBitmapLayer_SetGraphics(layer, two, 2);
  gkBitmapLayer_SetVerticalSegmentation(layer, 5);
  gkBitmapLayer_SetIndex(layer, 1);
  Click(layer, QPoint(5, 2));
  EXPECT_EQ(gkBitmapLayer_GetIndex(layer), 1);
  EXPECT_TRUE(Indices().empty());
}

TEST_F(LayerTest, SetIndexRequestRepaintsWithoutCallbackAndEmptySlotsShowThrough) {
  gkBitmapLayer_SetIndex(layer, 1);
  EXPECT_EQ(PixelOf(layer, 5, 5), kGreen);
  EXPECT_TRUE(Indices().empty());
  gkBitmapLayer_SetIndex(layer, 5);  // no graphic there
  EXPECT_EQ(host.grab().toImage().pixelColor(15, 15), kMagenta);
}

TEST_F(LayerTest, CutAreasSurviveASizeChangeButTheGraphicsDoNot) {
  QPixmap background = Halves(60, 80, kBlue, kRed);  // blue left of x 30
  QPixmap one[1] = {background};
  gkBitmapLayer_SetGraphics(layer, one, 1);
  gkBitmapLayer_SetBitmapCutArea(layer, 0, 40, 0, 20, 80);
  EXPECT_EQ(PixelOf(layer, 5, 5), kRed);
  layer->resize(20, 60);
  EXPECT_EQ(host.grab().toImage().pixelColor(15, 15), kMagenta);
  gkBitmapLayer_SetGraphics(layer, one, 1);
  EXPECT_EQ(PixelOf(layer, 5, 5), kRed);  // the cut is still there
}

class ArrayTest : public testing::Test {
 protected:
  void SetUp() override {
    array = GkNewBitmapArray(&host);
    array->setGeometry(0, 0, 100, 10);
    host.ShowActive();
    for (int i = 0; i < 14; ++i) digits[i] = Solid(10, 10, QColor(10 + i * 15, 0, 0));
    gkBitmapArray_SetProperties(array, 1184, 7);
    gkBitmapArray_SetAllBitMaps(array, digits, 14);
  }
  Host host{kMagenta};
  QWidget* array = nullptr;
  QPixmap digits[14];
};

TEST_F(ArrayTest, ColumnWithIndexMinusOneTakesNoRoom) {
  const int indices[7] = {12, -1, 9, 10, 0, 5, 13};
  gkBitmapArray_SetAllIndices(array, indices, 7);
  const QImage shot = host.grab().toImage();
  const int shown[6] = {12, 9, 10, 0, 5, 13};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(shot.pixelColor(i * 10 + 5, 5), QColor(10 + shown[i] * 15, 0, 0)) << i;
  }
  EXPECT_EQ(shot.pixelColor(65, 5), kMagenta);
  EXPECT_EQ(gkBitmapArray_GetTotalWidth(array), 60);
  EXPECT_EQ(gkBitmapArray_GetTotalHeight(array), 60);

  gkBitmapArray_SetIndex(array, 1, 1);  // 12:34 style: all seven columns
  host.grab();
  EXPECT_EQ(gkBitmapArray_GetTotalWidth(array), 70);
}

TEST_F(ArrayTest, FewerIndicesShrinkTheColumnsAndTooManyColumnsAreRefused) {
  const int five[5] = {1, 2, 3, 4, 5};
  gkBitmapArray_SetAllIndices(array, five, 5);
  EXPECT_EQ(gkBitmapArray_GetColumns(array), 5);

  TraceCapture trace;
  EXPECT_EQ(gkBitmapArray_SetProperties(array, 1184, 11), 0);
  EXPECT_EQ(trace.Text(), "gkBitmapArray_SetProperties: columns=11 > max columns\n");
  EXPECT_EQ(gkBitmapArray_GetColumns(array), 5);
}

TEST_F(ArrayTest, ColumnsCanHoldTheirOwnBitmaps) {
  QPixmap blue[1] = {Solid(10, 10, kBlue)};
  gkBitmapArray_SetColumnBitMaps(array, 2, blue, 1);
  const int indices[3] = {0, 0, 0};
  gkBitmapArray_SetAllIndices(array, indices, 3);
  EXPECT_EQ(PixelOf(array, 25, 5), kBlue);
  EXPECT_EQ(gkBitmapArray_SetColumnBitMaps(array, 10, blue, 1), 0);  // no such column
}

}  // namespace
