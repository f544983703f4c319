// The CD information commands of sorn-karaoke-cli:
//   discid DISC [--musicbrainz]                     the disc's 8-digit CDDB disc id, or its
//                                                   MusicBrainz disc id
//   cddb DISC [--server HOST[:PORT]] [--folder DIR] [--choice N]
//                                                   looks the disc up on CDDB, writes its
//                                                   information file and names it
//   titles DISC [--service auto|musicbrainz|cddb] [--url URL] [--server HOST[:PORT]]
//               [--folder DIR] [--choice N]
//                                                   the same with the title service (default:
//                                                   the settings' "Title Service" and
//                                                   "MusicBrainz URL")
//   info DISC [--folder DIR]                        album, artist and track titles from the file
// DISC is a disc image (CUE/BIN, TOC, NRG) or an image drive string. Each command returns the
// exit code (0 success, 1 failure, 2 bad usage) and leaves its result in out and its messages
// in err, for the caller to print.
#pragma once

#include <string>
#include <vector>

#include "cdinfo/disc_id.h"

int CommandDiscId(const std::vector<std::string>& args, std::string* out, std::string* err);
int CommandCddb(const std::vector<std::string>& args, std::string* out, std::string* err);
int CommandTitles(const std::vector<std::string>& args, std::string* out, std::string* err);
int CommandInfo(const std::vector<std::string>& args, std::string* out, std::string* err);

// The last branch of a disc command's option loop: the one DISC (a word not starting with
// "-"); any other argument is unexpected. False with the reason in err.
bool TakeDiscArgument(const std::string& arg, std::string* disc, std::string* err);
// After the loop: false with the reason when no DISC was given.
bool DiscGiven(const std::string& disc, std::string* err);

// The track layout of a disc image as the player reads it from a drive; false with a reason.
bool ReadImageLayout(const std::string& disc, DiscLayout* layout, std::string* error);
