#include "app/processor_log.h"

#include <unistd.h>

#include "diagnostics/diagnostics.h"
#include "platform/cpu/processor.h"

void IdentifyProcessor() {
  IdentifyThisProcessor();
  LogPrintf("%d Mhz %s\n", processorState.clockMhz.load(),
            ProcessorDisplayName(processorState.record));
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  LogPrintf("%s\n", host);
}

bool IsWindowsNT() {
  return true;
}
