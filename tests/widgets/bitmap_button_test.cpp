// Bitmap button: press and release sequences with the look each callback sees, toggle
// clicks, focus loss, graphics counts and auto-repeat on the timer thread.
#include <gtest/gtest.h>

#include <QThread>
#include <atomic>
#include <chrono>
#include <thread>

#include "tests/support/trace_capture.h"
#include "tests/widgets/widget_test_support.h"
#include "widgets/bitmap_button.h"

namespace {

QWidget* current = nullptr;

// Each callback notes its name and the look the button shows at that moment.
std::string Look() {
  const QColor c = PixelOf(current, 4, 4);
  return c == kRed ? "down" : c == kGreen ? "up" : "other";
}
void PrePress(int32_t id) {
  CallbackLog().push_back("prePress " + std::to_string(id) + " " + Look());
}
void PostPress(int32_t id) {
  CallbackLog().push_back("postPress " + std::to_string(id) + " " + Look());
}
void PreRelease(int32_t) {
  CallbackLog().push_back("preRelease " + Look());
}
void PostRelease(int32_t) {
  CallbackLog().push_back("postRelease " + Look());
}

// Auto-repeat: ticks come from the timer thread but the callback runs on the window thread.
std::atomic<int> repeats{0};
std::atomic<bool> offWindowThread{false};
void Repeat(int32_t) {
  ++repeats;
  if (QThread::currentThread() != qApp->thread()) offWindowThread = true;
}

class ButtonTest : public testing::Test {
 protected:
  void SetUp() override {
    CallbackLog().clear();
    button = GkNewBitmapButton(&host);
    button->setGeometry(10, 10, 20, 20);
    other = GkNewBitmapButton(&host);
    other->setGeometry(50, 10, 20, 20);
    host.ShowActive();
    QPixmap looks[2] = {Solid(20, 20, kRed), Solid(20, 20, kGreen)};
    gkButton_SetGraphics(button, looks, 2);
    current = button;
  }
  // A push button whose press callback repeats every interval ms, pressed.
  void PressRepeating(int id, int interval) {
    repeats = 0;
    gkButton_SetBehavior(button, id, kGkButtonPush, Repeat, nullptr);
    gkButton_SetScrollInterval(button, interval);
    Press(button);
  }
  void Configure(int behavior) {
    gkButton_SetBehavior(button, 1007, behavior, PostPress, PostRelease);
    gkButton_SetCallbacksPrePixUpdate(button, PrePress, PreRelease);
  }
  Host host;
  QWidget* button = nullptr;
  QWidget* other = nullptr;
};

TEST_F(ButtonTest, PushButtonCallsBackAroundEachNewLook) {
  Configure(kGkButtonPush);
  Press(button);
  EXPECT_EQ(gkButton_GetState(button), 0);
  Release(button);
  EXPECT_EQ(gkButton_GetState(button), 1);
  EXPECT_EQ(CallbackLog(), (std::vector<std::string>{"prePress 1007 up", "postPress 1007 down",
                                                     "preRelease down", "postRelease up"}));
}

void Note(int32_t id) {
  CallbackLog().push_back(std::to_string(id));
}

TEST_F(ButtonTest, ToggleGoesDownAtTheFirstPressAndUpAtTheSecondRelease) {
  gkButton_SetBehavior(button, 1005, kGkButtonToggle, Note, Note);
  gkButton_SetCallbacksPrePixUpdate(button, Note, Note);
  PaintCounter counter;
  button->installEventFilter(&counter);

  Press(button);
  EXPECT_EQ(gkButton_GetState(button), 0);
  EXPECT_EQ(counter.paints, 1);  // down at once
  Release(button);
  EXPECT_EQ(gkButton_GetState(button), 0);

  counter.paints = 0;
  Press(button);
  EXPECT_EQ(gkButton_GetState(button), 1);
  EXPECT_EQ(counter.paints, 0);  // off, but still drawn down
  Release(button);
  EXPECT_EQ(counter.paints, 1);  // the up look appears at the release
  EXPECT_EQ(PixelOf(button, 4, 4), kGreen);
  EXPECT_EQ(CallbackLog().size(), 8u);  // both callbacks, before and after, on both clicks
  button->removeEventFilter(&counter);
}

TEST_F(ButtonTest, FocusLossReleasesAHeldPushButtonAndItsReleaseIsThenIgnored) {
  Configure(kGkButtonPush);
  Press(button);
  ASSERT_EQ(gkButton_GetState(button), 0);
  other->setFocus(Qt::OtherFocusReason);
  EXPECT_EQ(gkButton_GetState(button), 1);
  EXPECT_EQ(PixelOf(button, 4, 4), kGreen);
  Release(button);  // focus flag clear: nothing happens at all
  EXPECT_EQ(CallbackLog(), (std::vector<std::string>{"prePress 1007 up", "postPress 1007 down"}));
}

TEST_F(ButtonTest, ToggleKeepsItsStateWhenTheFocusGoes) {
  Configure(kGkButtonToggle);
  Click(button);
  other->setFocus(Qt::OtherFocusReason);
  EXPECT_EQ(gkButton_GetState(button), 0);
}

TEST_F(ButtonTest, ReleaseOutsideTheButtonLeavesAPushButtonDown) {
  Configure(kGkButtonPush);
  Press(button);
  Release(button, QPoint(30, 30));
  EXPECT_EQ(gkButton_GetState(button), 0);
  EXPECT_EQ(CallbackLog().size(), 2u);
}

TEST_F(ButtonTest, GraphicsBeyondFourAreIgnoredButTheCountIsKept) {
  QPixmap six[6] = {Solid(2, 2, kRed), Solid(2, 2, kGreen), Solid(2, 2, kBlue),
                    Solid(2, 2, kRed), Solid(2, 2, kGreen), Solid(2, 2, kBlue)};
  gkButton_SetGraphics(button, six, 6);
  int count = 0;
  const QPixmap* held = gkButton_GetGraphics(button, &count);
  EXPECT_EQ(count, 6);
  for (int i = 0; i < kGkButtonSlots; ++i) EXPECT_FALSE(held[i].isNull()) << i;
}

TEST_F(ButtonTest, UpSlotWithOwnPositionCutShowsTheBackgroundBeneath) {
  QPixmap background = Halves(40, 40, kBlue, kGreen);  // blue left of x 20
  QPixmap looks[2] = {Solid(20, 20, kRed), background};
  gkButton_SetGraphics(button, looks, 2);
  gkButton_SetBitmapCutAreaSelf(button, 1);  // at (10, 10): blue up to x 20, then green
  const QImage shot = button->grab().toImage();
  EXPECT_EQ(shot.pixelColor(2, 2), kBlue);
  EXPECT_EQ(shot.pixelColor(19, 19), kGreen);
}

TEST_F(ButtonTest, AutoRepeatCallsThePressCallbackOnTheWindowThreadUntilRelease) {
  offWindowThread = false;
  PressRepeating(1014, 10);
  EXPECT_EQ(repeats.load(), 1);
  EXPECT_TRUE(gkButton_IsRepeating(button));
  QTRY_VERIFY_WITH_TIMEOUT(repeats.load() >= 4, 5000);
  // The window thread is busy for a few ticks: they wait in its queue.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  Release(button);
  EXPECT_FALSE(gkButton_IsRepeating(button)) << "the timer thread has ended";
  const int atRelease = repeats.load();
  QCoreApplication::sendPostedEvents();  // ticks posted before the release are stale
  EXPECT_EQ(repeats.load(), atRelease);
  EXPECT_FALSE(offWindowThread.load());
}

TEST_F(ButtonTest, ReleaseOutsideStopsTheRepeat) {
  PressRepeating(1014, 10);
  Release(button, QPoint(40, 40));
  EXPECT_FALSE(gkButton_IsRepeating(button));
  EXPECT_EQ(gkButton_GetState(button), 0);
}

TEST_F(ButtonTest, DestroyingARepeatingButtonStopsItsTimerFirst) {
  PressRepeating(1013, 5);
  QTRY_VERIFY_WITH_TIMEOUT(repeats.load() >= 2, 5000);
  std::this_thread::sleep_for(std::chrono::milliseconds(15));  // ticks wait in the queue
  delete button;
  button = nullptr;
  const int atDestruction = repeats.load();
  QCoreApplication::sendPostedEvents();  // ticks already posted are dropped with the window
  EXPECT_EQ(repeats.load(), atDestruction);
}

TEST_F(ButtonTest, ResizeStopsTheRepeatItWouldOtherwiseLoseTrackOf) {
  PressRepeating(1014, 5);
  std::this_thread::sleep_for(std::chrono::milliseconds(15));  // ticks wait in the queue
  button->resize(22, 20);
  EXPECT_FALSE(gkButton_IsRepeating(button));
  const int afterReset = repeats.load();
  QCoreApplication::sendPostedEvents();  // and are stale once the repeat has stopped
  EXPECT_EQ(repeats.load(), afterReset);
}

TEST_F(ButtonTest, SetStateRepaintsAtOnceAndNamesAreCut) {
  gkButton_SetState(button, 0);
  EXPECT_EQ(PixelOf(button, 4, 4), kRed);
  const std::string longName(150, 'x');
  gkButton_SetName(button, longName.c_str());
  EXPECT_EQ(std::string(gkButton_GetName(button)).size(), 99u);
}

}  // namespace
