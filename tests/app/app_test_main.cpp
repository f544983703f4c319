// The application tests run in one QApplication on the offscreen platform, on the window
// thread, with the toolkit's classes registered as start-up registers them.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "platform/sync/window_thread.h"
#include "resources/skin/skin.h"
#include "widgets/framework.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication application(argc, argv);
  MarkWindowThread();
  InitSkinResources();
  gkRegisterClasses(&application);
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  gkUnregisterClasses(&application);
  return result;
}
