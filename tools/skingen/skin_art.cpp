#include "tools/skingen/skin_art.h"

#include <QConicalGradient>
#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>
#include <cstdint>

namespace skin {
namespace {

// ---- Palette ------------------------------------------------------------------------------

const QColor kPanelTop(33, 37, 43);
const QColor kPanelBottom(19, 22, 26);
const QColor kWellTop(9, 11, 14);
const QColor kWellBottom(15, 18, 22);
const QColor kPlateTop(52, 58, 66);
const QColor kPlateBottom(29, 33, 38);
const QColor kEdgeLight(255, 255, 255, 34);
const QColor kEdgeDark(0, 0, 0, 190);
const QColor kGlyph(208, 215, 222);
const QColor kUnlitGreen(18, 40, 14);

QColor Alpha(QColor c, int alpha) {
  c.setAlpha(alpha);
  return c;
}

QColor Mix(const QColor& a, const QColor& b, qreal t) {
  return QColor::fromRgbF(
      a.redF() + (b.redF() - a.redF()) * t, a.greenF() + (b.greenF() - a.greenF()) * t,
      a.blueF() + (b.blueF() - a.blueF()) * t, a.alphaF() + (b.alphaF() - a.alphaF()) * t);
}

// ---- Text ---------------------------------------------------------------------------------

QFont Font(int pixels, bool bold, qreal spacing) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(pixels);
  font.setBold(bold);
  font.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
  font.setHintingPreference(QFont::PreferNoHinting);
  return font;
}

void Text(QPainter& p, const QRectF& r, const QString& text, int pixels, const QColor& color,
          int flags = Qt::AlignCenter, qreal spacing = 1.0, bool bold = true) {
  p.save();
  p.setFont(Font(pixels, bold, spacing));
  p.setPen(color);
  p.drawText(r, flags, text);
  p.restore();
}

// Engraved label: a dark line under light text.
void Engraved(QPainter& p, const QRectF& r, const QString& text, int pixels,
              const QColor& color = kLabel, int flags = Qt::AlignCenter, qreal spacing = 1.2) {
  Text(p, r.translated(0, 1), text, pixels, QColor(0, 0, 0, 170), flags, spacing);
  Text(p, r, text, pixels, color, flags, spacing);
}

// ---- Surfaces -----------------------------------------------------------------------------

QPainterPath Rounded(const QRectF& r, qreal radius) {
  QPainterPath path;
  path.addRoundedRect(r, radius, radius);
  return path;
}

// A recessed area: darker, shadowed at the top, lit at the bottom edge.
void Well(QPainter& p, const QRectF& r, qreal radius, QColor top = kWellTop,
          QColor bottom = kWellBottom) {
  p.save();
  const QPainterPath path = Rounded(r, radius);
  QLinearGradient fill(r.topLeft(), r.bottomLeft());
  fill.setColorAt(0, top);
  fill.setColorAt(1, bottom);
  p.fillPath(path, fill);
  p.setClipPath(path);
  QLinearGradient shade(r.topLeft(), r.topLeft() + QPointF(0, 10));
  shade.setColorAt(0, QColor(0, 0, 0, 150));
  shade.setColorAt(1, QColor(0, 0, 0, 0));
  p.fillRect(r, shade);
  p.setClipping(false);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(kEdgeDark, 1));
  p.setBrush(Qt::NoBrush);
  p.drawPath(Rounded(r.adjusted(0.5, 0.5, -0.5, -0.5), radius));
  // The lower lip catches the light.
  p.setClipRect(QRectF(r.left() - 2, r.center().y(), r.width() + 4, r.height()));
  p.setPen(QPen(kEdgeLight, 1));
  p.drawPath(Rounded(r.adjusted(-0.5, -0.5, 0.5, 0.5), radius + 1));
  p.restore();
}

// A raised plate (button caps, tiles); pressed plates sink and darken.
void Plate(QPainter& p, const QRectF& r, qreal radius, bool pressed, bool dim = false) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  QColor top = pressed ? QColor(22, 25, 29) : kPlateTop;
  QColor bottom = pressed ? QColor(34, 38, 44) : kPlateBottom;
  if (dim) {
    top = Mix(top, kPanelBottom, 0.45);
    bottom = Mix(bottom, kPanelBottom, 0.45);
  }
  // Drop shadow under a raised plate.
  if (!pressed) p.fillPath(Rounded(r.translated(0, 1.5), radius), QColor(0, 0, 0, 120));
  const QPainterPath path = Rounded(r, radius);
  QLinearGradient fill(r.topLeft(), r.bottomLeft());
  fill.setColorAt(0, top);
  fill.setColorAt(1, bottom);
  p.fillPath(path, fill);
  p.setClipPath(path);
  if (pressed) {
    QLinearGradient shade(r.topLeft(), r.topLeft() + QPointF(0, 6));
    shade.setColorAt(0, QColor(0, 0, 0, 160));
    shade.setColorAt(1, QColor(0, 0, 0, 0));
    p.fillRect(r, shade);
  } else {
    // Sheen on the upper half.
    QLinearGradient sheen(r.topLeft(), QPointF(r.left(), r.center().y()));
    sheen.setColorAt(0, QColor(255, 255, 255, dim ? 8 : 18));
    sheen.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(r, sheen);
  }
  p.setClipping(false);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(0, 0, 0, 220), 1));
  p.drawPath(Rounded(r.adjusted(0.5, 0.5, -0.5, -0.5), radius));
  if (!pressed) {
    p.setClipRect(QRectF(r.left(), r.top(), r.width(), r.height() / 2));
    p.setPen(QPen(QColor(255, 255, 255, dim ? 20 : 45), 1));
    p.drawPath(Rounded(r.adjusted(1.5, 1.5, -1.5, -1.5), radius - 1));
  }
  p.restore();
}

// Soft light around a lit shape.
void Glow(QPainter& p, const QPointF& center, qreal radius, const QColor& color, int alpha) {
  p.save();
  QRadialGradient glow(center, radius);
  glow.setColorAt(0, Alpha(color, alpha));
  glow.setColorAt(0.45, Alpha(color, alpha / 3));
  glow.setColorAt(1, Alpha(color, 0));
  p.setPen(Qt::NoPen);
  p.setBrush(glow);
  p.drawEllipse(center, radius, radius);
  p.restore();
}

// A round indicator lamp.
void Lamp(QPainter& p, const QPointF& c, qreal r, const QColor& color, bool lit) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  if (lit) Glow(p, c, r * 3.2, color, 110);
  p.setPen(QPen(QColor(0, 0, 0, 200), 1));
  QRadialGradient body(c - QPointF(r * 0.3, r * 0.35), r * 1.3);
  if (lit) {
    body.setColorAt(0, Mix(color, Qt::white, 0.75));
    body.setColorAt(0.45, color);
    body.setColorAt(1, color.darker(170));
  } else {
    body.setColorAt(0, QColor(58, 64, 70));
    body.setColorAt(1, QColor(16, 18, 21));
  }
  p.setBrush(body);
  p.drawEllipse(c, r, r);
  p.restore();
}

void Screw(QPainter& p, const QPointF& c) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  QRadialGradient head(c - QPointF(1, 1), 4.5);
  head.setColorAt(0, QColor(96, 104, 112));
  head.setColorAt(1, QColor(28, 31, 35));
  p.setPen(QPen(QColor(0, 0, 0, 200), 0.8));
  p.setBrush(head);
  p.drawEllipse(c, 3.5, 3.5);
  p.setPen(QPen(QColor(12, 14, 16), 1.0));
  p.drawLine(c + QPointF(-2.2, 1.2), c + QPointF(2.2, -1.2));
  p.restore();
}

