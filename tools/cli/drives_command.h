// sorn-karaoke-cli drives: the CD drives found, how each is read, and the disc in each.
#pragma once

#include <string>
#include <vector>

// Prints every drive with its vendor, product, ATAPI flag and read settings (read method,
// sector size, byte swap), then the disc in it: its track table, or what is there instead.
// Returns 0, or 1 when no drive was found.
int CommandDrives(const std::vector<std::string>& args);
