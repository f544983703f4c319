#include "cd/disk_space.h"

#include <sys/statvfs.h>

int64_t GetFreeDiskMegabytes(const std::string& root) {
  struct statvfs info;
  if (statvfs(root.empty() ? "." : root.c_str(), &info) != 0) return 0;
  return static_cast<int64_t>(info.f_bavail) * static_cast<int64_t>(info.f_frsize) / 1048576;
}