// ---- Glyphs -------------------------------------------------------------------------------

void Triangle(QPainterPath& path, const QPointF& tip, qreal width, qreal height, bool right) {
  const qreal dir = right ? 1 : -1;
  path.moveTo(tip);
  path.lineTo(tip + QPointF(-dir * width, -height / 2));
  path.lineTo(tip + QPointF(-dir * width, height / 2));
  path.closeSubpath();
}

QPainterPath TransportGlyph(int id, const QPointF& c, qreal size) {
  QPainterPath path;
  const qreal s = size;
  switch (id) {
    case 1007: {  // play / pause
      Triangle(path, c + QPointF(0.05 * s, 0), 0.42 * s, 0.5 * s, true);
      path.addRect(QRectF(c.x() + 0.14 * s, c.y() - 0.25 * s, 0.1 * s, 0.5 * s));
      path.addRect(QRectF(c.x() + 0.3 * s, c.y() - 0.25 * s, 0.1 * s, 0.5 * s));
      path.translate(-0.08 * s, 0);
      break;
    }
    case 1008:
      path.addRoundedRect(QRectF(c.x() - 0.22 * s, c.y() - 0.22 * s, 0.44 * s, 0.44 * s), 0.04 * s,
                          0.04 * s);
      break;
    case 1013:
      path.addRect(QRectF(c.x() - 0.3 * s, c.y() - 0.22 * s, 0.08 * s, 0.44 * s));
      Triangle(path, c + QPointF(-0.22 * s, 0), 0.26 * s, 0.44 * s, false);
      Triangle(path, c + QPointF(0.04 * s, 0), 0.26 * s, 0.44 * s, false);
      break;
    case 1014:
      path.addRect(QRectF(c.x() + 0.22 * s, c.y() - 0.22 * s, 0.08 * s, 0.44 * s));
      Triangle(path, c + QPointF(0.22 * s, 0), 0.26 * s, 0.44 * s, true);
      Triangle(path, c + QPointF(-0.04 * s, 0), 0.26 * s, 0.44 * s, true);
      break;
  }
  return path;
}

void FillGlyph(QPainter& p, const QPainterPath& glyph, bool lit, const QColor& litColor = kLime) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  if (lit) {
    const QRectF box = glyph.boundingRect();
    Glow(p, box.center(), std::max(box.width(), box.height()) * 0.95, litColor, 120);
    p.setBrush(litColor);
  } else {
    p.fillPath(glyph.translated(0, 1), QColor(0, 0, 0, 160));
    p.setBrush(kGlyph);
  }
  p.drawPath(glyph);
  p.restore();
}

void StrokeGlyph(QPainter& p, const QPainterPath& path, const QColor& color, qreal width) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(path);
  p.restore();
}

// The eight voice-effect icons in a box of 40 x 40 at origin o.
QPainterPath FxIcon(int index, const QPointF& o, QPainterPath* filled) {
  QPainterPath path;
  auto P = [&](qreal x, qreal y) { return o + QPointF(x, y); };
  switch (index) {
    case 0:  // concert hall: pediment, columns, steps
      path.moveTo(P(4, 14));
      path.lineTo(P(20, 4));
      path.lineTo(P(36, 14));
      path.closeSubpath();
      for (int i = 0; i < 4; ++i) {
        path.moveTo(P(9 + i * 7.3, 17));
        path.lineTo(P(9 + i * 7.3, 31));
      }
      path.moveTo(P(4, 34));
      path.lineTo(P(36, 34));
      path.moveTo(P(7, 37));
      path.lineTo(P(33, 37));
      break;
    case 1:  // shower: pipe, head and drops
      path.moveTo(P(8, 36));
      path.lineTo(P(8, 8));
      path.quadTo(P(8, 4), P(14, 4));
      path.lineTo(P(22, 4));
      path.lineTo(P(22, 9));
      path.moveTo(P(14, 14));
      path.quadTo(P(22, 6), P(30, 14));
      path.closeSubpath();
      for (int i = 0; i < 4; ++i) {
        const qreal x = 15 + i * 5;
        path.moveTo(P(x, 19 + (i % 2) * 3));
        path.lineTo(P(x + 1, 23 + (i % 2) * 3));
        path.moveTo(P(x + 1.5, 28 + (i % 2) * 2));
        path.lineTo(P(x + 2.5, 32 + (i % 2) * 2));
      }
      break;
    case 2:  // arena: tiered stadium between two floodlight masts
      path.addEllipse(QRectF(P(6, 20), QSizeF(28, 15)));
      path.addEllipse(QRectF(P(12, 24), QSizeF(16, 7)));
      path.moveTo(P(3, 34));
      path.lineTo(P(3, 9));
      path.moveTo(P(37, 34));
      path.lineTo(P(37, 9));
      for (int i = 0; i < 3; ++i) {
        path.moveTo(P(9 - i * 2.0, 8 + i * 3.5));
        path.lineTo(P(13 + i * 1.5, 12 + i * 3.0));
        path.moveTo(P(31 + i * 2.0, 8 + i * 3.5));
        path.lineTo(P(27 - i * 1.5, 12 + i * 3.0));
      }
      if (filled) {
        filled->addRect(QRectF(P(0.5, 4), QSizeF(5, 5)));
        filled->addRect(QRectF(P(34.5, 4), QSizeF(5, 5)));
      }
      break;
    case 3:  // canyon: peaks and an echo
      path.moveTo(P(2, 36));
      path.lineTo(P(12, 19));
      path.lineTo(P(18, 26));
      path.lineTo(P(27, 12));
      path.lineTo(P(38, 36));
      path.closeSubpath();
      path.moveTo(P(22, 20));
      path.lineTo(P(27, 12));
      path.lineTo(P(31, 18));
      for (int i = 0; i < 3; ++i) {
        const qreal r = 3 + i * 3.5;
        const QRectF arc(P(6 - r, 9 - r), QSizeF(2 * r, 2 * r));
        path.arcMoveTo(arc, -50);
        path.arcTo(arc, -50, 100);
      }
      if (filled) filled->addEllipse(QRectF(P(4, 7), QSizeF(4, 4)));
      break;
    case 4:    // high voice: note and rising arrow
    case 5: {  // low voice: note and falling arrow
      path.moveTo(P(17, 30));
      path.lineTo(P(17, 6));
      path.lineTo(P(25, 10));
      if (filled) filled->addEllipse(QRectF(P(8, 26), QSizeF(10, 8)));
      const bool up = index == 4;
      const qreal ax = 31;
      path.moveTo(P(ax, up ? 34 : 14));
      path.lineTo(P(ax, up ? 14 : 34));
      path.moveTo(P(ax - 5, up ? 19 : 29));
      path.lineTo(P(ax, up ? 14 : 34));
      path.lineTo(P(ax + 5, up ? 19 : 29));
      break;
    }
    case 6:  // monster: horned head with teeth
      path.moveTo(P(8, 14));
      path.lineTo(P(5, 3));
      path.lineTo(P(14, 10));
      path.moveTo(P(32, 14));
      path.lineTo(P(35, 3));
      path.lineTo(P(26, 10));
      path.addRoundedRect(QRectF(P(7, 9), QSizeF(26, 28)), 10, 10);
      path.moveTo(P(12, 27));
      for (int i = 0; i < 4; ++i) {
        path.lineTo(P(14 + i * 4, i % 2 ? 27 : 32));
      }
      path.lineTo(P(28, 27));
      if (filled) {
        filled->moveTo(P(12, 17));
        filled->lineTo(P(18, 20));
        filled->lineTo(P(12, 22));
        filled->closeSubpath();
        filled->moveTo(P(28, 17));
        filled->lineTo(P(22, 20));
        filled->lineTo(P(28, 22));
        filled->closeSubpath();
      }
      break;
    case 7:  // robot: boxy head, antenna, grille
      path.addRoundedRect(QRectF(P(7, 11), QSizeF(26, 24)), 3, 3);
      path.moveTo(P(20, 11));
      path.lineTo(P(20, 5));
      path.moveTo(P(4, 20));
      path.lineTo(P(7, 20));
      path.moveTo(P(33, 20));
      path.lineTo(P(36, 20));
      for (int i = 0; i < 3; ++i) {
        path.moveTo(P(14 + i * 6, 28));
        path.lineTo(P(14 + i * 6, 31));
      }
      if (filled) {
        filled->addEllipse(QRectF(P(18, 2), QSizeF(4, 4)));
        filled->addRect(QRectF(P(12, 17), QSizeF(5, 5)));
        filled->addRect(QRectF(P(23, 17), QSizeF(5, 5)));
      }
      break;
  }
  return path;
}

