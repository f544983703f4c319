// The commands of sorn-karaoke-cli that read a disc through the player and the CD reader:
//   tracks DISC                 one line per track: number, absolute start (MM:SS:FF, with the
//                               2-second lead-in), length (MM:SS:FF), "audio" or "data"
//   rip DISC --track N [--jitter-buffer 0..3] [--out OUT.wav]
//                               rips track N with the digital reader into a WAV file (default:
//                               the track's title in the CD information folder) and reports
//                               the speed as a multiple of real time
// DISC is a drive string (a disc image, [image:]PATH.cue[,option...]) or a device path. Each
// command returns the exit code (0 success, 1 failure, 2 bad usage or an unreadable disc) and
// leaves its result in out and its messages in err. The settings in use are the caller's.
#pragma once

#include <string>
#include <vector>

int CommandTracks(const std::vector<std::string>& args, std::string* out, std::string* err);
int CommandRip(const std::vector<std::string>& args, std::string* out, std::string* err);

// Opens DISC as the selected (only) drive and scans it as the player does. With titles, the
// disc's CD information file is loaded as well (the demo disc's file installed first). False
// with a one-line reason.
bool OpenPlayerDisc(const std::string& disc, bool titles, std::string* error);
// OpenPlayerDisc, then the check that its track (1-based) is there and holds audio: 0 with
// the disc open; else the command's exit status (2: no disc or no such track, 1: a data
// track) with a one-line reason, the disc closed.
int OpenPlayerTrack(const std::string& disc, bool titles, int track, std::string* error);
// Closes the drive opened by OpenPlayerDisc.
void ClosePlayerDisc();
// Parses a whole number in [low, high]; false otherwise.
bool ParseNumber(const std::string& text, int low, int high, int* value);
// The files a DISC argument reads (an image and its data files; nothing for a device).
std::vector<std::string> DiscInputFiles(const std::string& disc);
// A command never writes over what it reads, nor two outputs over each other: the reason when
// an output is the same file as an input or as another output, "" otherwise.
std::string OutputClash(const std::vector<std::string>& outputs,
                        const std::vector<std::string>& inputs);
