// sorn-karaoke: the windowed program.
#include <QApplication>
#include <QMainWindow>
#include <QPixmap>
#include <QTimer>
#include <cstdlib>

#include "app/processor_log.h"
#include "diagnostics/diagnostics.h"
#include "settings/settings.h"

namespace {

// Headless runs (the demo script without a display) set SORN_QUIT_AFTER_MS and
// SORN_SCREENSHOT: the window is grabbed into that file and the program ends.
void ArrangeHeadlessExit(QWidget& window) {
  const char* after = std::getenv("SORN_QUIT_AFTER_MS");
  if (!after || !*after) return;
  QTimer::singleShot(std::atoi(after), &window, [&window] {
    if (const char* shot = std::getenv("SORN_SCREENSHOT"); shot && *shot) {
      if (!window.grab().save(shot)) Trace("main: could not write screenshot '%s'\n", shot);
    }
    QApplication::quit();
  });
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  LoadSettings();
  IdentifyProcessor();

  QMainWindow window;
  window.setWindowTitle("Sorn Karaoke");
  window.resize(800, 600);
  window.show();
  ArrangeHeadlessExit(window);
  const int result = application.exec();

  SaveSettings();
  return result;
}
