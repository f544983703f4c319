// Container layout with springs, the draw area, and popup menus whose commands reach the
// owner.
#include <gtest/gtest.h>

#include <QMenu>
#include <QTimer>
#include <memory>

#include "tests/support/trace_capture.h"
#include "tests/widgets/widget_test_support.h"
#include "widgets/container.h"
#include "widgets/draw_area.h"
#include "widgets/menu_popup.h"

namespace {

class ContainerTest : public testing::Test {
 protected:
  void SetUp() override {
    container = GkNewContainer(&host);
    container->setGeometry(20, 60, 300, 20);
    for (int i = 0; i < 3; ++i) texts[i] = new QWidget(&host);
    texts[0]->resize(80, 20);  // album
    texts[1]->resize(20, 14);  // "by"
    texts[2]->resize(60, 20);  // artist
    gkContainer_SetProperties(container, 1100);
    for (int i = 0; i < 3; ++i) gkContainer_SetWidget(container, texts[i], i, kGkPlaceFromLeft);
  }
  Host host;
  QWidget* container = nullptr;
  QWidget* texts[3] = {};
};

TEST_F(ContainerTest, TwoSpringsSplitTheFreeWidthBeforeByAndAfterTheArtist) {
  gkContainer_SetSpacing(container, 2, 4, 0);
  gkContainer_SetSpring(container, 1, 100, 0);
  gkContainer_SetSpring(container, 3, 100, 0);
  gkContainer_Layout(container);
  // Free width 300 - (80 + 20 + 4 + 60) = 136: 68 before "by", 68 left empty at the end.
  EXPECT_EQ(texts[0]->geometry(), QRect(20, 40, 80, 20));
  EXPECT_EQ(texts[1]->geometry(), QRect(20 + 81 + 68, 40, 20, 14));
  EXPECT_EQ(texts[2]->geometry(), QRect(20 + 81 + 68 + 21 + 4, 40, 60, 20));
}

TEST_F(ContainerTest, WithoutSpringWeightsTheRowPacksToTheLeft) {
  gkContainer_Layout(container);
  EXPECT_EQ(texts[1]->x(), 20 + 81);
  EXPECT_EQ(texts[2]->x(), 20 + 81 + 21);
}

TEST_F(ContainerTest, TooWideARowIsCutAtTheRightEdge) {
  texts[0]->resize(250, 20);
  texts[1]->resize(60, 20);
  texts[2]->resize(50, 20);
  gkContainer_Layout(container);
  EXPECT_EQ(texts[0]->geometry(), QRect(20, 40, 250, 20));
  EXPECT_EQ(texts[1]->geometry(), QRect(271, 40, 49, 20));  // cut at x 320
  EXPECT_EQ(texts[2]->width(), 50);                         // starts beyond: layout stopped
  EXPECT_EQ(texts[2]->x(), 0);
}

TEST_F(ContainerTest, RightPlacedColumnsFillFromTheRightEnd) {
  gkContainer_SetWidget(container, texts[2], 2, kGkPlaceFromRight);
  gkContainer_Layout(container);
  EXPECT_EQ(texts[2]->x(), 320 - 60);
}

TEST_F(ContainerTest, OutOfRangeIndicesAreRefusedWithTheirMessages) {
  TraceCapture trace;
  EXPECT_EQ(gkContainer_SetWidget(container, texts[0], 5, kGkPlaceFromLeft), 0);
  EXPECT_EQ(gkContainer_SetSpacing(container, 7, 4, 0), 0);
  EXPECT_EQ(gkContainer_SetSpring(container, 6, 100, 0), 0);
  EXPECT_EQ(trace.Text(),
            "gkContainer_SetWidget: index >= MAX_COLUMNS=5\n"
            "gkContainer_SetSpacing: index=7 >= MAX_COLUMNS=5\n"
            "gkContainer_SetSpring: index=6 >= MAX_SPRINGS=6\n");
  gkContainer_Layout(container);
  EXPECT_EQ(texts[0]->x(), 20);
}

TEST(DrawArea, ShowsItsBitmapThroughTheCutOrItsBackgroundColour) {
  Host host;
  QWidget* area = GkNewDrawArea(&host);
  area->setGeometry(0, 0, 20, 20);
  host.ShowActive();
  EXPECT_EQ(PixelOf(area, 5, 5), QColor(Qt::black));  // black from creation
  gkDrawArea_SetColor_Background(area, 1211, GkRgb(0, 255, 0));
  EXPECT_EQ(PixelOf(area, 5, 5), kGreen);
  gkDrawArea_SetGraphic(area, Halves(40, 20, kRed, kBlue));
  EXPECT_EQ(PixelOf(area, 5, 5), kRed);
  gkDrawArea_SetBitmapCutArea(area, 0, 20, 0, 20, 20);
  EXPECT_EQ(PixelOf(area, 5, 5), kBlue);
  area->resize(30, 30);  // size changes are ignored
  EXPECT_EQ(PixelOf(area, 5, 5), kBlue);
}

class PopupTest : public testing::Test {
 protected:
  void SetUp() override {
    CallbackLog().clear();
    popup = GkNewMenuPopUp(&host);
    popup->setGeometry(100, 20, 60, 20);
    host.ShowActive();
    gkMenuPopUp_SetBehavior(popup, 1171, Released);
    gkMenuPopUp_SetAlignment(popup, kGkMenuCenterAlign | kGkMenuVCenterAlign);
    gkMenuPopUp_AppendItem(popup, 40044, "&Preferences ...");
    gkMenuPopUp_AppendItem(popup, 40182, "&Full Screen");
    gkMenuPopUp_AppendItem(popup, 134, "Edit &Lyrics For This Song");
  }
  // While the menu is open: notes the look, then chooses the item at index.
  void ChooseWhenOpen(int index) {
    QTimer::singleShot(0, [this, index] {
      stateWhileOpen = gkMenuPopUp_GetState(popup);
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (!menu) return;
      menu->setActiveAction(menu->actions().at(index));
      QTest::keyClick(menu, Qt::Key_Return);
    });
  }
  static void Released(int32_t id) { CallbackLog().push_back(std::to_string(id)); }
  Host host{kMagenta};
  QWidget* popup = nullptr;
  int stateWhileOpen = -1;
};

TEST_F(PopupTest, ChosenCommandReachesTheOwnerWithEitherButton) {
  ChooseWhenOpen(1);
  Press(popup);
  EXPECT_EQ(stateWhileOpen, 0);  // down while its menu is open
  EXPECT_EQ(gkMenuPopUp_GetState(popup), 1);
  ChooseWhenOpen(2);
  Press(popup, QPoint(5, 5), Qt::RightButton);
  QCoreApplication::processEvents();
  EXPECT_EQ(host.commands, (std::vector<int>{40182, 134}));
}

TEST_F(PopupTest, ReleaseCallsBackAndFocusLossComesUp) {
  gkMenuPopUp_SetState(popup, 0);
  Release(popup);
  EXPECT_EQ(gkMenuPopUp_GetState(popup), 1);
  EXPECT_EQ(CallbackLog(), (std::vector<std::string>{"1171"}));

  QWidget other(&host);
  other.setFocusPolicy(Qt::StrongFocus);
  other.show();
  popup->setFocus();
  gkMenuPopUp_SetState(popup, 0);
  other.setFocus();
  EXPECT_EQ(gkMenuPopUp_GetState(popup), 1);
}

TEST_F(PopupTest, ItemsCanBeInsertedChangedReadAndRemoved) {
  gkMenuPopUp_InsertItem(popup, 0, 40005, "About Sorn Karaoke ...");
  gkMenuPopUp_ModifyItem(popup, 2, 40183, "&Window");
  gkMenuPopUp_RemoveItem(popup, 3);
  char text[kGkMenuItemTextMax];
  EXPECT_EQ(gkMenuPopUp_GetItemString(popup, 0, text), 22);
  EXPECT_STREQ(text, "About Sorn Karaoke ...");
  GkMenuItemInfo info;
  ASSERT_EQ(gkMenuPopUp_GetItemInfo(popup, 2, &info), 1);
  EXPECT_EQ(info.commandId, 40183);
  EXPECT_STREQ(info.text, "&Window");
  EXPECT_EQ(gkMenuPopUp_GetMenu(popup)->actions().size(), 3);
  EXPECT_EQ(gkMenuPopUp_GetItemInfo(popup, 3, &info), 0);
}

TEST_F(PopupTest, NullMenuIsRefusedAndAClickThenOpensNothing) {
  TraceCapture trace;
  EXPECT_EQ(gkMenuPopUp_SetMenu(popup, nullptr), 0);
  EXPECT_EQ(trace.Text(), "gkMenuPopUp_SetMenu: hMenu=NULL\n");
  EXPECT_EQ(gkMenuPopUp_GetMenu(popup), nullptr);
  Click(popup);  // returns at once
  EXPECT_TRUE(host.commands.empty());
  ASSERT_NE(gkMenuPopUp_NewMenu(popup), nullptr);
  Click(popup);  // an empty menu: nothing to track
}

TEST_F(PopupTest, AHandedSubmenuIsDestroyedExactlyOnceWhicheverGoesFirst) {
  auto main = std::make_unique<QMenu>();
  QMenu* options = main->addMenu("&Options");
  gkMenuPopUp_SetMenu(popup, options);
  main.reset();  // the main menu goes first, taking its submenu
  EXPECT_EQ(gkMenuPopUp_GetMenu(popup), nullptr);

  auto other = std::make_unique<QMenu>();
  QMenu* help = other->addMenu("&Help");
  gkMenuPopUp_SetMenu(popup, help);
  delete popup;  // the widget goes first
  EXPECT_TRUE(other->findChildren<QMenu*>().isEmpty());
}

TEST_F(PopupTest, PaintsTheSlotOfItsStateOrNothing) {
  QPixmap looks[2] = {QPixmap(), Solid(60, 20, kGreen)};
  gkMenuPopUp_SetGraphics(popup, looks, 2);
  EXPECT_EQ(host.grab().toImage().pixelColor(110, 30), kGreen);
  gkMenuPopUp_SetState(popup, 0);  // pressed: no graphic, the panel shows
  EXPECT_EQ(host.grab().toImage().pixelColor(110, 30), kMagenta);
  gkMenuPopUp_SetState(popup, 5);
  popup->resize(50, 20);  // a size change clears the graphics
  EXPECT_EQ(host.grab().toImage().pixelColor(110, 30), kMagenta);
}

}  // namespace
