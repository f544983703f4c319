// sorn-karaoke-cli cdg: the CD+G screen of a track at given times, as PNG files.
//
//   cdg DISC --track N --at SECONDS [--at SECONDS ...] --out DIR
//
// Reads the track's R-W sub-channel through the drive (READ CD with the sub-channel selection
// the drive offers), decodes the graphics from the track's start and writes the shown
// 288 x 192 area at each time (the packs up to that time, 300 a second) as
// DIR/cdg-track<NN>-<SECONDS>.png, printing each path. Exit code 2 for bad usage or an
// unreadable disc, 1 when the track has no CD+G or a file cannot be written (then no file of
// this run is left).
#pragma once

#include <string>
#include <vector>

int CommandCdg(const std::vector<std::string>& args, std::string* out, std::string* err);

// The name of the file of one time: "cdg-track01-12.500.png".
std::string CdgImageName(int track, double seconds);
