// Free space of the file system holding a folder.
#pragma once

#include <cstdint>
#include <string>

// Megabytes (1,048,576 bytes) the caller may still write under root; 0 when unknown.
int64_t GetFreeDiskMegabytes(const std::string& root);
// Why nothing can be put into the folder (it is missing or not a folder), "" when it is there.
std::string FolderProblem(const std::string& root);
