// Fuzzes the WAV reader: arbitrary bytes as a file, opened, then read in blocks with seeks,
// the way voice playback reads it. Every read must stay inside the caller's buffer.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "audio/wavefile.h"
#include "diagnostics/diagnostics.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    SetTraceSink([](const std::string&) {});
    return true;
  }();
  (void)quiet;
  const int fd = memfd_create("wav", MFD_CLOEXEC);
  if (fd < 0) return 0;
  if (size > 0 && write(fd, data, size) != ssize_t(size)) {
    close(fd);
    return 0;
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  WaveFile file;
  waveFileInit(&file);
  if (waveFileOpenIn(&file, path.c_str())) {
    const WavePcmFormat& f = file.format;
    if (f.nChannels == 0 || f.nBlockAlign == 0 || file.sampleCount < 0) std::abort();
    // A buffer of exactly the bytes a read of count samples may fill.
    const int32_t count = 1 + int32_t(size % 700);
    const size_t bytes = size_t(int64_t(count) * f.nBlockAlign / f.nChannels);
    std::vector<uint8_t> buffer(bytes);
    for (int round = 0; round < 4; ++round) {
      if (round == 2) waveFileSetPendingSeek(&file, int32_t(size > 8 ? data[size - 1] * 7 : 5));
      const int32_t got = wavReadSamples(&file, buffer.data(), count);
      if (got > count || got < -1) std::abort();
    }
    if (!waveFileCloseIn(&file) || WaveFileIsOpen(file)) std::abort();
  } else if (WaveFileIsOpen(file)) {
    std::abort();
  }
  close(fd);
  return 0;
}
