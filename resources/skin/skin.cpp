#include "resources/skin/skin.h"

#include <QFile>
#include <QGuiApplication>

#include "diagnostics/diagnostics.h"

void InitSkinResources() {
  Q_INIT_RESOURCE(skin);
}

namespace {
int forcedScale = 1;
}  // namespace

void SetSkinScale(int scale) {
  forcedScale = scale == 2 ? 2 : 1;
}

int SkinScale() {
  return forcedScale;
}

QPixmap LoadSkinBitmap(const QString& name) {
  const QString base = QStringLiteral(":/skin/") + name;
  const bool dense = forcedScale == 2 || (qGuiApp && qGuiApp->devicePixelRatio() > 1.0);
  if (dense && QFile::exists(base + QStringLiteral("@2x.png"))) {
    QPixmap pixmap(base + QStringLiteral("@2x.png"));
    pixmap.setDevicePixelRatio(2.0);
    if (!pixmap.isNull()) return pixmap;
  }
  QPixmap pixmap(base + QStringLiteral(".png"));
  if (pixmap.isNull()) Trace("LoadSkinBitmap: no bitmap '%s'\n", name.toUtf8().constData());
  pixmap.setDevicePixelRatio(1.0);
  return pixmap;
}

QPixmap LoadSkinBitmap(int resourceId) {
  return LoadSkinBitmap(QString::number(resourceId));
}

QIcon LoadSkinIcon(int resourceId) {
  const QString base = QStringLiteral(":/skin/") + QString::number(resourceId);
  QIcon icon;
  for (const QString& file : {base + QStringLiteral(".png"), base + QStringLiteral("@2x.png")}) {
    // Each drawing at its own pixel size: Qt would take the "@2x" one for the same size.
    QPixmap pixmap(file);
    pixmap.setDevicePixelRatio(1.0);
    if (!pixmap.isNull()) icon.addPixmap(pixmap);
  }
  if (icon.isNull()) Trace("LoadSkinBitmap: no bitmap '%d'\n", resourceId);
  return icon;
}

QString SkinTemplatePath() {
  return QStringLiteral(":/skin/cdplayer.ui");
}
