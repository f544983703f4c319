// Small pieces shared by the CD and playback tests: a scratch CD information folder, reading
// files back, and waiting for the reader and streaming threads.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "diagnostics/diagnostics.h"
#include "settings/settings.h"

// Points the CD information folder and the log at a fresh "cd" folder inside a test's scratch
// directory, with every other setting at its default.
inline void UseScratchCdInfoFolder(const std::filesystem::path& scratch) {
  settings = Settings{};
  settings.databasePath = (scratch / "cd").string() + "/";
  std::filesystem::create_directories(scratch / "cd");
  const std::string folder = settings.databasePath;
  SetLogFolderSource([folder] { return folder; });
}

// A whole file's bytes, or its text (empty when it cannot be read).
inline std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}
inline std::string ReadFileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Polls `done` until it holds; false when it has not within a minute.
inline bool WaitFor(const std::function<bool()>& done) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}
