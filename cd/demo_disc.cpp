#include "cd/demo_disc.h"

#include <filesystem>
#include <system_error>

#include "cdinfo/info_file.h"
#include "cdinfo/text_util.h"
#include "diagnostics/diagnostics.h"
#include "platform/cd/host_layer.h"
#include "platform/files/output_file.h"
#include "settings/settings.h"

namespace fs = std::filesystem;

int InstallDemoDiscInfo(const std::string& discId) {
  const std::string demo = DemoDiscPath();
  if (discId.empty() || demo.empty() || settings.databasePath.empty()) return 0;
  if (!FindInfoFiles(discId).empty()) return 0;
  const std::string suffix = " " + discId + ".txt";
  std::error_code error;
  for (const fs::directory_entry& entry :
       fs::directory_iterator(fs::path(demo).parent_path(), error)) {
    const std::string name = entry.path().filename().string();
    if (name.size() <= suffix.size() ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
      continue;
    fs::create_directories(settings.databasePath, error);
    const fs::path target = fs::path(settings.databasePath) / name;
    // Copied whole or not at all: a copy cut short would pass for the disc's file.
    std::string text;
    if (fs::exists(target, error)) return 0;
    if (!cdinfo::ReadFileText(entry.path().string(), kInfoFileMaxBytes, &text) ||
        !WriteFileAtomically(target.string(), text)) {
      Trace("InstallDemoDiscInfo: cannot copy %s to %s\n", entry.path().c_str(), target.c_str());
      return 0;
    }
    return 1;
  }
  return 0;
}
