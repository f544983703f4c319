#include "cd/disk_space.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstring>

int64_t GetFreeDiskMegabytes(const std::string& root) {
  struct statvfs info;
  if (statvfs(root.empty() ? "." : root.c_str(), &info) != 0) return 0;
  return static_cast<int64_t>(info.f_bavail) * static_cast<int64_t>(info.f_frsize) / 1048576;
}

std::string FolderProblem(const std::string& root) {
  const std::string folder = root.empty() ? "." : root;
  struct stat info;
  if (stat(folder.c_str(), &info) != 0) return "the folder " + folder + ": " + std::strerror(errno);
  if (!S_ISDIR(info.st_mode)) return folder + " is not a folder";
  return "";
}
