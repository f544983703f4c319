// Small helpers of the sound card and WAV file tests: scratch folders, whole-file bytes,
// running a command (sox), environment variables for one test.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "audio/wavefile.h"

namespace testutil {

using Bytes = std::vector<uint8_t>;

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "sorn-audio-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// The file's bytes, at most maxBytes of them.
inline Bytes ReadBytes(const std::string& path, size_t maxBytes = SIZE_MAX) {
  std::ifstream in(path, std::ios::binary);
  Bytes bytes;
  char chunk[65536];
  while (bytes.size() < maxBytes && in) {
    in.read(chunk, std::streamsize(std::min(sizeof chunk, maxBytes - bytes.size())));
    bytes.insert(bytes.end(), chunk, chunk + in.gcount());
  }
  return bytes;
}

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline uint32_t Le32(const Bytes& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
         uint32_t(b[at + 3]) << 24;
}
inline uint16_t Le16(const Bytes& b, size_t at) {
  return uint16_t(b[at] | b[at + 1] << 8);
}
inline void Put32(Bytes* b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*b)[at + i] = uint8_t(v >> (8 * i));
}
inline void Append(Bytes* b, const std::string& text) {
  b->insert(b->end(), text.begin(), text.end());
}
inline void Append32(Bytes* b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b->push_back(uint8_t(v >> (8 * i)));
}

// Polls until the condition holds or the time-out passes; returns the condition.
template <typename Condition>
bool WaitUntil(Condition condition, int timeoutMs = 5000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Writes a WAV file through our writer.
inline bool WriteWav(const std::string& path, uint32_t rate, uint16_t channels, uint16_t bits,
                     const void* data, int32_t samples) {
  WaveFile file;
  waveFileInit(&file);
  waveFileSetFormat(&file, rate, channels, bits);
  if (!waveFileOpenOut(&file, path.c_str())) return false;
  bool ok = wavWriteSamples(&file, data, samples) == samples;
  return waveFileCloseOut(&file) && ok;
}

// All samples of a WAV file through our reader (empty if it cannot be read), and its format.
inline std::vector<int16_t> ReadAll(const std::string& path, WavePcmFormat* format = nullptr) {
  WaveFile file;
  waveFileInit(&file);
  if (!waveFileOpenIn(&file, path.c_str())) return {};
  if (format) *format = file.format;
  std::vector<int16_t> s(size_t(file.sampleCount));
  const bool read = wavReadSamples(&file, s.data(), file.sampleCount) == file.sampleCount;
  return waveFileCloseIn(&file) && read ? s : std::vector<int16_t>{};
}

// Runs a shell command; returns its standard output, and its exit status in *status.
inline std::string Shell(const std::string& command, int* status = nullptr) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) {
    if (status) *status = -1;
    return output;
  }
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  int rc = pclose(pipe);
  if (status) *status = rc;
  return output;
}

inline std::string Quote(const std::string& path) {
  return "'" + path + "'";
}

// Sets an environment variable for the lifetime of the object, restoring the old value.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = getenv(name)) {
      had_ = true;
      old_ = old;
    }
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (had_)
      setenv(name_.c_str(), old_.c_str(), 1);
    else
      unsetenv(name_.c_str());
  }

 private:
  std::string name_;
  bool had_ = false;
  std::string old_;
};

// Interleaved 16-bit samples as little-endian bytes, and back.
inline Bytes Pcm16(const std::vector<int16_t>& samples) {
  Bytes b;
  for (int16_t s : samples) {
    b.push_back(uint8_t(uint16_t(s)));
    b.push_back(uint8_t(uint16_t(s) >> 8));
  }
  return b;
}
inline std::vector<int16_t> Samples16(const uint8_t* data, size_t bytes) {
  std::vector<int16_t> s(bytes / 2);
  for (size_t i = 0; i < s.size(); ++i)
    s[i] = int16_t(uint16_t(data[2 * i] | data[2 * i + 1] << 8));
  return s;
}

}  // namespace testutil