const char* const kFxNames[8] = {"CONCERT HALL", "SHOWER",    "ARENA",   "CANYON",
                                 "HIGH VOICE",   "LOW VOICE", "MONSTER", "ROBOT"};

// ---- Seven-segment cells ------------------------------------------------------------------

// Segments a..g of each digit.
constexpr uint8_t kSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};

QPainterPath SegmentPath(int segment, const QRectF& box, qreal t) {
  // Hexagonal bars with mitred ends and a slight italic slant.
  const qreal l = box.left(), r = box.right(), top = box.top(), b = box.bottom();
  const qreal mid = (top + b) / 2;
  const qreal g = 0.7;  // gap between segments
  auto bar = [&](QPointF a, QPointF z) {
    QPainterPath path;
    const QPointF d = z - a;
    const qreal len = std::hypot(d.x(), d.y());
    const QPointF u = d / len;
    const QPointF n(-u.y(), u.x());
    const QPointF a1 = a + u * g, z1 = z - u * g;
    path.moveTo(a1);
    path.lineTo(a1 + u * (t / 2) + n * (t / 2));
    path.lineTo(z1 - u * (t / 2) + n * (t / 2));
    path.lineTo(z1);
    path.lineTo(z1 - u * (t / 2) - n * (t / 2));
    path.lineTo(a1 + u * (t / 2) - n * (t / 2));
    path.closeSubpath();
    return path;
  };
  const qreal slant = 1.6;
  auto X = [&](qreal x, qreal y) { return QPointF(x + slant * (mid - y) / (b - top), y); };
  switch (segment) {
    case 0:
      return bar(X(l, top), X(r, top));
    case 1:
      return bar(X(r, top), X(r, mid));
    case 2:
      return bar(X(r, mid), X(r, b));
    case 3:
      return bar(X(l, b), X(r, b));
    case 4:
      return bar(X(l, mid), X(l, b));
    case 5:
      return bar(X(l, top), X(l, mid));
    default:
      return bar(X(l, mid), X(r, mid));
  }
}

// The capsule the time display sits in: glass with a rim on rows 1 and 30.
void CapsuleGlass(QPainter& p, const QRectF& r, bool leftEnd, bool rightEnd) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(r, Qt::black);  // the trough's glass around the rounded ends
  // Cells between the ends run straight on: their rounded corners lie outside the clip.
  const QRectF body = r.adjusted(leftEnd ? 1 : -20, 1.5, rightEnd ? -1 : 20, -1.5);
  QPainterPath shape = Rounded(body, 9);
  QLinearGradient fill(body.topLeft(), body.bottomLeft());
  fill.setColorAt(0, QColor(10, 24, 8));
  fill.setColorAt(0.5, QColor(3, 10, 3));
  fill.setColorAt(1, QColor(6, 16, 5));
  p.setClipRect(r);
  p.fillPath(shape, fill);
  p.setPen(QPen(QColor(70, 130, 30), 1));
  p.setBrush(Qt::NoBrush);
  p.drawPath(shape);
  p.restore();
}

// ---- Meter cells --------------------------------------------------------------------------

QColor MeterColor(int row, int rows, bool voice) {
  const qreal level = (row + 0.5) / rows;  // from the bottom
  if (level > 0.86) return QColor(255, 52, 40);
  if (level > 0.62) return kAmber;
  return voice ? QColor(0, 220, 255) : kLime;
}

// The logo's disc with a microphone, 32 x 32 with its glow, centred on disc.
void PaintLogoDisc(QPainter& p, QPointF disc) {
  QRadialGradient discFill(disc - QPointF(3, 3), 14);
  discFill.setColorAt(0, QColor(60, 66, 74));
  discFill.setColorAt(1, QColor(14, 16, 19));
  p.setPen(QPen(kLime, 1.6));
  p.setBrush(discFill);
  p.drawEllipse(disc, 12, 12);
  Glow(p, disc, 16, kLime, 40);
  p.setPen(QPen(QColor(0, 0, 0), 1));
  p.setBrush(kLime);
  p.drawRoundedRect(QRectF(disc.x() - 2.6, disc.y() - 7, 5.2, 9), 2.6, 2.6);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(kLime, 1.3));
  p.drawArc(QRectF(disc.x() - 5, disc.y() - 5, 10, 9), 200 * 16, 140 * 16);
  p.drawLine(disc + QPointF(0, 4), disc + QPointF(0, 7));
}

}  // namespace

QRectF Rect(const SkinRect& r) {
  return QRectF(r.x, r.y, r.width, r.height);
}

// ---- Background ---------------------------------------------------------------------------

void PaintBackgroundBase(QPainter& p) {
  QLinearGradient base(0, 0, 0, kSkinHeight);
  base.setColorAt(0, kPanelTop);
  base.setColorAt(1, kPanelBottom);
  p.fillRect(QRectF(0, 0, kSkinWidth, kSkinHeight), base);
}

void AddBrushedTexture(QImage& image, int seed) {
  // Horizontal brushing: a slow per-row drift plus fine grain, a few levels either way.
  uint32_t state = static_cast<uint32_t>(seed) * 2654435761u + 1;
  auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  };
  const int scale = std::max(1, image.width() / kSkinWidth);
  int rowShade = 0;
  for (int y = 0; y < image.height(); ++y) {
    if (y % scale == 0) rowShade = static_cast<int>(next() % 5) - 2;
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    int streak = 0;
    for (int x = 0; x < image.width(); ++x) {
      if (next() % 23 == 0) streak = static_cast<int>(next() % 5) - 2;
      const int grain = static_cast<int>(next() % 3) - 1;
      const int d = rowShade + streak + grain;
      const QRgb c = line[x];
      line[x] = qRgba(std::clamp(qRed(c) + d, 0, 255), std::clamp(qGreen(c) + d, 0, 255),
                      std::clamp(qBlue(c) + d + 1, 0, 255), qAlpha(c));
    }
  }
}

