// sorn-gallery: every widget class configured with the skin, on two copies of the main
// window's panel (one showing the microphone effects, one the lyrics), alive on a periodic
// timer. "--screenshot FILE" saves the window after "--after MS" (default 3000) and quits.
#include <QApplication>
#include <QPainter>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "diagnostics/diagnostics.h"
#include "resources/skin/skin.h"
#include "tools/gallery/gallery_panel.h"
#include "widgets/framework.h"

namespace {

constexpr int kMargin = 16;
constexpr int kCaption = 26;

// The dark table the two panels lie on, with a caption over each.
class Backdrop : public QWidget {
 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    QLinearGradient fill(0, 0, 0, height());
    fill.setColorAt(0, QColor(26, 29, 34));
    fill.setColorAt(1, QColor(10, 11, 13));
    p.fillRect(rect(), fill);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    font.setBold(true);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    p.setFont(font);
    p.setPen(QColor(140, 150, 160));
    const char* captions[2] = {"PLAYING  \u00b7  MICROPHONE EFFECTS", "PAUSED  \u00b7  LYRICS"};
    for (int i = 0; i < 2; ++i) {
      p.drawText(QRect(kMargin + i * (800 + kMargin), 4, 800, kCaption - 4),
                 Qt::AlignLeft | Qt::AlignVCenter, captions[i]);
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  const char* screenshot = nullptr;
  int after = 3000;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc) {
      screenshot = argv[++i];
    } else if (std::strcmp(argv[i], "--after") == 0 && i + 1 < argc) {
      after = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: sorn-gallery [--screenshot FILE] [--after MS]\n");
      return 2;
    }
  }
  QApplication application(argc, argv);
  InitSkinResources();
  gkRegisterClasses(&application);

  Backdrop window;
  window.setWindowTitle("Sorn Karaoke: skin and widgets");
  window.setFixedSize(2 * 800 + 3 * kMargin, 600 + kCaption + kMargin);
  GalleryPanelSetup playing;
  GalleryPanelSetup paused;
  paused.lyricsInFront = true;
  paused.playing = false;
  paused.seconds = 151;
  paused.effect = -1;
  GalleryPanel left(&window, playing);
  GalleryPanel right(&window, paused);
  if (!left.Ok() || !right.Ok()) {
    Trace("sorn-gallery: the panel template did not load\n");
    return 1;
  }
  left.Panel()->move(kMargin, kCaption);
  right.Panel()->move(2 * kMargin + 800, kCaption);
  window.show();

  int result = 0;
  if (screenshot) {
    QTimer::singleShot(after, &window, [&window, screenshot, &result] {
      if (!window.grab().save(screenshot)) {
        Trace("sorn-gallery: could not write '%s'\n", screenshot);
        result = 1;
      }
      QApplication::quit();
    });
  }
  const int code = application.exec();
  gkUnregisterClasses(&application);
  return result ? result : code;
}
