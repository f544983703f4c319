#include "resources/help/help.h"

#include <QtCore/qglobal.h>

void InitHelpResources() {
  Q_INIT_RESOURCE(help);
}
