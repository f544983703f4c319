#include "cd/cdda_manager.h"

#include <mutex>

namespace {

struct CddaLink {
  std::mutex lock;
  CddaCommandObserver observer;
};

CddaLink& Link() {
  static CddaLink link;
  return link;
}

}  // namespace

void SetCddaCommandObserver(CddaCommandObserver observer) {
  std::lock_guard<std::mutex> guard(Link().lock);
  Link().observer = std::move(observer);
}

int CDDAManager(void* window, int command) {
  if (command < CDDA_PLAY || command > CDDA_PAUSE) return 0;
  CddaCommandObserver observer;
  {
    std::lock_guard<std::mutex> guard(Link().lock);
    observer = Link().observer;
  }
  // The reader thread and the ring consumer take the command here once the stream is built.
  if (observer) observer(window, command);
  return 0;
}

void CddaResetConsumer() {
  // The ring consumer's read offset lives with the stream; nothing to reset without it.
}
