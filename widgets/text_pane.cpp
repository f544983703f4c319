#include "widgets/text_pane.h"

#include <QFocusEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <new>
#include <vector>

namespace {

struct TextData {
  static constexpr const char* kClassName = "gktext";
  QPointer<QWidget> owner;
  GkColor textColor;
  GkColor paperColor;
  GkColor highlightTextColor;
  GkColor highlightPaperColor;
  int mouseDownX;
  int mouseDownY;
  int lastY[2];  // older, newer pointer y while dragging
  int visibleLines;
  int linesDrawn;
  int totalLines;
  int topLine;
  int highlightLine;
  int cellHeight;
  int cellWidth;
  int reverseVideo;
  int resizeMode;
  int alignment;
  int overflow;
  int highlighting;
};

// Splits at line feeds and carriage return + line feed pairs; the break characters become
// blanks and stay part of their line. A text ending in a break has no empty last line.
std::vector<QString> SplitLines(const QString& text) {
  std::vector<QString> lines;
  QString line;
  const int n = static_cast<int>(text.size());
  for (int i = 0; i < n; ++i) {
    const QChar c = text[i];
    if (c == u'\n') {
      line += u' ';
      lines.push_back(line);
      line.clear();
    } else if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n') {
      line += QStringLiteral("  ");
      lines.push_back(line);
      line.clear();
      ++i;
    } else if (c == u'\r') {
      line += u' ';
    } else {
      line += c;
    }
  }
  if (!line.isEmpty()) lines.push_back(line);
  return lines;
}

class TextWindow : public GkWindow {
 public:
  explicit TextWindow(QWidget* parent) : GkWindow("gktext", parent) {
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    auto* data = new (std::nothrow) TextData{};
    if (!data) return;
    data->textColor = GkRgb(255, 0, 0);
    data->paperColor = GkRgb(0, 0, 0);
    data->highlightTextColor = GkRgb(0, 0, 0);
    data->highlightPaperColor = GkRgb(255, 0, 0);
    data->mouseDownX = data->mouseDownY = -1;
    data->lastY[0] = data->lastY[1] = -1;
    data->alignment = kGkTextAlignBottom;
    data->overflow = 1;
    SetSlot0(data);
  }

  ~TextWindow() override {
    TextData* data = Data();
    SetSlot0(nullptr);
    delete data;
  }

  TextData* Data() const { return static_cast<TextData*>(Slot0()); }

  const QString& Text() const { return text_; }
  void SetText(const QString& text) { text_ = text; }
  void RequestClearPaper() {
    if (!isVisible()) return;
    clearPending_ = true;
    gkRepaint(this);
  }

  // What fits and what there is, for the current text, font and client height.
  void Measure(TextData* d) {
    const QString shown = text_.left(kGkTextMaxChars);
    QString measured = shown;
    measured.replace(u'\r', u' ').replace(u'\n', u' ');
    if (measured.isEmpty()) measured = QStringLiteral("Dummy");
    const QFontMetrics metrics(font());
    d->cellHeight = std::max(1, metrics.height());
    d->cellWidth = metrics.horizontalAdvance(measured);
    d->visibleLines = (height() + 1) / d->cellHeight;
    d->totalLines = static_cast<int>(SplitLines(shown).size());
  }

  // With a resize mode the pane follows its text's width and/or height, keeping its position.
  void ApplyResizeMode(TextData* d) {
    if (d->resizeMode == 0) return;
    Measure(d);
    const int w = (d->resizeMode & kGkTextResizeWidth) ? d->cellWidth : width();
    const int h = (d->resizeMode & kGkTextResizeHeight) ? d->cellHeight : height();
    if (w != width() || h != height()) {
      resize(w, h);
      SyncSize();
      Measure(d);
    }
  }

  void ScrollTo(TextData* d, int top) {
    if (top == d->topLine) return;
    d->topLine = top;
    gkRepaint(this);
  }