void PaintBackgroundDetails(QPainter& p) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);

  // Title bar.
  QLinearGradient bar(0, 0, 0, 46);
  bar.setColorAt(0, QColor(44, 49, 56, 170));
  bar.setColorAt(1, QColor(24, 27, 31, 120));
  p.fillRect(QRectF(0, 0, kSkinWidth, 46), bar);
  p.fillRect(QRectF(0, 46, kSkinWidth, 1), QColor(0, 0, 0, 200));
  p.fillRect(QRectF(0, 47, kSkinWidth, 1), QColor(255, 255, 255, 18));

  // Logo: a disc with a microphone, and the name.
  PaintLogoDisc(p, QPointF(32, 23));
  Text(p, QRectF(52, 9, 70, 28), "SORN", 17, QColor(226, 231, 236),
       Qt::AlignLeft | Qt::AlignVCenter, 1.5);
  Text(p, QRectF(112, 9, 110, 28), "KARAOKE", 17, kLime, Qt::AlignLeft | Qt::AlignVCenter, 1.5,
       false);

  // Vent slots between the logo and the menus.
  for (int i = 0; i < 20; ++i) {
    const QRectF slot(250 + i * 9, 17, 3, 13);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 200));
    p.drawRoundedRect(slot, 1.5, 1.5);
    p.setBrush(QColor(255, 255, 255, 16));
    p.drawRoundedRect(slot.translated(0, 1).adjusted(0, slot.height() - 1, 0, 0), 1, 1);
  }

  // Menu hot spots: flat labelled tabs with a chevron.
  for (int id : {1171, 1168, 1167}) {
    const QRectF r = Rect(FindSkinControl(id)->rect);
    Well(p, r, 5, QColor(16, 19, 23), QColor(22, 25, 30));
    const char* label = id == 1171 ? "OPTIONS" : id == 1168 ? "INTERNET" : "HELP";
    Engraved(p, r.adjusted(0, 0, -12, 0), label, 10, QColor(196, 204, 212), Qt::AlignCenter, 0.8);
    QPainterPath chevron;
    const QPointF c(r.right() - 10, r.center().y() + 1);
    chevron.moveTo(c + QPointF(-3, -2));
    chevron.lineTo(c + QPointF(0, 1));
    chevron.lineTo(c + QPointF(3, -2));
    StrokeGlyph(p, chevron, kLime, 1.3);
  }

  // Deck: the ring's well, the light track and the hub.
  const QPointF ring(kRingCenterX, kRingCenterY);
  {
    const qreal outer = 139;
    QRadialGradient well(ring, outer);
    well.setColorAt(0, QColor(8, 10, 12));
    well.setColorAt(0.8, QColor(11, 13, 16));
    well.setColorAt(1, QColor(5, 6, 8));
    p.setPen(Qt::NoPen);
    p.setBrush(well);
    p.drawEllipse(ring, outer, outer);
    QConicalGradient rim(ring, 90);
    rim.setColorAt(0, QColor(90, 98, 108));
    rim.setColorAt(0.25, QColor(36, 40, 45));
    rim.setColorAt(0.5, QColor(20, 22, 25));
    rim.setColorAt(0.75, QColor(36, 40, 45));
    rim.setColorAt(1, QColor(90, 98, 108));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QBrush(rim), 2.0));
    p.drawEllipse(ring, outer + 1, outer + 1);
    p.setPen(QPen(QColor(0, 0, 0, 220), 1.0));
    p.drawEllipse(ring, outer - 0.5, outer - 0.5);
    // Faint track and ticks of the lights.
    p.setPen(QPen(QColor(122, 255, 0, 22), 1.0));
    p.drawEllipse(ring, kRingRadius + 13, kRingRadius + 13);
    for (int i = 0; i < 24; ++i) {
      const qreal a = qDegreesToRadians(-90.0 + 15.0 * i + 7.5);
      const QPointF d(std::cos(a), std::sin(a));
      p.setPen(QPen(QColor(255, 255, 255, 26), 1.0));
      p.drawLine(ring + d * (kRingRadius - 6), ring + d * (kRingRadius + 6));
    }
    // The hub: a brushed metal face with fine grooves.
    const qreal hub = 104;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 150));
    p.drawEllipse(ring + QPointF(0, 2), hub + 1, hub + 1);
    QConicalGradient face(ring, 45);
    const QColor a(46, 51, 58), b(26, 29, 33), c(58, 64, 72);
    face.setColorAt(0.0, a);
    face.setColorAt(0.12, b);
    face.setColorAt(0.25, c);
    face.setColorAt(0.38, b);
    face.setColorAt(0.5, a);
    face.setColorAt(0.62, b);
    face.setColorAt(0.75, c);
    face.setColorAt(0.88, b);
    face.setColorAt(1.0, a);
    p.setBrush(face);
    p.drawEllipse(ring, hub, hub);
    p.setBrush(Qt::NoBrush);
    for (int r = 8; r < hub; r += 3) {
      p.setPen(QPen(QColor(0, 0, 0, r % 2 ? 30 : 18), 0.6));
      p.drawEllipse(ring, r, r);
    }
    p.setPen(QPen(QColor(255, 255, 255, 40), 1));
    p.drawArc(QRectF(ring.x() - hub + 0.5, ring.y() - hub + 0.5, 2 * hub - 1, 2 * hub - 1), 30 * 16,
              120 * 16);
    p.setPen(QPen(QColor(0, 0, 0, 200), 1));
    p.drawEllipse(ring, hub, hub);
  }
  // The track list's hot spot inside the hub.
  {
    const QRectF r = Rect(FindSkinControl(1010)->rect).adjusted(2, 6, -2, -4);
    Well(p, r, r.height() / 2, QColor(10, 12, 14), QColor(16, 18, 22));
    Engraved(p, r.adjusted(2, 0, -11, 0), "TRACKS", 9, QColor(180, 188, 196), Qt::AlignCenter, 0.3);
    QPainterPath chevron;
    const QPointF c(r.right() - 8, r.center().y() + 1);
    chevron.moveTo(c + QPointF(-2.5, -1.5));
    chevron.lineTo(c + QPointF(0, 1));
    chevron.lineTo(c + QPointF(2.5, -1.5));
    StrokeGlyph(p, chevron, kLime, 1.2);
  }
  for (int i = 0; i < 24; ++i) PaintRingLight(p, i, false);
  for (int id : {1007, 1013, 1014, 1008}) PaintTransportButton(p, id, Look::kUp);

  // Switches.
  for (int id : {1005, 1029, 1031}) PaintSwitch(p, id, Look::kUp);

  // Mixer: a well holding two meters and two faders.
  const QRectF mixer(10, 392, 284, 198);
  Well(p, mixer, 10);
  for (int id : {1292, 1293}) {
    const QRectF r = Rect(FindSkinControl(id)->rect);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0));
    p.drawRoundedRect(r.adjusted(-3, -3, 3, 3), 4, 4);
    p.setPen(QPen(QColor(255, 255, 255, 24), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r.adjusted(-3.5, -3.5, 3.5, 3.5), 4.5, 4.5);
  }
  for (int id : {1065, 1067}) {
    const QRectF r = Rect(FindSkinControl(id)->rect);
    // Fader slot and its scale.
    const QRectF slot(r.center().x() - 3, r.top() + 8, 6, r.height() - 16);
    Well(p, slot, 3, QColor(0, 0, 0), QColor(8, 9, 11));
    for (int t = 0; t <= 10; ++t) {
      const qreal y = r.top() + 10 + (r.height() - 20) * t / 10.0;
      const qreal len = t % 5 == 0 ? 6 : 3;
      p.setPen(QPen(t % 5 == 0 ? QColor(150, 160, 170, 160) : QColor(120, 130, 140, 90), 1));
      p.drawLine(QPointF(r.left() + 1, y), QPointF(r.left() + 1 + len, y));
      p.drawLine(QPointF(r.right() - 1 - len, y), QPointF(r.right() - 1, y));
    }
  }
  // The level scale between the faders.
  for (int t = 0; t <= 10; t += 2) {
    const qreal y = 404 + 10 + (162 - 20) * (10 - t) / 10.0;
    Text(p, QRectF(112, y - 6, 80, 12), QString::number(t), 9, QColor(110, 120, 130),
         Qt::AlignCenter, 0.5, false);
    p.setPen(QPen(QColor(255, 255, 255, 14), 1));
    p.drawLine(QPointF(124, y), QPointF(138, y));
    p.drawLine(QPointF(166, y), QPointF(180, y));
  }
  Engraved(p, QRectF(14, 570, 58, 14), "MUSIC", 9);
  Engraved(p, QRectF(72, 570, 50, 14), "CD", 9);
  Engraved(p, QRectF(182, 570, 50, 14), "MIC", 9);
  Engraved(p, QRectF(232, 570, 58, 14), "VOICE", 9);
  Engraved(p, QRectF(112, 570, 80, 14), "LEVEL", 8, QColor(96, 106, 116));

  // Display glass.
  const QRectF glass(308, 52, 482, 148);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 0, 160));
  p.drawRoundedRect(glass.adjusted(-3, -3, 3, 4), 11, 11);
  QLinearGradient bezel(glass.topLeft(), glass.bottomLeft());
  bezel.setColorAt(0, QColor(70, 78, 88));
  bezel.setColorAt(1, QColor(24, 27, 31));
  p.setBrush(bezel);
  p.drawRoundedRect(glass.adjusted(-2, -2, 2, 2), 10, 10);
  p.setBrush(Qt::black);
  p.drawRoundedRect(glass, 8, 8);
  {
    // A faint sheen across the top of the glass and a thin green line under the titles.
    p.save();
    p.setClipPath(Rounded(glass, 8));
    QLinearGradient sheen(glass.topLeft(), glass.topLeft() + QPointF(0, 9));
    sheen.setColorAt(0, QColor(255, 255, 255, 26));
    sheen.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(QRectF(glass.left(), glass.top(), glass.width(), 9), sheen);
    p.restore();
    QLinearGradient rule(glass.left() + 14, 0, glass.right() - 14, 0);
    rule.setColorAt(0, QColor(122, 255, 0, 0));
    rule.setColorAt(0.5, QColor(122, 255, 0, 70));
    rule.setColorAt(1, QColor(122, 255, 0, 0));
    p.fillRect(QRectF(glass.left() + 14, 136, glass.width() - 28, 1), rule);
    Text(p, QRectF(glass.left() + 14, 182, 120, 12), "POSITION", 8, QColor(122, 255, 0, 110),
         Qt::AlignLeft | Qt::AlignVCenter, 1.5);
    Text(p, QRectF(glass.right() - 234, 182, 220, 12), "SORN DIGITAL AUDIO", 8,
         QColor(0, 255, 246, 90), Qt::AlignRight | Qt::AlignVCenter, 1.5);
  }
  {
    const QRectF r = Rect(FindSkinControl(1185)->rect);
    p.save();
    p.translate(r.topLeft());
    PaintTimeTrough(p, r.size());
    p.restore();
  }

  // Lower panel frame and the tabs.
  const QRectF lower = Rect(kLowerPanel);
  Well(p, lower.adjusted(-4, -4, 4, 4), 10, QColor(12, 14, 17), QColor(16, 19, 23));
  PaintTabs(p, false);

  // Microphone panel.
  Text(p, QRectF(340, 220, 300, 16), "VOICE EFFECTS", 11, kLime, Qt::AlignLeft | Qt::AlignVCenter,
       2.0);
  Text(p, QRectF(560, 220, 222, 16), "REVERB  \u00b7  VOICE CHANGER", 9, QColor(120, 130, 140),
       Qt::AlignRight | Qt::AlignVCenter, 1.2);
  p.fillRect(QRectF(340, 238, 442, 1), QColor(0, 0, 0, 180));
  p.fillRect(QRectF(340, 239, 442, 1), QColor(255, 255, 255, 16));
  for (int i = 0; i < 8; ++i) PaintFxTile(p, i, Look::kUp);
  Engraved(p, QRectF(380, 484, 360, 14), "VARIATION", 9, QColor(160, 170, 180));
  Engraved(p, QRectF(330, 512, 46, 16), "LESS", 9);
  Engraved(p, QRectF(744, 512, 46, 16), "MORE", 9);
  {
    const QRectF r = Rect(FindSkinControl(1076)->rect);
    const QRectF slot(r.left() + 8, r.center().y() - 3, r.width() - 16, 6);
    Well(p, slot, 3, QColor(0, 0, 0), QColor(8, 9, 11));
    QLinearGradient hint(slot.topLeft(), slot.topRight());
    hint.setColorAt(0, QColor(122, 255, 0, 50));
    hint.setColorAt(1, QColor(0, 255, 246, 90));
    p.fillRect(slot.adjusted(2, 2.5, -2, -2.5), hint);
    for (int t = 0; t <= 10; ++t) {
      const qreal x = r.left() + 12 + (r.width() - 24) * t / 10.0;
      const qreal len = t % 5 == 0 ? 6 : 3;
      p.setPen(QPen(t % 5 == 0 ? QColor(150, 160, 170, 160) : QColor(120, 130, 140, 90), 1));
      p.drawLine(QPointF(x, r.top() + 1), QPointF(x, r.top() + 1 + len));
      p.drawLine(QPointF(x, r.bottom() - 1 - len), QPointF(x, r.bottom() - 1));
    }
  }
  Text(p, QRectF(340, 552, 442, 30), "Pick an effect and sing; click it again for your dry voice.",
       10, QColor(100, 110, 120), Qt::AlignCenter, 0.3, false);

  // Window button that shows; the hidden ones leave the bar plain.
  PaintWindowButton(p, 1030, Look::kUp);

  // Frame and screws.
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(0, 0, 0), 2));
  p.drawRoundedRect(QRectF(1, 1, kSkinWidth - 2, kSkinHeight - 2), 12, 12);
  p.setPen(QPen(QColor(255, 255, 255, 30), 1));
  p.drawRoundedRect(QRectF(2.5, 2.5, kSkinWidth - 5, kSkinHeight - 5), 11, 11);
  Screw(p, QPointF(300, 592));
  Screw(p, QPointF(10, 392 - 8));
  Screw(p, QPointF(292, 392 - 8));
  p.restore();

  // Outside the rounded frame: the window's corners.
  p.save();
  QPainterPath outside;
  outside.addRect(QRectF(0, 0, kSkinWidth, kSkinHeight));
  outside.addRoundedRect(QRectF(0, 0, kSkinWidth, kSkinHeight), 13, 13);
  outside.setFillRule(Qt::OddEvenFill);
  p.setRenderHint(QPainter::Antialiasing);
  p.fillPath(outside, Qt::black);
  p.restore();
}

