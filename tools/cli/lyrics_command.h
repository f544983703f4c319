// sorn-karaoke-cli lyrics DISC [--track N] [--service lrclib|site] [--url URL] [--folder DIR]
// Fetches lyrics into the disc's CD information file (every track whose section has none yet,
// or the one track asked for) and prints what it did per track. The file is changed only when
// the whole run succeeds: the run works on a copy that replaces the file at the end. Exit code
// 0 success, 1 failure (the file as it was), 2 bad usage.
#pragma once

#include <string>
#include <vector>

int CommandLyrics(const std::vector<std::string>& args, std::string* out, std::string* err);