  void LineDown(TextData* d) {
    Measure(d);
    if (d->totalLines >= d->visibleLines && d->topLine < d->totalLines - d->visibleLines) {
      d->topLine += 1;
      gkRepaint(this);
    }
  }

  void LineUp(TextData* d) {
    d->topLine -= 1;
    if (d->topLine < 0) {
      d->topLine = 0;
      return;
    }
    gkRepaint(this);
  }

 protected:
  QWidget* OwnerWindow() const override {
    TextData* data = Data();
    return data ? data->owner.data() : nullptr;
  }

  void OnSize(int, int) override { Reset(Data()); }
  void OnSysColorChange() override { Reset(Data()); }

  void focusOutEvent(QFocusEvent* event) override {
    if (Data() && event->reason() != Qt::PopupFocusReason) gkRepaint(this);
  }

  void mousePressEvent(QMouseEvent* event) override {
    SyncSize();
    TextData* d = Data();
    if (!d) return;
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) {
      d->mouseDownX = static_cast<int>(event->position().x());
      d->mouseDownY = static_cast<int>(event->position().y());
      TakeFocus();
    }
    DragScroll(d, event);
  }

  void mouseMoveEvent(QMouseEvent* event) override {
    SyncSize();
    if (TextData* d = Data()) DragScroll(d, event);
  }

  void mouseReleaseEvent(QMouseEvent* event) override {
    SyncSize();
    TextData* d = Data();
    if (!d) return;
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) {
      d->mouseDownX = d->mouseDownY = -1;
      TakeFocus();
    }
  }

  void paintEvent(QPaintEvent*) override {
    SyncSize();
    TextData* d = Data();
    if (!d) return;
    ApplyResizeMode(d);
    Measure(d);
    QPainter painter(this);
    if (clearPending_) {
      clearPending_ = false;
      painter.fillRect(rect(), GkToQColor(d->reverseVideo ? d->textColor : d->paperColor));
      return;
    }
    painter.fillRect(rect(), Qt::black);  // the class's background brush
    painter.setFont(font());
    const QFontMetrics metrics(font());
    const std::vector<QString> lines = SplitLines(text_.left(kGkTextMaxChars));
    const int h = d->cellHeight;
    int y = 0;
    int drawn = 0;
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
      if (i < d->topLine) continue;
      const int bottom = y + h;
      if (bottom < height() + 2 || d->overflow) {
        const bool lit = d->highlighting && i == d->highlightLine;
        GkColor paper = lit ? d->highlightPaperColor : d->paperColor;
        GkColor ink = lit ? d->highlightTextColor : d->textColor;
        if (d->reverseVideo) std::swap(paper, ink);
        painter.fillRect(QRect(0, y, width(), h), GkToQColor(paper));
        painter.setPen(GkToQColor(ink));
        DrawLine(painter, metrics, lines[i], d->alignment, bottom - 1);
        ++drawn;
      }
      y += h;
    }
    d->linesDrawn = drawn;
    if (drawn < d->visibleLines && d->visibleLines >= 2) {
      const QColor paper = GkToQColor(d->reverseVideo ? d->textColor : d->paperColor);
      for (int k = drawn; k < d->visibleLines; ++k)
        painter.fillRect(QRect(0, k * h, width(), h), paper);
    }
  }

 private:
  // Draws a line at x 0 with its reference point on row referenceY, as the alignment flags
  // place it (bottom alignment puts the text's bottom on the line's last row).
  static void DrawLine(QPainter& painter, const QFontMetrics& metrics, const QString& line,
                       int alignment, int referenceY) {
    int baseline = referenceY;
    switch (alignment & kGkTextAlignBaseline) {
      case kGkTextAlignBaseline:
        break;
      case kGkTextAlignBottom:
        baseline = referenceY + 1 - metrics.descent();
        break;
      default:
        baseline = referenceY + metrics.ascent();
        break;
    }
    int x = 0;
    switch (alignment & kGkTextAlignCenter) {
      case kGkTextAlignCenter:
        x = -metrics.horizontalAdvance(line) / 2;
        break;
      case kGkTextAlignRight:
        x = -metrics.horizontalAdvance(line);
        break;
      default:
        break;
    }
    painter.drawText(QPoint(x, baseline), line);
  }

  // Dragging with the left button scrolls the text by lines under the pointer.
  void DragScroll(TextData* d, QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) return;
    const int a = d->lastY[0];
    const int b = d->lastY[1];
    const int h = d->cellHeight;
    if (a > b && h != 0) {
      if ((d->mouseDownY - b) % h > h / 2) LineDown(d);
    } else if (a < b && h != 0) {
      if ((b - a) % h > h / 2) LineUp(d);
    }
    d->lastY[0] = b;
    d->lastY[1] = static_cast<int>(event->position().y());
  }

  void Reset(TextData* d) {
    d->topLine = 0;
    d->highlightLine = 0;
    d->mouseDownX = d->mouseDownY = -1;
    d->lastY[0] = d->lastY[1] = -1;
  }

  QString text_;
  bool clearPending_ = false;
};