// ---- Controls on the background -----------------------------------------------------------

void PaintTransportButton(QPainter& p, int id, Look look) {
  const QRectF r = Rect(FindSkinControl(id)->rect);
  const bool down = look == Look::kDown;
  const QPointF c = r.center();
  const qreal radius = r.width() / 2 - 2;
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  // Socket.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 0, 200));
  p.drawEllipse(c + QPointF(0, 0.5), radius + 2, radius + 2);
  p.setPen(QPen(QColor(255, 255, 255, 30), 1));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(c.x() - radius - 2, c.y() - radius - 1.5, 2 * radius + 4, 2 * radius + 4),
            200 * 16, 140 * 16);
  // Cap.
  QLinearGradient cap(r.topLeft(), r.bottomLeft());
  cap.setColorAt(0, down ? QColor(20, 23, 27) : QColor(66, 73, 82));
  cap.setColorAt(1, down ? QColor(34, 38, 43) : QColor(24, 27, 31));
  p.setPen(QPen(QColor(0, 0, 0, 230), 1));
  p.setBrush(cap);
  p.drawEllipse(c, radius, radius);
  if (!down) {
    QRadialGradient sheen(c - QPointF(0, radius * 0.55), radius * 0.9);
    sheen.setColorAt(0, QColor(255, 255, 255, 36));
    sheen.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(sheen);
    p.drawEllipse(c, radius - 1, radius - 1);
    p.setPen(QPen(QColor(255, 255, 255, 50), 1));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(c.x() - radius + 1.5, c.y() - radius + 1.5, 2 * radius - 3, 2 * radius - 3),
              30 * 16, 120 * 16);
  } else {
    p.setPen(QPen(Alpha(kLime, 120), 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, radius - 1.5, radius - 1.5);
  }
  const qreal glyphSize = id == 1007 ? 34 : 22;
  FillGlyph(p, TransportGlyph(id, c + QPointF(0, down ? 0.8 : 0), glyphSize), down);
  p.restore();
}

