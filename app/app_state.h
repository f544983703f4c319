// The program's own globals: the instance, the main window, the splash, the figures start-up
// records, and the shutdown counters.
#pragma once

#include <QApplication>
#include <QPointer>
#include <QRect>
#include <atomic>

class MainWindow;

struct AppState {
  QApplication* instance = nullptr;
  MainWindow* mainWindow = nullptr;
  QPointer<QWidget> splash;
  QRect windowRect;  // at creation
  int windowWidth = 0;
  int windowHeight = 0;
  int screenWidth = 0;
  int screenHeight = 0;
  int screenBitDepth = 0;
  // AppCleanThePipes: calls so far, and clean-ups completed.
  std::atomic<int> cleanCalls{0};
  std::atomic<int> cleanDone{0};
};

extern AppState app;

// Start-up trace: "WinMain: <step>\n" for each step when SORN_TRACE_STARTUP=1.
void TraceStartupStep(const char* step);
