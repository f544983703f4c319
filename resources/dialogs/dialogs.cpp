#include "resources/dialogs/dialogs.h"

#include <QtCore/qglobal.h>

static void InitDialogResources() {
  Q_INIT_RESOURCE(dialogs);
}

QString DialogTemplatePath(const char* templateName) {
  static const bool ready = (InitDialogResources(), true);
  (void)ready;
  return QStringLiteral(":/dialogs/") + QString::fromUtf8(templateName) + QStringLiteral(".ui");
}