TextData* Record(QWidget* window, const char* op) {
  return GkRecord<TextData>(window, op);
}
TextWindow* Pane(QWidget* window) {
  return static_cast<TextWindow*>(window);
}

void Redraw(QWidget* window, int redraw) {
  if (redraw) gkRepaint(window);
}

}  // namespace

QWidget* GkNewTextPane(QWidget* parent) {
  auto* window = new TextWindow(parent);
  if (!window->Data()) {
    delete window;
    return nullptr;
  }
  return window;
}

int gkText_SetText(QWidget* window, const QString& text) {
  TextData* d = Record(window, "gkText_SetText");
  if (!d) return 0;
  d->owner = window->parentWidget();
  d->topLine = 0;
  Pane(window)->SetText(text);
  Pane(window)->ApplyResizeMode(d);
  gkRepaint(window);
  return 1;
}

QString gkText_GetText(QWidget* window) {
  TextData* d = Record(window, "gkText_GetText");
  return d ? Pane(window)->Text() : QString();
}

int gkText_SetFont(QWidget* window, const QFont& font, int redraw) {
  TextData* d = Record(window, "gkText_SetFont");
  if (!d) return 0;
  window->setFont(font);
  Pane(window)->ApplyResizeMode(d);
  Redraw(window, redraw);
  return 1;
}

int gkText_SetColors(QWidget* window, GkColor paper, GkColor text, int redraw) {
  TextData* d = Record(window, "gkText_SetColors");
  if (!d) return 0;
  d->paperColor = paper;
  d->textColor = text;
  Redraw(window, redraw);
  return 1;
}

int gkText_SetHighlightColors(QWidget* window, GkColor paper, GkColor text, int redraw) {
  TextData* d = Record(window, "gkText_SetHighlightColors");
  if (!d) return 0;
  d->highlightPaperColor = paper;
  d->highlightTextColor = text;
  Redraw(window, redraw);
  return 1;
}

int gkText_SetColor_Paper(QWidget* window, GkColor color, int redraw) {
  TextData* d = Record(window, "gkText_SetColor_Paper");
  if (!d) return 0;
  d->paperColor = color;
  Redraw(window, redraw);
  return 1;
}

int gkText_SetColor_Text(QWidget* window, GkColor color, int redraw) {
  TextData* d = Record(window, "gkText_SetColor_Text");
  if (!d) return 0;
  d->textColor = color;
  Redraw(window, redraw);
  return 1;
}

int gkText_SetReverseVideo(QWidget* window, int flag) {
  TextData* d = Record(window, "gkText_SetReverseVideo");
  if (!d) return 0;
  d->reverseVideo = flag;
  gkRepaint(window);
  return 1;
}

int gkText_SetResize(QWidget* window, int mode, int redraw) {
  TextData* d = Record(window, "gkText_SetResize");
  if (!d) return 0;
  d->resizeMode = mode;
  Pane(window)->ApplyResizeMode(d);
  Redraw(window, redraw);
  return 1;
}

