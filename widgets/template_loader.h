// Panel templates: Qt Designer (.ui) files whose widgets name the toolkit's classes.
//
// The loader builds every widget of a registered class (gkRegisterClasses) through the class
// registry, and any other class the way Qt Designer does. A template configures nothing but
// each widget's control id ("controlId" property), geometry and visibility; the panel then
// fetches its widgets with GkGetDlgItem and configures them through their gk operations.
#pragma once

#include <QString>
#include <QUiLoader>

class QIODevice;
class QWidget;

class GkTemplateLoader : public QUiLoader {
 public:
  using QUiLoader::QUiLoader;
  QWidget* createWidget(const QString& className, QWidget* parent = nullptr,
                        const QString& name = QString()) override;
};

// Loads a template (a file or resource path) as a child of parent; null after tracing why.
QWidget* GkLoadTemplate(const QString& path, QWidget* parent);
QWidget* GkLoadTemplate(QIODevice* device, QWidget* parent);
// The same with a loader of the caller's (one that builds some classes its own way).
QWidget* GkLoadTemplate(GkTemplateLoader* loader, const QString& path, QWidget* parent);