void PaintSwitch(QPainter& p, int id, Look look) {
  const QRectF r = Rect(FindSkinControl(id)->rect).adjusted(1, 1, -1, -2);
  const bool down = look == Look::kDown || look == Look::kDisabledDown;
  const bool disabled = look == Look::kDisabledUp || look == Look::kDisabledDown;
  Plate(p, r, 6, down, disabled);
  const QColor lamp = id == 1029 ? kRecordRed : kLime;
  Lamp(p, QPointF(r.left() + 14, r.center().y() + (down ? 0.5 : 0)), 3.6, lamp, down && !disabled);
  const char* label = id == 1005 ? "VOCAL CUT" : id == 1029 ? "RECORD ME" : "PLAY ME";
  QColor color = disabled ? QColor(80, 88, 96)
                 : down   ? QColor(236, 242, 246)
                          : QColor(186, 195, 204);
  Engraved(p, QRectF(r.left() + 20, r.top() + (down ? 0.5 : 0), r.width() - 22, r.height()), label,
           9, color, Qt::AlignCenter, 0.0);
}

void PaintWindowButton(QPainter& p, int id, Look look) {
  const QRectF r = Rect(FindSkinControl(id)->rect).adjusted(1, 1, -1, -1);
  const bool down = look == Look::kDown;
  Plate(p, r, 4, down);
  QPainterPath glyph;
  const QPointF c = r.center() + QPointF(0, down ? 0.5 : 0);
  if (id == 1028) {
    glyph.moveTo(c + QPointF(-4, 3));
    glyph.lineTo(c + QPointF(4, 3));
  } else if (id == 1296) {
    glyph.addRect(QRectF(c - QPointF(4, 4), QSizeF(8, 8)));
  } else {
    glyph.moveTo(c + QPointF(-4, -4));
    glyph.lineTo(c + QPointF(4, 4));
    glyph.moveTo(c + QPointF(4, -4));
    glyph.lineTo(c + QPointF(-4, 4));
  }
  const QColor lit = id == 1030 ? kRecordRed : kLime;
  if (down) Glow(p, c, 10, lit, 110);
  StrokeGlyph(p, glyph, down ? lit : QColor(170, 180, 190), 1.6);
}