int gkText_SetAlignment(QWidget* window, int flags, int redraw) {
  TextData* d = Record(window, "gkText_SetAlignment");
  if (!d) return 0;
  d->alignment = flags;
  Redraw(window, redraw);
  return 1;
}

int gkText_SetVerticalClipping(QWidget* window, int flag) {
  TextData* d = Record(window, "gkText_SetVerticalClipping");
  if (!d) return 0;
  d->overflow = flag;
  gkRepaint(window);
  return 1;
}

int gkText_UseHighlighting(QWidget* window, int flag) {
  TextData* d = Record(window, "gkText_UseHighlighting");
  if (!d) return 0;
  d->highlighting = flag;
  return 1;
}

int gkText_SetHighlightLine(QWidget* window, int line, int redraw) {
  TextData* d = Record(window, "gkText_SetHighlightLine");
  if (!d) return 0;
  d->highlightLine = line;
  Redraw(window, redraw);
  return 1;
}

int gkText_ClearPaper(QWidget* window) {
  TextData* d = Record(window, "gkText_ClearPaper");
  if (!d) return 0;
  Pane(window)->RequestClearPaper();
  return 1;
}

int gkText_GetCellHeight(QWidget* window) {
  TextData* d = GkRecordQuiet<TextData>(window);
  if (!d) return 0;
  Pane(window)->Measure(d);
  return d->cellHeight;
}

int gkText_GetCellWidth(QWidget* window) {
  TextData* d = GkRecordQuiet<TextData>(window);
  if (!d) return 0;
  Pane(window)->Measure(d);
  return d->cellWidth;
}

int gkText_Home(QWidget* window) {
  TextData* d = Record(window, "gkText_Home");
  if (!d) return 0;
  Pane(window)->ScrollTo(d, 0);
  return 1;
}

int gkText_End(QWidget* window) {
  TextData* d = Record(window, "gkText_End");
  if (!d) return 0;
  Pane(window)->Measure(d);
  if (d->totalLines > d->visibleLines) Pane(window)->ScrollTo(d, d->totalLines - d->visibleLines);
  return 1;
}

int gkText_ScrollLineDown(QWidget* window) {
  TextData* d = Record(window, "gkText_ScrollLineDown");
  if (!d) return 0;
  Pane(window)->LineDown(d);
  return 1;
}

int gkText_ScrollLineUp(QWidget* window) {
  TextData* d = Record(window, "gkText_ScrollLineUp");
  if (!d) return 0;
  Pane(window)->LineUp(d);
  return 1;
}

int gkText_PageDown(QWidget* window) {
  TextData* d = GkRecordQuiet<TextData>(window);
  if (!d) return 0;
  Pane(window)->Measure(d);
  if (d->totalLines >= d->visibleLines) {
    Pane(window)->ScrollTo(d,
                           std::min(d->topLine + d->visibleLines, d->totalLines - d->visibleLines));
  }
  return 1;
}

int gkText_PageUp(QWidget* window) {
  TextData* d = Record(window, "gkText_PageUp");
  if (!d) return 0;
  Pane(window)->Measure(d);
  if (d->totalLines >= d->visibleLines) {
    Pane(window)->ScrollTo(d, std::max(d->topLine - d->visibleLines, 0));
  }
  return 1;
}

int gkText_GetTopLine(QWidget* window) {
  TextData* d = GkRecordQuiet<TextData>(window);
  return d ? d->topLine : 0;
}

int gkText_GetTotalLines(QWidget* window) {
  TextData* d = GkRecordQuiet<TextData>(window);
  if (!d) return 0;
  Pane(window)->Measure(d);
  return d->totalLines;
}

int gkText_GetVisibleLines(QWidget* window) {
  TextData* d = GkRecordQuiet<TextData>(window);
  if (!d) return 0;
  Pane(window)->Measure(d);
  return d->visibleLines;
}

int gkText_GetLinesDrawn(QWidget* window) {
  TextData* d = GkRecordQuiet<TextData>(window);
  return d ? d->linesDrawn : 0;
}
