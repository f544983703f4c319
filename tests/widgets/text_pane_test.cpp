// Text pane: line splitting, blank line boxes, scrolling by line, page and drag, the
// 6000-character limit, resize modes, highlighting and the overflow flag.
#include <gtest/gtest.h>

#include "tests/widgets/widget_test_support.h"
#include "widgets/text_pane.h"

namespace {

constexpr GkColor kPaper = GkRgb(0, 0, 255);
constexpr GkColor kInk = GkRgb(255, 255, 255);

QString Lines(int count, int width = 10) {
  QString text;
  for (int i = 0; i < count; ++i) text += QString(width, QChar(u'a' + i % 26)) + u'\n';
  return text;
}

class TextTest : public testing::Test {
 protected:
  void SetUp() override {
    pane = GkNewTextPane(&host);
    gkText_SetFont(pane, GkCreateFont(GkFontDescription("Tahoma", 12, 700, 96)), 0);
    h = gkText_GetCellHeight(pane);
    ASSERT_GT(h, 8);
    gkText_SetColors(pane, kPaper, kInk, 0);
    host.ShowActive();
  }
  // A pane exactly lines high (visible lines = (height + 1) / cell height).
  void Fit(int lines) { pane->setGeometry(0, 0, 200, lines * h - 1); }
  int InkPixels(const QImage& shot, int top, int bottom) {
    int n = 0;
    for (int y = top; y < bottom; ++y) {
      for (int x = 0; x < shot.width(); ++x) n += shot.pixelColor(x, y) == QColor(255, 255, 255);
    }
    return n;
  }
  Host host;
  QWidget* pane = nullptr;
  int h = 0;
};

TEST_F(TextTest, ShortTextIsFollowedByBlankLineBoxesAndEndStaysAtTheTop) {
  Fit(5);
  gkText_SetText(pane, "one\ntwo\nthree");
  const QImage shot = pane->grab().toImage();
  EXPECT_GT(InkPixels(shot, 0, h), 0);
  EXPECT_GT(InkPixels(shot, 2 * h, 3 * h), 0);
  EXPECT_EQ(InkPixels(shot, 3 * h, 5 * h - 1), 0);
  EXPECT_EQ(shot.pixelColor(100, 4 * h + h / 2), GkToQColor(kPaper));  // a blank box, not black
  EXPECT_EQ(gkText_GetTotalLines(pane), 3);
  EXPECT_EQ(gkText_GetLinesDrawn(pane), 3);
  gkText_End(pane);
  EXPECT_EQ(gkText_GetTopLine(pane), 0);
}

TEST_F(TextTest, CarriageReturnLineFeedEndsOneLine) {
  Fit(5);
  gkText_SetText(pane, "a\r\nb");
  EXPECT_EQ(gkText_GetTotalLines(pane), 2);
  gkText_SetText(pane, "a\rb\n\nc\n");  // a lone carriage return breaks nothing
  EXPECT_EQ(gkText_GetTotalLines(pane), 3);
}

TEST_F(TextTest, ScrollsByLineAndPageWithinTheText) {
  Fit(8);
  gkText_SetText(pane, Lines(20));
  ASSERT_EQ(gkText_GetVisibleLines(pane), 8);
  for (int i = 0; i < 10; ++i) gkText_ScrollLineDown(pane);
  EXPECT_EQ(gkText_GetTopLine(pane), 10);
  gkText_PageDown(pane);
  EXPECT_EQ(gkText_GetTopLine(pane), 12);
  gkText_ScrollLineDown(pane);
  EXPECT_EQ(gkText_GetTopLine(pane), 12);
  gkText_PageUp(pane);
  EXPECT_EQ(gkText_GetTopLine(pane), 4);
  gkText_End(pane);
  EXPECT_EQ(gkText_GetTopLine(pane), 12);
  gkText_Home(pane);
  EXPECT_EQ(gkText_GetTopLine(pane), 0);

  // The first line shown is the top line.
  gkText_ScrollLineDown(pane);
  const QImage top1 = pane->grab().toImage();
  gkText_SetText(pane, Lines(20).mid(11));  // the same text without its first line
  EXPECT_EQ(gkText_GetTopLine(pane), 0);    // a new text starts at the top
  EXPECT_EQ(pane->grab().toImage(), top1);
}

TEST_F(TextTest, LineUpAtTheTopStaysWithoutRepainting) {
  Fit(4);
  gkText_SetText(pane, Lines(10));
  PaintCounter counter;
  pane->installEventFilter(&counter);
  gkText_ScrollLineUp(pane);
  EXPECT_EQ(gkText_GetTopLine(pane), 0);
  EXPECT_EQ(counter.paints, 0);
  gkText_ScrollLineDown(pane);
  EXPECT_EQ(counter.paints, 1);
  pane->removeEventFilter(&counter);
}

TEST_F(TextTest, OnlyTheFirst6000CharactersCount) {
  Fit(4);
  gkText_SetText(pane, Lines(200, 60));       // 61 characters a line
  EXPECT_EQ(gkText_GetTotalLines(pane), 99);  // 98 whole lines and 22 characters
  EXPECT_EQ(gkText_GetText(pane).size(), 200 * 61);
}

TEST_F(TextTest, WidthFollowsTheTextInResizeMode1) {
  pane->setGeometry(10, 10, 40, 30);
  gkText_SetResize(pane, kGkTextResizeWidth, 1);
  gkText_SetText(pane, "Greatest Hits");
  EXPECT_EQ(pane->width(), gkText_GetCellWidth(pane));
  EXPECT_GT(pane->width(), 40);
  EXPECT_EQ(pane->height(), 30);
  EXPECT_EQ(pane->pos(), QPoint(10, 10));
  gkText_SetResize(pane, kGkTextResizeWidth | kGkTextResizeHeight, 1);
  EXPECT_EQ(pane->height(), h);
}

TEST_F(TextTest, DraggingUpScrollsTheTextDownAndBack) {
  Fit(4);
  gkText_SetText(pane, Lines(20));
  const int step = h * 3 / 4;
  QTest::mousePress(pane, Qt::LeftButton, Qt::NoModifier, QPoint(50, 2 * h));
  for (int i = 1; i <= 3; ++i) QTest::mouseMove(pane, QPoint(50, 2 * h - i * step));
  const int down = gkText_GetTopLine(pane);
  EXPECT_GT(down, 0);
  for (int i = 2; i >= -1; --i) QTest::mouseMove(pane, QPoint(50, 2 * h - i * step));
  EXPECT_LT(gkText_GetTopLine(pane), down);
  QTest::mouseRelease(pane, Qt::LeftButton, Qt::NoModifier, QPoint(50, 2 * h + step));
}

TEST_F(TextTest, HighlightedLineTakesItsColoursAndReverseVideoSwaps) {
  Fit(3);
  gkText_SetText(pane, "x\ny\nz");
  gkText_SetHighlightColors(pane, GkRgb(0, 255, 0), GkRgb(0, 0, 0), 0);
  gkText_UseHighlighting(pane, 1);
  gkText_SetHighlightLine(pane, 1, 1);
  QImage shot = pane->grab().toImage();
  EXPECT_EQ(shot.pixelColor(150, h / 2), GkToQColor(kPaper));
  EXPECT_EQ(shot.pixelColor(150, h + h / 2), kGreen);
  gkText_SetReverseVideo(pane, 1);
  shot = pane->grab().toImage();
  EXPECT_EQ(shot.pixelColor(150, h / 2), GkToQColor(kInk));
  EXPECT_EQ(shot.pixelColor(150, h + h / 2), QColor(Qt::black));
}

TEST_F(TextTest, WithoutOverflowAPartlyVisibleLastLineIsNotDrawn) {
  pane->setGeometry(0, 0, 200, 2 * h + h / 2);
  gkText_SetText(pane, Lines(5));
  EXPECT_EQ(PixelOf(pane, 150, 2 * h + 2), GkToQColor(kPaper));
  gkText_SetVerticalClipping(pane, 0);
  EXPECT_EQ(PixelOf(pane, 150, 2 * h + 2), QColor(Qt::black));
  EXPECT_EQ(gkText_GetLinesDrawn(pane), 2);
}

TEST_F(TextTest, SizeChangeReturnsToTheFirstLineButKeepsColoursAndFont) {
  Fit(4);
  gkText_SetText(pane, Lines(10));
  gkText_ScrollLineDown(pane);
  pane->resize(210, 4 * h - 1);
  EXPECT_EQ(gkText_GetTopLine(pane), 0);
  EXPECT_EQ(gkText_GetCellHeight(pane), h);
  EXPECT_EQ(PixelOf(pane, 205, h / 2), GkToQColor(kPaper));
}

}  // namespace
