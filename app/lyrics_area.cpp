#include "app/lyrics_area.h"

#include <QGraphicsView>
#include <QPointer>
#include <QScreen>
#include <QTimer>

#include "app/app_state.h"
#include "app/cdg_view.h"
#include "app/cdplayer_panel.h"
#include "app/display_modes.h"
#include "app/main_window.h"
#include "app/synced_lyrics_view.h"
#include "audio/streaming.h"
#include "cd/cdg_stream.h"
#include "cd/player.h"
#include "widgets/framework.h"

namespace {

constexpr int kGraphicsPeriodMs = 10;
constexpr int kSyncedPeriodMs = 50;
constexpr int kWatchPeriodMs = 100;

struct LyricsArea {
  QPointer<QWidget> panel;
  QPointer<QTimer> timer;
  QPointer<CdgView> view;        // in the lyrics view, over the text pane
  QPointer<CdgView> fullScreen;  // a window over the whole screen
  bool lyricsShown = false;
  bool graphicsInLyrics = false;
  ListenerPositionSource source = nullptr;
};

LyricsArea area;

int64_t ListenerPosition() {
  return area.source ? area.source() : CdPositionHeardMs();
}

// Synced lyrics follow the play; a stopped disc starts its track from the beginning.
int64_t SyncedPosition() {
  const int state = player.cdState.load();
  return state == CD_PLAY || state == CD_PAUSE ? ListenerPosition() : 0;
}

// The area's timer and graphics view belong to the panel; a new panel gets new ones.
QWidget* Panel() {
  QWidget* panel = CdPlayerPanel();
  if (!panel) return nullptr;
  if (area.panel == panel) return panel;
  area.panel = panel;
  area.graphicsInLyrics = false;
  area.timer = new QTimer(panel);
  area.timer->setTimerType(Qt::PreciseTimer);
  area.timer->setInterval(kWatchPeriodMs);
  QObject::connect(area.timer, &QTimer::timeout, [] { FollowLyricsArea(); });
  area.timer->start();
  area.view = new CdgView(panel);
  area.view->hide();
  QObject::connect(panel, &QObject::destroyed, [] { delete area.fullScreen.data(); });
  return panel;
}

CdgView* FullScreenView() {
  if (area.fullScreen) return area.fullScreen;
  auto* view = new CdgView(nullptr, Qt::Window | Qt::FramelessWindowHint);
  view->setWindowTitle("Sorn Karaoke");
  view->setFocusPolicy(Qt::StrongFocus);
  view->SetInputHandlers(
      [](int key) {
        if (app.mainWindow) app.mainWindow->HandleKey(key);
      },
      [] {
        FullScreenModeCommand();
        FollowLyricsArea();
      });
  area.fullScreen = view;
  return view;
}

// The graphics over the whole screen the panel is on, or away.
void ShowFullScreenGraphics(bool show, int64_t position) {
  if (!show) {
    if (!area.fullScreen || !area.fullScreen->isVisible()) return;
    area.fullScreen->hide();
    // The keyboard goes back to the panel.
    if (app.mainWindow) {
      QWidget* panelWindow = app.mainWindow->ScaledView()
                                 ? static_cast<QWidget*>(app.mainWindow->ScaledView())
                                 : app.mainWindow;
      if (panelWindow->isVisible()) panelWindow->activateWindow();
    }
    return;
  }
  CdgView* view = FullScreenView();
  if (!view->isVisible()) {
    if (QScreen* screen = area.panel->screen()) view->setGeometry(screen->geometry());
    view->showFullScreen();
    view->raise();
    view->activateWindow();
  }
  view->Follow(position);
}

// The graphics in place of the lyrics text, or the text back.
void ShowGraphicsInLyrics(bool show, QWidget* pane) {
  if (show == area.graphicsInLyrics) return;
  area.graphicsInLyrics = show;
  if (show) {
    pane->hide();
    area.view->setGeometry(pane->geometry());
    area.view->show();
    area.view->raise();
  } else {
    area.view->hide();
    if (area.lyricsShown) pane->show();
  }
}

}  // namespace

void ShowLyricsText(QWidget* pane, const QString& text) {
  ShowSectionInPane(pane, text, SyncedPosition());
  FollowLyricsArea();
}

void LyricsAreaShown(bool shown) {
  area.lyricsShown = shown;
  if (!shown && area.view) {
    area.view->hide();
    area.graphicsInLyrics = false;
  }
  FollowLyricsArea();
}

void SetListenerPositionSource(ListenerPositionSource source) {
  area.source = source;
}

void FollowLyricsArea() {
  QWidget* panel = Panel();
  if (!panel) return;
  QWidget* pane = GkGetDlgItem(panel, kIdLyricsText);
  if (!pane) return;
  const int state = player.cdState.load();
  const bool playing = state == CD_PLAY;
  const bool graphics =
      (state == CD_PLAY || state == CD_PAUSE || state == CD_STOP) && CurrentTrackHasCdg();
  const int64_t position = ListenerPosition();

  ShowGraphicsInLyrics(graphics && area.lyricsShown, pane);
  if (area.graphicsInLyrics) {
    area.view->setGeometry(pane->geometry());  // the pane's size follows the panel's state
    area.view->Follow(position);
  }
  ShowFullScreenGraphics(graphics && screenModes.fullScreenMode, position);
  const bool synced = !area.graphicsInLyrics && area.lyricsShown && PaneShowsSyncedLyrics(pane);
  if (synced) HighlightSungLine(pane, SyncedPosition());

  int period = kWatchPeriodMs;
  if (playing && (area.graphicsInLyrics || (area.fullScreen && area.fullScreen->isVisible())))
    period = kGraphicsPeriodMs;
  else if (playing && synced)
    period = kSyncedPeriodMs;
  if (area.timer && area.timer->interval() != period) area.timer->setInterval(period);
}

CdgView* LyricsCdgView() {
  return area.view;
}

CdgView* FullScreenCdgView() {
  return area.fullScreen;
}
