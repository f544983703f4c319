#include "platform/sync/doorbell.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace {

long Futex(std::atomic<uint32_t>* word, int op, uint32_t value, const timespec* timeout) {
  return syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), op, value, timeout, nullptr, 0);
}

}  // namespace

// The waiter announces itself before it looks at rung_, the ringer sets rung_ before it looks
// at sleeping_ (both sequentially consistent): one of them sees the other, so no ring is lost.
void Doorbell::Ring() {
  rung_.store(1);
  if (sleeping_.load()) Futex(&rung_, FUTEX_WAKE_PRIVATE, 1, nullptr);
}

bool Doorbell::Wait(uint32_t timeoutMs) {
  sleeping_.store(1);
  if (rung_.exchange(0)) {
    sleeping_.store(0);
    return true;
  }
  const timespec timeout{time_t(timeoutMs / 1000), long(timeoutMs % 1000) * 1000000L};
  Futex(&rung_, FUTEX_WAIT_PRIVATE, 0, &timeout);  // returns at once if rung_ is no longer 0
  sleeping_.store(0);
  return rung_.exchange(0) != 0;
}
