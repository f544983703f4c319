#include "widgets/template_loader.h"

#include <QFile>
#include <QWidget>

#include "diagnostics/diagnostics.h"
#include "widgets/framework.h"

QWidget* GkTemplateLoader::createWidget(const QString& className, QWidget* parent,
                                        const QString& name) {
  const QByteArray name8 = className.toLatin1();
  if (GkIsWindowClassRegistered(name8.constData())) {
    QWidget* window = GkCreateWindow(name8.constData(), parent);
    if (window) window->setObjectName(name);
    return window;
  }
  return QUiLoader::createWidget(className, parent, name);
}

namespace {

QWidget* Load(GkTemplateLoader* loader, QIODevice* device, QWidget* parent) {
  QWidget* panel = loader->load(device, parent);
  if (!panel) {
    Trace("GkLoadTemplate: %s\n", loader->errorString().toUtf8().constData());
  }
  return panel;
}

}  // namespace

QWidget* GkLoadTemplate(QIODevice* device, QWidget* parent) {
  GkTemplateLoader loader;
  return Load(&loader, device, parent);
}

QWidget* GkLoadTemplate(GkTemplateLoader* loader, const QString& path, QWidget* parent) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    Trace("GkLoadTemplate: cannot open '%s'\n", path.toUtf8().constData());
    return nullptr;
  }
  return Load(loader, &file, parent);
}

QWidget* GkLoadTemplate(const QString& path, QWidget* parent) {
  GkTemplateLoader loader;
  return GkLoadTemplate(&loader, path, parent);
}