void PaintFxTile(QPainter& p, int index, Look look) {
  const QRectF r = Rect(FindSkinControl(1041 + index)->rect).adjusted(1, 1, -1, -2);
  const bool down = look == Look::kDown;
  Plate(p, r, 8, down);
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  if (down) {
    p.setPen(QPen(Alpha(kLime, 150), 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r.adjusted(1.5, 1.5, -1.5, -1.5), 7, 7);
  }
  const QPointF origin(r.center().x() - 20, r.top() + 16 + (down ? 1 : 0));
  QPainterPath filled;
  const QPainterPath icon = FxIcon(index, origin, &filled);
  const QColor ink = down ? kLime : QColor(196, 204, 212);
  if (down)
    Glow(p, origin + QPointF(20, 20), 34, kLime, 60);
  else
    StrokeGlyph(p, icon.translated(0, 1), QColor(0, 0, 0, 150), 2.2);
  StrokeGlyph(p, icon, ink, 2.0);
  p.setPen(Qt::NoPen);
  p.setBrush(ink);
  p.drawPath(filled);
  p.restore();
  Lamp(p, QPointF(r.right() - 11, r.top() + 11), 3.2, kLime, down);
  Engraved(p, QRectF(r.left(), r.bottom() - 30, r.width(), 20), kFxNames[index], 9,
           down ? QColor(236, 242, 246) : QColor(170, 180, 190), Qt::AlignCenter, 0.8);
}

void PaintRingLight(QPainter& p, int index, bool lit) {
  const QPointF ring(kRingCenterX, kRingCenterY);
  const SkinRect box = RingLightRect(index);
  const QPointF center(box.x + box.width / 2.0, box.y + box.height / 2.0);
  const qreal angle = -90.0 + 15.0 * index;
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.setClipRect(QRectF(box.x, box.y, box.width, box.height));
  if (lit) {
    QRadialGradient glow(center, box.width / 2.0);
    glow.setColorAt(0, QColor(122, 255, 0, 120));
    glow.setColorAt(0.6, QColor(122, 255, 0, 40));
    glow.setColorAt(1, QColor(122, 255, 0, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(center, box.width / 2.0, box.height / 2.0);
  }
  // An arc segment of the ring, centred in its box.
  const qreal radius = std::hypot(center.x() - ring.x(), center.y() - ring.y());
  const QRectF circle(ring.x() - radius, ring.y() - radius, 2 * radius, 2 * radius);
  QPainterPath arc;
  arc.arcMoveTo(circle, -(angle - 3.6));
  arc.arcTo(circle, -(angle - 3.6), -7.2);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(0, 0, 0, 230), 7.5, Qt::SolidLine, Qt::RoundCap));
  p.drawPath(arc);
  if (lit) {
    p.setPen(QPen(QColor(122, 255, 0), 5.0, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(arc);
    p.setPen(QPen(QColor(232, 255, 200), 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(arc);
  } else {
    p.setPen(QPen(kUnlitGreen, 5.0, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(arc);
    p.setPen(QPen(QColor(255, 255, 255, 20), 1.0, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(arc.translated(0, -1));
  }
  p.restore();
}

void PaintTabs(QPainter& p, bool lyricsInFront) {
  const QRectF r = Rect(FindSkinControl(1166)->rect);
  const qreal half = r.height() / 2;
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(r, kPanelBottom);
  for (int tab = 0; tab < 2; ++tab) {
    const bool front = (tab == 1) == lyricsInFront;
    const QRectF t(r.left() + (front ? 0 : 3), r.top() + tab * half + 2,
                   r.width() + 6 - (front ? 0 : 3), half - 4);
    QPainterPath shape = Rounded(t, 6);
    QLinearGradient fill(t.topLeft(), t.topRight());
    fill.setColorAt(0, front ? QColor(48, 54, 62) : QColor(24, 27, 31));
    fill.setColorAt(1, front ? QColor(30, 34, 39) : QColor(18, 20, 24));
    p.setClipRect(r);
    p.fillPath(shape, fill);
    p.setPen(QPen(QColor(0, 0, 0, 220), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(Rounded(t.adjusted(0.5, 0.5, -0.5, -0.5), 6));
    if (front) {
      p.fillRect(QRectF(t.left() + 3, t.top() + 12, 2.5, t.height() - 24), kLime);
      Glow(p, QPointF(t.left() + 4, t.center().y()), 14, kLime, 40);
    }
    p.save();
    p.translate(t.center() + QPointF(1.5, 0));
    p.rotate(-90);
    Text(p, QRectF(-80, -8, 160, 16), tab == 0 ? "MIC FX" : "LYRICS", 10,
         front ? QColor(226, 232, 238) : QColor(110, 120, 130), Qt::AlignCenter, 2.0);
    p.restore();
  }
  p.restore();
}

void PaintDownloadButton(QPainter& p, const QRectF& area, Look look) {
  const bool down = look == Look::kDown;
  const QRectF r = area.adjusted(1, 2, -1, -2);
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(down ? kCyan : Alpha(kCyan, 150), 1.2));
  p.setBrush(down ? Alpha(kCyan, 200) : QColor(6, 22, 24));
  p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), r.height() / 2, r.height() / 2);
  const QColor ink = down ? QColor(0, 20, 20) : kCyan;
  QPainterPath arrow;
  const QPointF a(r.left() + 16, r.center().y());
  arrow.moveTo(a + QPointF(0, -6));
  arrow.lineTo(a + QPointF(0, 4));
  arrow.moveTo(a + QPointF(-4, 0));
  arrow.lineTo(a + QPointF(0, 4));
  arrow.lineTo(a + QPointF(4, 0));
  arrow.moveTo(a + QPointF(-6, 7));
  arrow.lineTo(a + QPointF(6, 7));
  StrokeGlyph(p, arrow, ink, 1.5);
  Text(p, r.adjusted(24, 0, -6, 0), "GET CD INFO", 9, ink, Qt::AlignCenter, 0.8);
  p.restore();
}

// ---- Standalone bitmaps -------------------------------------------------------------------

void PaintTimeCell(QPainter& p, Segment kind, int digit, QSizeF size) {
  const QRectF r(QPointF(0, 0), size);
  CapsuleGlass(p, r, kind == Segment::kLeftEnd, kind == Segment::kRightEnd);
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  if (kind == Segment::kDigit || kind == Segment::kBlank) {
    const QRectF box(4.5, 6, size.width() - 9.5, size.height() - 12);
    const uint8_t lit = kind == Segment::kDigit ? kSegments[digit % 10] : 0;
    for (int s = 0; s < 7; ++s) {
      const QPainterPath seg = SegmentPath(s, box, 3.0);
      p.setPen(Qt::NoPen);
      if (lit & (1 << s)) {
        p.setBrush(Alpha(kLime, 60));
        p.drawPath(seg);
        QPen halo(Alpha(kLime, 50), 2.4);
        p.strokePath(seg, halo);
        p.setBrush(kLime);
        p.drawPath(seg);
      } else {
        p.setBrush(kUnlitGreen);
        p.drawPath(seg);
      }
    }
  } else if (kind == Segment::kColon) {
    for (qreal y : {size.height() * 0.36, size.height() * 0.64}) {
      const QPointF c(size.width() / 2 + 0.4, y);
      Glow(p, c, 5, kLime, 90);
      p.setPen(Qt::NoPen);
      p.setBrush(kLime);
      p.drawEllipse(c, 1.7, 1.7);
    }
  }
  p.restore();
}

void PaintTimeTrough(QPainter& p, QSizeF size) {
  const QRectF r(QPointF(0, 0), size);
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(r, Qt::black);
  const qreal mid = size.height() / 2;
  // The track: a dotted line with ticks at each tenth.
  for (qreal x = 6; x < size.width() - 6; x += 4) {
    p.fillRect(QRectF(x, mid - 0.5, 2, 1), QColor(122, 255, 0, 60));
  }
  for (int t = 0; t <= 10; ++t) {
    const qreal x = 6 + (size.width() - 13) * t / 10.0;
    p.fillRect(QRectF(x, mid - (t % 5 == 0 ? 4 : 2.5), 1, t % 5 == 0 ? 8 : 5),
               QColor(122, 255, 0, t % 5 == 0 ? 110 : 70));
  }
  p.restore();
}

void PaintTimeCap(QPainter& p, QSizeF size) {
  PaintTimeCell(p, Segment::kLeftEnd, 0, QSizeF(size.width() / 2, size.height()));
  p.save();
  p.translate(size.width() / 2, 0);
  PaintTimeCell(p, Segment::kRightEnd, 0, QSizeF(size.width() / 2, size.height()));
  p.restore();
}

void PaintFaderCap(QPainter& p, QSizeF size, bool vertical) {
  const QRectF r(QPointF(0, 0), size);
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(r, QColor(8, 9, 11));
  const QRectF body = r.adjusted(0.5, 0.5, -0.5, -0.5);
  QLinearGradient metal(body.topLeft(), vertical ? body.bottomLeft() : body.topRight());
  metal.setColorAt(0, QColor(104, 112, 122));
  metal.setColorAt(0.45, QColor(58, 64, 72));
  metal.setColorAt(0.55, QColor(40, 45, 51));
  metal.setColorAt(1, QColor(72, 79, 88));
  p.setPen(QPen(QColor(0, 0, 0), 1));
  p.setBrush(metal);
  p.drawRoundedRect(body, 3, 3);
  // Grip ridges and the lit index line.
  p.setPen(QPen(QColor(0, 0, 0, 120), 1));
  for (int i = -2; i <= 2; ++i) {
    if (i == 0) continue;
    if (vertical) {
      const qreal y = size.height() / 2 + i * 3.5;
      p.drawLine(QPointF(4, y), QPointF(size.width() - 4, y));
    } else {
      const qreal x = size.width() / 2 + i * 3.5;
      p.drawLine(QPointF(x, 4), QPointF(x, size.height() - 4));
    }
  }
  if (vertical) {
    p.fillRect(QRectF(2, size.height() / 2 - 1, size.width() - 4, 2), kLime);
  } else {
    p.fillRect(QRectF(size.width() / 2 - 1, 2, 2, size.height() - 4), kLime);
  }
  p.restore();
}

void PaintMeter(QPainter& p, QSizeF size, bool on, bool voice) {
  p.save();
  p.fillRect(QRectF(QPointF(0, 0), size), QColor(2, 3, 4));
  const int columns = static_cast<int>(size.width()) / 8;
  const int rows = static_cast<int>(size.height()) / 4;
  for (int row = 0; row < rows; ++row) {
    const QColor base = MeterColor(row, rows, voice);
    const qreal y = size.height() - (row + 1) * 4;
    for (int col = 0; col < columns; ++col) {
      const QRectF cell(col * 8, y, 7, 3);
      if (on) {
        p.fillRect(cell, base);
        p.fillRect(QRectF(cell.left(), cell.top(), cell.width(), 1), Mix(base, Qt::white, 0.45));
      } else {
        p.fillRect(cell, Mix(base, QColor(2, 3, 4), 0.84));
      }
    }
  }
  p.restore();
}

void PaintLyricsButton(QPainter& p, QSizeF size, const QString& text, Look look) {
  const bool down = look == Look::kDown;
  const QRectF r = QRectF(QPointF(0, 0), size).adjusted(1, 2, -1, -2);
  p.save();
  p.fillRect(QRectF(QPointF(0, 0), size), Qt::black);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(down ? kLime : QColor(60, 90, 40), 1.2));
  p.setBrush(down ? kLime : QColor(14, 20, 12));
  p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), r.height() / 2, r.height() / 2);
  Text(p, r, text, 10, down ? QColor(8, 20, 0) : kLime, Qt::AlignCenter, 1.0);
  p.restore();
}

void PaintLyricsLine(QPainter& p, QSizeF size) {
  p.save();
  p.fillRect(QRectF(QPointF(0, 0), size), Qt::black);
  QLinearGradient line(0, 0, size.width(), 0);
  line.setColorAt(0, QColor(122, 255, 0, 0));
  line.setColorAt(0.5, QColor(122, 255, 0, 220));
  line.setColorAt(1, QColor(122, 255, 0, 0));
  QLinearGradient halo(0, 0, size.width(), 0);
  halo.setColorAt(0, QColor(122, 255, 0, 0));
  halo.setColorAt(0.5, QColor(122, 255, 0, 45));
  halo.setColorAt(1, QColor(122, 255, 0, 0));
  const qreal mid = size.height() / 2;
  p.fillRect(QRectF(0, mid - 2, size.width(), 4), halo);
  p.fillRect(QRectF(0, mid - 0.5, size.width(), 1), line);
  p.restore();
}

void PaintDiscBadge(QPainter& p, QSizeF size) {
  p.save();
  p.fillRect(QRectF(QPointF(0, 0), size), Qt::black);
  p.setRenderHint(QPainter::Antialiasing);
  const QPointF c(size.height() / 2, size.height() / 2);
  const qreal r = size.height() / 2 - 2;
  p.setPen(QPen(kCyan, 1.2));
  p.setBrush(QColor(0, 40, 40));
  p.drawEllipse(c, r, r);
  p.setBrush(Qt::black);
  p.drawEllipse(c, r / 3, r / 3);
  Text(p, QRectF(size.height() - 3, 0, size.width() - size.height() + 3, size.height()), "DB", 9,
       kCyan, Qt::AlignCenter, 0.2);
  p.restore();
}

// The splash: a spotlit stage with the player's name, a disc and a microphone.
void PaintSplash(QPainter& p, QSizeF size) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF all(QPointF(0, 0), size);
  QLinearGradient sky(all.topLeft(), all.bottomLeft());
  sky.setColorAt(0.0, QColor(8, 12, 22));
  sky.setColorAt(1.0, QColor(22, 30, 44));
  p.fillRect(all, sky);
  // Spotlight cone.
  QRadialGradient spot(QPointF(size.width() * 0.32, size.height() * 0.62), size.width() * 0.42);
  spot.setColorAt(0.0, QColor(122, 255, 0, 70));
  spot.setColorAt(1.0, QColor(122, 255, 0, 0));
  p.fillRect(all, spot);
  // The disc.
  const QPointF centre(size.width() * 0.32, size.height() * 0.56);
  const qreal r = size.height() * 0.30;
  QConicalGradient shine(centre, 30);
  shine.setColorAt(0.0, QColor(200, 210, 220));
  shine.setColorAt(0.25, QColor(90, 100, 120));
  shine.setColorAt(0.5, QColor(210, 220, 235));
  shine.setColorAt(0.75, QColor(80, 92, 110));
  shine.setColorAt(1.0, QColor(200, 210, 220));
  p.setPen(QPen(kLime, 2));
  p.setBrush(shine);
  p.drawEllipse(centre, r, r);
  p.setBrush(QColor(8, 12, 22));
  p.drawEllipse(centre, r * 0.18, r * 0.18);
  // The microphone leaning on the disc.
  p.save();
  p.translate(centre + QPointF(r * 0.85, -r * 0.1));
  p.rotate(25);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(60, 66, 78));
  p.drawRoundedRect(QRectF(-5, 8, 10, r * 1.1), 4, 4);
  QRadialGradient head(QPointF(-4, -4), 18);
  head.setColorAt(0.0, QColor(230, 235, 240));
  head.setColorAt(1.0, QColor(90, 96, 108));
  p.setBrush(head);
  p.drawEllipse(QPointF(0, 0), 14, 14);
  p.restore();
  // Name and line.
  Text(p, QRectF(size.width() * 0.55, size.height() * 0.18, size.width() * 0.42, 50), "Sorn", 30,
       kLime, Qt::AlignLeft | Qt::AlignVCenter, 0.5);
  Text(p, QRectF(size.width() * 0.55, size.height() * 0.18 + 44, size.width() * 0.42, 40),
       "Karaoke", 24, kCyan, Qt::AlignLeft | Qt::AlignVCenter, 0.3);
  Text(p, QRectF(size.width() * 0.55, size.height() * 0.62, size.width() * 0.42, 20),
       "CD PLAYER  \u2022  VOICE EFFECTS", 8, kLabel, Qt::AlignLeft | Qt::AlignVCenter, 0.2);
  p.setPen(QPen(kLime, 1));
  p.drawLine(QPointF(size.width() * 0.55, size.height() * 0.60),
             QPointF(size.width() * 0.95, size.height() * 0.60));
  p.restore();
}

// The badge on the splash for processors with the 3DNow! kernels.
void PaintSplashBadge(QPainter& p, QSizeF size) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF all(QPointF(0, 0), size);
  p.fillRect(all, QColor(8, 12, 22));
  p.setPen(QPen(kAmber, 2));
  p.setBrush(QColor(40, 30, 0));
  p.drawRoundedRect(all.adjusted(2, 2, -2, -2), 6, 6);
  QPolygonF bolt;
  const qreal w = size.width(), h = size.height();
  bolt << QPointF(w * 0.58, h * 0.10) << QPointF(w * 0.28, h * 0.50) << QPointF(w * 0.48, h * 0.50)
       << QPointF(w * 0.38, h * 0.72) << QPointF(w * 0.72, h * 0.38) << QPointF(w * 0.52, h * 0.38);
  p.setPen(Qt::NoPen);
  p.setBrush(kAmber);
  p.drawPolygon(bolt);
  Text(p, QRectF(0, h * 0.74, w, h * 0.22), "3D", 10, kAmber, Qt::AlignCenter, 0.3);
  p.restore();
}

// The program's icon: the logo's disc on the title bar's colour, scaled to the square size.
void PaintAppIcon(QPainter& p, QSizeF size) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient back(0, 0, 0, size.height());
  back.setColorAt(0, QColor(44, 49, 56));
  back.setColorAt(1, QColor(18, 20, 23));
  p.fillRect(QRectF(QPointF(0, 0), size), back);
  p.scale(size.width() / 32.0, size.height() / 32.0);
  PaintLogoDisc(p, QPointF(16, 16));
  p.restore();
}

}  // namespace skin
