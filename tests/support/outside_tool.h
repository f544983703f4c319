// Tests that check against an outside program skip, saying which and why, when it is missing.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

// Whether an executable of that name is on PATH.
inline bool ToolInstalled(const std::string& name) {
  const char* env = std::getenv("PATH");
  const std::string path = env ? env : "/usr/bin:/bin";
  size_t start = 0;
  for (;;) {
    const size_t end = path.find(':', start);
    const std::string dir = path.substr(start, end == std::string::npos ? end : end - start);
    const std::string file = (dir.empty() ? std::string(".") : dir) + "/" + name;
    if (access(file.c_str(), X_OK) == 0) return true;
    if (end == std::string::npos) return false;
    start = end + 1;
  }
}

#define SKIP_WITHOUT_TOOL(tool, package)                                                     \
  do {                                                                                       \
    if (!ToolInstalled(tool))                                                                \
      GTEST_SKIP() << tool << " is not installed (package " package ", which scripts/setup " \
                   << "installs)";                                                           \
  } while (0)
