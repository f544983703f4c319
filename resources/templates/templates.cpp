#include "resources/templates/templates.h"

#include <QtCore/qglobal.h>

void InitTemplateResources() {
  Q_INIT_RESOURCE(templates);
}
