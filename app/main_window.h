// The main window (class "KARAOKE"): it hosts the CD player panel and is the procedure every
// message of the program reaches: window timers 1, 2 and 207, the stream's position message
// (id 10) and its other messages, the level-meter tick (102), mixer changes, the CD device's
// notification, commands from the panel's menus, and the keyboard map of the whole panel
// (keys pressed on the window itself and keys the panel's widgets forward).
//
// Other threads reach it only through PostAppMessage (a queued event); everything here runs
// on the window thread.
#pragma once

#include <QBasicTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <map>

#include "app/display_modes.h"

class QGraphicsView;

inline constexpr int kTimerCdPoll = 1;    // CdTimerHandler
inline constexpr int kTimerPosition = 2;  // OutputCurPos
inline constexpr int kTimerSplash = 207;  // SplashScreenShutdownProc
inline constexpr int kMsgLevelMeterTick = 102;
inline constexpr int kSpaceStopWindowMs = 500;

enum AppMessage : int {
  kAppMsgTimer = 1,        // param: a timer id (the stream's 10 comes this way)
  kAppMsgUser = 2,         // param: the application message (102)
  kAppMsgMixerChange = 3,  // param: the control id
  kAppMsgMciNotify = 4,    // param: the notification code
};

class MainWindow : public QWidget, public FullScreenWindow {
 public:
  MainWindow();
  ~MainWindow() override;

  QWidget* Panel() const { return panel_; }
  void SetPanel(QWidget* panel);

  // Window timers by our ids; a callback replaces the procedure's own handling of that id.
  bool SetWindowTimer(int id, int periodMs, std::function<void()> callback = nullptr);
  // False when the timer was not set.
  bool KillWindowTimer(int id);
  bool WindowTimerSet(int id) const;

  // The keyboard map (Qt key codes).
  void HandleKey(int key);
  // One message as the procedure handles it (posted messages arrive here).
  void HandleAppMessage(int message, int param);

  // FullScreenWindow.
  void MoveToOrigin() override;
  void RestoreGeometry(const QRect& normal) override;
  bool EnterScaledFullScreen() override;
  void LeaveScaledFullScreen() override;
  void SetFullScreenCheck(bool checked) override;
  bool FullScreenChecked() const { return fullScreenChecked_; }
  QGraphicsView* ScaledView() const { return scaledView_; }

  // Brings the window back from anywhere (a second start asks for it).
  void Restore();

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void OnTimer(int id);
  void KeySpace();

  struct WindowTimer {
    QBasicTimer timer;
    std::function<void()> callback;
  };
  QWidget* panel_ = nullptr;
  std::map<int, WindowTimer> timers_;
  bool fullScreenChecked_ = false;
  QGraphicsView* scaledView_ = nullptr;
  int64_t pauseTimeMs_ = -1;  // when Space paused; -1 when none is remembered
};

// Thread-safe: queues a message for the window (dropped when it is gone).
void PostAppMessage(MainWindow* window, int message, int param);
// Ends the message loop with code once it runs (safe before the loop starts, and inside a
// box's own loop). Only the first quit counts.
void PostQuitMessage(int code);
// Whether a quit was posted, and its code.
bool QuitPosted(int* code);
// Whether the quit reached a loop already (then the main loop must not start).
bool QuitDelivered();
// Forgets a posted quit (tests that run the loop again).
void ResetQuitMessage();
// The clock the Space key's 500 ms rule reads, in milliseconds (tests inject one).
void SetKeyboardClock(std::function<int64_t()> nowMs);
// The command handler: menu commands and control notifications of the main window.
void AppCommand(MainWindow* window, int id, QWidget* control, int code);
