// sorn-karaoke: the windowed program. It takes no command line.
#include "app/startup.h"

int main(int argc, char** argv) {
  return WinMain(argc, argv);
}
