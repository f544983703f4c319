// sorn-skingen OUTDIR: draws the skin into OUTDIR as PNG files at 1x and 2x ("name.png" and
// "name@2x.png"), with skin.qrc listing them and cdplayer.ui, the main window's template laid
// out on the skin. The build runs it and compiles the result into the program.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTextStream>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <utility>
#include <vector>

#include "resources/skin/skin_layout.h"
#include "tools/skingen/skin_art.h"

namespace {

using Draw = std::function<void(QPainter&)>;

struct Generator {
  QDir out;
  int scale = 1;
  QImage background;
  std::vector<QString> names;  // in the order written, 1x names only
  bool ok = true;

  void Save(const QString& name, const QImage& image) {
    const QString file = name + (scale == 2 ? "@2x" : "") + ".png";
    if (!image.convertToFormat(QImage::Format_RGB32).save(out.filePath(file), "PNG")) {
      std::fprintf(stderr, "sorn-skingen: cannot write %s\n", qPrintable(out.filePath(file)));
      ok = false;
    }
    if (scale == 1) names.push_back(name);
  }

  QImage Canvas(QSizeF size) const {
    QImage image(qRound(size.width() * scale), qRound(size.height() * scale),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    return image;
  }

  void PaintOn(QImage& image, const Draw& draw) const {
    QPainter p(&image);
    p.scale(scale, scale);
    draw(p);
  }

  // A standalone bitmap of its own size.
  void Standalone(const QString& name, QSizeF size, const Draw& draw) {
    QImage image = Canvas(size);
    PaintOn(image, draw);
    Save(name, image);
  }

  // A piece of the background with a control drawn over it in another look.
  void Cut(const QString& name, const SkinRect& r, const Draw& draw) {
    QImage image = background.copy(r.x * scale, r.y * scale, r.width * scale, r.height * scale);
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    PaintOn(image, [&](QPainter& p) {
      p.translate(-r.x, -r.y);
      if (draw) draw(p);
    });
    Save(name, image);
  }

  SkinRect Of(int id) const { return FindSkinControl(id)->rect; }

  void Run() {
    using skin::Look;
    background = Canvas(QSizeF(kSkinWidth, kSkinHeight));
    PaintOn(background, skin::PaintBackgroundBase);
    skin::AddBrushedTexture(background, 325);
    PaintOn(background, skin::PaintBackgroundDetails);
    Save(QString::number(kSkinBackgroundId), background);

    // Time display and position slider.
    const QSizeF digit(20, 32), narrow(10, 32);
    for (int d = 0; d < 10; ++d) {
      Standalone(QString("IDB_BITMAP_DIGIT_%1").arg(d), digit, [d, digit](QPainter& p) {
        skin::PaintTimeCell(p, skin::Segment::kDigit, d, digit);
      });
    }
    Standalone("IDB_BITMAP_DIGIT_COLON", narrow,
               [narrow](QPainter& p) { skin::PaintTimeCell(p, skin::Segment::kColon, 0, narrow); });
    Standalone("IDB_BITMAP_DIGIT_BLANK", digit,
               [digit](QPainter& p) { skin::PaintTimeCell(p, skin::Segment::kBlank, 0, digit); });
    Standalone("IDB_BITMAP_DIGIT_LEFTEND", narrow, [narrow](QPainter& p) {
      skin::PaintTimeCell(p, skin::Segment::kLeftEnd, 0, narrow);
    });
    Standalone("IDB_BITMAP_DIGIT_RIGHTEND", narrow, [narrow](QPainter& p) {
      skin::PaintTimeCell(p, skin::Segment::kRightEnd, 0, narrow);
    });
    Cut("IDB_BITMAP_SLIDER_TIME_TROUGH", Of(1185), nullptr);
    Standalone("IDB_BITMAP_SLIDER_TIME_CAP", QSizeF(20, 32),
               [](QPainter& p) { skin::PaintTimeCap(p, QSizeF(20, 32)); });

    // Volume faders and the variation slider.
    Cut("IDB_BITMAP_SLIDER_CD_VOLUME_TROUGH", Of(1065), nullptr);
    Cut("IDB_BITMAP_SLIDER_MIC_VOLUME_TROUGH", Of(1067), nullptr);
    const QSizeF fader(30, 20);
    Standalone("IDB_BITMAP_SLIDER_CD_VOLUME_CAP", fader,
               [fader](QPainter& p) { skin::PaintFaderCap(p, fader, true); });
    Standalone("IDB_BITMAP_SLIDER_MIC_VOLUME_CAP", fader,
               [fader](QPainter& p) { skin::PaintFaderCap(p, fader, true); });
    Cut("IDB_BITMAP_SLIDER_MICFX_VARIATION_TROUGH", Of(1076), nullptr);
    Standalone("IDB_BITMAP_SLIDER_MICFX_VARIATION_CAP", QSizeF(24, 32),
               [](QPainter& p) { skin::PaintFaderCap(p, QSizeF(24, 32), false); });

    // Level meters: pictures of the whole meter inside its one-pixel frame.
    const SkinRect left = Of(1292);
    const QSizeF meter(left.width - 2, left.height - 2);
    for (bool voice : {false, true}) {
      for (bool on : {false, true}) {
        Standalone(
            QString("IDB_BITMAP_VUMETER_%1_%2").arg(voice ? "RIGHT" : "LEFT", on ? "ON" : "OFF"),
            meter, [=](QPainter& p) { skin::PaintMeter(p, meter, on, voice); });
      }
    }

    // Ring lights.
    for (int i = 0; i < 24; ++i) {
      const QString base = QString("IDB_BITMAP_RING_LED_%1").arg(i, 2, 10, QChar('0'));
      Cut(base + "_OFF", RingLightRect(i), nullptr);
      Cut(base + "_ON", RingLightRect(i), [i](QPainter& p) { skin::PaintRingLight(p, i, true); });
    }

    // Transport and switches.
    const struct {
      int id;
      const char* name;
    } transport[] = {{1007, "PLAY"}, {1008, "STOP"}, {1013, "PREVIOUSTRACK"}, {1014, "NEXTTRACK"}};
    for (const auto& t : transport) {
      Cut(QString("IDB_BITMAP_BUTTON_%1_DOWN").arg(t.name), Of(t.id),
          [&t](QPainter& p) { skin::PaintTransportButton(p, t.id, Look::kDown); });
    }
    Cut("IDB_BITMAP_BUTTON_REDUCEVOCAL_DOWN", Of(1005),
        [](QPainter& p) { skin::PaintSwitch(p, 1005, Look::kDown); });
    Cut("IDB_BITMAP_BUTTON_VOICERECORD_DOWN", Of(1029),
        [](QPainter& p) { skin::PaintSwitch(p, 1029, Look::kDown); });
    Cut("IDB_BITMAP_BUTTON_VOICEPLAY_DOWN", Of(1031),
        [](QPainter& p) { skin::PaintSwitch(p, 1031, Look::kDown); });
    Cut("IDB_BITMAP_BUTTON_VOICEPLAY_DISABLED_DOWN", Of(1031),
        [](QPainter& p) { skin::PaintSwitch(p, 1031, Look::kDisabledDown); });
    Cut("IDB_BITMAP_BUTTON_VOICEPLAY_DISABLED_UP", Of(1031),
        [](QPainter& p) { skin::PaintSwitch(p, 1031, Look::kDisabledUp); });
    for (Look look : {Look::kDown, Look::kUp}) {
      const QString suffix = look == Look::kDown ? "_DOWN" : "_UP";
      Cut("IDB_BITMAP_BUTTON_DOWNLOADCDINFO" + suffix, Of(1040), [look, this](QPainter& p) {
        const SkinRect r = Of(1040);
        skin::PaintDownloadButton(p, QRectF(r.x, r.y, r.width, r.height), look);
      });
      const struct {
        int id;
        const char* name;
      } window[] = {{1028, "MINIMIZE"}, {1296, "MAXIMIZE"}, {1030, "CLOSE"}};
      for (const auto& w : window) {
        Cut(QString("IDB_BITMAP_BUTTON_WINDOW_%1").arg(w.name) + suffix, Of(w.id),
            [&w, look](QPainter& p) { skin::PaintWindowButton(p, w.id, look); });
      }
    }
    Cut("IDB_BITMAP_LAYER_TABS_TOP_LYRICS", Of(1166),
        [](QPainter& p) { skin::PaintTabs(p, true); });

    // Microphone panel.
    for (int i = 0; i < 8; ++i) {
      Cut(QString("IDB_BITMAP_BUTTON_MICFX_VOICEFX%1_DOWN").arg(i), Of(1041 + i),
          [i](QPainter& p) { skin::PaintFxTile(p, i, Look::kDown); });
    }

    // Lyrics panel.
    const struct {
      int id;
      const char* name;
      const char* text;
    } lyrics[] = {{1309, "EDIT", "EDIT LYRICS"},
                  {1303, "THISTRACK", "THIS TRACK"},
                  {1304, "ALLTRACKS", "ALL TRACKS"},
                  {1307, "CANCEL", "CANCEL"}};
    for (const auto& b : lyrics) {
      const SkinRect r = Of(b.id);
      const QSizeF size(r.width, r.height);
      for (Look look : {Look::kDown, Look::kUp}) {
        Standalone(QString("IDB_BITMAP_BUTTON_LYRICS_%1_%2")
                       .arg(b.name, look == Look::kDown ? "DOWN" : "UP"),
                   size, [&b, size, look](QPainter& p) {
                     skin::PaintLyricsButton(p, size, b.text, look);
                   });
      }
    }
    const SkinRect line = Of(1305);
    Standalone("IDB_BITMAP_LYRICS_LINE", QSizeF(line.width, line.height),
               [line](QPainter& p) { skin::PaintLyricsLine(p, QSizeF(line.width, line.height)); });
    const SkinRect logo = Of(1310);
    Standalone("IDB_BITMAP_LYRICS_CDDB_LOGO", QSizeF(logo.width, logo.height),
               [logo](QPainter& p) { skin::PaintDiscBadge(p, QSizeF(logo.width, logo.height)); });

    // Splash: the picture (bitmap 271) and the badge (bitmap 332).
    Standalone("271", QSizeF(432, 288),
               [](QPainter& p) { skin::PaintSplash(p, QSizeF(432, 288)); });
    Standalone("332", QSizeF(58, 75),
               [](QPainter& p) { skin::PaintSplashBadge(p, QSizeF(58, 75)); });

    // The program's icons: large (273) and small (277).
    for (const auto& [name, side] : {std::pair{"273", 32}, std::pair{"277", 16}}) {
      const QSizeF size(side, side);
      Standalone(name, size, [size](QPainter& p) { skin::PaintAppIcon(p, size); });
    }
  }
};

// The main window's template: every control at its place on the skin, less the panel's nudge.
bool WriteTemplate(const QDir& out) {
  QFile file(out.filePath("cdplayer.ui"));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  QTextStream ui(&file);
  auto widget = [&ui](const char* className, const QString& name, int id, SkinRect r, bool hidden) {
    const SkinNudge n = FindSkinNudge(id);
    ui << "  <widget class=\"" << className << "\" name=\"" << name << "\">\n"
       << "   <property name=\"geometry\"><rect><x>" << r.x - n.dx << "</x><y>" << r.y - n.dy
       << "</y><width>" << r.width << "</width><height>" << r.height
       << "</height></rect></property>\n"
       << "   <property name=\"controlId\"><number>" << id << "</number></property>\n";
    if (hidden) ui << "   <property name=\"visible\"><bool>false</bool></property>\n";
    ui << "  </widget>\n";
  };
  ui << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ui version=\"4.0\">\n"
     << " <class>IDD_DIALOG_CDPLAYER</class>\n"
     << " <widget class=\"QWidget\" name=\"IDD_DIALOG_CDPLAYER\">\n"
     << "  <property name=\"geometry\"><rect><x>0</x><y>0</y><width>" << kSkinWidth
     << "</width><height>" << kSkinHeight << "</height></rect></property>\n"
     << "  <property name=\"windowTitle\"><string>Sorn Karaoke</string></property>\n";
  widget("QLabel", "IDC_STATIC_BACKGROUND", kSkinBackgroundControl,
         SkinRect{0, 0, kSkinWidth, kSkinHeight}, false);
  for (int i = 0; i < 24; ++i) {
    widget("bitmaplayer", QString("IDC_RING_LED_%1").arg(i, 2, 10, QChar('0')), kRingLightIds[i],
           RingLightRect(i), false);
  }
  for (const SkinControl& c : kSkinControls) widget(c.className, c.name, c.id, c.rect, c.hidden);
  ui << " </widget>\n</ui>\n";
  return ui.status() == QTextStream::Ok;
}

bool WriteResourceList(const QDir& out, const std::vector<QString>& names) {
  QFile file(out.filePath("skin.qrc"));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  QTextStream qrc(&file);
  qrc << "<RCC>\n <qresource prefix=\"/skin\">\n";
  for (const QString& name : names) {
    qrc << "  <file>" << name << ".png</file>\n  <file>" << name << "@2x.png</file>\n";
  }
  qrc << "  <file>cdplayer.ui</file>\n </qresource>\n</RCC>\n";
  return qrc.status() == QTextStream::Ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: sorn-skingen OUTDIR\n");
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication application(argc, argv);
  Generator generator;
  if (!QDir().mkpath(argv[1])) {
    std::fprintf(stderr, "sorn-skingen: cannot create %s\n", argv[1]);
    return 1;
  }
  generator.out = QDir(argv[1]);
  for (int scale : {1, 2}) {
    generator.scale = scale;
    generator.Run();
  }
  if (!WriteTemplate(generator.out) || !WriteResourceList(generator.out, generator.names)) {
    std::fprintf(stderr, "sorn-skingen: cannot write the template or the resource list\n");
    return 1;
  }
  return generator.ok ? 0 : 1;
}
